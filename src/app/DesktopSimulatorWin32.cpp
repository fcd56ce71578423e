#include "app/DesktopSimulator.h"
// --simulate on Windows: the simulated module needs a pseudo-terminal, which
// Windows does not have. No simulator option is offered, and --simulate is refused
// with what to do instead, as the command line program refuses it.

namespace zendra {

struct DesktopSimulator::State {};

DesktopSimulator::DesktopSimulator() : state_(std::make_unique<State>()) {}
DesktopSimulator::~DesktopSimulator() = default;

void DesktopSimulator::AddOptions(CLI::App&, const std::string&) {}

std::string DesktopSimulator::FirstGiven() const { return {}; }

int DesktopSimulator::Count() const { return 1; }

std::string DesktopSimulator::Check() const {
  return "--simulate: the simulated module needs a pseudo-terminal, which Windows does not "
         "have; run zendra-modsim on a Linux computer and connect it to a COM port";
}

bool DesktopSimulator::Start(const std::string&, std::string& error) {
  error = Check();
  return false;
}

std::string DesktopSimulator::PortPath() const { return {}; }

}  // namespace zendra
