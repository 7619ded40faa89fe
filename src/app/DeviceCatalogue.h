#pragma once
// The built-in list of ICs the Writer can program, and how each family codes
// its OPTION word. Callers never assume how many rows there are: the device
// table ends at the first row without a name.

#include <cstdint>
#include <span>
#include <string>

struct MainState;

struct DeviceRecord {
  const char* Name;  // nullptr ends the table
  std::uint8_t ProgramTopHi;
  std::uint8_t ProgramTopLo;
  std::int32_t OptionFamily;
  std::int32_t CoreKind;  // 1 = 12-bit core, other = 14-bit core
  std::uint8_t DeviceAttr;
  std::uint8_t DeviceAttr2;
  std::int32_t WriterType;
  std::uint8_t OptionLowMask;
  std::uint8_t OptionLowForce;
  std::uint8_t OptionHighMask;
  std::uint8_t OptionHighForce;
  std::uint8_t MemoryKind;  // 2 = data EEPROM, erasable; 1 = no write pulse in headers
  std::uint8_t EepromTopHi;
  std::uint8_t EepromTopLo;
  std::uint8_t RcCalKind;
  std::uint8_t NeedsAdaptor;
  std::uint8_t DeviceAttr3;
  std::uint8_t DownloadDefault;
};

struct OptionSchemeRow {
  std::uint8_t OscScheme, PrdScheme, OstScheme, WdtScheme, PedScheme, SecurityScheme;
};

constexpr int kOptionFamilies = 22;

// The catalogue in use. Tests swap in rows of their own with ScopedDeviceTable.
std::span<const DeviceRecord> DeviceTable();  // includes the final nameless row
std::span<const OptionSchemeRow> OptionSchemeTable();

// The row at index, or nullptr when index is outside the named rows.
const DeviceRecord* DeviceRow(int index);
// Number of named rows.
int DeviceCount();

// Looks the name up (exact, case-sensitive) and copies the device's parameters
// into state. Returns the row index, or -1 leaving state unchanged.
int GetICInfo(MainState& state, const std::string& name);
// Name of row index; empty for the final nameless row or any index past it.
std::string GetIcName(int index);
// DownloadDefault of row index (0 outside the table).
std::uint8_t GetDownload(int index);

// Replaces the device table for the life of the object (tests). The rows must
// end with a nameless row and outlive the guard.
class ScopedDeviceTable {
 public:
  explicit ScopedDeviceTable(std::span<const DeviceRecord> rows);
  ~ScopedDeviceTable();
  ScopedDeviceTable(const ScopedDeviceTable&) = delete;
  ScopedDeviceTable& operator=(const ScopedDeviceTable&) = delete;

 private:
  std::span<const DeviceRecord> previous_;
};
