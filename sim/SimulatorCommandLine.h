#pragma once
// The simulated module's command line options, shared by every program that can
// start one: zendra-modsim, and the --simulate modes of zendra-manager and
// zendra-cli. One place defines the options, their help and their checks.

#include <CLI/CLI.hpp>

#include <string>
#include <vector>

#include "ModuleSimulator.h"

namespace zendra::sim {

class SimulatorCommandLine {
 public:
  // `defaultBaud`: "auto" (the module follows the host's rate) or a rate.
  explicit SimulatorCommandLine(std::string defaultBaud = "9600");

  // Adds every option of the simulated module to `app`, under `group` when given.
  void AddTo(CLI::App& app, const std::string& group = {});

  // After the parse: the module's options. A definition file that is not given is
  // PRODUCT_VERSION.zmcon from `definitionsFolder` (ending in "/") when it is
  // there, for the local module and each remote node alike. Throws
  // CLI::ValidationError for a value that the parse could not check.
  Options Finish(const std::string& definitionsFolder) const;

  // The name of the first simulator option given on the command line, or empty.
  std::string FirstGiven() const;

 private:
  Options options_;
  std::string baud_;
  std::vector<std::string> remotes_;
  std::vector<std::string> remoteFaults_;
  int networkNodes_ = 0;
  bool oddNames_ = false;
  std::vector<std::string> sets_;
  std::string refuseWith_ = "NAK";
  std::string eotAnswer_ = "ACK";
  bool builtIn_ = false;
  std::vector<CLI::Option*> added_;
};

// PRODUCT_VERSION.zmcon in `folder` when that file exists, else empty.
std::string DefinitionsFileIn(const std::string& folder, const std::string& product,
                              const std::string& version);

// The folder of the running program, ending in "/".
std::string ProgramFolderOfThisProcess();

}  // namespace zendra::sim
