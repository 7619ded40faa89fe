#include "files/ProgramFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>

#include "app/Prompts.h"
#include "files/HexText.h"
#include "files/PicConvert.h"

namespace {

std::size_t FileNameStart(const std::string& path) {
  const auto slash = path.find_last_of('/');
  return slash == std::string::npos ? 0 : slash + 1;
}

std::string Upper(std::string text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}

// Raw bytes into the 0xFF-erased region, at most the whole region. Returns the count read.
std::int32_t ReadRawImage(MainState& state, std::istream& in) {
  std::fill(state.ProgramBuffer.begin(), state.ProgramBuffer.end(), 0xFF);
  in.read(reinterpret_cast<char*>(state.ProgramBuffer.data()), kProgramBufferBytes);
  return static_cast<std::int32_t>(in.gcount());
}

bool OpenImage(const std::string& path, std::ifstream& in) {
  if (!IsReadableFile(path)) return false;
  in.open(path, std::ios::binary);
  return in.is_open();
}

}  // namespace

std::string FileExtension(const std::string& path) {
  const auto dot = path.find_last_of('.');
  if (dot == std::string::npos || dot < FileNameStart(path)) return {};
  return Upper(path.substr(dot + 1));
}

ImageKind ImageKindOf(const std::string& path) {
  const std::string ext = FileExtension(path);
  if (ext == "BIN") return ImageKind::QelBin;
  if (ext == "OBJ") return ImageKind::PicObj;
  if (ext == "HEX") return ImageKind::PicHex;
  if (ext == "QHX") return ImageKind::QelHex;
  if (ext == "CFG") return ImageKind::Config;
  return ImageKind::Unknown;
}

std::string WithoutExtension(const std::string& path) {
  const auto dot = path.find_last_of('.');
  if (dot == std::string::npos || dot < FileNameStart(path)) return path;
  return path.substr(0, dot);
}

std::string DialogStartName(const std::string& path) {
  const auto dot = path.find('.', FileNameStart(path));
  return dot == std::string::npos ? std::string() : path.substr(0, dot);
}

bool IsReadableFile(const std::string& path) {
  struct stat st {};
  return !path.empty() && ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
         ::access(path.c_str(), R_OK) == 0;
}

void RepackProgramBuffer(MainState& state) {
  auto& buf = state.ProgramBuffer;
  for (std::size_t at = 0; at + 1 < buf.size(); at += 2) {
    const std::uint8_t lo = buf[at];
    const std::uint8_t hi = buf[at + 1];
    buf[at] = lo & 0x7F;
    buf[at + 1] = static_cast<std::uint8_t>(((hi << 1) | (lo >> 7)) & 0x7F);
  }
}

ImageLoadResult OpenProgramImage(MainState& state, Prompts& prompts, const std::string& path) {
  const ImageKind kind = ImageKindOf(path);
  if (kind == ImageKind::Unknown || kind == ImageKind::Config) return ImageLoadResult::WrongType;
  std::ifstream in;
  if (!OpenImage(path, in)) return ImageLoadResult::CannotOpen;

  const bool hex = kind == ImageKind::PicHex || kind == ImageKind::QelHex;
  state.ProgramFileSize = hex ? HexToObj(state, prompts, in) : ReadRawImage(state, in);
  in.close();
  if (kind == ImageKind::PicObj || kind == ImageKind::PicHex) TranslatePicImage(state, prompts);
  RepackProgramBuffer(state);
  return ImageLoadResult::Loaded;
}

bool LoadProgramImage(MainState& state, Prompts& prompts, const std::string& path) {
  std::ifstream in;
  if (!OpenImage(path, in)) return false;
  const std::string ext = FileExtension(path).substr(0, 3);
  if (ext == "HEX" || ext == "QHX") {
    HexToObj(state, prompts, in);
  } else {
    ReadRawImage(state, in);
  }
  in.close();
  state.ProgramFileSize = kProgramBufferBytes;
  if (ext == "OBJ" || ext == "HEX") TranslatePicImage(state, prompts);
  RepackProgramBuffer(state);
  return true;
}
