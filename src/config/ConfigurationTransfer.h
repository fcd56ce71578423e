#pragma once
// Export and import of a module's configuration (the Export and Import buttons of
// the Configuration page) without the page.
//
// Export reads the value of every writable parameter of the loaded definition table
// from the device the page targets and stores the set command that reproduces it in
// a configuration file (.zgb, a private-profile file, see ProfileFile):
//
//     [Firmware]
//     Version=MA11_v1.10.0.zmcon          the definition file name of the export
//     Num_of_saves=2                      written last, joins the section
//     [0]
//     Name=Node/Node name                 group "/" name
//     Command=AT+NODENAME=Zendra1         the value carries its own CR LF, so an
//                                         empty line follows
//     [1]
//     ...
//
// Read-only parameters (type 39) are not exported, and sections count exported
// parameters only, so a parameter whose read failed leaves no gap. Import replays
// the commands of such a file, each with CR LF appended, to the targeted device; it
// does not look them up in the table (a file may carry commands the current table
// lacks). Reads use the targeted device's query (local 1 s, remote 15 s to the
// reported EUI address), writes its set transaction (local 2 s, remote 15 s); a
// sleepy local module is woken once, before the first transaction.
//
// Parameters that fail are listed in an error log next to the chosen .zgb file
// (not in the process's current folder, which the operator never chose):
// "ExportErrorLog.TXT" ("###Export save error###", then group "/" name per failed
// read) and "ImportErrorLog.TXT" (per failed command its Name, the command as sent
// with its CR LF, and an empty line); every line ends in CR LF. The log is written
// whole, replacing an older one, and opened for the operator (Operator::OpenDocument)
// unless the caller prints its path instead. A folder that cannot be written to is
// said, with the path, in a message.
//
// What a file may hold that must never reach the module:
// - "Command" is read whole, never through the platform's 64-byte buffer: a command
//   cut at 63 characters would write a shortened value (a key, a name) as if it were
//   the stored one.
// - A command holding a control byte (a CR inside it would end the line early and
//   run the rest as a command of its own), an empty or missing command, and one
//   longer than kMaxCommandLength characters are not sent: each is a failed entry,
//   logged like a command the module refused. Export applies the same rules to what
//   it writes, so every command it stores can be imported.
// - "Num_of_saves" larger than the sections the file holds stops at the last
//   numbered section there is: a corrupted count must not make the import walk (and
//   log) missing sections. A section missing before the last one is a failed entry.
// - A "Command" holding a NUL byte is refused whole, as any control byte is, never
//   sent cut at the NUL.
// A value that the profile reader would change (blanks at either end, which it trims)
// is written in double quotes, which the reader removes again.
//
// The export's read is ReadAllParameters, which `zendra-cli dump` uses for every
// parameter and ConfigurationDiff for the ones a file sets. The import is
// PrepareImport (the file read, the version question) and SendImport (the replay);
// with ImportOptions::onlyChanged the device is compared in between and only the
// commands whose value it does not already hold are sent.
//
// Both run as one module task over a LineLease. A TransferProgress sink is told
// "parameter k of n" before each parameter and may end the transfer between two
// parameters; a stop of the lease ends the transaction under way at once. A stopped
// export writes nothing (the former file stays); a stopped import has sent what it
// sent and logs the failures met so far.

#include <optional>
#include <string>
#include <vector>

#include "config/ConfigPageState.h"
#include "config/ParameterDefinitions.h"
#include "config/ProfileFile.h"
#include "device/Connection.h"

namespace zendra {

// The two kinds of step of a transfer: reading values from the device (an export,
// the comparison before an import of only what changed) and sending commands.
enum class TransferStage { kReading, kSending };

// Where an export or import reports its steps. Called on the task's thread.
class TransferProgress {
 public:
  virtual ~TransferProgress() = default;
  // The steps that follow are of this stage (told when an import first reads, then
  // sends; a transfer of one stage need not say so).
  virtual void Stage(TransferStage) {}
  // Parameter k (1-based) of n is about to be read or sent; `name` is its group "/"
  // name (export) or its "Name" (import).
  virtual void Step(int k, int n, const std::string& name) = 0;
  // Asked between two parameters: true ends the transfer there.
  virtual bool StopRequested() { return false; }
};

// One parameter of the table as read from the targeted device.
struct ParameterReading {
  enum class Status {
    kRead,       // the device answered: `value` is its reply
    kFailed,     // "ERROR" or no answer within the time-out
    kNoCommand,  // the entry was cut before its command: nothing was sent
  };
  int index = -1;       // the record
  std::string name;     // group "/" name, on one line
  std::string command;  // the read command, without its CR LF
  Status status = Status::kFailed;
  std::string value;
};

struct ReadAllResult {
  bool stopped = false;  // stopped before the end: `readings` holds the ones before
  std::vector<ParameterReading> readings;  // in the order asked for
};

// Which records of the table a read of every parameter takes.
enum class ReadScope {
  kWritable,  // as the export: every parameter but the read-only ones (type 39)
  kEvery,     // all of them
};

struct ExportResult {
  enum class Outcome {
    kDone,        // the file was written (some reads may have failed: see `failed`)
    kNotWritten,  // the file could not be written: its message has been shown
    kStopped,     // stopped before the end: nothing was written
  };
  Outcome outcome = Outcome::kDone;
  int exported = 0;                 // sections written (Num_of_saves)
  int total = 0;                    // parameters that were to be exported
  std::vector<std::string> failed;  // group "/" name of each parameter not exported
  std::string logPath;              // the error log written; empty: none
};

struct ImportResult {
  enum class Outcome {
    kDone,         // every section was handled (some may have failed: see `failed`)
    kInvalidFile,  // no "Version": the message has been shown, nothing sent
    kDeclined,     // another firmware version and the operator said No: nothing sent
    kStopped,      // stopped between two sections
  };
  struct Failure {
    std::string name;     // the section's "Name"
    std::string command;  // the command line as sent (or as it would have been), CR LF included
  };
  Outcome outcome = Outcome::kDone;
  std::string version;  // the file's "Version"
  int sections = 0;     // sections to replay ("Num_of_saves", bounded)
  int sent = 0;         // commands the device took
  int unchanged = 0;    // commands not sent because the device already held their value
  std::vector<Failure> failed;
  std::string logPath;  // the error log written; empty: none
};

// What an import makes of a configuration file before anything is sent.
struct ImportPlan {
  struct Entry {
    std::string name;       // the section's "Name" (empty when missing)
    std::string command;    // its "Command", read whole, without the CR LF the import adds
    bool sendable = false;  // IsSendableCommand: otherwise a failed entry, never sent
  };
  std::string version;  // "Firmware"/"Version"; empty: the file is invalid
  int count = 0;        // "Num_of_saves" as read
  // One per section 0 .. sections-1, where sections is the count, bounded by the
  // last numbered section the file holds.
  std::vector<Entry> entries;
};

// What an import does beyond replaying the file.
struct ImportOptions {
  // Reads the device first (ConfigurationDiff) and sends only the commands whose
  // value differs from the device's, or that cannot be compared.
  bool onlyChanged = false;
};

// A configuration file read, and the version question answered, before anything is
// sent: `outcome` is kDone when the import may go on with `plan`.
struct PreparedImport {
  ImportResult::Outcome outcome = ImportResult::Outcome::kDone;
  ImportPlan plan;
};

class ConfigurationTransfer {
 public:
  static constexpr const char* kFileFilter = "zgb Files(*.zgb)|*.zgb|All Files(*.*)|*.*|";
  static constexpr const char* kExportInitialName = "*.zgb";
  static constexpr const char* kInvalidFileMessage = "ERROR: The configuration file is invalid.";
  static constexpr const char* kVersionQuestion =
      "The configuration file does not match with the current firmware version. Would you like "
      "to continue?";
  static constexpr const char* kExportLogName = "ExportErrorLog.TXT";
  static constexpr const char* kImportLogName = "ImportErrorLog.TXT";
  static constexpr const char* kExportLogHeader = "###Export save error###";
  // The longest command (without its CR LF) that is stored or sent: a definition's
  // command (125 characters at most), "=" and a value of up to 130 characters.
  static constexpr std::size_t kMaxCommandLength = 256;

  static constexpr int kLocalReadSeconds = 1;
  static constexpr int kLocalWriteSeconds = 2;
  static constexpr int kRemoteSeconds = 15;

  ConfigurationTransfer(Connection& connection, const ParameterDefinitions& definitions,
                        const ConfigPageState& state);

  // Whether a failed transfer's error log is opened for the operator (the desktop
  // program) or only written (the command line prints its path).
  void SetOpenLog(bool open) { openLog_ = open; }
  // Whether a failed transfer writes its error log at all. A caller that keeps the
  // failures itself (the production line, in each module's record, with many
  // modules importing one file at once) writes none.
  void SetWriteLog(bool write) { writeLog_ = write; }

  // The file dialogs of the two buttons (on the window's thread, before the task):
  // nullopt on cancel. A name chosen without an extension gets ".zgb", as the save
  // dialog's default extension would add.
  static std::optional<std::string> ChooseExportFile(Operator& op);
  static std::optional<std::string> ChooseImportFile(Operator& op);

  // Export to `path` (an existing file is replaced only when the export is complete).
  ExportResult ExportConfiguration(LineLease& line, const std::string& path,
                                   TransferProgress* progress = nullptr);
  // Import from `path`.
  ImportResult ImportConfiguration(LineLease& line, const std::string& path,
                                   TransferProgress* progress = nullptr,
                                   const ImportOptions& options = {});

  // The import's first steps: reads `path` ("ERROR: The configuration file is
  // invalid." when it has no "Version") and asks the version question when the file
  // is another firmware version's. Nothing is sent.
  PreparedImport PrepareImport(const std::string& path);
  // The import's replay of a prepared plan: the commands of the entries `send` marks
  // (every entry when `send` is empty), in the file's order; failures are logged
  // next to `path`. `unchanged` of the result counts the entries left out.
  ImportResult SendImport(LineLease& line, const std::string& path, const ImportPlan& plan,
                          const std::vector<bool>& send = {}, TransferProgress* progress = nullptr);

  // The records a read of every parameter takes, in table order.
  std::vector<int> RecordsToRead(ReadScope scope) const;
  // Reads the records `records` from the targeted device as the export reads them:
  // a sleepy local module woken once before the first read, each read with the
  // device's query (local 1 s, remote 15 s to the reported EUI address); an entry
  // without a command is not sent. Progress "parameter k of n" before each one.
  ReadAllResult ReadAllParameters(LineLease& line, const std::vector<int>& records,
                                  TransferProgress* progress = nullptr);

  const ParameterDefinitions& Definitions() const { return definitions_; }

  // The texts of the messages that name a file that could not be written.
  static std::string FileNotWrittenMessage(const std::string& path);
  static std::string LogNotWrittenMessage(const std::string& path);

  // Reads a configuration file as the import does (no entries for an invalid one).
  static ImportPlan ReadImportFile(const ProfileFile& file);
  // The same for the file at `path` (an unreadable file is an invalid one).
  static ImportPlan LoadImportFile(const std::string& path);

  // Whether `command` (without its CR LF) may go to the module as one line.
  static bool IsSendableCommand(const std::string& command);
  // "Num_of_saves" as the platform's decimal conversion reads it (leading blanks and
  // a sign, then digits; 0 when there are none), kept within 0 .. INT_MAX.
  static int ParseCount(const std::string& text);
  // The log file `name` in the folder of `zgbPath`.
  static std::string LogPathFor(const std::string& zgbPath, const char* name);

 private:
  bool Stopping(LineLease& line, TransferProgress* progress) const;
  // Writes `text` to `path` and opens it; false (after the message) when it cannot.
  bool WriteLog(const std::string& path, const std::string& text);

  Connection& connection_;
  const ParameterDefinitions& definitions_;
  const ConfigPageState& state_;
  bool openLog_ = true;
  bool writeLog_ = true;
};

}  // namespace zendra
