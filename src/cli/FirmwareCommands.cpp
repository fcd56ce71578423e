// update and reload: the Firmware Update page's local update and the reload of a
// damaged firmware from a terminal. Both run the same core as the windows; the
// terminal stands in for the window (status lines and a progress bar on stderr,
// results on stdout).

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "cli/CliContext.h"
#include "firmware/FirmwareReload.h"
#include "firmware/FirmwareUpdate.h"
#include "firmware/ImageCheck.h"

namespace zendra::cli {

namespace {

// The window of a firmware host, on a terminal. On a terminal the progress is a
// bar redrawn in place with the percentage and the rate; otherwise (a log, a
// pipe) it is a plain line every ten percent. Status texts go out as lines,
// except the per-block percentages the bar already shows.
class TerminalFirmwareView : public FirmwarePageView {
 public:
  explicit TerminalFirmwareView(bool quiet) : tty_(::isatty(STDERR_FILENO) == 1), quiet_(quiet) {}
  ~TerminalFirmwareView() override { EndBar(); }

  void SetStatus(const std::string& text) override {
    std::lock_guard lock(mutex_);
    if (text.find("% Completed!") != std::string::npos) return;
    EndBarLocked();
    std::cerr << text << std::endl;
  }
  void SetProgress(int percent) override {
    std::lock_guard lock(mutex_);
    percent_ = percent;
  }
  void EnableButtons(bool) override {}
  void TransferredBytes(std::int64_t sent, std::int64_t total) override {
    std::lock_guard lock(mutex_);
    const auto now = std::chrono::steady_clock::now();
    if (!started_) {
      started_ = true;
      firstAt_ = now;
      firstSent_ = sent;
    }
    const double seconds = std::chrono::duration<double>(now - firstAt_).count();
    const double rate = seconds > 0 ? static_cast<double>(sent - firstSent_) / seconds : 0.0;
    Draw(sent, total, rate);
  }
  void Finished(FirmwareOutcome outcome) override {
    std::lock_guard lock(mutex_);
    EndBarLocked();
    outcome_ = outcome;
  }
  void ShowDeviceTexts(const DeviceInfo& device) override {
    std::lock_guard lock(mutex_);
    device_ = device;
  }
  void ReloadDefinitions(const std::string& fileName) override {
    std::lock_guard lock(mutex_);
    definitions_ = fileName;
  }

  std::optional<FirmwareOutcome> Outcome() {
    std::lock_guard lock(mutex_);
    return outcome_;
  }
  std::string Definitions() {
    std::lock_guard lock(mutex_);
    return definitions_;
  }
  void EndBar() {
    std::lock_guard lock(mutex_);
    EndBarLocked();
  }

 private:
  void Draw(std::int64_t sent, std::int64_t total, double rate) {
    if (quiet_) return;
    if (tty_) {
      constexpr int kWidth = 30;
      const int filled = percent_ * kWidth / 100;
      std::string bar(static_cast<std::size_t>(filled), '#');
      bar.resize(kWidth, '.');
      char line[160];
      std::snprintf(line, sizeof line, "\r[%s] %3d%%  %lld/%lld bytes  %s ", bar.c_str(),
                    percent_, static_cast<long long>(sent), static_cast<long long>(total),
                    Rate(rate).c_str());
      std::cerr << line << std::flush;
      barOpen_ = true;
    } else if (percent_ / 10 != lastTenth_ || sent == total) {
      lastTenth_ = percent_ / 10;
      char line[120];
      std::snprintf(line, sizeof line, "%3d%%  %lld/%lld bytes  %s", percent_,
                    static_cast<long long>(sent), static_cast<long long>(total), Rate(rate).c_str());
      std::cerr << line << std::endl;
    }
  }
  // The rate needs two acknowledged blocks to be known.
  static std::string Rate(double bytesPerSecond) {
    if (bytesPerSecond <= 0) return "--- B/s";
    char text[32];
    std::snprintf(text, sizeof text, "%.0f B/s", bytesPerSecond);
    return text;
  }
  void EndBarLocked() {
    if (barOpen_) std::cerr << std::endl;
    barOpen_ = false;
  }

  std::mutex mutex_;
  const bool tty_;
  const bool quiet_;
  bool barOpen_ = false;
  int percent_ = 0;
  int lastTenth_ = -1;
  bool started_ = false;
  std::chrono::steady_clock::time_point firstAt_;
  std::int64_t firstSent_ = 0;
  std::optional<FirmwareOutcome> outcome_;
  DeviceInfo device_;
  std::string definitions_;
};

void PrintDevice(CliContext& ctx, const std::string& outcome, const std::string& definitions) {
  const DeviceInfo c = ctx.connection.Device();
  if (ctx.options.json) {
    nlohmann::ordered_json out;
    out["outcome"] = outcome;
    out["productName"] = c.productName;
    out["euiAddress"] = c.euiAddress;
    out["nodeName"] = c.nodeName;
    out["firmwareVersion"] = c.firmwareVersion;
    out["definitionFile"] = definitions;
    std::cout << Dump(out) << std::endl;
    return;
  }
  if (!ctx.connection.IsOpen()) return;
  std::cout << "Product Name : " << c.productName << "\n"
            << "EUI address  : " << c.euiAddress << "\n"
            << "Node Name    : " << c.nodeName << "\n"
            << "F/W Rev.     : " << c.firmwareVersion << std::endl;
}

void Update(CliContext& ctx, const std::string& image, bool quiet) {
  if (!ctx.ConnectModule()) return;
  TerminalFirmwareView view(quiet);
  FirmwareUpdate update(ctx.connection, view, ctx.op);
  update.SetChosenPath(image);
  // The same checks as the page's "Update" button: line at 115200 without flow
  // control, a readable image, built for this module. A refusal is the caller's
  // to mend (exit 2); its message has been shown and nothing was sent.
  if (!update.CheckLocal()) {
    ctx.exitCode = kExitUsage;
    return;
  }
  // The update takes the line over until its worker ends.
  LineLease line = std::move(*ctx.line);
  ctx.line.reset();
  if (!update.OnLocalUpdate(std::move(line))) {
    // The module did not enter its bootloader (its message has been shown).
    PrintDevice(ctx, "not-started", "");
    ctx.exitCode = kExitFailed;
    return;
  }
  update.Join();
  view.EndBar();
  const auto outcome = update.LastOutcome();
  const bool completed = outcome == FirmwareOutcome::kCompleted;
  PrintDevice(ctx, outcome ? OutcomeName(*outcome) : "stopped", view.Definitions());
  ctx.exitCode = completed ? kExitOk : kExitFailed;
  if (!completed && outcome != FirmwareOutcome::kFileNotOpened) {
    // The module went into its bootloader for the image: it may wait there now.
    ctx.Fail(kExitFailed, "the module may be left without a working firmware; if it does not "
                          "answer, reload it with: " + ctx.ReloadCommand(image));
  }
}

void Reload(CliContext& ctx, const std::string& image, bool quiet) {
  // A file that is no firmware image is refused before the module is touched.
  std::string model;
  if (!ReadImageModel(image, model) || model.empty()) {
    ctx.op.ShowMessage("ERROR: The firmware file is invalid.");
    ctx.exitCode = kExitUsage;
    return;
  }
  TerminalFirmwareView view(quiet);
  bool ran = false;
  std::optional<FirmwareOutcome> outcome;
  Connection::Hooks hooks;
  // The handshake calls this when the module sits in its bootloader menu and the
  // question to reload was answered Yes; it goes on to connect afterwards.
  hooks.reloadFirmware = [&](LineLease& line) {
    ran = true;
    FirmwareReload reload(ctx.connection, line, view, ctx.op);
    reload.SetChosenPath(image);
    if (reload.OnUpload()) reload.Join();
    view.EndBar();
    outcome = reload.LastOutcome();
  };
  ctx.connection.SetHooks(hooks);
  const bool connected = ctx.ConnectModule();
  const std::string outcomeName = !ran ? "not-reloaded" : outcome ? OutcomeName(*outcome) : "not-started";
  const auto retryHint = [&] {
    ctx.Fail(kExitFailed, "the firmware is still damaged; try the reload again: " +
                              ctx.ReloadCommand(image));
  };
  if (!connected) {
    if (ctx.options.json) PrintDevice(ctx, outcomeName, "");
    // ConnectModule has set the exit status after its message.
    if (ran && outcome != FirmwareOutcome::kCompleted) retryHint();
    return;
  }
  PrintDevice(ctx, outcomeName, "");
  if (!ran) {
    ctx.Fail(kExitFailed, "the module answered with its firmware running: nothing was reloaded");
    return;
  }
  ctx.exitCode = outcome == FirmwareOutcome::kCompleted ? kExitOk : kExitFailed;
  if (outcome != FirmwareOutcome::kCompleted) retryHint();
}

}  // namespace

void RegisterFirmwareCommands(CLI::App& app, CliContext& ctx) {
  auto quiet = std::make_shared<bool>(false);

  auto* update = app.add_subcommand(
      "update", "Update the local module's firmware from an .ebl image (needs --baud 115200 --flow none)");
  auto updateImage = std::make_shared<std::string>();
  update->add_option("IMAGE", *updateImage, "The firmware image (.ebl)")->required();
  update->add_flag("--no-progress", *quiet, "Do not draw the progress bar");
  update->callback([&ctx, updateImage, quiet] { Update(ctx, *updateImage, *quiet); });

  auto* reload = app.add_subcommand(
      "reload", "Reload the firmware of a module whose firmware is damaged, then connect to it");
  auto reloadImage = std::make_shared<std::string>();
  reload->add_option("IMAGE", *reloadImage, "The firmware image (.ebl)")->required();
  reload->add_flag("--no-progress", *quiet, "Do not draw the progress bar");
  reload->callback([&ctx, reloadImage, quiet] { Reload(ctx, *reloadImage, *quiet); });
}

}  // namespace zendra::cli
