// export and import: the Configuration page's Export and Import buttons from a
// terminal, on the local module or (--remote) on a remote one. The file is named on
// the command line instead of a file dialog; a failed parameter's error log is
// written next to the file as the page writes it, and its path is printed instead
// of opening it.
//
// dump reads every parameter of the definition file (read-only ones included) into
// a table; diff shows what an import of a file would change, reading the device and
// writing nothing; import --only-changed sends only the commands whose value the
// device does not already hold. All three read as the export does
// (ConfigurationTransfer::ReadAllParameters) and compare through ConfigurationDiff.


#include <filesystem>
#include <iostream>
#include <memory>
#include <string>

#include "base/WideText.h"
#include "cli/CliContext.h"
#include "cli/ConfigSession.h"
#include "cli/Terminal.h"
#include "config/ChoiceList.h"
#include "config/ConfigurationDiff.h"

namespace zendra::cli {

namespace {

struct TransferOptions {
  ConfigOptions config;
  std::string file;
  bool noProgress = false;
  bool onlyChanged = false;  // import: send only what differs from the device
  bool replace = false;      // export: --yes / --force, an existing FILE may be replaced
};

// "parameter k of n" on stderr, redrawn in place on a terminal; nothing otherwise,
// where a script reads the result.
class TerminalProgress : public TransferProgress {
 public:
  explicit TerminalProgress(const char* verb) : verb_(verb) {}
  ~TerminalProgress() override { Finish(); }
  void Stage(TransferStage stage) override {
    verb_ = stage == TransferStage::kReading ? "Reading" : "Sending";
  }
  void Step(int k, int n, const std::string& name) override {
    std::string line = std::string(verb_) + " parameter " + std::to_string(k) + " of " +
                       std::to_string(n) + ": " + name;
    if (line.size() > 78) line.resize(78);
    std::cerr << "\r" << line << std::string(width_ > line.size() ? width_ - line.size() : 0, ' ')
              << std::flush;
    width_ = line.size();
  }
  void Finish() {
    if (width_ == 0) return;
    std::cerr << "\r" << std::string(width_, ' ') << "\r" << std::flush;
    width_ = 0;
  }

 private:
  const char* verb_;
  std::size_t width_ = 0;
};

std::unique_ptr<TerminalProgress> ProgressFor(const TransferOptions& options, const char* verb) {
  if (options.noProgress || !IsTerminal(stderr)) return nullptr;
  return std::make_unique<TerminalProgress>(verb);
}

// The command line as the log holds it, without its CR LF.
std::string WithoutLineEnd(std::string command) {
  while (!command.empty() && (command.back() == '\n' || command.back() == '\r')) command.pop_back();
  return command;
}

// Whether the export may write FILE, told before the port is opened: an existing
// file is replaced only when asked to (--yes or --force, here or before the
// command), and a FILE that cannot be written is said before anything is read.
bool ExportDestinationAllowed(CliContext& ctx, const TransferOptions& options) {
  std::error_code ec;
  const auto status = std::filesystem::status(PathFromUtf8(options.file), ec);
  const bool replaceable = std::filesystem::is_regular_file(status);
  if (replaceable && !options.replace && !ctx.options.yes) {
    ctx.Fail(kExitUsage, options.file +
                             " already exists; give --yes (or --force) to replace it. Nothing "
                             "was read from the module.");
    return false;
  }
  if (!ProfileFile::CanSave(options.file)) {
    ctx.op.ShowMessage(ConfigurationTransfer::FileNotWrittenMessage(options.file));
    ctx.exitCode = kExitUsage;
    return false;
  }
  return true;
}

void Export(CliContext& ctx, const TransferOptions& options) {
  if (!ExportDestinationAllowed(ctx, options)) return;
  auto session = OpenConfigSession(ctx, options.config, Definitions::kTable);
  if (!session) return;
  session->transfer.SetOpenLog(false);
  auto progress = ProgressFor(options, "Reading");
  const ExportResult r =
      session->transfer.ExportConfiguration(ctx.Line(), options.file, progress.get());
  if (progress) progress->Finish();
  if (r.outcome == ExportResult::Outcome::kNotWritten) {
    // The message names the file.
    ctx.exitCode = kExitUsage;
    return;
  }
  if (ctx.options.json) {
    nlohmann::ordered_json out;
    out["file"] = options.file;
    out["version"] = session->definitions.definitionFileName;
    out["exported"] = r.exported;
    out["total"] = r.total;
    out["failed"] = r.failed;
    out["errorLog"] =
        r.logPath.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(r.logPath);
    out["completed"] = r.outcome == ExportResult::Outcome::kDone;
    std::cout << Dump(out) << std::endl;
  } else {
    std::cout << "Exported " << r.exported << " of " << r.total << " parameters to " << options.file
              << std::endl;
    for (const auto& name : r.failed) std::cout << "failed: " << name << std::endl;
    if (!r.logPath.empty()) std::cout << "Error log: " << r.logPath << std::endl;
  }
  const bool allThrough = r.outcome == ExportResult::Outcome::kDone && r.failed.empty();
  ctx.exitCode = allThrough ? kExitOk : kExitFailed;
}

void Import(CliContext& ctx, const TransferOptions& options) {
  // The import compares the file's version with the definition file name of the
  // targeted device; it replays the file's commands without the table.
  // Only what changed: the device is read first, and its parameters are those of
  // its definition file.
  auto session = OpenConfigSession(
      ctx, options.config, options.onlyChanged ? Definitions::kTable : Definitions::kNameOnly);
  if (!session) return;
  session->transfer.SetOpenLog(false);
  auto progress = ProgressFor(options, "Sending");
  const ImportResult r = session->transfer.ImportConfiguration(
      ctx.Line(), options.file, progress.get(), ImportOptions{.onlyChanged = options.onlyChanged});
  if (progress) progress->Finish();
  switch (r.outcome) {
    case ImportResult::Outcome::kInvalidFile:
      ctx.exitCode = kExitUsage;
      return;
    case ImportResult::Outcome::kDeclined:
      ctx.exitCode = kExitFailed;
      return;
    default:
      break;
  }
  if (ctx.options.json) {
    nlohmann::ordered_json out;
    out["file"] = options.file;
    out["version"] = r.version;
    out["sections"] = r.sections;
    out["sent"] = r.sent;
    if (options.onlyChanged) out["unchanged"] = r.unchanged;
    auto failed = nlohmann::ordered_json::array();
    for (const auto& f : r.failed)
      failed.push_back({{"name", f.name}, {"command", WithoutLineEnd(f.command)}});
    out["failed"] = std::move(failed);
    out["errorLog"] =
        r.logPath.empty() ? nlohmann::ordered_json() : nlohmann::ordered_json(r.logPath);
    out["completed"] = r.outcome == ImportResult::Outcome::kDone;
    std::cout << Dump(out) << std::endl;
  } else {
    std::cout << "Sent " << r.sent << " of " << r.sections << " commands from " << options.file
              << std::endl;
    if (options.onlyChanged) std::cout << r.unchanged << " unchanged, not sent" << std::endl;
    for (const auto& f : r.failed)
      std::cout << "failed: " << f.name << ": " << WithoutLineEnd(f.command) << std::endl;
    if (!r.logPath.empty()) std::cout << "Error log: " << r.logPath << std::endl;
  }
  const bool allThrough = r.outcome == ImportResult::Outcome::kDone && r.failed.empty();
  ctx.exitCode = allThrough ? kExitOk : kExitFailed;
}

const char* StatusWord(ParameterReading::Status status) {
  switch (status) {
    case ParameterReading::Status::kRead:
      return "read";
    case ParameterReading::Status::kFailed:
      return "failed";
    case ParameterReading::Status::kNoCommand:
      return "no-command";
  }
  return "";
}

const char* KindWord(ConfigurationDiff::Entry::Kind kind) {
  using Kind = ConfigurationDiff::Entry::Kind;
  switch (kind) {
    case Kind::kChanged:
      return "changed";
    case Kind::kUnchanged:
      return "unchanged";
    case Kind::kNotRead:
      return "not-read";
    case Kind::kNotInDefinitions:
      return "not-in-definitions";
    case Kind::kNotSendable:
      return "invalid-command";
  }
  return "";
}

nlohmann::ordered_json TextOrNull(const std::optional<std::string>& text) {
  return text ? nlohmann::ordered_json(*text) : nlohmann::ordered_json();
}

// The remote device a session targets, for the --json output.
void AddRemoteDevice(nlohmann::ordered_json& out, const ConfigSession& session) {
  if (!session.remoteDevice) return;
  out["remoteDevice"] = {{"productName", session.remoteDevice->productName},
                         {"euiAddress", session.remoteDevice->euiAddress},
                         {"firmwareVersion", session.remoteDevice->version}};
}

void DumpParameters(CliContext& ctx, const TransferOptions& options) {
  auto session = OpenConfigSession(ctx, options.config, Definitions::kTable);
  if (!session) return;
  const ParameterDefinitions& defs = session->definitions;
  auto progress = ProgressFor(options, "Reading");
  const ReadAllResult read = session->transfer.ReadAllParameters(
      ctx.Line(), session->transfer.RecordsToRead(ReadScope::kEvery), progress.get());
  if (progress) progress->Finish();

  int failed = 0;
  std::size_t width = 0;
  for (const auto& reading : read.readings) {
    if (reading.status != ParameterReading::Status::kRead) ++failed;
    width = std::max(width, reading.name.size());
  }
  width = std::min<std::size_t>(width + 2, 40);

  nlohmann::ordered_json parameters = nlohmann::ordered_json::array();
  for (const auto& reading : read.readings) {
    const ParameterRecord& r = defs.Record(reading.index);
    const bool ok = reading.status == ParameterReading::Status::kRead;
    const bool choice = r.comboList[0] != '\0';
    std::optional<std::string> choiceText;
    if (ok && choice) {
      const auto choices = ChoiceList::Choices(r.comboList);
      const bool hasValues = r.valueList[0] != '\0';
      const auto entries = hasValues ? ChoiceList::ValueEntries(r.valueList, choices.size())
                                     : std::vector<std::string>();
      if (auto k = ChoiceList::SelectedIndex(entries, hasValues, reading.value, choices.size()))
        choiceText = choices[static_cast<std::size_t>(*k)];
    }
    if (ctx.options.json) {
      nlohmann::ordered_json o;
      o["parameter"] = reading.name;
      o["group"] = std::string(FieldText(r.group));
      o["name"] = std::string(FieldText(r.name));
      o["command"] = reading.command;
      o["readOnly"] = r.type == ParameterRecord::kTypeGet;
      o["status"] = StatusWord(reading.status);
      o["value"] = ok ? nlohmann::ordered_json(reading.value) : nlohmann::ordered_json();
      if (choice) o["choice"] = TextOrNull(choiceText);
      parameters.push_back(std::move(o));
      continue;
    }
    std::string line = reading.name;
    if (line.size() < width) line.resize(width, ' ');
    if (!ok)
      line += reading.status == ParameterReading::Status::kFailed ? "(not read)" : "(no command)";
    else
      line += choiceText ? *choiceText + " (" + reading.value + ")" : reading.value;
    std::cout << line << "\n";
  }
  if (ctx.options.json) {
    nlohmann::ordered_json out;
    out["definitionFile"] = defs.definitionFileName;
    out["loadedFrom"] = session->loader.LoadedPath();
    AddRemoteDevice(out, *session);
    out["parameters"] = std::move(parameters);
    out["read"] = static_cast<int>(read.readings.size()) - failed;
    out["failed"] = failed;
    std::cout << Dump(out) << std::endl;
  }
  std::cout << std::flush;
  ctx.exitCode = failed == 0 ? kExitOk : kExitFailed;
}

void DiffConfiguration(CliContext& ctx, const TransferOptions& options) {
  // The file is read first: a file that is none sends nothing at all.
  const ImportPlan plan = ConfigurationTransfer::LoadImportFile(options.file);
  if (plan.version.empty()) {
    ctx.op.ShowMessage(ConfigurationTransfer::kInvalidFileMessage);
    ctx.exitCode = kExitUsage;
    return;
  }
  auto session = OpenConfigSession(ctx, options.config, Definitions::kTable);
  if (!session) return;
  const std::string& definitionFile = session->definitions.definitionFileName;
  const bool versionMatches = plan.version == definitionFile;
  // No question: nothing is sent. An import would ask it.
  if (!versionMatches)
    std::cerr << "Note: " << options.file << " was exported for " << plan.version
              << ", the device's definition file is " << definitionFile
              << " (an import asks before it sends)." << std::endl;

  auto progress = ProgressFor(options, "Reading");
  const ConfigurationDiff diff =
      ConfigurationDiff::CompareWithDevice(session->transfer, ctx.Line(), plan, progress.get());
  if (progress) progress->Finish();
  using Kind = ConfigurationDiff::Entry::Kind;
  const int notRead = diff.Count(Kind::kNotRead);

  if (ctx.options.json) {
    nlohmann::ordered_json out;
    out["file"] = options.file;
    out["version"] = plan.version;
    out["definitionFile"] = definitionFile;
    out["versionMatches"] = versionMatches;
    AddRemoteDevice(out, *session);
    out["sections"] = static_cast<int>(diff.entries.size());
    out["differences"] = diff.Differences();
    out["unchanged"] = diff.Count(Kind::kUnchanged);
    auto entries = nlohmann::ordered_json::array();
    for (const auto& e : diff.entries) {
      nlohmann::ordered_json o;
      o["section"] = e.section;
      o["name"] = e.name;
      o["parameter"] = e.record >= 0 ? nlohmann::ordered_json(e.group + "/" + e.parameter)
                                     : nlohmann::ordered_json();
      o["command"] = e.command;
      o["status"] = KindWord(e.kind);
      o["deviceValue"] = TextOrNull(e.deviceValue);
      o["fileValue"] =
          e.record >= 0 ? nlohmann::ordered_json(e.fileValue) : nlohmann::ordered_json();
      if (e.record >= 0 && session->definitions.Record(e.record).comboList[0] != '\0') {
        o["deviceChoice"] = TextOrNull(e.deviceChoice);
        o["fileChoice"] = TextOrNull(e.fileChoice);
      }
      entries.push_back(std::move(o));
    }
    out["entries"] = std::move(entries);
    std::cout << Dump(out) << std::endl;
  } else if (diff.NothingChanges()) {
    std::cout << "The device already holds every value of " << options.file << std::endl;
  } else {
    for (const auto& e : diff.entries) {
      if (e.kind == Kind::kUnchanged) continue;
      std::cout << e.group << "/" << e.parameter << ": " << e.DeviceText() << " -> " << e.FileText()
                << "\n";
    }
    std::cout << diff.Differences() << " of " << diff.entries.size()
              << " values differ from the device" << std::endl;
  }
  // A value the device did not give leaves the comparison incomplete.
  ctx.exitCode = notRead == 0 ? kExitOk : kExitFailed;
}

}  // namespace

void RegisterTransferCommands(CLI::App& app, CliContext& ctx) {
  auto exportOptions = std::make_shared<TransferOptions>();
  auto* exportCommand = app.add_subcommand(
      "export", "Read every writable parameter and store it in a configuration file (.zgb)");
  exportCommand->add_option("FILE", exportOptions->file, "The configuration file to write")
      ->required();
  AddConfigOptions(exportCommand, exportOptions->config, true);
  exportCommand->add_flag("--no-progress", exportOptions->noProgress,
                          "Do not show which parameter is being read");
  exportCommand->add_flag("--yes,--force", exportOptions->replace,
                          "Replace FILE when it exists (without, an existing FILE is refused)");
  exportCommand->callback([&ctx, exportOptions] { Export(ctx, *exportOptions); });

  auto importOptions = std::make_shared<TransferOptions>();
  auto* importCommand = app.add_subcommand(
      "import", "Send the commands of a configuration file (.zgb) to the module");
  importCommand->add_option("FILE", importOptions->file, "The configuration file to read")
      ->required();
  // The definition file is needed only to compare (--only-changed).
  AddConfigOptions(importCommand, importOptions->config, true);
  importCommand->add_flag("--no-progress", importOptions->noProgress,
                          "Do not show which command is being sent");
  importCommand->add_flag("--only-changed", importOptions->onlyChanged,
                          "Read the module first and send only the commands whose value differs "
                          "from the module's");
  importCommand->callback([&ctx, importOptions] { Import(ctx, *importOptions); });

  auto dumpOptions = std::make_shared<TransferOptions>();
  auto* dumpCommand = app.add_subcommand(
      "dump", "Read every parameter of the module's definition file and list the values");
  AddConfigOptions(dumpCommand, dumpOptions->config, true);
  dumpCommand->add_flag("--no-progress", dumpOptions->noProgress,
                        "Do not show which parameter is being read");
  dumpCommand->callback([&ctx, dumpOptions] { DumpParameters(ctx, *dumpOptions); });

  auto diffOptions = std::make_shared<TransferOptions>();
  auto* diffCommand = app.add_subcommand(
      "diff",
      "Show what an import of a configuration file (.zgb) would change on the module, "
      "without writing anything");
  diffCommand->add_option("FILE", diffOptions->file, "The configuration file to compare")
      ->required();
  AddConfigOptions(diffCommand, diffOptions->config, true);
  diffCommand->add_flag("--no-progress", diffOptions->noProgress,
                        "Do not show which parameter is being read");
  diffCommand->callback([&ctx, diffOptions] { DiffConfiguration(ctx, *diffOptions); });
}

}  // namespace zendra::cli
