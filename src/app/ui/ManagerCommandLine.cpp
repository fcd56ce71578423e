#include "app/ui/ManagerCommandLine.h"

#include <CLI/CLI.hpp>
#include <filesystem>
#include <vector>

#include "serial/LineSettingTables.h"

namespace zendra {

namespace {

// "auto" or one of the baud rates of the list; 0 stands for "auto".
std::string CheckBaud(const std::string& text) {
  if (text == "auto") return {};
  for (const auto& entry : kBaudRateTable) {
    if (text == entry.label) return {};
  }
  return "--baud takes \"auto\" or one of 1200 2400 4800 9600 19200 38400 57600 115200 230400 "
         "460800 921600, not \"" +
         text + "\"";
}

}  // namespace

ManagerCommandLine ManagerCommandLine::Parse(int argc, const char* const* argv) {
  ManagerCommandLine line;
  CLI::App app{"Zendra Manager: configure and update Zendra radio modules on a serial port.",
               "zendra-manager"};
  std::string baud = "auto";
  app.add_flag("--simulate", line.simulate,
               "Start a simulated module and put its port into the port box");
  std::vector<CLI::Option*> simulatorOptions;
  const auto simOption = [&](CLI::Option* option) {
    option->group("Simulated module (with --simulate)");
    simulatorOptions.push_back(option);
    return option;
  };
  simOption(
      app.add_option("--product", line.product, "Product name it reports")->capture_default_str());
  simOption(app.add_option("--version", line.version, "Firmware version it reports")
                ->capture_default_str());
  simOption(
      app.add_option("--node-type", line.nodeType, "Node type it reports (4: sleepy end device)")
          ->check(CLI::Range(0, 9))
          ->capture_default_str());
  simOption(app.add_flag("--damaged", line.damaged,
                         "Starts in the bootloader menu, as with a damaged firmware"));
  simOption(app.add_option("--baud", baud, "Its UART rate, or auto to follow the rate chosen")
                ->check(CheckBaud)
                ->capture_default_str());
  simOption(
      app.add_option("--eui", line.euiAddress, "EUI address it reports")->capture_default_str());
  simOption(
      app.add_option("--node-name", line.nodeName, "Node name it reports")->capture_default_str());

  // For the documentation's pictures; not shown in the help.
  app.add_option("--screenshot", line.screenshotFile)->group("");
  app.add_flag("--screenshot-after-connect", line.screenshotAfterConnect)->group("");
  app.add_option("--screenshot-tab", line.screenshotTab)->check(CLI::Range(0, 1))->group("");

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
  if (!line.simulate) {
    for (const auto* option : simulatorOptions) {
      if (option->count() > 0) {
        line.action = Action::kError;
        line.message =
            "zendra-manager: " + option->get_name() + " needs --simulate\n\n" + app.help();
        return line;
      }
    }
  }
  line.baudRate = baud == "auto" ? 0 : std::stoi(baud);
  return line;
}

sim::Options ManagerCommandLine::SimulatorOptions(const std::string& programFolder) const {
  sim::Options options;
  options.productName = product;
  options.version = version;
  options.nodeType = nodeType;
  options.damaged = damaged;
  options.baudRate = baudRate;
  options.euiAddress = euiAddress;
  options.nodeName = nodeName;
  const std::string definitions = programFolder + product + "_" + version + ".zmcon";
  std::error_code ec;
  if (std::filesystem::is_regular_file(definitions, ec)) options.definitionsFile = definitions;
  return options;
}

}  // namespace zendra
