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
  // The same for every module of `--count N`: module k (1-based) has the EUI
  // address of the first plus k - 1 and the faults `--module-fault k,...` gives it
  // on top of the common ones. One module without --count.
  std::vector<Options> FinishAll(const std::string& definitionsFolder) const;
  // The modules asked for (--count; 1 when not given).
  int Count() const { return count_; }

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
  std::string replyForm_ = "usual";
  bool builtIn_ = false;
  int count_ = 1;
  std::vector<std::string> moduleFaults_;
  std::vector<CLI::Option*> added_;
};

// The EUI address `offset` after `first` (hexadecimal, the same width, capitals):
// the address of module offset + 1 of a group. Empty when `first` is no
// hexadecimal number of at most 16 digits or the sum does not fit in its width.
std::string OffsetEuiAddress(const std::string& first, int offset);

// The log file of module k of a group: FILE itself for a single module, else
// FILE with "." k appended.
std::string ModuleLogFile(const std::string& file, int module, int count);

// PRODUCT_VERSION.zmcon in `folder` when that file exists, else empty.
std::string DefinitionsFileIn(const std::string& folder, const std::string& product,
                              const std::string& version);

// The folder of the running program, ending in "/".
std::string ProgramFolderOfThisProcess();

}  // namespace zendra::sim
