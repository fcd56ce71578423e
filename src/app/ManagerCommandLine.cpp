#include "app/ManagerCommandLine.h"

#include <CLI/CLI.hpp>

#include "webupdate/UpdateServerUrl.h"

namespace zendra {

ManagerCommandLine ManagerCommandLine::Parse(int argc, const char* const* argv) {
  return Parse(argc, argv, "zendra-manager", {});
}

ManagerCommandLine ManagerCommandLine::Parse(int argc, const char* const* argv,
                                             const std::string& program,
                                             const std::function<void(CLI::App&)>& moreOptions) {
  ManagerCommandLine line;
  CLI::App app{"Zendra Manager: configure and update Zendra radio modules on a serial port.",
               program};
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
  if (moreOptions) moreOptions(app);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    line.action = Action::kHelp;
    line.message = app.help();
    return line;
  } catch (const CLI::ParseError& error) {
    line.action = Action::kError;
    line.message = program + ": " + error.what() + "\n\n" + app.help();
    return line;
  }
  if (updateServerOption->count() > 0) {
    // A blank value forgets the remembered server; any other must be usable.
    const UpdateServerUrl::Choice choice{UpdateServerUrl::FromSetting(updateServer), updateServer,
                                         UpdateServerUrl::Source::kCommandLine};
    if (choice.url.empty() && updateServer.find_first_not_of(" \t") != std::string::npos) {
      line.action = Action::kError;
      line.message = program + ": " + UpdateServerUrl::UnusableMessage(choice) + "\n";
      return line;
    }
    line.updateServer = updateServer;
  }
  if (!line.simulate && !line.simulator_->FirstGiven().empty()) {
    line.action = Action::kError;
    line.message =
        program + ": " + line.simulator_->FirstGiven() + " needs --simulate\n\n" + app.help();
    return line;
  }
  if (line.simulator_->Count() > 1) {
    // The window works with one module on one port.
    line.action = Action::kError;
    line.message = program +
                   ": --count is for zendra-modsim and zendra-cli; the window simulates one "
                   "module\n";
    return line;
  }
  if (line.simulate) {
    const std::string refusal = line.simulator_->Check();
    if (!refusal.empty()) {
      line.action = Action::kError;
      line.message = program + ": " + refusal + "\n\n" + app.help();
    }
  }
  return line;
}

}  // namespace zendra
