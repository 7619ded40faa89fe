#pragma once
// Texts of the ID and checksum window, the ID editor's rules, and the two
// panel texts taken from the ID bytes. Texts are UTF-8; each ID byte stands
// for one Latin-1 character. No Qt here.

#include <string>
#include <string_view>

struct MainState;

constexpr int kUserIdBytes = 12;
constexpr int kIdAsciiChars = 12;

// ID bytes 0-11 as two-digit hex values separated by single blanks.
std::string IdHexText(const MainState& state);
// ID bytes 0-11 as characters, up to the first zero byte.
std::string IdAsciiText(const MainState& state);
// One of the two above, as IdShowHex chooses (1 = HEX, anything else ASCII).
std::string IdLabelText(const MainState& state);
// ID bytes 12-15 as characters, control codes shown as blanks.
std::string IcChecksumText(const MainState& state);

// The Writer information rows: each its byte in two hex digits, and all
// sixteen bytes 16-31 in one line.
struct WriterInfoTexts {
  std::string WriterId;       // byte 16
  std::string WriterModel;    // byte 24
  std::string FirmwareVer;    // byte 25
  std::string GangWriterId;   // byte 22
  std::string GangModel;      // byte 20
  std::string GangVer;        // byte 21
  std::string AllBytes;       // bytes 16-31
};
WriterInfoTexts WriterInfoText(const MainState& state);

// OPTION low, OPTION high and four body-option bytes (group 0: bytes 0-3,
// group 1: bytes 4-7), each two hex digits followed by a blank.
std::string BodyOptionText(const MainState& state, int group);

// The main window's IC checksum (Label17) and ID (Label18) texts.
void ShowIdOnPanel(MainState& state);

// HEX entry: twelve groups at character positions 3k and 3k+1; a missing or
// non-hex character counts as F; each byte keeps 7 bits.
void StoreIdHexEntry(MainState& state, std::string_view text);
// ASCII entry: byte k is character k (all 8 bits); bytes past the text become 7F.
// A character outside Latin-1 is stored as "?".
void StoreIdAsciiEntry(MainState& state, std::u32string_view text);

// An edit of a field that shows bytes with stand-ins for those it cannot draw
// (shown[k] stands for bytes[k]). The field went from shownBefore to
// shownAfter, its cursor now at `cursor`, just past what was typed: the
// bytes before the edit and after the cursor stay as they were, whatever
// stood in for them; what was typed is taken as typed.
std::u32string EditedBytes(std::u32string_view bytes, std::u32string_view shownBefore,
                           std::u32string_view shownAfter, std::size_t cursor);
