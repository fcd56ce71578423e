// zendra-modsim: serves simulated Zendra modules on pseudo-terminals until SIGINT
// or SIGTERM: one, or N with --count N. The first N lines on stdout are the port
// paths the host opens, module 1 first.

#include <signal.h>

#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <vector>

#include "ModuleSimulator.h"
#include "SimulatorCommandLine.h"

int main(int argc, char** argv) {
  using namespace zendra::sim;
  CLI::App app{"Simulated Zendra radio module on a pseudo-terminal", "zendra-modsim"};
  SimulatorCommandLine line("9600");
  line.AddTo(app);
  std::vector<Options> modules;
  try {
    app.parse(argc, argv);
    modules = line.FinishAll(ProgramFolderOfThisProcess());
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }

  // The simulator's threads inherit this mask, so the signals reach sigwait below.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  std::vector<std::unique_ptr<ModuleSimulator>> simulators;
  for (const Options& options : modules) {
    simulators.push_back(std::make_unique<ModuleSimulator>(options));
    if (!simulators.back()->Start()) {
      std::cerr << "zendra-modsim: " << simulators.back()->LastError() << "\n";
      return 1;
    }
  }
  for (const auto& module : simulators) std::cout << module->PortPath() << "\n";
  std::cout << std::flush;

  int received = 0;
  sigwait(&signals, &received);
  for (auto& module : simulators) module->Stop();
  return 0;
}
