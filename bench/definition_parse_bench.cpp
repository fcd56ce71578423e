// How long loading a definition file takes once it is read: parsing 64 KiB (the
// most a file may hold) and building the name table that fills the tree. Two
// shapes: realistic entries with long descriptions, and 1000 short entries (a
// full table). Prints the median of many runs; the target is under 5 ms.

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "config/ParameterDefinitions.h"

namespace {

using zendra::ParameterDefinitions;

std::string PadTo64KiB(std::string text) {
  // Comment in front of the entries fills the file up to exactly 64 KiB.
  if (text.size() < ParameterDefinitions::kMaxFileBytes)
    text.insert(0, std::string(ParameterDefinitions::kMaxFileBytes - text.size(), ' '));
  return text;
}

std::string RealisticFile() {
  std::string text;
  for (int i = 0; text.size() < 64000; ++i) {
    const std::string group = "Group " + std::to_string(i / 38 % 25);
    const std::string n = std::to_string(i);
    std::string entry;
    switch (i % 4) {
      case 0:
        entry = "[" + group + "/Choice " + n +
                "]10;Combo_list = Off:Low:Medium:High;Value_list = 0:1:2:3;\r\n"
                " Help: <How strongly the node does thing " +
                n +
                ".\r\nTakes effect at once.>;\r\n"
                " Command = AT+C" +
                n + ";\r\n";
        break;
      case 1:
        entry = "[" + group + "/Number " + n +
                "]10;Range = 1;Max = 15;\r\n Help: <A count between one "
                "and fifteen for setting " +
                n + ".>;\r\n Command = AT+N" + n + ";\r\n";
        break;
      case 2:
        entry = "[" + group + "/Text " + n +
                "]String;Range = 1;Max = 16;\r\n Help: <Free text of up to "
                "sixteen characters, shown in scans.>;\r\n Command = AT+T" +
                n + ";\r\n";
        break;
      default:
        entry = "[" + group + "/Status " + n + "]Get;\r\n Help: <Read only status word " + n +
                ".>;\r\n Command = AT+S" + n + ";\r\n";
    }
    text += entry;
  }
  return PadTo64KiB(text);
}

std::string FullTableFile() {
  std::string text;
  for (int i = 0; i < 1000; ++i)
    text += "[G" + std::to_string(i / 40) + "/P" + std::to_string(i) +
            "]10;Range = 1;Max = 9;<d>;Command = AT+P" + std::to_string(i) + ";\n";
  return PadTo64KiB(text);
}

void Measure(const char* label, const std::string& text, int runs) {
  ParameterDefinitions defs;
  std::vector<double> ms;
  ms.reserve(static_cast<std::size_t>(runs));
  for (int i = 0; i < runs; ++i) {
    const auto start = std::chrono::steady_clock::now();
    defs.ParseDefinitionText(text, false);
    defs.BuildNameTable();
    const auto rows = defs.TreeRows();
    const auto end = std::chrono::steady_clock::now();
    if (rows.empty()) std::abort();
    ms.push_back(std::chrono::duration<double, std::milli>(end - start).count());
  }
  std::sort(ms.begin(), ms.end());
  std::printf(
      "%-34s %6zu bytes %5d records %3zu rows  median %.3f ms  p90 %.3f ms  min %.3f ms  (%d "
      "runs)\n",
      label, text.size(), defs.parameterCount, defs.TreeRows().size(), ms[ms.size() / 2],
      ms[ms.size() * 9 / 10], ms.front(), runs);
}

}  // namespace

int main() {
  Measure("parse + name table, realistic", RealisticFile(), 500);
  Measure("parse + name table, 1000 records", FullTableFile(), 500);
  return 0;
}
