#include "app/DeviceCatalogue.h"

#include <array>

#include "app/MainState.h"

namespace {

constexpr DeviceRecord kBuiltInDevices[] = {
    // Name, top hi/lo, family, core, attr, attr2, writer, low mask/force,
    // high mask/force, memory kind, EEPROM top hi/lo, RC cal, adaptor, attr3, download
    {"K7E1/E3", 0x03, 0xFF, 19, 1, 0x30, 0xC1, 2, 0x70, 0x0A, 0x5F, 0x00, 1, 0x00, 0x00, 0, 0, 0x3F, 0},
    {"K7E2/E4", 0x03, 0xFF, 18, 1, 0x30, 0x03, 2, 0x7F, 0x00, 0x5F, 0x00, 1, 0x00, 0x00, 1, 0, 0x3F, 0},
    {nullptr, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
};

constexpr std::array<OptionSchemeRow, kOptionFamilies> kOptionSchemes{{
    {0, 0, 0, 0, 0, 0},  // 0
    {1, 0, 1, 1, 1, 2},  // 1
    {1, 1, 4, 1, 1, 2},  // 2
    {1, 0, 2, 1, 0, 2},  // 3
    {0, 0, 2, 1, 0, 2},  // 4
    {1, 1, 4, 1, 1, 2},  // 5
    {1, 0, 4, 1, 1, 2},  // 6
    {0, 0, 0, 0, 0, 2},  // 7
    {1, 0, 3, 2, 0, 2},  // 8
    {0, 0, 3, 2, 0, 2},  // 9
    {1, 0, 5, 3, 2, 1},  // 10
    {4, 0, 4, 1, 1, 2},  // 11
    {0, 0, 4, 1, 1, 2},  // 12
    {5, 0, 0, 0, 0, 2},  // 13
    {6, 0, 0, 0, 0, 2},  // 14
    {1, 0, 4, 1, 3, 2},  // 15
    {1, 0, 4, 1, 4, 2},  // 16
    {0, 1, 4, 1, 1, 2},  // 17
    {1, 0, 2, 1, 1, 2},  // 18
    {0, 0, 2, 1, 1, 2},  // 19
    {0, 0, 4, 1, 3, 2},  // 20
    {7, 0, 0, 4, 5, 3},  // 21
}};

std::span<const DeviceRecord> g_devices{kBuiltInDevices};

}  // namespace

std::span<const DeviceRecord> DeviceTable() { return g_devices; }
std::span<const OptionSchemeRow> OptionSchemeTable() { return kOptionSchemes; }

int DeviceCount() {
  int n = 0;
  while (n < static_cast<int>(g_devices.size()) && g_devices[n].Name != nullptr) ++n;
  return n;
}

const DeviceRecord* DeviceRow(int index) {
  if (index < 0 || index >= DeviceCount()) return nullptr;
  return &g_devices[index];
}

int GetICInfo(MainState& state, const std::string& name) {
  const int count = DeviceCount();
  for (int i = 0; i < count; ++i) {
    const DeviceRecord& d = g_devices[i];
    if (name != d.Name) continue;
    state.DeviceName = d.Name;
    state.ProgramTopHi = d.ProgramTopHi;
    state.ProgramTopLo = d.ProgramTopLo;
    state.EepromTopHi = d.EepromTopHi;
    state.EepromTopLo = d.EepromTopLo;
    state.OptionFamily = d.OptionFamily;
    state.CoreKind = d.CoreKind;
    state.DeviceAttr = d.DeviceAttr;
    state.DeviceAttr2 = d.DeviceAttr2;
    state.WriterType = d.WriterType;
    state.OptionHighMask = d.OptionHighMask;
    state.OptionLowMask = d.OptionLowMask;
    state.ProgramBytes = ((d.ProgramTopHi * 256 + d.ProgramTopLo) + 1) * 2;
    state.MemoryKind = d.MemoryKind;
    state.RcCalKind = d.RcCalKind;
    state.NeedsAdaptor = d.NeedsAdaptor;
    state.DeviceAttr3 = d.DeviceAttr3;
    // A family outside the scheme table has no fields rather than garbage ones.
    OptionSchemeRow schemes{};
    if (d.OptionFamily >= 0 && d.OptionFamily < kOptionFamilies) schemes = kOptionSchemes[d.OptionFamily];
    state.OscScheme = schemes.OscScheme;
    state.PrdScheme = schemes.PrdScheme;
    state.OstScheme = schemes.OstScheme;
    state.WdtScheme = schemes.WdtScheme;
    state.PedScheme = schemes.PedScheme;
    state.SecurityScheme = schemes.SecurityScheme;
    return i;
  }
  return -1;
}

std::string GetIcName(int index) {
  const DeviceRecord* d = DeviceRow(index);
  return d ? std::string(d->Name) : std::string();
}

std::uint8_t GetDownload(int index) {
  const DeviceRecord* d = DeviceRow(index);
  return d ? d->DownloadDefault : 0;
}

ScopedDeviceTable::ScopedDeviceTable(std::span<const DeviceRecord> rows) : previous_(g_devices) {
  g_devices = rows;
}

ScopedDeviceTable::~ScopedDeviceTable() { g_devices = previous_; }
