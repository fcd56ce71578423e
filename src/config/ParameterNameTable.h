#pragma once
// The rows that fill the parameter tree: 25 rows of 40 entries. Entry 0 of a row is
// a group name, entries 1 onward the names of that group's parameters in file
// order, and the row ends at its first empty entry. Entries refer to texts inside
// the parameter table (or to the load-failure text); they never own text, so the
// table is rebuilt whenever the parameter table is loaded again.
//
// A row holds at most 38 parameters: entry 39 stays empty as the end mark. Rows and
// entries beyond the capacity are never written (docs/config-limits.md).

#include <array>
#include <cstddef>
#include <string_view>

namespace zendra {

class ParameterNameTable {
 public:
  static constexpr int kRows = 25;
  static constexpr int kEntries = 40;
  static constexpr int kParametersPerRow = kEntries - 2;

  // Makes every entry empty.
  void Clear();

  // Empty (and false) when (row, entry) is outside the table.
  std::string_view Entry(int row, int entry) const;
  bool Set(int row, int entry, std::string_view text);

 private:
  std::array<std::array<std::string_view, kEntries>, kRows> entries_{};
};

}  // namespace zendra
