#include "device/LineSettingsChoice.h"

#include <span>
#include <string_view>

#include "serial/LineSettingTables.h"

namespace zendra {

namespace {

std::string Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return std::string(text.substr(first, last - first + 1));
}

// The table value of the box's text; fills `refusal` when the text is no entry.
int Lookup(const std::string& boxText, std::span<const SettingEntry> table, const char* what,
           std::string& refusal) {
  const std::string text = Trimmed(boxText);
  for (const auto& entry : table) {
    if (text == entry.label) return entry.value;
  }
  if (refusal.empty()) {
    refusal = text.empty()
                  ? std::string("ERROR: Please choose the ") + what + "."
                  : std::string("ERROR: The ") + what + " \"" + text + "\" is not one of the list.";
  }
  return 0;
}

}  // namespace

LineSettingsChoice LineSettingsChoice::FromBoxTexts(const SerialPortBoxTexts& texts) {
  LineSettingsChoice choice;
  choice.portName = Trimmed(texts.port);
  auto& s = choice.settings;
  // Checked left to right, as the boxes stand, so the first wrong box is named.
  s.baudRate = Lookup(texts.baudRate, kBaudRateTable, "baud rate", choice.refusal);
  s.dataBits = Lookup(texts.dataBits, kDataBitsTable, "data bits", choice.refusal);
  s.parity = Lookup(texts.parity, kParityTable, "parity", choice.refusal);
  s.stopBits = Lookup(texts.stopBits, kStopBitsTable, "stop bits", choice.refusal);
  s.flowControl = Lookup(texts.flowControl, kFlowControlTable, "flow control", choice.refusal);
  return choice;
}

}  // namespace zendra
