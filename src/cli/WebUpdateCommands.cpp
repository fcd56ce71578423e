// download-definitions and check-firmware: the update server's definition files
// and firmware images from a terminal, as the definition loader's update question
// and the Firmware Update page's "Download from web server" get them.

#include <filesystem>
#include <iostream>
#include <memory>
#include <set>

#include "base/WideText.h"
#include "cli/CliContext.h"
#include "cli/TerminalDownloads.h"
#include "config/ProgramFolder.h"
#include "discovery/NetworkScan.h"
#include "webupdate/DefinitionFolder.h"
#include "webupdate/UpdateServerCheck.h"
#include "webupdate/WebServerDownload.h"

namespace zendra::cli {

namespace {

namespace fs = std::filesystem;

// The operator of check-firmware: the save dialog is answered by --output, all
// else goes to the terminal's operator.
class OutputChooser : public Operator {
 public:
  OutputChooser(Operator& inner, std::string output) : inner_(inner), output_(std::move(output)) {}

  void ShowMessage(const std::string& text) override { inner_.ShowMessage(text); }
  void ShowDetailedMessage(const std::string& text, const std::string& detail) override {
    inner_.ShowDetailedMessage(text, detail);
  }
  bool AskYesNo(const std::string& text, const std::string& caption) override {
    return inner_.AskYesNo(text, caption);
  }
  bool AskYesNoDefaultNo(const std::string& text, const std::string& caption) override {
    return inner_.AskYesNoDefaultNo(text, caption);
  }
  std::optional<std::string> ChooseFileToOpen(const std::string& filter) override {
    return inner_.ChooseFileToOpen(filter);
  }
  // The image goes to --output: a folder (one that exists, or a path ending in
  // "/") takes it under its listed name, anything else is the file itself. Without
  // --output it is the listed name in the current folder.
  std::optional<std::string> ChooseFileToSave(const std::string&,
                                              const std::string& suggestedName) override {
    std::error_code ec;
    const bool folder =
        !output_.empty() && (output_.back() == '/' || fs::is_directory(PathFromUtf8(output_), ec));
    if ((output_.empty() || folder) &&
        (suggestedName.empty() || suggestedName == "." || suggestedName == "..")) {
      inner_.ShowMessage("zendra-cli: the update server's file name \"" + suggestedName +
                         "\" names no file; give the image's path with --output FILE");
      return std::nullopt;
    }
    std::string path = output_.empty() ? suggestedName
                       : folder ? (output_.back() == '/' ? output_ : output_ + "/") + suggestedName
                                : output_;
    // Two images of one run never go to one file: the second would replace the first.
    // It is an accepted image left unsaved: a failure of the run.
    if (!used_.insert(Utf8Path(fs::weakly_canonical(fs::absolute(PathFromUtf8(path), ec), ec))).second) {
      inner_.ShowMessage("zendra-cli: " + path +
                         " already holds an image of this run; give --output a folder");
      unsaved_.push_back(path);
      return std::nullopt;
    }
    return path;
  }
  void OpenDocument(const std::string& path) override { inner_.OpenDocument(path); }
  void BeginWait() override { inner_.BeginWait(); }
  void EndWait() override { inner_.EndWait(); }

  // Whether --output names a folder (or nothing): several images can go there.
  static bool TakesSeveral(const std::string& output) {
    std::error_code ec;
    return output.empty() || output.back() == '/' || fs::is_directory(PathFromUtf8(output), ec);
  }
  // The paths of accepted images that were not saved because another image of the
  // run went there.
  const std::vector<std::string>& Unsaved() const { return unsaved_; }

 private:
  Operator& inner_;
  std::string output_;
  std::set<std::string> used_;
  std::vector<std::string> unsaved_;
};

struct DownloadOptions {
  std::string dest;
  std::string output;
  bool scan = false;
  bool yes = false;
  bool no = false;
  bool quiet = false;
};

void PrintPaths(CliContext& ctx, const std::vector<std::string>& saved,
                const std::vector<std::string>& failed) {
  if (ctx.options.json) {
    nlohmann::ordered_json out;
    out["saved"] = saved;
    out["failed"] = failed;
    std::cout << Dump(out) << std::endl;
    return;
  }
  for (const auto& path : saved) std::cout << path << "\n";
  std::cout << std::flush;
}

void DownloadDefinitions(CliContext& ctx, const DownloadOptions& options) {
  const auto url = UpdateServerUrlOf(ctx);
  if (!url) return;
  std::string dest;
  if (options.dest.empty()) {
    dest = DefinitionFolder::ForDownloads(ProgramFolder::GetProgramFolder());
  } else {
    dest = options.dest.back() == '/' ? options.dest : options.dest + "/";
    std::error_code ec;
    fs::create_directories(PathFromUtf8(dest), ec);  // a failure shows as each file's write error
  }
  TerminalDownloadRunner runner(ctx.op, options.quiet);
  UpdateServerCheck check(ctx.op, runner, *url);
  check.CheckConfigUpdates(dest);

  std::vector<std::string> saved, failed;
  const auto& entries = check.LastEntries();
  const auto& results = check.LastResults();
  for (std::size_t i = 0; i < entries.size(); ++i)
    (results[i] == DownloadResult::kSaved ? saved : failed).push_back(entries[i].localPath);
  PrintPaths(ctx, saved, failed);
  ctx.exitCode = check.LastListFetched() && failed.empty() && check.LastRefusedNames().empty()
                     ? kExitOk
                     : kExitFailed;
}

void CheckFirmware(CliContext& ctx, const DownloadOptions& options) {
  const auto url = UpdateServerUrlOf(ctx);
  if (!url) return;
  if (options.yes) ctx.op.SetAnswer(TerminalOperator::Answer::kYes);
  if (options.no) ctx.op.SetAnswer(TerminalOperator::Answer::kNo);
  // A scan may find several devices with new firmware: one file cannot take them.
  if (options.scan && !OutputChooser::TakesSeveral(options.output)) {
    ctx.Fail(kExitUsage,
             "check-firmware --scan can save several images; give --output a folder "
             "(one that exists, or a path ending in /), not the file " +
                 options.output);
    return;
  }
  if (!ctx.ConnectModule()) return;

  OutputChooser op(ctx.op, options.output);
  std::vector<std::string> addresses;
  if (options.scan) {
    // The page's Search: its failure has been reported.
    const ScanResult scan = RunNetworkScan(ctx.Line(), op);
    if (scan.outcome != ScanResult::Outcome::kListed) {
      ctx.exitCode = kExitFailed;
      return;
    }
    for (const DeviceRecord& device : scan.devices) addresses.push_back(device.ieeeAddress);
  }
  TerminalDownloadRunner runner(op, options.quiet);
  WebServerDownload download(ctx.connection, op, runner, *url);
  download.OnDownloadFromWebServer(ctx.Line(), addresses);

  std::vector<std::string> saved, failed;
  for (const auto& accepted : download.AcceptedOffers())
    (accepted.saved ? saved : failed).push_back(accepted.path);
  failed.insert(failed.end(), op.Unsaved().begin(), op.Unsaved().end());
  PrintPaths(ctx, saved, failed);
  ctx.exitCode = !saved.empty() && failed.empty() ? kExitOk : kExitFailed;
}

}  // namespace

void RegisterWebUpdateCommands(CLI::App& app, CliContext& ctx) {
  auto options = std::make_shared<DownloadOptions>();

  auto* definitions =
      app.add_subcommand("download-definitions",
                         "Download every definition file of the update server's \"Configs\" list");
  definitions->add_option("--dest", options->dest,
                          "Folder for the files (default: the program's folder, or the user's "
                          "definition folder when the program's takes no file)");
  definitions->add_flag("--no-progress", options->quiet, "Do not draw the progress bar");
  definitions->callback([&ctx, options] { DownloadDefinitions(ctx, *options); });

  auto* firmware = app.add_subcommand(
      "check-firmware",
      "Check the update server for newer firmware of the local module (and with --scan of "
      "every device of the network) and download the images accepted");
  firmware->add_flag("--scan", options->scan,
                     "Also check every remote device that a network scan lists");
  firmware->add_option("--output", options->output,
                       "Where an image goes: a file, or a folder (existing, or ending in /) "
                       "for the listed name (default: the listed name in the current folder)");
  auto* yes = firmware->add_flag("--yes", options->yes, "Accept every offer");
  firmware->add_flag("--no", options->no, "Decline every offer")->excludes(yes);
  firmware->add_flag("--no-progress", options->quiet, "Do not draw the progress bar");
  firmware->callback([&ctx, options] { CheckFirmware(ctx, *options); });
}

}  // namespace zendra::cli
