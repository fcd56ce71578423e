// zendra-cli: the manager's operations from a terminal, for scripts and
// production lines. See docs/cli.md.

#include <CLI/CLI.hpp>
#include <iostream>

#include "base/Clock.h"
#include "cli/CliContext.h"
#include "cli/Terminal.h"
#include "serial/SerialPort.h"

int main(int argc, char** argv) {
  using namespace zendra::cli;
  ShowUtf8Text();
  CliContext ctx;
  auto& o = ctx.options;

  CLI::App app{"Zendra Manager command line: configure and update Zendra radio modules",
               "zendra-cli"};
  app.set_version_flag("--version", std::string("zendra-cli ") + ZENDRA_VERSION);
  app.require_subcommand(1);
  app.add_option("--port", o.port, zendra::SerialPort::PortNameHelp());
  app.add_option("--baud", o.baud,
                 "Baud rate: 1200 2400 4800 9600 19200 38400 57600 115200 230400 460800 921600")
      ->capture_default_str();
  app.add_option("--parity", o.parity, "Parity")
      ->check(CLI::IsMember({"none", "even", "odd"}))
      ->capture_default_str();
  app.add_option("--data-bits", o.dataBits, "Data bits")
      ->check(CLI::IsMember({7, 8}))
      ->capture_default_str();
  app.add_option("--stop-bits", o.stopBits, "Stop bits")
      ->check(CLI::IsMember({1, 2}))
      ->capture_default_str();
  app.add_option("--flow", o.flow, "Flow control")
      ->check(CLI::IsMember({"none", "software", "hardware"}))
      ->capture_default_str();
  app.add_option("--timeout", o.timeout, "Time-out in whole seconds for a single command line")
      ->check(CLI::Range(0, 3600))
      ->capture_default_str();
  app.add_flag("--json", o.json, "Print results as JSON");
  // For the tests: runs the protocol's pauses and time-outs at a compressed scale.
  double timeScale = 1.0;
  app.add_option("--time-scale", timeScale)->check(CLI::Range(0.01, 1.0))->group("");
  auto* yes = app.add_flag("--yes", o.yes, "Answer Yes to every question");
  app.add_flag("--no", o.no, "Answer No to every question")->excludes(yes);
  app.add_option("--simulate", o.simulateArgs,
                 "Talk to a simulated module started in-process; its options may follow in one "
                 "argument, as zendra-modsim takes them: --simulate=\"--damaged --product MC21X\"")
      ->expected(0, 1);
  std::string updateServer;
  auto* updateServerOption = app.add_option(
      "--update-server", updateServer,
      "The update server: a host name (with an optional :port) or the http:// or "
      "https:// URL of its folder (default: $ZENDRA_UPDATE_SERVER, else the build's)");
  app.add_option("--trace", o.trace,
                 "Write every byte sent and received on the serial line to FILE, as the desktop "
                 "program's traffic console shows it")
      ->type_name("FILE");
  app.parse_complete_callback([&] {
    if (!o.trace.empty()) {
      std::string error;
      if (!ctx.StartTrace(o.trace, error))
        throw CLI::ValidationError("--trace", "cannot write " + o.trace + ": " + error);
    }
    if (updateServerOption->count() > 0) o.updateServer = updateServer;
    zendra::Clock::SetScale(timeScale);
    o.simulate = app.count("--simulate") > 0;
    o.baudGiven = app.count("--baud") > 0;
    if (o.yes) ctx.op.SetAnswer(TerminalOperator::Answer::kYes);
    if (o.no) ctx.op.SetAnswer(TerminalOperator::Answer::kNo);
  });

  RegisterBasicCommands(app, ctx);
  RegisterConfigCommands(app, ctx);
  RegisterTransferCommands(app, ctx);
  RegisterFirmwareCommands(app, ctx);
  RegisterScanCommands(app, ctx);
  RegisterWebUpdateCommands(app, ctx);
  RegisterDetectCommands(app, ctx);
#ifdef ZENDRA_PRODUCTION
  RegisterProvisionCommands(app, ctx);
#endif

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::cerr << "zendra-cli: " << e.what() << std::endl;
    return kExitUsage;
  }
  return ctx.exitCode;
}
