#include "webupdate/WebServerDownload.h"

#include "serial/AtLink.h"
#include "serial/RemoteAddress.h"
#include "webupdate/UpdateServerCheck.h"

namespace zendra {

namespace {

constexpr int kLocalTimeoutSeconds = 2;
constexpr int kRemoteTimeoutSeconds = 5;

}  // namespace

void WebServerDownload::Check(const std::string& product, const std::string& version,
                              std::stop_token stop) {
  UpdateServerCheck check(op_, runner_, updateServerUrl_, client_, std::move(stop));
  const std::string path = check.CheckFirmwareUpdate(product, version);
  if (check.LastServerFailed()) serverFailed_ = true;
  if (path.empty()) return;
  const bool saved =
      !check.LastResults().empty() && check.LastResults().front() == DownloadResult::kSaved;
  accepted_.push_back({product, path, saved});
}

std::string WebServerDownload::OnDownloadFromWebServer(
    LineLease& line, const std::vector<std::string>& remoteAddresses) {
  accepted_.clear();
  serverFailed_ = false;
  AtLink& link = line.Link();
  link.WakeUpIfSleepy();

  std::string product;
  std::string version;
  if (!connection_.RemoteMode()) {
    product = link.QueryAtCommand("AT+PRODUCTNAME\n", kLocalTimeoutSeconds);
    version = link.QueryAtCommand("AT+VERSION\n", kLocalTimeoutSeconds);
  }
  if (line.Stopped()) return {};
  if (product == "ERROR" || version == "ERROR")
    op_.ShowDetailedMessage(kNoResponseMessage,
                            "The local module did not answer AT+PRODUCTNAME or AT+VERSION.");
  else
    Check(product, version, line.StopToken());
  if (serverFailed_) return {};

  for (const std::string& address : remoteAddresses) {
    if (line.Stopped()) return {};
    // An address from the device list that may not stand in "AT+RC=ADDRESS,..." (a
    // comma, a line end, nothing): the row is not asked at all.
    if (!IsSendableAddress(address)) {
      op_.ShowDetailedMessage(kNoResponseMessage,
                              "The device list's address '" + address +
                                  "' cannot be sent in a command; the device was not asked.");
      continue;
    }
    const std::string remoteProduct =
        link.QueryRemoteAtCommand("at+productname\n", kRemoteTimeoutSeconds, address);
    const std::string remoteVersion =
        link.QueryRemoteAtCommand("at+version\n", kRemoteTimeoutSeconds, address);
    if (line.Stopped()) return {};
    // A device of the local product has been checked with the local module. A local
    // module that did not answer has no product to compare with: its "ERROR" does
    // not make a silent remote device one of its kind.
    if (remoteProduct == product && product != "ERROR") continue;
    if (remoteProduct == "ERROR" || remoteVersion == "ERROR") {
      op_.ShowDetailedMessage(kNoResponseMessage, "The remote device " + address +
                                                      " did not answer at+productname or "
                                                      "at+version within " +
                                                      std::to_string(kRemoteTimeoutSeconds) +
                                                      " s.");
      continue;
    }
    Check(remoteProduct, remoteVersion, line.StopToken());
    if (serverFailed_) return {};
  }
  if (line.Stopped()) return {};

  if (accepted_.empty()) op_.ShowMessage(kNothingNewMessage);
  for (auto it = accepted_.rbegin(); it != accepted_.rend(); ++it)
    if (it->saved) return it->path;
  return {};
}

}  // namespace zendra
