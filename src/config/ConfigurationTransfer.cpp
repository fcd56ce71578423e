#include "config/ConfigurationTransfer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <filesystem>

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

std::string FolderOf(const std::string& path) {
  const std::filesystem::path p(path);
  return p.has_parent_path() ? p.parent_path().string() : std::string(".");
}

// Whether a new file can be made in the folder of `path`, found by making one (the
// permission bits do not tell for root, nor for a read-only file system).
bool FolderWritable(const std::string& path) {
  static std::atomic<unsigned> counter{0};
  const std::string probe = FolderOf(path) + "/.zendra-write-test-" + std::to_string(::getpid()) +
                            "-" + std::to_string(counter++);
  const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) return false;
  ::close(fd);
  ::unlink(probe.c_str());
  return true;
}

}  // namespace

ConfigurationTransfer::ConfigurationTransfer(Connection& connection,
                                             const ParameterDefinitions& definitions,
                                             const ConfigPageState& state)
    : connection_(connection), definitions_(definitions), state_(state) {}

std::optional<std::string> ConfigurationTransfer::ChooseExportFile(Operator& op) {
  std::optional<std::string> path = op.ChooseFileToSave(kFileFilter, kExportInitialName);
  if (path && !path->empty() && std::filesystem::path(*path).extension().empty()) *path += ".zgb";
  if (path && path->empty()) return std::nullopt;
  return path;
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
  // A bare file name lies in the current folder, and so does its log.
  return (std::filesystem::path(zgbPath).parent_path() / name).string();
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
  return plan;
}

ExportResult ConfigurationTransfer::ExportConfiguration(LineLease& line, const std::string& path,
                                                        TransferProgress* progress) {
  ExportResult result;
  Operator& op = connection_.Op();
  WaitCursor wait(op);
  for (int i = 0; i < definitions_.parameterCount; ++i)
    if (definitions_.Record(i).type != ParameterRecord::kTypeGet) ++result.total;

  // Known before the first read, not after a remote export's minutes of them.
  if (!FolderWritable(path)) {
    op.ShowMessage(FileNotWrittenMessage(path));
    result.outcome = ExportResult::Outcome::kNotWritten;
    return result;
  }

  // The file as created empty; it replaces the chosen file only when complete.
  ProfileFile file;
  file.SetString(kFirmwareSection, "Version", ProfileValue(definitions_.definitionFileName));
  std::string log = std::string(kExportLogHeader) + kLineEnd;

  AtLink& link = line.Link();
  const bool remote = connection_.RemoteMode();
  bool woken = false;
  int k = 0;
  for (int i = 0; i < definitions_.parameterCount; ++i) {
    const ParameterRecord& record = definitions_.Record(i);
    if (record.type == ParameterRecord::kTypeGet) continue;
    if (Stopping(line, progress)) {
      result.outcome = ExportResult::Outcome::kStopped;
      return result;
    }
    const std::string name = RecordName(record);
    if (progress) progress->Step(++k, result.total, name);

    std::optional<std::string> setCommand;
    // An entry cut before its command is not read: an empty line would only time out.
    if (!ParameterEditor::HasNoCommand(record)) {
      if (!woken) {
        link.WakeUpIfSleepy();
        woken = true;
      }
      const std::string command(FieldText(record.command));
      const std::string reply =
          remote ? link.QueryRemoteAtCommand(command, kRemoteSeconds, state_.remoteEuiAddress)
                 : link.QueryAtCommand(command, kLocalReadSeconds);
      // A stopped read ended as a time-out would: it is no failure of the parameter.
      if (line.Stopped()) {
        result.outcome = ExportResult::Outcome::kStopped;
        return result;
      }
      if (reply != "ERROR") {
        std::string set = ParameterEditor::SetCommand(command, reply);
        set.resize(set.size() - 2);  // the CR LF SetCommand appends
        // Stored only when an import can send it back.
        if (IsSendableCommand(set)) setCommand = std::move(set);
      }
    }
    if (!setCommand) {
      log += name + kLineEnd;
      result.failed.push_back(name);
      continue;
    }
    const std::string section = std::to_string(result.exported);
    file.SetString(section, "Name", ProfileValue(name));
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
  if (!result.failed.empty()) {
    const std::string logPath = LogPathFor(path, kExportLogName);
    if (WriteLog(logPath, log)) result.logPath = logPath;
  }
  return result;
}

ImportResult ConfigurationTransfer::ImportConfiguration(LineLease& line, const std::string& path,
                                                        TransferProgress* progress) {
  ImportResult result;
  Operator& op = connection_.Op();
  WaitCursor wait(op);

  // A file that cannot be read, or is no profile file, has no "Version" either.
  ProfileFile file;
  file.Load(path);
  const ImportPlan plan = ReadImportFile(file);
  result.version = plan.version;
  if (result.version.empty()) {
    op.ShowMessage(kInvalidFileMessage);
    result.outcome = ImportResult::Outcome::kInvalidFile;
    return result;
  }
  if (result.version != definitions_.definitionFileName && !op.AskYesNo(kVersionQuestion)) {
    result.outcome = ImportResult::Outcome::kDeclined;
    return result;
  }
  result.sections = static_cast<int>(plan.entries.size());

  AtLink& link = line.Link();
  const bool remote = connection_.RemoteMode();
  bool woken = false;
  std::string log;
  for (int i = 0; i < result.sections; ++i) {
    if (Stopping(line, progress)) {
      result.outcome = ImportResult::Outcome::kStopped;
      break;
    }
    const ImportPlan::Entry& entry = plan.entries[static_cast<std::size_t>(i)];
    if (progress) progress->Step(i + 1, result.sections, entry.name);
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

  if (!result.failed.empty()) {
    const std::string logPath = LogPathFor(path, kImportLogName);
    if (WriteLog(logPath, log)) result.logPath = logPath;
  }
  return result;
}

}  // namespace zendra
