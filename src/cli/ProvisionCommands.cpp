// provision and records: the production line from a terminal. provision brings
// every module on the ports given (or found, or plugged in while it watches) to a
// firmware and configuration, verifies it and records it; records lists what was
// recorded. See docs/cli.md.
//
// Everything that could refuse the run as a whole is checked before any module is
// touched: the image, the configuration file, the --set values, the ports (none
// named twice, each there) and the records database (it must take a write). Such a
// refusal exits with status 2 and sends nothing to any module.


#include <cstdio>
#include <filesystem>
#include <iostream>
#include <memory>
#include <set>
#include <stop_token>
#include <string>
#include <vector>

#include "base/Clock.h"
#include "cli/CliContext.h"
#include "cli/InterruptWatch.h"
#include "cli/Terminal.h"
#include "cli/TerminalProvisionView.h"
#include "production/ProvisionLine.h"
#include "production/RecordCsv.h"
#include "production/RecordStore.h"
#include "production/RecordTime.h"
#include "serial/PortDetect.h"
#include "webupdate/DefinitionFolder.h"

namespace zendra::cli {

namespace {

struct ProvisionOptions {
  std::vector<std::string> ports;
  bool allPorts = false;
  bool watch = false;
  std::string image;
  std::string imageVersion;
  bool force = false;
  bool fast = false;
  std::string config;
  std::vector<std::string> sets;
  std::string definitions;
  std::string record;
};

struct RecordsOptions {
  std::string record;
  std::string since;
  std::string eui;
  bool csv = false;
};

// The ports of the run as given: the subcommand's --port options and the global
// one. Empty after a message (exit 2) when one is named twice or (without
// --watch, which waits for them) is not there.
std::optional<std::vector<std::string>> NamedPorts(CliContext& ctx,
                                                   const ProvisionOptions& options) {
  std::vector<std::string> ports = options.ports;
  if (!ctx.options.port.empty()) ports.insert(ports.begin(), ctx.options.port);
  std::set<std::string> seen;
  for (const std::string& port : ports) {
    // Two names of one device (a link under /dev/serial/by-id) are one port.
    std::error_code ec;
    const auto canonical = std::filesystem::canonical(port, ec);
    const std::string key = ec ? port : canonical.string();
    if (!seen.insert(key).second) {
      ctx.Fail(kExitUsage, "the port " + port + " is given twice: a module takes one run");
      return std::nullopt;
    }
    if (!options.watch && ec) {
      ctx.Fail(kExitUsage, "no such port: " + port + "; nothing was sent to any module");
      return std::nullopt;
    }
  }
  return ports;
}

// --all-ports: every port of this computer where detect finds a module, with the
// rate it answered at.
std::vector<DetectedPort> DetectModules(CliContext& ctx) {
  std::vector<DetectedPort> found;
  const std::vector<std::string> ports =
      ctx.options.simulate ? ctx.SimulatedPorts() : SystemPorts();
  std::cerr << "zendra-cli: looking for modules on " << ports.size() << " serial port"
            << (ports.size() == 1 ? "" : "s") << std::endl;
  for (const DetectedPort& port : PortDetect().Run(ports)) {
    if (port.state == DetectedPort::State::kModule)
      found.push_back(port);
    else if (port.state == DetectedPort::State::kBootloader)
      std::cerr << "zendra-cli: " << port.port
                << ": the module waits in its bootloader; reload it with: zendra-cli --port "
                << port.port << " reload IMAGE" << std::endl;
  }
  return found;
}

void Provision(CliContext& ctx, const ProvisionOptions& options) {
  ProvisionRequest request;
  const auto settings = ctx.Settings();
  if (!settings) return;
  request.settings = *settings;
  // No --baud: each port at the rate its module answers at.
  if (!ctx.options.baudGiven) request.settings.baudRate = 0;
  request.image = options.image;
  if (!options.imageVersion.empty()) request.imageVersion = options.imageVersion;
  request.force = options.force;
  request.fast = options.fast;
  request.config = options.config;
  request.sets = options.sets;
  request.yes = ctx.options.yes;
  if (!options.definitions.empty()) request.definitionsFolder = options.definitions;
  request.userDefinitionsFolder = DefinitionFolder::UserFolder();
  const PlanCheck check = MakeProvisionPlan(request);
  if (!check.plan) {
    ctx.Fail(kExitUsage, check.error + "; nothing was sent to any module");
    return;
  }
  const ProvisionPlan& plan = *check.plan;

  // The traffic log follows one line; here every port has its own.
  if (!ctx.options.trace.empty()) {
    ctx.Fail(kExitUsage,
             "--trace follows the line of one port; provision runs many at once: "
             "trace a command of one port instead");
    return;
  }
  auto named = NamedPorts(ctx, options);
  if (!named) return;
  if (options.allPorts && !named->empty()) {
    ctx.Fail(kExitUsage, "--all-ports finds the ports itself: give it no --port");
    return;
  }
  std::vector<std::string> ports = *named;
  if (ports.empty() && ctx.options.simulate && !options.allPorts) ports = ctx.SimulatedPorts();
  if (ports.empty() && !options.allPorts && !options.watch) {
    ctx.Fail(kExitUsage, "no port given: use --port PORT (repeatable), --all-ports or --watch");
    return;
  }

  RecordStore records;
  std::string error;
  const std::string recordPath =
      options.record.empty() ? RecordStore::DefaultPath() : options.record;
  if (!records.Open(recordPath, error)) {
    ctx.Fail(kExitUsage, error + "; nothing was sent to any module");
    return;
  }

  std::vector<std::pair<std::string, int>> starts;
  if (options.allPorts) {
    for (const DetectedPort& found : DetectModules(ctx))
      starts.emplace_back(found.port, ctx.options.baudGiven ? 0 : found.baudRate);
    if (starts.empty()) {
      ctx.Fail(kExitFailed, "no module answered on any serial port");
      return;
    }
  } else if (!options.watch) {
    for (const std::string& port : ports) starts.emplace_back(port, 0);
  }

  const bool live = IsTerminal(stdout);
  TerminalProvisionView view(ctx.options.json ? TerminalProvisionView::Mode::kJson
                             : live           ? TerminalProvisionView::Mode::kLive
                                              : TerminalProvisionView::Mode::kLines,
                             options.watch);
  ProvisionLine line(plan, view, &records);
  std::stop_source finish, cancel;
  InterruptWatch interrupts(
      [&] {
        view.Note("finishing the ports under way (Ctrl+C again stops them)");
        finish.request_stop();
      },
      [&] {
        view.Note("stopping the ports under way");
        cancel.request_stop();
        line.CancelAll();
      });

  if (options.watch) {
    std::cerr << "zendra-cli: watching "
              << (ports.empty() ? std::string("the serial ports")
                                : std::to_string(ports.size()) + " named port" +
                                      (ports.size() == 1 ? "" : "s"))
              << ": plug modules in; Ctrl+C ends once the ports under way have finished"
              << std::endl;
    const auto source = ports.empty()
                            ? ProvisionLine::PortSource(SystemPorts)
                            : ProvisionLine::PortSource([ports] { return ExistingPorts(ports); });
    line.Watch(source, finish.get_token(), cancel.get_token());
  } else {
    std::vector<std::string> shown;
    for (const auto& [port, rate] : starts) shown.push_back(port);
    view.AddPorts(shown);
    for (const auto& [port, rate] : starts) line.Start(port, rate);
    line.WaitAll();
  }
  view.Flush();

  const auto results = line.Results();
  int passed = 0, notRecorded = 0;
  for (const auto& result : results) {
    passed += result.Passed() ? 1 : 0;
    notRecorded += result.recordError.empty() ? 0 : 1;
  }
  const int failed = static_cast<int>(results.size()) - passed;
  std::cerr << "zendra-cli: " << results.size() << " module" << (results.size() == 1 ? "" : "s")
            << ": " << passed << " passed, " << failed << " did not";
  if (notRecorded > 0) std::cerr << "; " << notRecorded << " NOT RECORDED";
  std::cerr << "; records in " << recordPath << std::endl;
  ctx.exitCode = failed == 0 && notRecorded == 0 ? kExitOk : kExitFailed;
}

void Records(CliContext& ctx, const RecordsOptions& options) {
  RecordFilter filter;
  if (!options.since.empty()) {
    const auto since = RecordTime::ParseSince(options.since, std::chrono::system_clock::now());
    if (!since) {
      ctx.Fail(kExitUsage, "--since " + options.since +
                               ": give a date (2025-03-14), a date and time (2025-03-14T09:30, "
                               "local; a Z at the end for UTC) or an age (30m, 8h, 7d)");
      return;
    }
    filter.since = RecordTime::Format(*since);
  }
  if (!options.eui.empty()) filter.euiAddress = options.eui;
  RecordStore store;
  std::string error;
  const std::string path = options.record.empty() ? RecordStore::DefaultPath() : options.record;
  std::vector<ProvisionRecord> records;
  if (!store.OpenForReading(path, error) || !store.Query(filter, records, error)) {
    ctx.Fail(kExitUsage, error);
    return;
  }
  if (options.csv) {
    std::cout << RecordCsv::Document(records) << std::flush;
    return;
  }
  if (ctx.options.json) {
    for (const auto& r : records) {
      nlohmann::ordered_json o;
      o["id"] = r.id;
      o["time"] = r.time;
      o["station"] = r.station;
      o["port"] = r.port;
      o["product"] = r.product;
      o["euiAddress"] = r.euiAddress;
      o["firmwareBefore"] = r.firmwareBefore;
      o["firmwareAfter"] = r.firmwareAfter;
      o["imageSha256"] = r.imageSha256;
      o["configSha256"] = r.configSha256;
      o["verify"] = r.verify;
      o["seconds"] = r.seconds;
      o["outcome"] = r.outcome;
      o["failedStep"] = r.failedStep;
      o["message"] = r.message;
      std::cout << Dump(o) << "\n";
    }
    std::cout << std::flush;
    return;
  }
  for (const auto& r : records) {
    char seconds[16];
    std::snprintf(seconds, sizeof seconds, "%6.1f s", r.seconds);
    std::string line = r.time.substr(0, 19) + "  " + r.port + "  " +
                       (r.euiAddress.empty() ? std::string(16, '-') : r.euiAddress) + "  " +
                       r.product + "  " + r.firmwareBefore + " -> " + r.firmwareAfter + "  " +
                       seconds + "  " + r.outcome;
    if (!r.failedStep.empty()) line += " at " + r.failedStep;
    if (!r.message.empty()) line += ": " + r.message;
    std::cout << line << "\n";
  }
  std::cout << std::flush;
  std::cerr << "zendra-cli: " << records.size() << " record" << (records.size() == 1 ? "" : "s")
            << " in " << path << std::endl;
}

}  // namespace

void RegisterProvisionCommands(CLI::App& app, CliContext& ctx) {
  auto options = std::make_shared<ProvisionOptions>();
  auto* provision = app.add_subcommand(
      "provision",
      "Bring every module on the ports given (or found, or plugged in) to a firmware and a "
      "configuration at the same time, verify it and record each one");
  provision->add_option("--port", options->ports, "A port with a module (repeatable)")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  auto* all = provision->add_flag("--all-ports", options->allPorts,
                                  "Every port where detect finds a module, at the rate it found");
  provision
      ->add_flag("--watch", options->watch,
                 "Keep running: provision each module as it is plugged in (on the ports "
                 "given, or on any serial port); Ctrl+C ends once the ports under way "
                 "have finished, a second Ctrl+C stops them")
      ->excludes(all);
  provision->add_option("--image", options->image,
                        "Firmware image (.ebl): a module of its model that runs another version "
                        "is updated; one of another model is skipped");
  provision->add_option("--image-version", options->imageVersion,
                        "The version the image makes (default: from a file name "
                        "PRODUCT_VERSION.ebl; without either every module is updated)");
  provision->add_flag("--force", options->force,
                      "Update every module of the image's model, whatever it runs");
  provision->add_flag("--fast", options->fast,
                      "Fast flashing: no 1 ms pause after each acknowledged block");
  provision->add_option("--config", options->config,
                        "Configuration file (.zgb) to import and verify; one of another "
                        "firmware version only with --yes");
  provision
      ->add_option("--set", options->sets,
                   "A parameter to write after the configuration file, NAME=VALUE "
                   "(repeatable; verified too)")
      ->expected(1)
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll);
  provision->add_option("--definitions", options->definitions,
                        "Folder of the definition files (default: the program's folder)");
  provision->add_option("--record", options->record,
                        "The records database (default: records.db in the user's data folder, "
                        "~/.local/share/zendra-manager/)");
  provision->callback([&ctx, options] { Provision(ctx, *options); });

  auto recordsOptions = std::make_shared<RecordsOptions>();
  auto* records =
      app.add_subcommand("records", "List the production records, or write them as CSV");
  records->add_option("--record", recordsOptions->record,
                      "The records database (default: records.db in the user's data folder)");
  records->add_option("--since", recordsOptions->since,
                      "Only records from this time on: 2025-03-14, 2025-03-14T09:30 (local time; "
                      "Z at the end for UTC), or an age: 30m, 8h, 7d");
  records->add_option("--eui", recordsOptions->eui, "Only the records of this EUI address");
  records->add_flag("--csv", recordsOptions->csv,
                    "Write CSV (a header line, then a line per record)");
  records->callback([&ctx, recordsOptions] { Records(ctx, *recordsOptions); });
}

}  // namespace zendra::cli
