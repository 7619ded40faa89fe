#include "files/SaveProgramMemory.h"

#include <algorithm>

#include "files/SafeFile.h"

std::vector<std::uint8_t> ProgramImageBytes(const MainState& state) {
  std::vector<std::uint8_t> image(kProgramBufferBytes);
  for (std::size_t at = 0; at + 1 < image.size(); at += 2) {
    const std::uint8_t lo = state.ProgramBuffer[at];
    const std::uint8_t hi = state.ProgramBuffer[at + 1];
    image[at] = static_cast<std::uint8_t>((lo & 0x7F) + ((hi & 1) ? 0x80 : 0));
    image[at + 1] = (hi & 0x7F) >> 1;
  }
  return image;
}

std::vector<std::uint8_t> DeviceImageBytes(const MainState& state) {
  std::vector<std::uint8_t> image = ProgramImageBytes(state);
  image.resize(static_cast<std::size_t>(std::clamp(state.ProgramWords() * 2, 0, kProgramBufferBytes)));
  return image;
}

bool SaveProgramImage(const MainState& state, const std::string& path) {
  const std::vector<std::uint8_t> image = DeviceImageBytes(state);
  return WriteFileSafely(path, std::string_view(reinterpret_cast<const char*>(image.data()), image.size()));
}
