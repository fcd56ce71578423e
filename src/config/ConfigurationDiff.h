#pragma once
// What an import of a configuration file would change on the targeted device,
// parameter by parameter: the device's value next to the file's. `zendra-cli diff`
// shows it, `import --only-changed` sends only what it marks, and the desktop
// program shows it in a dialog before an import. Comparing reads the device and
// writes nothing.
//
// Each entry of the import's plan (ConfigurationTransfer::ReadImportFile: the
// sections in the file's order, with the commands exactly as the import would send
// them) is tied to a parameter of the loaded definition table by its command: the
// record whose read command, "=" begins the file's command (the set command of a
// parameter is its read command, "=", the value). The command's name is compared
// without regard to case, as the module takes it; of several records the one whose
// group "/" name is the section's "Name" counts, else the one with the longest
// command. The value the import would set is the rest of the command.
//
// Only the table's own read commands are sent, each once, in table order, the way
// the export reads (ConfigurationTransfer::ReadAllParameters). A command no record
// describes is never turned into a query: it could be anything (a restart, a
// factory default), so it is shown as not in the definition file and counts as a
// change.
//
// Values are compared exactly, byte for byte, as the module reports them and as the
// file holds them. The system never converts a value: the editor shows and writes
// the text as it is, and a choice is found by exact comparison with its device
// value. Two texts that a module may take as one number ("ff" and "FF", "7" and
// "07") are still two different commands on the line, and whether the module stores
// them alike is the module's business; so they count as a change, which costs one
// command that changes nothing, whereas counting them equal could leave out a write
// that mattered.
//
// The comparison assumes what the Configuration page assumes: a command changes
// its own parameter and no other. When a file sets one parameter twice, the later
// entry is compared with the value the earlier one leaves, so leaving out an
// unchanged entry never changes what the import ends with.

#include <optional>
#include <string>
#include <vector>

#include "config/ConfigurationTransfer.h"
#include "config/ParameterDefinitions.h"

namespace zendra {

class ConfigurationDiff {
 public:
  struct Entry {
    enum class Kind {
      kChanged,           // the device holds another value: the import changes it
      kUnchanged,         // the device already holds the file's value
      kNotRead,           // the device did not answer the read: unknown
      kNotInDefinitions,  // no parameter of the definition file has this command
      kNotSendable,       // the import never sends this command (empty, control byte, too long)
    };
    Kind kind = Kind::kChanged;
    int section = 0;        // the file's section number
    std::string name;       // the section's "Name"
    std::string group;      // of the matched parameter; else the Name before its first "/"
    std::string parameter;  // of the matched parameter; else the rest of the Name
    int record = -1;        // the matched record; -1: none
    std::string command;    // the command as the file holds it (without CR LF)
    // The value the import sets (matched entries) and the value the device holds
    // at that point of the import (read: kChanged, kUnchanged).
    std::string fileValue;
    std::optional<std::string> deviceValue;
    // For a choice parameter: the choice each value selects, as the page shows it
    // (nullopt: none of the choices).
    std::optional<std::string> fileChoice;
    std::optional<std::string> deviceChoice;

    // The two sides as the operator reads them: the value, with its choice in front
    // for a choice parameter ("Open (1)"), or what stands in for it ("(not read)").
    std::string DeviceText() const;
    std::string FileText() const;
  };

  std::vector<Entry> entries;  // one per section of the plan, in the file's order
  bool stopped = false;        // the device's read was stopped: `entries` is empty

  // The records to read to compare `plan`: the matched ones, one per read command,
  // in table order.
  static std::vector<int> RecordsToRead(const ImportPlan& plan,
                                        const ParameterDefinitions& definitions);
  // The comparison of `plan` with what was read.
  static ConfigurationDiff Compare(const ImportPlan& plan, const ParameterDefinitions& definitions,
                                   const std::vector<ParameterReading>& readings);
  // Reads what `plan` needs from the device `transfer` targets and compares.
  static ConfigurationDiff CompareWithDevice(ConfigurationTransfer& transfer, LineLease& line,
                                             const ImportPlan& plan,
                                             TransferProgress* progress = nullptr);

  // The record whose command `command` sets, preferring the one named `name`; -1:
  // none.
  static int MatchRecord(const std::string& command, const std::string& name,
                         const ParameterDefinitions& definitions);

  int Count(Entry::Kind kind) const;
  // Entries an import would change or cannot be sure about: all but the unchanged.
  int Differences() const;
  // Whether an import would change nothing (every entry unchanged, or no entry).
  bool NothingChanges() const { return Differences() == 0; }
  // What `import --only-changed` sends: every entry but the unchanged ones (an
  // unsendable entry stays, to be logged as the import logs it).
  std::vector<bool> SendMask() const;
};

}  // namespace zendra
