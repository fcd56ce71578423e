#pragma once
// The Remote Configuration box of the Configuration page without the page: ticking
// "Remode Device Setting" identifies the remote module whose address the operator
// typed, through the local module ("at+rc=ADDRESS,..."), and switches the page to it;
// clearing the box switches back to the local module.
//
// The identification asks three things, each a query of 10 s that carries its own
// remote prefix: the product name (no answer ends it: the remote device does not
// respond), the EUI address and the firmware version (a failure leaves "ERROR" in
// their place, and the page still goes remote). From then on every read, save,
// restart, export and import of the page goes to the EUI address the device
// reported, not to the typed text, which serves for the identification alone.
//
// The page's remote texts live in ConfigPageState; the connection's remoteMode flag
// is set before the remote definition file is loaded, so that the loader leaves out
// the "Security Settings" group. A RemoteDeviceResult says what every control of
// the box shows afterwards and which definition file the page loads (after emptying
// its tree); LoadDefinitions does that load for a caller without a tree.
//
// The typed address is checked first by the rule every remote command line keeps
// (RemoteAddress.h): an empty one, or one holding a comma or a control byte, is
// refused with the message that says why, and nothing is sent. An EUI address
// reported empty or with a comma or a control byte is no address either: "ERROR"
// stands in its place, as for a failed query, so that no later command line is
// built from it.
//
// A sleepy local module is woken once before the identification: the local module
// relays the queries, and asleep it would lose the first one and never let the page
// reach a remote device.

#include <optional>
#include <string>

#include "config/ConfigPageState.h"
#include "config/DefinitionLoader.h"
#include "device/Connection.h"
#include "serial/RemoteAddress.h"

namespace zendra {

// What the Remote Configuration box and the button 1004 show after the check box
// changed, and what the page must load.
struct RemoteDeviceResult {
  enum class Outcome {
    kRemote,          // identified: the page targets the remote device
    kLocal,           // the box was cleared: the page targets the local device again
    kInvalidAddress,  // nothing typed, or an address that cannot be sent: nothing sent
    kNoResponse,      // "at+productname" failed: local mode, tree unchanged
    kStopped,         // the task was asked to stop during the identification: local mode
  };
  Outcome outcome = Outcome::kLocal;

  bool remoteMode = false;         // the connection's flag as it now stands
  bool boxChecked = false;         // check box 1027
  bool addressEditEnabled = true;  // address edit 1026
  std::string restoreCaption;      // button 1004
  // Static texts 1028, 1029, 1030 (also in ConfigPageState).
  std::string productName;
  std::string euiAddress;
  std::string version;
  // The range label (1015) and range text (1013) were emptied.
  bool rangeCleared = false;
  // The definition file to load (mode 0 with an empty name, then mode 1 with this
  // name); nullopt: the tree stays as it is.
  std::optional<std::string> definitionFile;
};

class RemoteConfiguration {
 public:
  static constexpr const char* kInvalidAddressMessage = kInvalidRemoteAddressMessage;
  static constexpr const char* kUnsafeAddressMessage = kUnsafeRemoteAddressMessage;
  static constexpr const char* kNoResponseMessage = "ERROR: The remote device does not respond.";
  static constexpr const char* kRebootCaption = "Reboot";
  static constexpr const char* kRestoreCaption = "Restore to Factory Default";
  // Each identification query, in whole seconds.
  static constexpr int kIdentifySeconds = 10;

  RemoteConfiguration(Connection& connection, ConfigPageState& state);

  // The check box 1027 changed to `ticked`; `addressText` is the text of 1026. A
  // tick identifies the remote device over `line`; a clear sends nothing.
  // `nodeName`: the scan's node name for that address, when known (for messages).
  RemoteDeviceResult ToggleRemoteDevice(LineLease& line, bool ticked,
                                        const std::string& addressText,
                                        const std::string& nodeName = {});
  // The tick: identification and the switch to the remote device.
  RemoteDeviceResult EnterRemoteDevice(LineLease& line, const std::string& addressText,
                                       const std::string& nodeName = {});
  // The clear: back to the local device (nothing is sent).
  RemoteDeviceResult LeaveRemoteDevice();

  // Loads the definition file a result names, as the page does (mode 0, then mode 1);
  // nothing when it names none.
  static void LoadDefinitions(DefinitionLoader& loader, const RemoteDeviceResult& result);

 private:
  RemoteDeviceResult LocalResult(RemoteDeviceResult::Outcome outcome) const;

  Connection& connection_;
  ConfigPageState& state_;
};

}  // namespace zendra
