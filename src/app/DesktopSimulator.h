#pragma once
// The desktop program's simulated module (--simulate): its options on the
// program's command line, and the module started in-process on a
// pseudo-terminal whose port goes into the port box. Where the system has no
// pseudo-terminals (Windows) the options are not offered and --simulate is
// refused with what to do instead; the window itself does not know which.

#include <CLI/CLI.hpp>
#include <memory>
#include <string>

namespace zendra {

namespace sim {
struct Options;
}

class DesktopSimulator {
 public:
  DesktopSimulator();
  ~DesktopSimulator();
  DesktopSimulator(const DesktopSimulator&) = delete;
  DesktopSimulator& operator=(const DesktopSimulator&) = delete;

  // Adds the simulated module's options to `app` under `group`.
  void AddOptions(CLI::App& app, const std::string& group);
  // After the parse: the first simulator option given, or empty.
  std::string FirstGiven() const;
  // The modules asked for (--count; 1 when not given).
  int Count() const;
  // After the parse, when --simulate was given: why the module cannot be started
  // as asked (a value the parse could not check, or no simulated module on this
  // system), or empty.
  std::string Check() const;

  // Starts the module; its definition file is taken from `programFolder` (ending
  // in "/") when it is there, so that the tree and the module agree. false with
  // the reason in `error`.
  bool Start(const std::string& programFolder, std::string& error);
  // The started module's port.
  std::string PortPath() const;

  // The options the module would be started with (systems with a simulated
  // module only).
  sim::Options ModuleOptions(const std::string& programFolder) const;

 private:
  struct State;
  std::unique_ptr<State> state_;
};

}  // namespace zendra
