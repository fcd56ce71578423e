#include "cli/CliContext.h"
// --simulate: the simulated modules run in this process, each on a
// pseudo-terminal, which POSIX systems have (CliSimulatorWin32.cpp says why
// Windows has no --simulate).

#include "config/ProgramFolder.h"
#include "sim/ModuleSimulator.h"
#include "sim/SimulatorCommandLine.h"

namespace zendra::cli {

bool CliContext::StartSimulators() {
  if (!simulators_.empty()) return true;
  // The simulated module follows the rate chosen with --baud unless told otherwise.
  sim::SimulatorCommandLine simulatorLine("auto");
  CLI::App simulatorApp{"simulated module", "--simulate"};
  simulatorLine.AddTo(simulatorApp);
  std::vector<sim::Options> modules;
  try {
    simulatorApp.parse(options.simulateArgs, false);
    // The module's registers come from the definition files the program shipped.
    modules = simulatorLine.FinishAll(ProgramFolder::GetDefinitionFolder());
  } catch (const CLI::ParseError& e) {
    Fail(kExitUsage, std::string("--simulate: ") + e.what());
    return false;
  }
  for (const sim::Options& module : modules) {
    simulators_.push_back(std::make_shared<sim::ModuleSimulator>(module));
    if (!simulators_.back()->Start()) {
      simulators_.clear();
      Fail(kExitUsage, "could not start the simulated module");
      return false;
    }
  }
  return true;
}

std::vector<std::string> CliContext::SimulatedPorts() {
  std::vector<std::string> ports;
  if (!StartSimulators()) return ports;
  for (const auto& module : simulators_) ports.push_back(module->PortPath());
  return ports;
}

void CliContext::StopSimulators() {
  for (auto& simulator : simulators_) simulator->Stop();
}

}  // namespace zendra::cli
