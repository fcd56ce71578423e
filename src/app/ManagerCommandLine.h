#pragma once
// The desktop program's command line. Without options the program starts as it
// always does. --simulate starts a simulated module in-process and puts its port
// into the port box; the module's identity and behaviour can be chosen with the
// simulator options. The documentation's screenshot tool (zendra-screenshots) reads
// the same line with options of its own.

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "app/DesktopSimulator.h"

namespace CLI {
class App;
}

namespace zendra {

class ManagerCommandLine {
 public:
  enum class Action { kRun, kHelp, kError };

  // `argv` without the toolkit's own options.
  static ManagerCommandLine Parse(int argc, const char* const* argv);
  // The same for another program built on the window, `program` in its messages:
  // `moreOptions` adds its own options to the line before it is read.
  static ManagerCommandLine Parse(int argc, const char* const* argv, const std::string& program,
                                  const std::function<void(CLI::App&)>& moreOptions);

  // The simulated module of --simulate: its options as parsed, and its start.
  DesktopSimulator& Simulator() const { return *simulator_; }

  Action action = Action::kRun;
  // The help text for kHelp; the error and the usage for kError.
  std::string message;

  bool simulate = false;

  // --update-server URL: the update server of this run (and the one remembered);
  // an empty value forgets the remembered one. Nothing when not given.
  std::optional<std::string> updateServer;

 private:
  // The simulated module's options; shared so the parsed values outlive Parse.
  std::shared_ptr<DesktopSimulator> simulator_;
};

}  // namespace zendra
