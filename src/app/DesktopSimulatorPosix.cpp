#include "ModuleSimulator.h"
#include "SimulatorCommandLine.h"
#include "app/DesktopSimulator.h"

namespace zendra {

struct DesktopSimulator::State {
  // By default the simulated module follows the rate the operator chooses.
  sim::SimulatorCommandLine line{"auto"};
  std::unique_ptr<sim::ModuleSimulator> module;
};

DesktopSimulator::DesktopSimulator() : state_(std::make_unique<State>()) {}
DesktopSimulator::~DesktopSimulator() = default;

void DesktopSimulator::AddOptions(CLI::App& app, const std::string& group) {
  state_->line.AddTo(app, group);
}

std::string DesktopSimulator::FirstGiven() const { return state_->line.FirstGiven(); }

int DesktopSimulator::Count() const { return state_->line.Count(); }

std::string DesktopSimulator::Check() const {
  try {
    (void)state_->line.Finish({});
  } catch (const CLI::ParseError& error) {
    return error.what();
  }
  return {};
}

sim::Options DesktopSimulator::ModuleOptions(const std::string& programFolder) const {
  return state_->line.Finish(programFolder);
}

bool DesktopSimulator::Start(const std::string& programFolder, std::string& error) {
  state_->module = std::make_unique<sim::ModuleSimulator>(ModuleOptions(programFolder));
  if (state_->module->Start()) return true;
  state_->module.reset();
  error = "the simulated module could not be started";
  return false;
}

std::string DesktopSimulator::PortPath() const {
  return state_->module ? state_->module->PortPath() : std::string();
}

}  // namespace zendra
