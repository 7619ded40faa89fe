#pragma once
// QTP files: a prepared list of serial numbers, one record per part, each
// holding the number as the RTIW words it is stamped as. Written by the
// serial-number dialog, read one record per programmed part.
//
// A data record for N bytes at word address A: ":" 2N(2 hex) A(4 hex) "00",
// then per byte in stamping order its two hex digits and "31", then the
// checksum (0 - sum) & 0xFF, CR LF; the file ends with ":00000001FF".

#include <istream>
#include <string>
#include <vector>

struct MainState;
class Prompts;

inline constexpr const char* kQtpEndRecord = ":00000001FF";

// One data record (with its line end) for the current serial number.
std::string QtpRecordText(const MainState& state);

// QTP_File: appends the record for the current number to out and advances the number.
void QTP_File(MainState& state, std::string& out);

// The whole file of `parts` records from the current number on, the number
// advanced past the last one, and the end record.
std::string QtpFileText(MainState& state, int parts);

enum class QtpReadResult { Ok, InformationError, DataError, ChecksumError };
const char* QtpReadMessage(QtpReadResult result);

// Reads one record from in. A good data record sets SerialLength,
// SerialAddress and SerialValue, QtpEnd = 0 and QtpMode = 1; the end record
// sets QtpEnd = 1, QtpMode = 1, length and address 0. A faulty record changes
// nothing and is reported through prompts. A count of more than 8 bytes is
// refused as faulty.
QtpReadResult ReadSerialData(MainState& state, std::istream& in, Prompts& prompts);

// "Load QTP File" once the file is chosen: reads its first record, checks
// that the number's words are RTIW words and, if all is well, turns
// serial-number mode on with Label19 showing the file name and stamps the
// number. Otherwise serial-number and QTP mode end up off and the file closed.
// True when QTP mode is on.
bool LoadQtpFile(MainState& state, const std::string& path, Prompts& prompts);

// The serial numbers of a QTP file's data records in order, as the ledger
// reads them (hex, most significant first, the bytes in the order
// `lsbFirst` says they were written); a faulty record gives "", the end
// record ends the list.
std::vector<std::string> QtpFileSerials(std::istream& in, bool lsbFirst);

// Closes the QTP file.
void CloseQtpFile(MainState& state);
