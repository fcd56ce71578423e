#include "app/ManagerCommandLine.h"

#include <CLI/CLI.hpp>

#include "webupdate/UpdateServerUrl.h"

namespace zendra {

ManagerCommandLine ManagerCommandLine::Parse(int argc, const char* const* argv) {
  ManagerCommandLine line;
  CLI::App app{"Zendra Manager: configure and update Zendra radio modules on a serial port.",
               "zendra-manager"};
  app.add_flag("--simulate", line.simulate,
               "Start a simulated module and put its port into the port box");
  std::string updateServer;
  auto* updateServerOption =
      app.add_option("--update-server", updateServer,
                     "The update server: a host name (with an optional :port) or the http:// "
                     "or https:// URL of its folder; remembered for later runs (\"\" forgets "
                     "it). Also: the environment variable ZENDRA_UPDATE_SERVER");
  line.simulator_ = std::make_shared<DesktopSimulator>();
  line.simulator_->AddOptions(app, "Simulated module (with --simulate)");
  // For the documentation's pictures; not shown in the help.
  app.add_option("--screenshot", line.screenshotFile)->group("");
  app.add_flag("--screenshot-after-connect", line.screenshotAfterConnect)->group("");
  app.add_flag("--screenshot-screen", line.screenshotScreen)->group("");
  app.add_option("--screenshot-tab", line.screenshotTab)->check(CLI::Range(0, 1))->group("");
  app.add_option("--screenshot-select", line.screenshotSelect)->group("");
  app.add_option("--screenshot-remote", line.screenshotRemote)->group("");
  app.add_option("--screenshot-filter", line.screenshotFilter)->group("");
  app.add_option("--screenshot-compare", line.screenshotCompare)->group("");
  app.add_option("--screenshot-update", line.screenshotUpdate)->group("");
  app.add_option("--screenshot-remote-update", line.screenshotRemoteUpdate)->group("");
  app.add_flag("--screenshot-console", line.screenshotConsole)->group("");
  app.add_option("--screenshot-console-command", line.screenshotConsoleCommand)->group("");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    line.action = Action::kHelp;
    line.message = app.help();
    return line;
  } catch (const CLI::ParseError& error) {
    line.action = Action::kError;
    line.message = std::string("zendra-manager: ") + error.what() + "\n\n" + app.help();
    return line;
  }
  if (updateServerOption->count() > 0) {
    // A blank value forgets the remembered server; any other must be usable.
    const UpdateServerUrl::Choice choice{UpdateServerUrl::FromSetting(updateServer), updateServer,
                                         UpdateServerUrl::Source::kCommandLine};
    if (choice.url.empty() && updateServer.find_first_not_of(" \t") != std::string::npos) {
      line.action = Action::kError;
      line.message = "zendra-manager: " + UpdateServerUrl::UnusableMessage(choice) + "\n";
      return line;
    }
    line.updateServer = updateServer;
  }
  if (!line.simulate && !line.simulator_->FirstGiven().empty()) {
    line.action = Action::kError;
    line.message =
        "zendra-manager: " + line.simulator_->FirstGiven() + " needs --simulate\n\n" + app.help();
    return line;
  }
  if (line.simulator_->Count() > 1) {
    // The window works with one module on one port.
    line.action = Action::kError;
    line.message = "zendra-manager: --count is for zendra-modsim and zendra-cli; the window "
                   "simulates one module\n";
    return line;
  }
  if (line.simulate) {
    const std::string refusal = line.simulator_->Check();
    if (!refusal.empty()) {
      line.action = Action::kError;
      line.message = "zendra-manager: " + refusal + "\n\n" + app.help();
    }
  }
  return line;
}

}  // namespace zendra
