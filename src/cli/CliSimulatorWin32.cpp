#include "cli/CliContext.h"
// --simulate on Windows: the simulated module needs a pseudo-terminal, which
// Windows does not have. The option is refused with what to do instead.

namespace zendra::cli {

bool CliContext::StartSimulators() {
  Fail(kExitUsage,
       "--simulate: the simulated module needs a pseudo-terminal, which Windows does not have; "
       "run zendra-modsim on a Linux computer and connect it to a COM port");
  return false;
}

std::vector<std::string> CliContext::SimulatedPorts() {
  StartSimulators();
  return {};
}

void CliContext::StopSimulators() {}

}  // namespace zendra::cli
