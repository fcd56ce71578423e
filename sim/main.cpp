// zendra-modsim: serves a simulated Zendra module on a pseudo-terminal until
// SIGINT or SIGTERM. The first line on stdout is the port path the host opens.

#include <signal.h>

#include <CLI/CLI.hpp>
#include <iostream>

#include "ModuleSimulator.h"
#include "SimulatorCommandLine.h"

int main(int argc, char** argv) {
  using namespace zendra::sim;
  CLI::App app{"Simulated Zendra radio module on a pseudo-terminal", "zendra-modsim"};
  SimulatorCommandLine line("9600");
  line.AddTo(app);
  Options options;
  try {
    app.parse(argc, argv);
    options = line.Finish(ProgramFolderOfThisProcess());
  } catch (const CLI::ParseError& e) {
    return app.exit(e);
  }

  // The simulator's threads inherit this mask, so the signals reach sigwait below.
  sigset_t signals;
  sigemptyset(&signals);
  sigaddset(&signals, SIGINT);
  sigaddset(&signals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals, nullptr);

  ModuleSimulator module(options);
  if (!module.Start()) {
    std::cerr << "zendra-modsim: " << module.LastError() << "\n";
    return 1;
  }
  std::cout << module.PortPath() << std::endl;

  int received = 0;
  sigwait(&signals, &received);
  module.Stop();
  return 0;
}
