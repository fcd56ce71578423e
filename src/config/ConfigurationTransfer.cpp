#include "config/ConfigurationTransfer.h"

#include <algorithm>
#include <climits>
#include <filesystem>

#include "base/SaveFileChoice.h"
#include "base/WideText.h"
#include "config/ConfigurationDiff.h"
#include "config/ParameterEditor.h"
#include "serial/AtLink.h"

namespace zendra {

namespace {

constexpr const char* kLineEnd = "\r\n";
constexpr const char* kFirmwareSection = "Firmware";

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

// A value as the profile writer must store it so that the reader gives it back: the
// reader trims blanks at either end and drops a pair of enclosing quotes, so such a
// value goes in double quotes (which the platform's reader removes as ours does).
std::string ProfileValue(const std::string& value) {
  const bool blankEnd = !value.empty() && (IsBlank(value.front()) || IsBlank(value.back()));
  const bool quoted = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                      value.back() == value.front();
  if (!blankEnd && !quoted) return value;
  return '"' + value + '"';
}

// A text that is only shown (a parameter's name in the file and the logs) kept on
// one line: a definition file's name may hold a line end, which in the profile file
// would start a line of its own (a key the import would read).
std::string OneLine(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = ' ';
  return text;
}

std::string RecordName(const ParameterRecord& record) {
  return OneLine(std::string(FieldText(record.group)) + "/" + std::string(FieldText(record.name)));
}

}  // namespace

ConfigurationTransfer::ConfigurationTransfer(Connection& connection,
                                             const ParameterDefinitions& definitions,
                                             const ConfigPageState& state)
    : connection_(connection), definitions_(definitions), state_(state) {}

std::optional<std::string> ConfigurationTransfer::ChooseExportFile(Operator& op) {
  return ChooseFileToSaveWithExtension(op, kFileFilter, kExportInitialName, kExportExtension);
}

std::optional<std::string> ConfigurationTransfer::ChooseImportFile(Operator& op) {
  std::optional<std::string> path = op.ChooseFileToOpen(kFileFilter);
  if (path && path->empty()) return std::nullopt;
  return path;
}

std::string ConfigurationTransfer::FileNotWrittenMessage(const std::string& path) {
  return "ERROR: Could not write the configuration file " + path +
         ". Please make sure that its folder can be written to.";
}

std::string ConfigurationTransfer::LogNotWrittenMessage(const std::string& path) {
  return "ERROR: Could not write the error log " + path +
         ". Please make sure that its folder can be written to.";
}

bool ConfigurationTransfer::IsSendableCommand(const std::string& command) {
  return !command.empty() && command.size() <= kMaxCommandLength &&
         !AtLink::HoldsControlByte(command);
}

int ConfigurationTransfer::ParseCount(const std::string& text) {
  std::size_t i = 0;
  while (i < text.size() && (IsBlank(text[i]) || text[i] == '\n' || text[i] == '\r' ||
                             text[i] == '\v' || text[i] == '\f'))
    ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > INT_MAX) value = INT_MAX;
  }
  return negative ? 0 : static_cast<int>(value);
}

std::string ConfigurationTransfer::LogPathFor(const std::string& zgbPath, const char* name) {
  // A bare file name lies in the current folder, and so does its log. The path is
  // UTF-8 with "/" between the folders on every system, as the program keeps it.
  return Utf8Path(PathFromUtf8(zgbPath).parent_path() / PathFromUtf8(name));
}

bool ConfigurationTransfer::Stopping(LineLease& line, TransferProgress* progress) const {
  return line.Stopped() || (progress && progress->StopRequested());
}

bool ConfigurationTransfer::WriteLog(const std::string& path, const std::string& text) {
  // Written whole through a temporary file: an older log is replaced only by a
  // complete one.
  if (!ProfileFile(text).Save(path)) {
    connection_.Op().ShowMessage(LogNotWrittenMessage(path));
    return false;
  }
  if (openLog_) connection_.Op().OpenDocument(path);
  return true;
}

ImportPlan ConfigurationTransfer::ReadImportFile(const ProfileFile& file) {
  ImportPlan plan;
  plan.version = file.Lookup(kFirmwareSection, "Version").value_or("");
  if (plan.version.empty()) return plan;
  plan.count = ParseCount(file.Lookup(kFirmwareSection, "Num_of_saves").value_or(""));
  const std::size_t bound =
      std::min<std::size_t>(static_cast<std::size_t>(plan.count), file.SectionCount());
  plan.entries.reserve(bound);
  for (std::size_t i = 0; i < bound; ++i) {
    const std::string section = std::to_string(i);
    ImportPlan::Entry entry;
    entry.name = file.Lookup(section, "Name").value_or("");
    // Read whole: a command cut to a buffer would write a shortened value.
    entry.command = file.Lookup(section, "Command").value_or("");
    entry.sendable = IsSendableCommand(entry.command);
    plan.entries.push_back(std::move(entry));
  }
  // A count beyond the file's last section stops there: the missing sections after
  // it are no commands that failed, only a count that was wrong. A missing section
  // before the last one stays a failed entry.
  while (!plan.entries.empty() && !file.HasSection(std::to_string(plan.entries.size() - 1)))
    plan.entries.pop_back();
  return plan;
}

ImportPlan ConfigurationTransfer::LoadImportFile(const std::string& path) {
  // A file that cannot be read, or is no profile file, has no "Version" either.
  ProfileFile file;
  file.Load(path);
  return ReadImportFile(file);
}

std::vector<int> ConfigurationTransfer::RecordsToRead(ReadScope scope) const {
  std::vector<int> records;
  for (int i = 0; i < definitions_.parameterCount; ++i)
    if (scope == ReadScope::kEvery || definitions_.Record(i).type != ParameterRecord::kTypeGet)
      records.push_back(i);
  return records;
}

ReadAllResult ConfigurationTransfer::ReadAllParameters(LineLease& line,
                                                       const std::vector<int>& records,
                                                       TransferProgress* progress) {
  ReadAllResult result;
  result.readings.reserve(records.size());
  AtLink& link = line.Link();
  const bool remote = connection_.RemoteMode();
  const int n = static_cast<int>(records.size());
  bool woken = false;
  for (int k = 0; k < n; ++k) {
    const ParameterRecord* record = definitions_.Find(records[static_cast<std::size_t>(k)]);
    if (!record) continue;
    if (Stopping(line, progress)) {
      result.stopped = true;
      return result;
    }
    ParameterReading reading;
    reading.index = records[static_cast<std::size_t>(k)];
    reading.name = RecordName(*record);
    const std::string command(FieldText(record->command));
    // Cut as the set command cuts it, so that the export stores what it always has.
    reading.command = command.substr(0, command.find('\r'));
    if (progress) progress->Step(k + 1, n, reading.name);

    // An entry cut before its command is not read: an empty line would only time out.
    if (ParameterEditor::HasNoCommand(*record)) {
      reading.status = ParameterReading::Status::kNoCommand;
      result.readings.push_back(std::move(reading));
      continue;
    }
    if (!woken) {
      link.WakeUpIfSleepy();
      woken = true;
    }
    std::string reply =
        remote ? link.QueryRemoteAtCommand(command, kRemoteSeconds, state_.remoteEuiAddress)
               : link.QueryAtCommand(command, kLocalReadSeconds);
    // A stopped read ended as a time-out would: it is no failure of the parameter.
    if (line.Stopped()) {
      result.stopped = true;
      return result;
    }
    if (reply == "ERROR") {
      reading.status = ParameterReading::Status::kFailed;
    } else {
      reading.status = ParameterReading::Status::kRead;
      reading.value = std::move(reply);
    }
    result.readings.push_back(std::move(reading));
  }
  return result;
}

ExportResult ConfigurationTransfer::ExportConfiguration(LineLease& line, const std::string& path,
                                                        TransferProgress* progress) {
  ExportResult result;
  Operator& op = connection_.Op();
  WaitCursor wait(op);
  const std::vector<int> records = RecordsToRead(ReadScope::kWritable);
  result.total = static_cast<int>(records.size());

  // Known before the first read, not after a remote export's minutes of them.
  if (!ProfileFile::CanSave(path)) {
    op.ShowMessage(FileNotWrittenMessage(path));
    result.outcome = ExportResult::Outcome::kNotWritten;
    return result;
  }

  const ReadAllResult read = ReadAllParameters(line, records, progress);
  if (read.stopped) {
    result.outcome = ExportResult::Outcome::kStopped;
    return result;
  }

  // The file as created empty; it replaces the chosen file only when complete.
  ProfileFile file;
  file.SetString(kFirmwareSection, "Version", ProfileValue(definitions_.definitionFileName));
  std::string log = std::string(kExportLogHeader) + kLineEnd;
  for (const ParameterReading& reading : read.readings) {
    std::optional<std::string> setCommand;
    if (reading.status == ParameterReading::Status::kRead) {
      std::string set = ParameterEditor::SetCommand(reading.command, reading.value);
      set.resize(set.size() - 2);  // the CR LF SetCommand appends
      // Stored only when an import can send it back.
      if (IsSendableCommand(set)) setCommand = std::move(set);
    }
    if (!setCommand) {
      log += reading.name + kLineEnd;
      result.failed.push_back(reading.name);
      continue;
    }
    const std::string section = std::to_string(result.exported);
    file.SetString(section, "Name", ProfileValue(reading.name));
    // The value carries its own CR LF, so an empty line follows it in the file.
    file.SetString(section, "Command", ProfileValue(*setCommand) + kLineEnd);
    ++result.exported;
  }
  file.SetString(kFirmwareSection, "Num_of_saves", std::to_string(result.exported));

  if (!file.Save(path)) {
    op.ShowMessage(FileNotWrittenMessage(path));
    result.outcome = ExportResult::Outcome::kNotWritten;
    return result;
  }
  if (!result.failed.empty() && writeLog_) {
    const std::string logPath = LogPathFor(path, kExportLogName);
    if (WriteLog(logPath, log)) result.logPath = logPath;
  }
  return result;
}

PreparedImport ConfigurationTransfer::PrepareImport(const std::string& path) {
  PreparedImport prepared;
  prepared.plan = LoadImportFile(path);
  Operator& op = connection_.Op();
  if (prepared.plan.version.empty()) {
    op.ShowMessage(kInvalidFileMessage);
    prepared.outcome = ImportResult::Outcome::kInvalidFile;
  } else if (prepared.plan.version != definitions_.definitionFileName &&
             !op.AskYesNo(kVersionQuestion)) {
    prepared.outcome = ImportResult::Outcome::kDeclined;
  }
  return prepared;
}

ImportResult ConfigurationTransfer::ImportConfiguration(LineLease& line, const std::string& path,
                                                        TransferProgress* progress,
                                                        const ImportOptions& options) {
  WaitCursor wait(connection_.Op());
  const PreparedImport prepared = PrepareImport(path);
  if (prepared.outcome != ImportResult::Outcome::kDone) {
    ImportResult result;
    result.outcome = prepared.outcome;
    result.version = prepared.plan.version;
    return result;
  }
  if (!options.onlyChanged) return SendImport(line, path, prepared.plan, {}, progress);

  // What the device already holds is left out; the question above came first, so a
  // No reads nothing either.
  if (progress) progress->Stage(TransferStage::kReading);
  const ConfigurationDiff diff =
      ConfigurationDiff::CompareWithDevice(*this, line, prepared.plan, progress);
  if (diff.stopped) {
    ImportResult result;
    result.outcome = ImportResult::Outcome::kStopped;
    result.version = prepared.plan.version;
    result.sections = static_cast<int>(prepared.plan.entries.size());
    return result;
  }
  if (progress) progress->Stage(TransferStage::kSending);
  return SendImport(line, path, prepared.plan, diff.SendMask(), progress);
}

ImportResult ConfigurationTransfer::SendImport(LineLease& line, const std::string& path,
                                               const ImportPlan& plan,
                                               const std::vector<bool>& send,
                                               TransferProgress* progress) {
  ImportResult result;
  result.version = plan.version;
  result.sections = static_cast<int>(plan.entries.size());
  const auto sending = [&send](std::size_t i) {
    return send.empty() || (i < send.size() && send[i]);
  };
  int toSend = 0;
  for (std::size_t i = 0; i < plan.entries.size(); ++i) toSend += sending(i) ? 1 : 0;
  result.unchanged = result.sections - toSend;

  AtLink& link = line.Link();
  const bool remote = connection_.RemoteMode();
  bool woken = false;
  std::string log;
  int k = 0;
  for (std::size_t i = 0; i < plan.entries.size(); ++i) {
    if (!sending(i)) continue;
    if (Stopping(line, progress)) {
      result.outcome = ImportResult::Outcome::kStopped;
      break;
    }
    const ImportPlan::Entry& entry = plan.entries[i];
    if (progress) progress->Step(++k, toSend, entry.name);
    const std::string sent = entry.command + kLineEnd;

    bool ok = false;
    if (entry.sendable) {
      if (!woken) {
        link.WakeUpIfSleepy();
        woken = true;
      }
      ok = remote ? link.SendRemoteAtCommand(sent, kRemoteSeconds, state_.remoteEuiAddress)
                  : link.SendAtCommand(sent, kLocalWriteSeconds);
      // A stopped transaction ended as a time-out would: no verdict of the module.
      if (line.Stopped()) {
        result.outcome = ImportResult::Outcome::kStopped;
        break;
      }
    }
    if (ok) {
      ++result.sent;
      continue;
    }
    log += entry.name + kLineEnd + sent + kLineEnd;
    result.failed.push_back({entry.name, sent});
  }

  if (!result.failed.empty() && writeLog_) {
    const std::string logPath = LogPathFor(path, kImportLogName);
    if (WriteLog(logPath, log)) result.logPath = logPath;
  }
  return result;
}

}  // namespace zendra
