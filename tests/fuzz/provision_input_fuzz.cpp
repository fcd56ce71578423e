// libFuzzer target: what the operator types for the production line and its
// records, as the line reads it before anything is sent — `records --since TIME`
// (RecordTime::ParseSince), the version in an image's file name
// (VersionFromImageName), `--set NAME=VALUE` (SplitAssignment, ResolveAssignment
// against a definition table) — and the CSV field a record's text becomes
// (RecordCsv::Field). Checks what must hold whatever the text is:
// - a time taken writes back as a UTC time of 24 characters; an age is never later
//   than now; a UTC date and time given whole writes back as itself;
// - a version comes only from a name ending in ".ebl", is not empty and holds no "/";
// - an assignment splits at its first "=" into a name without "=" and the rest;
// - a resolved assignment names a writable record; a refused one says why;
// - a CSV field reads back as the text (quotes doubled, quoted when needed).
//
//   cmake --preset fuzz && cmake --build build-fuzz --target provision_input_fuzz
//   ./build-fuzz/bin/provision_input_fuzz -max_total_time=60 CORPUS

#include <cctype>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "config/ParameterAssignment.h"
#include "production/ProvisionPlan.h"
#include "production/RecordCsv.h"
#include "production/RecordTime.h"

namespace {

using namespace zendra;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

const ParameterDefinitions& Table() {
  static const ParameterDefinitions table = [] {
    ParameterDefinitions defs;
    defs.ParseDefinitionText(
        "[Node/Node name]String;Range = 1;Max = 16;<Name.>;Command = AT+NODENAME;"
        "[Node/Node type]Get;<Read only.>;Command = AT+NODETYPE;"
        "[Radio/Power]10;Combo_list = Low:High;Value_list = 0:5;<Power.>;Command = AT+TXPOWER;"
        "[Radio/Mode]10;Combo_list = Off:On;<Mode.>;Command = AT+MODE;"
        "[Net/Mode]16;Range = 0;Max = FF;<Mode.>;Command = AT+NMODE;",
        false);
    return defs;
  }();
  return table;
}

std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// A CSV field read back: the text inside the quotes with doubled quotes undone.
std::string Unquoted(const std::string& field) {
  if (field.empty() || field.front() != '"') return field;
  Check(field.size() >= 2 && field.back() == '"');
  std::string text;
  for (std::size_t i = 1; i + 1 < field.size(); ++i) {
    text += field[i];
    if (field[i] == '"') {
      Check(field[i + 1] == '"');
      ++i;
    }
  }
  return text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);

  const auto now = std::chrono::sys_days(std::chrono::year(2025) / 3 / 14) + std::chrono::hours(12);
  if (const auto since = RecordTime::ParseSince(text, now)) {
    const std::string written = RecordTime::Format(*since);
    Check(written.size() == 24 && written.back() == 'Z' && written[10] == 'T');
    if (!text.empty() && std::isdigit(static_cast<unsigned char>(text.back())) == 0 &&
        text.back() != 'Z')
      Check(*since <= now);
    if (text.size() == 20 && text[10] == 'T' && text.back() == 'Z')
      Check(written.substr(0, 19) == text.substr(0, 19));
  }

  if (const auto version = VersionFromImageName(text)) {
    Check(!version->empty());
    Check(version->find('/') == std::string::npos);
    Check(text.size() >= 4 && Lower(text.substr(text.size() - 4)) == ".ebl");
  }

  if (const auto assignment = SplitAssignment(text)) {
    Check(!assignment->first.empty());
    Check(assignment->first.find('=') == std::string::npos);
    Check(assignment->first + "=" + assignment->second == text);
    const Assignment resolved = ResolveAssignment(Table(), assignment->first, assignment->second);
    if (resolved.record >= 0) {
      Check(resolved.error.empty());
      Check(Table().Record(resolved.record).type != ParameterRecord::kTypeGet);
    } else {
      Check(!resolved.error.empty());
    }
  }

  const std::string field = RecordCsv::Field(text);
  Check(Unquoted(field) == text);
  if (field == text) Check(text.find_first_of(",\"\r\n") == std::string::npos);
  return 0;
}
