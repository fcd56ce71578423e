#include "cli/TerminalDownloads.h"

#include <iostream>
#include <mutex>

#include "cli/TerminalOperator.h"
#include "webupdate/DefinitionFolder.h"
#include "webupdate/DownloadView.h"
#include "webupdate/DownloadWorker.h"
#include "webupdate/UpdateServerCheck.h"
#include "webupdate/UpdateServerUrl.h"

namespace zendra::cli {

namespace {

class TerminalDownloadView : public DownloadView {
 public:
  explicit TerminalDownloadView(bool quiet) : line_(quiet) {}

  void SetMessage(const std::string& text) override {
    std::lock_guard lock(mutex_);
    // The file's name goes with its count, on one line.
    if (text.rfind("Downloading file now..", 0) == 0)
      line_.PrintLine(text + " " + fileName_);
    else
      line_.PrintLine(text);
  }
  void SetFileName(const std::string& text) override {
    std::lock_guard lock(mutex_);
    fileName_ = text;
  }
  void SetRange(int, int upper) override {
    std::lock_guard lock(mutex_);
    upper_ = upper;
  }
  void SetPosition(int position) override {
    std::lock_guard lock(mutex_);
    if (upper_ <= 0) return;
    line_.Redraw(TerminalBar(position, upper_) + " " + std::to_string(position) + " KiB");
  }
  void Close() override {
    std::lock_guard lock(mutex_);
    line_.End();
  }

 private:
  std::mutex mutex_;
  TerminalProgressLine line_;
  int upper_ = 0;
  std::string fileName_;
};

}  // namespace

std::vector<DownloadResult> TerminalDownloadRunner::RunDownloads(
    const std::string& updateServerUrl, const std::vector<DownloadEntry>& entries) {
  TerminalDownloadView view(quiet_);
  DownloadWorker worker(updateServerUrl, entries, view, op_);
  worker.Start();
  worker.Join();
  return worker.Results();
}

std::optional<std::string> UpdateServerUrlOf(CliContext& ctx) {
  const auto choice = UpdateServerUrl::Choose(ctx.options.updateServer, std::nullopt);
  if (choice.url.empty()) {
    ctx.Fail(kExitUsage, UpdateServerUrl::UnusableMessage(choice));
    return std::nullopt;
  }
  return choice.url;
}

void InstallConfigUpdates(CliContext& ctx, DefinitionLoader& loader) {
  loader.SetUserFolder(DefinitionFolder::UserFolder());
  loader.checkConfigUpdates = [&ctx](const std::string& programFolder) {
    // An unusable address is said; the loader then goes on as after a failed check.
    const auto url = UpdateServerUrlOf(ctx);
    if (!url) return;
    TerminalDownloadRunner runner(ctx.op, false);
    UpdateServerCheck(ctx.op, runner, *url)
        .CheckConfigUpdates(DefinitionFolder::ForDownloads(programFolder));
  };
}

}  // namespace zendra::cli
