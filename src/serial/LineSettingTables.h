#pragma once
// The fixed choices of the "Serial Port" boxes: the label the operator sees and
// the code SerialPort::Open takes, in the order the boxes list them.

#include <span>
#include <string_view>

namespace zendra {

struct SettingEntry {
  const char* label;
  int value;
};

inline constexpr SettingEntry kBaudRateTable[] = {
    {"1200", 1200},     {"2400", 2400},     {"4800", 4800},     {"9600", 9600},
    {"19200", 19200},   {"38400", 38400},   {"57600", 57600},   {"115200", 115200},
    {"230400", 230400}, {"460800", 460800}, {"921600", 921600},
};
inline constexpr SettingEntry kParityTable[] = {{"None", 0}, {"Even", 2}, {"Odd", 1}};
inline constexpr SettingEntry kStopBitsTable[] = {{"1", 0}, {"2", 2}};
inline constexpr SettingEntry kDataBitsTable[] = {{"7", 7}, {"8", 8}};
inline constexpr SettingEntry kFlowControlTable[] = {{"None", 10}, {"Software", 11}, {"Hardware", 12}};

inline constexpr int kDefaultBaudRate = 9600;
inline constexpr int kDefaultParity = 0;
inline constexpr int kDefaultStopBits = 0;
inline constexpr int kDefaultDataBits = 8;
inline constexpr int kDefaultFlowControl = 10;

// The value of the entry whose label equals `label` exactly; 0 when none does.
int SelectedSetting(std::string_view label, std::span<const SettingEntry> table);

// The label of the entry with `value`; empty when none has it.
std::string_view SettingLabel(int value, std::span<const SettingEntry> table);

}  // namespace zendra
