#include "serial/LineSettingTables.h"

namespace zendra {

int SelectedSetting(std::string_view label, std::span<const SettingEntry> table) {
  for (const auto& entry : table) {
    if (label == entry.label) return entry.value;
  }
  return 0;
}

std::string_view SettingLabel(int value, std::span<const SettingEntry> table) {
  for (const auto& entry : table) {
    if (entry.value == value) return entry.label;
  }
  return {};
}

}  // namespace zendra
