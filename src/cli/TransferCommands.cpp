// export and import: the Configuration page's Export and Import buttons from a
// terminal, on the local module or (--remote) on a remote one. The file is named on
// the command line instead of a file dialog; a failed parameter's error log is
// written next to the file as the page writes it, and its path is printed instead
// of opening it.

#include <unistd.h>

#include <iostream>
#include <memory>
#include <string>

#include "cli/CliContext.h"
#include "cli/ConfigSession.h"

namespace zendra::cli {

namespace {

struct TransferOptions {
  ConfigOptions config;
  std::string file;
  bool noProgress = false;
};

// "parameter k of n" on stderr, redrawn in place on a terminal; nothing otherwise,
// where a script reads the result.
class TerminalProgress : public TransferProgress {
 public:
  explicit TerminalProgress(const char* verb) : verb_(verb) {}
  ~TerminalProgress() override { Finish(); }
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
  if (options.noProgress || !::isatty(STDERR_FILENO)) return nullptr;
  return std::make_unique<TerminalProgress>(verb);
}

// The command line as the log holds it, without its CR LF.
std::string WithoutLineEnd(std::string command) {
  while (!command.empty() && (command.back() == '\n' || command.back() == '\r')) command.pop_back();
  return command;
}

void Export(CliContext& ctx, const TransferOptions& options) {
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
  auto session = OpenConfigSession(ctx, options.config, Definitions::kNameOnly);
  if (!session) return;
  session->transfer.SetOpenLog(false);
  auto progress = ProgressFor(options, "Sending");
  const ImportResult r =
      session->transfer.ImportConfiguration(ctx.Line(), options.file, progress.get());
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
    for (const auto& f : r.failed)
      std::cout << "failed: " << f.name << ": " << WithoutLineEnd(f.command) << std::endl;
    if (!r.logPath.empty()) std::cout << "Error log: " << r.logPath << std::endl;
  }
  const bool allThrough = r.outcome == ImportResult::Outcome::kDone && r.failed.empty();
  ctx.exitCode = allThrough ? kExitOk : kExitFailed;
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
  exportCommand->callback([&ctx, exportOptions] { Export(ctx, *exportOptions); });

  auto importOptions = std::make_shared<TransferOptions>();
  auto* importCommand = app.add_subcommand(
      "import", "Send the commands of a configuration file (.zgb) to the module");
  importCommand->add_option("FILE", importOptions->file, "The configuration file to read")
      ->required();
  AddConfigOptions(importCommand, importOptions->config, false);
  importCommand->add_flag("--no-progress", importOptions->noProgress,
                          "Do not show which command is being sent");
  importCommand->callback([&ctx, importOptions] { Import(ctx, *importOptions); });
}

}  // namespace zendra::cli
