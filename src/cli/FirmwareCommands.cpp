// update, clone and reload: the Firmware Update page's local and remote updates
// and the reload of a damaged firmware from a terminal. They run the same core as
// the windows; the terminal stands in for the window (TerminalFirmwareView: status
// lines and a progress bar drawn from the typed events on stderr, results on
// stdout).

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
#include "cli/TerminalFirmwareView.h"
#include "cli/TerminalOperator.h"
#include "firmware/FirmwareReload.h"
#include "firmware/FirmwareUpdate.h"

namespace zendra::cli {

namespace {

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
