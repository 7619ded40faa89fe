#include "files/Disassembler.h"

#include <algorithm>
#include <cstring>

#include "app/MainState.h"

namespace {

constexpr const char* kHeader[] = {
    ";Registers",
    "IAR     EQU     00H",
    "RTCC    EQU     01H",
    "PCL     EQU     02H",
    "STATUS  EQU     03H",
    "MSR     EQU     04H",
    "PORTA   EQU     05H",
    "PORTB   EQU     06H",
    "PORTC   EQU     07H",
    ";",
    "W       EQU     0H",
    "R       EQU     1H",
    ";Flags",
    "CF      EQU     0H",
    "HC      EQU     1H",
    "ZF      EQU     2H",
    "PF      EQU     3H",
    "TF      EQU     4H",
    ";",
    "        ORG     0000H           ;Addr    Org-Code",
};
constexpr const char* kSeparator = ";----------------------------";
constexpr const char* kIndent = "        ";
constexpr const char* kEol = "\r\n";
constexpr int kMnemonicColumn = 8;
constexpr int kOperandColumn = 16;

constexpr const char* kRegisterNames[] = {"IAR", "RTCC", "PCL", "STATUS", "MSR", "PORTA", "PORTB", "PORTC"};
constexpr const char* kStatusFlags[] = {"CF", "HC", "ZF", "PF", "TF"};
constexpr const char* kBitOps[] = {"BCR", "BTSC", "BSR", "BTSS"};
constexpr const char* kRegisterOps[] = {"ANDWR", "IORWR", "XORWR", "RLR",  "RRR",    "SWAPR", "LDR",
                                        "INCR",  "INCRSZ", "ADDWR", "SUBWR", "DECR", "DECRSZ", "COMR"};
constexpr const char* kLiteralOps[] = {"ANDWI", "IORWI", "XORWI", "ADDWI", "SUBWI"};  // 34h-38h
constexpr char kHexDigits[] = "0123456789ABCDEF";

// Appends to a NUL-terminated operand buffer, never past its end.
class OperandWriter {
 public:
  explicit OperandWriter(char (&buffer)[24]) : buf_(buffer) { buf_[0] = '\0'; }
  void Text(const char* s) {
    while (*s && len_ + 1 < sizeof(buf_)) buf_[len_++] = *s++;
    buf_[len_] = '\0';
  }
  void Hex(unsigned value, int digits) {
    char tmp[8];
    for (int i = digits - 1; i >= 0; --i, value >>= 4) tmp[i] = kHexDigits[value & 0xF];
    tmp[digits] = '\0';
    Text(tmp);
  }
  void Register(unsigned f) {
    if (f < std::size(kRegisterNames)) {
      Text(kRegisterNames[f]);
    } else {
      Hex(f, 3);
      Text("H");
    }
  }

 private:
  char (&buf_)[24];
  std::size_t len_ = 0;
};

void AppendHex(std::string& out, unsigned value, int digits) {
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4) out += kHexDigits[(value >> shift) & 0xF];
}

// Pads to width; a longer text is kept whole.
void AppendPadded(std::string& out, const char* text, int width) {
  const std::size_t len = std::strlen(text);
  out.append(text, len);
  if (len < static_cast<std::size_t>(width)) out.append(width - len, ' ');
}

void AppendInstructionLine(std::string& out, int address, std::uint16_t word, const QelInstruction& ins) {
  out += kIndent;
  AppendPadded(out, ins.mnemonic, kMnemonicColumn);
  AppendPadded(out, ins.operand, kOperandColumn);
  out += ';';
  AppendHex(out, static_cast<unsigned>(address), 4);
  out += "    ";
  AppendHex(out, word, 4);
  out += kEol;
}

}  // namespace

QelInstruction DecodeQelWord(std::uint16_t word) {
  word &= 0x3FFF;
  const unsigned c = word >> 8;
  const unsigned k = word & 0xFF;
  const unsigned f = word & 0x7F;
  const bool d = (word >> 7) & 1;
  const unsigned b = (word >> 7) & 7;

  QelInstruction ins;
  OperandWriter op(ins.operand);
  auto is = [&ins](const char* mnemonic) {
    ins.defined = true;
    ins.mnemonic = mnemonic;
  };

  if (c <= 0x0F) {
    is(kBitOps[c >> 2]);
    op.Register(f);
    op.Text(",");
    if (f == 3 && b < std::size(kStatusFlags)) {
      op.Text(kStatusFlags[b]);
    } else {
      const char digit[2] = {static_cast<char>('0' + b), '\0'};
      op.Text(digit);
    }
  } else if (c == 0x10) {
    switch (k) {
      case 0x00: is("NOP"); break;
      case 0x01: is("CLRWT"); break;
      case 0x02: is("SLEEP"); break;
      case 0x03: is("TMODE"); break;
      case 0x04: is("RET"); break;
      case 0x05: is("CPIO"); op.Text("PA"); break;
      case 0x06: is("CPIO"); op.Text("PB"); break;
      case 0x07: is("CPIO"); op.Text("PC"); break;
      case 0x09: is("RTFI"); break;
      default:
        if (k >= 0x80) is("CLRW");
        break;
    }
  } else if (c == 0x11) {
    is(d ? "STWR" : "CLRR");
    op.Register(f);
  } else if (c <= 0x1F) {
    is(kRegisterOps[c - 0x12]);
    op.Register(f);
    op.Text(d ? ",R" : ",W");
  } else if (c <= 0x2F) {
    is(c <= 0x27 ? "LCALL" : "LJUMP");
    op.Hex((c & 7) * 256 + k, 4);
    op.Text("H");
  } else if (c == 0x30) {
    is("CALL");
    op.Hex(k, 4);
    op.Text("H");
  } else if (c == 0x32 || c == 0x33) {
    is("JUMP");
    op.Hex((c & 1) * 256 + k, 4);
    op.Text("H");
  } else if (c == 0x31 || (c >= 0x34 && c <= 0x38) || c == 0x3A) {
    is(c == 0x31 ? "RTIW" : c == 0x3A ? "LDWI" : kLiteralOps[c - 0x34]);
    op.Hex(k, 3);
    op.Text("H");
  }
  return ins;
}

std::string DisassemblyListing(std::span<const std::uint8_t> programBytes, int words) {
  words = std::clamp(words, 0, static_cast<int>(programBytes.size() / 2));

  std::string out;
  out.reserve(1024 + static_cast<std::size_t>(words) * 48);
  for (const char* line : kHeader) {
    out += line;
    out += kEol;
  }
  bool skipped = false;  // undefined words since the last listed one
  for (int i = 0; i < words; ++i) {
    const std::uint16_t word = PackedWord(programBytes[2 * i], programBytes[2 * i + 1]);
    const QelInstruction ins = DecodeQelWord(word);
    if (!ins.defined) {
      skipped = true;
      continue;
    }
    if (skipped) {
      out += kSeparator;
      out += kEol;
      out += kIndent;
      out += "ORG     ";
      AppendHex(out, static_cast<unsigned>(i), 4);
      out += 'H';
      out += kEol;
      skipped = false;
    }
    AppendInstructionLine(out, i, word, ins);
  }
  out += kIndent;
  out += "END";
  out += kEol;
  return out;
}

std::string DisassemblyListing(const MainState& state) {
  return DisassemblyListing(state.ProgramBuffer, state.ProgramWords());
}

std::string ProposedListingName(const std::string& currentFileName) {
  const std::size_t nameStart = currentFileName.find_last_of('/') + 1;  // npos + 1 == 0
  const std::size_t dot = currentFileName.find('.', nameStart);
  if (dot == std::string::npos || dot == nameStart) return {};
  return currentFileName.substr(0, dot);
}

