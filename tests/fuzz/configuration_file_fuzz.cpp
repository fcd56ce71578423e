// libFuzzer target: a configuration file (.zgb) as the import reads it before it
// sends anything (ConfigurationTransfer::ReadImportFile): "Version", "Num_of_saves",
// and every section's "Name" and "Command". The operator may pick any file, so the
// bytes are arbitrary. Checks what must hold whatever the file says:
// - no version, no entries (an invalid file sends nothing);
// - never more entries than the count says, nor than the file has section headers,
//   and the last entry's section is in the file;
// - a command marked sendable is one whole line of at most 256 characters, with no
//   control byte (a NUL included), and equals the section's whole value (never a
//   63-character cut, nor one at a NUL);
// - an entry is sendable exactly when its command passes the check.
//
//   cmake --preset fuzz && cmake --build build-fuzz --target configuration_file_fuzz
//   ./build-fuzz/bin/configuration_file_fuzz -max_total_time=60 CORPUS

#include <cstddef>
#include <cstdint>
#include <string>

#include "config/ConfigurationTransfer.h"
#include "config/ProfileFile.h"

namespace {

using namespace zendra;

void Check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const ProfileFile file(std::string(reinterpret_cast<const char*>(data), size));
  const ImportPlan plan = ConfigurationTransfer::ReadImportFile(file);

  if (plan.version.empty()) {
    Check(plan.entries.empty());
    return 0;
  }
  Check(file.Lookup("Firmware", "Version") == plan.version);
  Check(plan.count >= 0);
  Check(plan.entries.size() <= static_cast<std::size_t>(plan.count));
  Check(plan.entries.size() <= file.SectionCount());
  // The replay ends at a section the file holds, never at one the count invented.
  if (!plan.entries.empty()) Check(file.HasSection(std::to_string(plan.entries.size() - 1)));
  for (std::size_t i = 0; i < plan.entries.size(); ++i) {
    const ImportPlan::Entry& entry = plan.entries[i];
    const std::string section = std::to_string(i);
    Check(entry.command == file.Lookup(section, "Command").value_or(""));
    Check(entry.name == file.Lookup(section, "Name").value_or(""));
    Check(entry.sendable == ConfigurationTransfer::IsSendableCommand(entry.command));
    if (!entry.sendable) continue;
    Check(!entry.command.empty() && entry.command.size() <= 256);
    for (const char c : entry.command) {
      const auto byte = static_cast<unsigned char>(c);
      Check(byte >= 0x20 && byte != 0x7F);
    }
  }
  return 0;
}
