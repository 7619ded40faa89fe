#pragma once
// Which fields of MainState differ between two snapshots, by name. MainState
// copies as a whole except the QTP stream, which is shared: it is compared by
// identity. The names are for the failure message; whole states are compared
// too, so a field missing from the list shows up as kUnnamedField instead of
// passing unseen.

#include <set>
#include <string>

#include "app/MainState.h"

namespace faults {

inline const std::string kUnnamedField = "a MainState field StateDiff.h does not name";

inline std::set<std::string> ChangedFields(const MainState& a, const MainState& b) {
  std::set<std::string> changed;
  // b with every named field put back to a's: what is left differs unnamed.
  MainState rest = b;
#define WRITER_FIELD(f)                  \
  if (!(a.f == b.f)) changed.insert(#f); \
  rest.f = a.f
  WRITER_FIELD(OptionLow);
  WRITER_FIELD(OptionHigh);
  WRITER_FIELD(IdBuffer);
  WRITER_FIELD(BodyOptionBytes);
  WRITER_FIELD(ProgramBuffer);
  WRITER_FIELD(CommandHeader);
  WRITER_FIELD(ReadBuffer);
  WRITER_FIELD(EepromBuffer);
  WRITER_FIELD(IcReadDone);
  WRITER_FIELD(IdWindowOpen);
  WRITER_FIELD(MemoryWindowOpen);
  WRITER_FIELD(RefreshPending);
  WRITER_FIELD(DisassemblyWindowOpen);
  WRITER_FIELD(QtpMode);
  WRITER_FIELD(HexValid);
  WRITER_FIELD(StartupLoad);
  WRITER_FIELD(QtpRecord);
  WRITER_FIELD(QtpIn);
  WRITER_FIELD(QtpEnd);
  WRITER_FIELD(CodeSum);
  WRITER_FIELD(HexValue);
  WRITER_FIELD(ProgramFileSize);
  WRITER_FIELD(DeviceIndex);
  WRITER_FIELD(Shown);
  WRITER_FIELD(ConfigText);
  WRITER_FIELD(CfgPath);
  WRITER_FIELD(FileOpenText);
  WRITER_FIELD(QtpChar);
  WRITER_FIELD(OptionErrors);
  WRITER_FIELD(SimMode);
  WRITER_FIELD(SerialMode);
  WRITER_FIELD(SerialAddress);
  WRITER_FIELD(SerialLength);
  WRITER_FIELD(SerialValue);
  WRITER_FIELD(SerialStep);
  WRITER_FIELD(SerialRandom);
  WRITER_FIELD(SerialLsbFirst);
  WRITER_FIELD(IdShowHex);
  WRITER_FIELD(IdMode);
  WRITER_FIELD(NoBlankCheck);
  WRITER_FIELD(VerifyProtect);
  WRITER_FIELD(PortFailed);
  WRITER_FIELD(EepromWindowOpen);
  WRITER_FIELD(DeviceName);
  WRITER_FIELD(ProgramTopHi);
  WRITER_FIELD(ProgramTopLo);
  WRITER_FIELD(OptionFamily);
  WRITER_FIELD(CoreKind);
  WRITER_FIELD(DeviceAttr);
  WRITER_FIELD(DeviceAttr2);
  WRITER_FIELD(WriterType);
  WRITER_FIELD(ProgramBytes);
  WRITER_FIELD(TickCount);
  WRITER_FIELD(WriteFailIndex);
  WRITER_FIELD(OscScheme);
  WRITER_FIELD(PrdScheme);
  WRITER_FIELD(OstScheme);
  WRITER_FIELD(WdtScheme);
  WRITER_FIELD(PedScheme);
  WRITER_FIELD(SecurityScheme);
  WRITER_FIELD(MemoryKind);
  WRITER_FIELD(OptionHighMask);
  WRITER_FIELD(OptionLowMask);
  WRITER_FIELD(EepromTopLo);
  WRITER_FIELD(EepromTopHi);
  WRITER_FIELD(RcCalKind);
  WRITER_FIELD(NeedsAdaptor);
  WRITER_FIELD(DeviceAttr3);
  WRITER_FIELD(EraseFirst);
  WRITER_FIELD(PortName);
  WRITER_FIELD(PortBaud);
  WRITER_FIELD(PortDataBits);
  WRITER_FIELD(PortParity);
  WRITER_FIELD(PortStopBits);
  WRITER_FIELD(StartDir);
  WRITER_FIELD(CurrentFileName);
  WRITER_FIELD(Panel.PrdCaptionLeft);
  WRITER_FIELD(Panel.Label11);
  WRITER_FIELD(Panel.OptChecksum);
  WRITER_FIELD(Panel.ProtectSum);
  WRITER_FIELD(Panel.Label17);
  WRITER_FIELD(Panel.Label18);
  WRITER_FIELD(Panel.Label13);
  WRITER_FIELD(Panel.Label15);
  WRITER_FIELD(Panel.Label1);
  WRITER_FIELD(Panel.Label19);
  WRITER_FIELD(Panel.SpeedButton1);
  WRITER_FIELD(Panel.option);
#undef WRITER_FIELD
  if (!(rest == a)) changed.insert(kUnnamedField);
  return changed;
}

}  // namespace faults
