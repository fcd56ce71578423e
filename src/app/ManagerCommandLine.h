#pragma once
// The desktop program's command line. Without options the program starts as it
// always does. --simulate starts a simulated module in-process and puts its port
// into the port box; the module's identity and behaviour can be chosen with the
// simulator options. Hidden options take a picture of the window for the
// documentation, after an Open and the pick of a parameter if asked.

#include <memory>
#include <optional>
#include <string>

#include "app/DesktopSimulator.h"

namespace zendra {

class ManagerCommandLine {
 public:
  enum class Action { kRun, kHelp, kError };

  // `argv` without the toolkit's own options.
  static ManagerCommandLine Parse(int argc, const char* const* argv);

  // The simulated module of --simulate: its options as parsed, and its start.
  DesktopSimulator& Simulator() const { return *simulator_; }

  Action action = Action::kRun;
  // The help text for kHelp; the error and the usage for kError.
  std::string message;

  bool simulate = false;

  // --update-server URL: the update server of this run (and the one remembered);
  // an empty value forgets the remembered one. Nothing when not given.
  std::optional<std::string> updateServer;

  std::string screenshotFile;
  bool screenshotAfterConnect = false;
  bool screenshotScreen = false;
  int screenshotTab = 0;
  // "Group/Name": the parameter picked in the tree before the picture (after Open).
  std::string screenshotSelect;
  // An address typed into the Remote Configuration box and ticked (after Open),
  // before the pick.
  std::string screenshotRemote;
  // A text typed into the Configuration page's filter box before the picture.
  std::string screenshotFilter;
  // A configuration file compared with the device: the picture is of the compare
  // dialog (or of the screen with it), which is then cancelled.
  std::string screenshotCompare;
  // An image: after an Open at 115200 the local update of the Firmware Update page
  // runs with it, and the picture is taken once a third of it has gone.
  std::string screenshotUpdate;
  // An image: after an Open at 115200 a Search, the rows of the image's model ticked
  // and the remote update started; the picture once the second of them (or the only
  // one) has passed a third, or once the sequence has ended.
  std::string screenshotRemoteUpdate;
  // The traffic console shown beside the window (the picture takes both), with this
  // command typed and sent when not empty.
  bool screenshotConsole = false;
  std::string screenshotConsoleCommand;

 private:
  // The simulated module's options; shared so the parsed values outlive Parse.
  std::shared_ptr<DesktopSimulator> simulator_;
};

}  // namespace zendra
