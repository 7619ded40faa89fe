#pragma once
// Program image files: QEL binary (.bin), PIC object (.obj), PIC hex (.hex),
// QEL hex (.qhx), and the configuration file (.cfg) the "Open" command dispatches to.

#include <cstdint>
#include <string>

#include "app/MainState.h"

class Prompts;

enum class ImageKind { QelBin, PicObj, PicHex, QelHex, Config, Unknown };

// Upper-case text after the last "." of the file name (not of a folder); empty when none.
std::string FileExtension(const std::string& path);
// Kind by extension, ignoring case: BIN, OBJ, HEX, QHX, CFG.
ImageKind ImageKindOf(const std::string& path);
// path without its extension (from the last "." of the file name on), for the companion .cfg.
std::string WithoutExtension(const std::string& path);
// The name a file dialog starts with: path up to its first "." in the file name,
// or empty when the file name has none.
std::string DialogStartName(const std::string& path);
// True for an existing, readable regular file; devices, folders and pipes are not images.
bool IsReadableFile(const std::string& path);

enum class ImageLoadResult { Loaded, CannotOpen, WrongType };

// "Open" command: reads a .bin/.obj/.hex/.qhx image into ProgramBuffer, sets
// ProgramFileSize to the bytes delivered, translates PIC code for state.CoreKind
// and re-packs every word into 7-bit halves. WrongType leaves the buffer untouched.
ImageLoadResult OpenProgramImage(MainState& state, Prompts& prompts, const std::string& path);

// The image named by a configuration file: .hex/.qhx read as Intel HEX, any other
// extension read as raw bytes; .obj/.hex translated for state.CoreKind over the whole
// region (ProgramFileSize = kProgramBufferBytes); then re-packed into 7-bit halves.
// Hex faults are reported through prompts unless state.StartupLoad is set.
// Returns false, saying nothing and leaving ProgramBuffer untouched, when the file
// cannot be opened.
bool LoadProgramImage(MainState& state, Prompts& prompts, const std::string& path);

// Packs the 8-bit image bytes of every word into 7-bit halves: (L + 256*H) & 0x3FFF.
void RepackProgramBuffer(MainState& state);
