#pragma once
// The Configuration page's core objects for one zendra-cli command, and how a
// command gets to them: connect, optionally switch to a remote device as ticking
// "Remode Device Setting" does, and load the definition file of the device that is
// now targeted.

#include <memory>
#include <optional>
#include <string>

#include "cli/CliContext.h"
#include "config/ConfigCore.h"

namespace zendra::cli {

struct ConfigSession : ConfigCore {
  using ConfigCore::ConfigCore;
  // The identification's result while a remote device is targeted.
  std::optional<RemoteDeviceResult> remoteDevice;
};

struct ConfigOptions {
  std::string definitionsDir;  // empty: the program folder
  bool remoteGiven = false;    // --remote: a remote device is targeted
  std::string remote;          // the address to identify it by
};

enum class Definitions {
  kNone,      // nothing is loaded
  kNameOnly,  // only the name of the targeted device's definition file (an import's version)
  kTable,     // the file is loaded; a table without parameters ends the command
};

// Connects, identifies the remote device when one is asked for, and loads its (or
// the local module's) definitions. nullptr after a message and with the exit status
// set: 2 for an address that cannot be sent, 1 when the module or the remote device
// did not answer or no parameter could be loaded.
std::unique_ptr<ConfigSession> OpenConfigSession(CliContext& ctx, const ConfigOptions& options,
                                                 Definitions definitions);

// Adds "--remote ADDRESS" (and "--definitions DIR" when `withDefinitions`).
void AddConfigOptions(CLI::App* command, ConfigOptions& options, bool withDefinitions);

}  // namespace zendra::cli
