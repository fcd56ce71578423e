#include "config/RemoteConfiguration.h"

#include "serial/AtLink.h"

namespace zendra {

RemoteConfiguration::RemoteConfiguration(Connection& connection, ConfigPageState& state)
    : connection_(connection), state_(state) {}

RemoteDeviceResult RemoteConfiguration::LocalResult(RemoteDeviceResult::Outcome outcome) const {
  RemoteDeviceResult result;
  result.outcome = outcome;
  result.remoteMode = connection_.RemoteMode();
  result.boxChecked = false;
  result.addressEditEnabled = true;
  result.restoreCaption = kRestoreCaption;
  result.productName = state_.remoteProductName;
  result.euiAddress = state_.remoteEuiAddress;
  result.version = state_.remoteVersion;
  return result;
}

RemoteDeviceResult RemoteConfiguration::ToggleRemoteDevice(LineLease& line, bool ticked,
                                                           const std::string& addressText,
                                                           const std::string& nodeName) {
  return ticked ? EnterRemoteDevice(line, addressText, nodeName) : LeaveRemoteDevice();
}

RemoteDeviceResult RemoteConfiguration::EnterRemoteDevice(LineLease& line,
                                                          const std::string& addressText,
                                                          const std::string& nodeName) {
  using Outcome = RemoteDeviceResult::Outcome;
  Operator& op = connection_.Op();
  state_.remoteAddressText = addressText;
  // Which device did not answer, and to what.
  const auto noResponse = [&](const char* query) {
    std::string device = RemoteDeviceText(addressText, nodeName);
    device[0] = 'T';
    op.ShowDetailedMessage(kNoResponseMessage, device + " did not answer " + query + " within " +
                                                   std::to_string(kIdentifySeconds) + " s.");
  };
  if (const auto check = CheckRemoteAddress(addressText); check != RemoteAddressCheck::kSendable) {
    op.ShowMessage(RemoteAddressMessage(check));
    return LocalResult(Outcome::kInvalidAddress);
  }

  AtLink& link = line.Link();
  // The queries carry their own prefix: the typed text, which may be any address
  // the local module understands. Only the EUI address the device reports is used
  // afterwards.
  const auto identify = [&](std::string_view query) -> std::string {
    const auto command = AddressedLine("at+rc=", addressText, query);
    return command ? link.QueryAtCommand(*command, kIdentifySeconds) : "ERROR";
  };
  link.WakeUpIfSleepy();
  // A closed port answers every query with the empty text, which is no product.
  const std::string product =
      connection_.IsOpen() ? identify(",at+productname\r\n") : std::string("ERROR");
  // A stopped query ends as a time-out would; the operator who closed the window
  // needs no message about it.
  if (line.Stopped()) return LocalResult(Outcome::kStopped);
  if (product == "ERROR") {
    noResponse("AT+PRODUCTNAME");
    return LocalResult(Outcome::kNoResponse);
  }
  const std::string eui = identify(",AT+LONGADDR\r\n");
  if (line.Stopped()) return LocalResult(Outcome::kStopped);
  // Every later remote command line is built from this text: a remote that gave no
  // address (ERROR, no answer in time, or a text no command line can carry) is
  // not worked on; the page stays local.
  if (eui == "ERROR" || !IsSendableAddress(eui)) {
    noResponse("AT+LONGADDR with its EUI address");
    return LocalResult(Outcome::kNoResponse);
  }
  const std::string version = identify(",AT+VERSION\r\n");
  if (line.Stopped()) return LocalResult(Outcome::kStopped);

  state_.remoteProductName = product;
  state_.remoteEuiAddress = eui;
  state_.remoteVersion = version;
  state_.remoteNodeName = nodeName;
  // Before the load: the remote definition leaves out "Security Settings".
  connection_.SetRemoteMode(true);

  RemoteDeviceResult result;
  result.outcome = Outcome::kRemote;
  result.remoteMode = true;
  result.boxChecked = true;
  result.addressEditEnabled = false;
  result.restoreCaption = kRebootCaption;
  result.productName = product;
  result.euiAddress = eui;
  result.version = version;
  result.definitionFile = product + "_" + version + ".zmcon";
  return result;
}

RemoteDeviceResult RemoteConfiguration::LeaveRemoteDevice() {
  state_.remoteProductName.clear();
  state_.remoteEuiAddress.clear();
  state_.remoteVersion.clear();
  state_.remoteNodeName.clear();
  state_.rangeLabel.clear();
  state_.rangeText.clear();
  connection_.SetRemoteMode(false);

  RemoteDeviceResult result = LocalResult(RemoteDeviceResult::Outcome::kLocal);
  result.rangeCleared = true;
  result.definitionFile = connection_.DefinitionFileName();
  return result;
}

void RemoteConfiguration::LoadDefinitions(DefinitionLoader& loader,
                                          const RemoteDeviceResult& result) {
  if (!result.definitionFile) return;
  loader.LoadParameterFile(LoadMode::kClear, "");
  loader.LoadParameterFile(LoadMode::kLoad, *result.definitionFile);
}

}  // namespace zendra
