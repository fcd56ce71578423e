// update, clone and reload: the Firmware Update page's local and remote updates
// and the reload of a damaged firmware from a terminal. They run the same core as
// the windows; the terminal stands in for the window (status lines and a progress
// bar on stderr, results on stdout).

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "cli/CliContext.h"
#include "cli/TerminalOperator.h"
#include "firmware/FirmwareReload.h"
#include "firmware/FirmwareUpdate.h"
#include "firmware/TransferRate.h"

namespace zendra::cli {

namespace {

// The window of a firmware host, on a terminal. On a terminal the progress is a
// bar redrawn in place with the percentage, the bytes sent of the total, the rate
// and the time left; otherwise (a log, a pipe) the same as a plain line every ten
// percent. Status texts go out as lines,
// except the per-block percentages the bar already shows. A remote update names
// the device in front of each line, and a clone's growing row of dots is shown as
// the seconds it has waited.
class TerminalFirmwareView : public FirmwarePageView {
 public:
  explicit TerminalFirmwareView(bool quiet) : line_(quiet) {}

  // A remote update: the devices by row, and which row is being updated.
  void SetDevices(std::vector<std::string> addresses, std::function<int()> currentRow) {
    std::lock_guard lock(mutex_);
    addresses_ = std::move(addresses);
    currentRow_ = std::move(currentRow);
  }

  void SetStatus(const std::string& text) override {
    std::lock_guard lock(mutex_);
    if (text.find("% Completed!") != std::string::npos) return;
    if (text.rfind("Cloning.", 0) == 0) {
      cloning_ = true;
      return;
    }
    // Any other text ends a clone's count (the bar's last value follows its ending).
    cloning_ = false;
    if (text.rfind("Preparing for firmware update", 0) == 0) {
      // A new device: its own rate, its own steps.
      rate_.Reset();
      lastTenth_ = -1;
    }
    line_.PrintLine(Prefix() + text);
  }
  void SetProgress(int percent) override {
    std::lock_guard lock(mutex_);
    percent_ = percent;
  }
  void SetRowProgress(int, int value) override {
    std::lock_guard lock(mutex_);
    percent_ = value;
    if (cloning_) DrawClone(value);
  }
  void EnableButtons(bool) override {}
  void TransferredBytes(std::int64_t sent, std::int64_t total) override {
    std::lock_guard lock(mutex_);
    rate_.Add(sent, total, std::chrono::steady_clock::now());
    Draw(sent, total);
  }
  void Finished(FirmwareOutcome outcome) override {
    std::lock_guard lock(mutex_);
    line_.End();
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
  // "ADDRESS: " while a remote device is being updated.
  std::string Prefix() const {
    if (!currentRow_) return {};
    const int row = currentRow_();
    if (row < 0 || row >= static_cast<int>(addresses_.size())) return {};
    return addresses_[static_cast<std::size_t>(row)] + ": ";
  }
  void EndBar() {
    std::lock_guard lock(mutex_);
    line_.End();
  }

 private:
  // A clone reports the seconds it has waited, one a second, up to 180.
  void DrawClone(int seconds) {
    if (line_.Quiet()) return;
    if (line_.InPlace()) {
      line_.Redraw(Prefix() + "cloning, " + std::to_string(seconds) + " s ");
    } else if (seconds % 10 == 0) {
      std::cerr << Prefix() << "cloning, " << seconds << " s" << std::endl;
    }
  }
  // "[#########.....]  31%  81,920 of 262,144 bytes · 11.0 kB/s · 0:17 left"
  void Draw(std::int64_t sent, std::int64_t total) {
    if (line_.Quiet()) return;
    char percent[8];
    std::snprintf(percent, sizeof percent, "%3d%%", percent_);
    if (line_.InPlace()) {
      // Cleared to the line's end: the text can grow shorter (the time left goes).
      line_.Redraw(Prefix() + TerminalBar(percent_, 100) + " " + percent + "  " + rate_.Text() +
                   "\x1b[K");
    } else if (percent_ / 10 != lastTenth_ || sent == total) {
      lastTenth_ = percent_ / 10;
      std::cerr << Prefix() << percent << "  " << rate_.Text() << std::endl;
    }
  }
  std::mutex mutex_;
  TerminalProgressLine line_;
  int percent_ = 0;
  int lastTenth_ = -1;
  TransferRate rate_;
  std::optional<FirmwareOutcome> outcome_;
  DeviceInfo device_;
  std::string definitions_;
  std::vector<std::string> addresses_;
  std::function<int()> currentRow_;
  bool cloning_ = false;
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

void Update(CliContext& ctx, const std::string& image, bool quiet, bool fast) {
  if (!ctx.ConnectModule()) return;
  TerminalFirmwareView view(quiet);
  FirmwareUpdate update(ctx.connection, view, ctx.op);
  update.SetChosenPath(image);
  update.SetFastTransfer(fast);
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
  if (outcome == FirmwareOutcome::kImageRefused) {
    // Sending the same image again would be refused again.
    ctx.Fail(kExitFailed, "the module refused " + image +
                              " and has no working firmware now; "
                              "reload it with a valid image: " +
                              ctx.ReloadCommand("IMAGE"));
  } else if (!completed && outcome != FirmwareOutcome::kFileNotOpened) {
    // The module went into its bootloader for the image: it may wait there now.
    ctx.Fail(kExitFailed,
             "the module may be left without a working firmware; if it does not "
             "answer, reload it with: " +
                 ctx.ReloadCommand(image));
  }
}

// The remote update of the page for the devices given with --remote, in that
// order, by image or (`clone`) by cloning the local module's firmware: the remote
// "Update" button's checks, then the sequence as the page's timer runs it. Each
// device's steps go to stderr; its outcome and the version it runs afterwards
// (asked through the local module) to stdout.
void RemoteUpdate(CliContext& ctx, const std::string& image, bool clone,
                  const std::vector<std::string>& addresses, bool quiet, bool fast) {
  // Every address by the rule of the remote command lines, before the port opens.
  for (const std::string& address : addresses) {
    if (!ctx.CheckRemoteAddress(address)) return;
  }
  if (!ctx.ConnectModule()) return;
  TerminalFirmwareView view(quiet);
  FirmwareUpdate update(ctx.connection, view, ctx.op);
  view.SetDevices(addresses, [&update] { return update.Sequence().CurrentRow(); });
  update.SetChosenPath(image);
  update.SetFastTransfer(fast);
  update.SetCloneChecked(clone);
  std::vector<RemoteRow> rows;
  for (const std::string& address : addresses) rows.push_back(RemoteRow{address, true});

  // The sequence holds the line from its checks to its last device's end.
  ctx.line.reset();
  const auto firstLook = update.OnRemoteUpdate(rows);
  if (!firstLook) {
    // A check refused (its message has been shown); nothing was started.
    ctx.exitCode = kExitUsage;
    return;
  }
  update.RunRemoteUpdate(*firstLook);
  view.EndBar();

  // What each device runs now, asked through the local module.
  ctx.line = ctx.connection.TryLease("zendra-cli");
  const auto outcomes = update.Sequence().Outcomes();
  // A failed transfer leaves the line to settle before the first question.
  bool settle = std::any_of(outcomes.begin(), outcomes.end(), [](const auto& outcome) {
    return outcome && *outcome != FirmwareOutcome::kCompleted;
  });
  bool allCompleted = true;
  nlohmann::ordered_json out = nlohmann::ordered_json::array();
  for (std::size_t i = 0; i < addresses.size(); ++i) {
    const std::string outcome = outcomes[i] ? OutcomeName(*outcomes[i]) : "not-started";
    const bool completed = outcomes[i] == FirmwareOutcome::kCompleted;
    allCompleted = allCompleted && completed;
    const std::string version =
        ctx.line ? FirmwareUpdate::ReadRemoteVersion(ctx.line->Link(), addresses[i], settle)
                 : "ERROR";
    settle = false;
    if (ctx.options.json) {
      nlohmann::ordered_json device;
      device["address"] = addresses[i];
      device["nodeName"] = update.Sequence().NodeName(static_cast<int>(i));
      device["outcome"] = outcome;
      // Why a device failed, as the closing message says it.
      if (!completed)
        device["reason"] = outcomes[i] ? OutcomeReason(*outcomes[i]) : "it was not started";
      device["firmwareVersion"] = version;
      out.push_back(device);
    } else {
      std::cout << addresses[i] << "  " << outcome << "  " << version << "\n";
    }
  }
  if (ctx.options.json) std::cout << Dump(out) << std::endl;
  std::cout << std::flush;
  ctx.exitCode = allCompleted ? kExitOk : kExitFailed;
}

void Reload(CliContext& ctx, const std::string& image, bool quiet, bool fast) {
  // A file that is no firmware image is refused before the module is touched.
  if (!FirmwareReload::CheckImage(image, ctx.op)) {
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
    reload.SetFastTransfer(fast);
    if (reload.OnUpload()) reload.Join();
    view.EndBar();
    outcome = reload.LastOutcome();
  };
  ctx.connection.SetHooks(hooks);
  const bool connected = ctx.ConnectModule();
  const std::string outcomeName = !ran      ? "not-reloaded"
                                  : outcome ? OutcomeName(*outcome)
                                            : "not-started";
  const auto retryHint = [&] {
    if (outcome == FirmwareOutcome::kImageRefused) {
      ctx.Fail(kExitFailed, "the module refused " + image +
                                "; the firmware is still damaged: "
                                "reload it with a valid image: " +
                                ctx.ReloadCommand("IMAGE"));
      return;
    }
    ctx.Fail(kExitFailed,
             "the firmware is still damaged; try the reload again: " + ctx.ReloadCommand(image));
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
      "update",
      "Update the local module's firmware from an .ebl image (needs --baud 115200 --flow none), "
      "or with --remote the remote modules' one after the other (needs --baud 115200)");
  auto updateImage = std::make_shared<std::string>();
  auto updateRemotes = std::make_shared<std::vector<std::string>>();
  update->add_option("IMAGE", *updateImage, "The firmware image (.ebl)")->required();
  update
      ->add_option("--remote", *updateRemotes,
                   "EUI address of a remote module to update through the local one (repeatable; "
                   "updated in the order given)")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  update->add_flag("--no-progress", *quiet, "Do not draw the progress bar");
  auto fast = std::make_shared<bool>(false);
  constexpr const char* kFastHelp =
      "Fast flashing: no 1 ms pause after each acknowledged block (about 8 % faster at 115200; "
      "a bootloader that needs the pause refuses the block and its retries bring it through)";
  update->add_flag("--fast", *fast, kFastHelp);
  update->callback([&ctx, updateImage, updateRemotes, quiet, fast] {
    if (updateRemotes->empty()) {
      Update(ctx, *updateImage, *quiet, *fast);
    } else {
      RemoteUpdate(ctx, *updateImage, false, *updateRemotes, *quiet, *fast);
    }
  });

  auto* clone = app.add_subcommand(
      "clone",
      "Copy the local module's own firmware to remote modules, one after the other "
      "(needs --baud 115200)");
  auto cloneRemotes = std::make_shared<std::vector<std::string>>();
  clone
      ->add_option("--remote", *cloneRemotes,
                   "EUI address of a remote module to clone to (repeatable; in the order given)")
      ->required()
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  clone->add_flag("--no-progress", *quiet, "Do not show the clone's progress");
  clone->callback([&ctx, cloneRemotes, quiet] {
    RemoteUpdate(ctx, std::string(), true, *cloneRemotes, *quiet, false);
  });

  auto* reload = app.add_subcommand(
      "reload", "Reload the firmware of a module whose firmware is damaged, then connect to it");
  auto reloadImage = std::make_shared<std::string>();
  reload->add_option("IMAGE", *reloadImage, "The firmware image (.ebl)")->required();
  reload->add_flag("--no-progress", *quiet, "Do not draw the progress bar");
  reload->add_flag("--fast", *fast, kFastHelp);
  reload->callback([&ctx, reloadImage, quiet, fast] { Reload(ctx, *reloadImage, *quiet, *fast); });
}

}  // namespace zendra::cli
