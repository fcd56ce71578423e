#include "config/ParameterNameTable.h"

namespace zendra {

namespace {
bool Inside(int row, int entry) {
  return row >= 0 && row < ParameterNameTable::kRows && entry >= 0 &&
         entry < ParameterNameTable::kEntries;
}
}  // namespace

void ParameterNameTable::Clear() {
  for (auto& row : entries_) row.fill(std::string_view());
}

std::string_view ParameterNameTable::Entry(int row, int entry) const {
  if (!Inside(row, entry)) return {};
  return entries_[static_cast<std::size_t>(row)][static_cast<std::size_t>(entry)];
}

bool ParameterNameTable::Set(int row, int entry, std::string_view text) {
  if (!Inside(row, entry)) return false;
  entries_[static_cast<std::size_t>(row)][static_cast<std::size_t>(entry)] = text;
  return true;
}

}  // namespace zendra
