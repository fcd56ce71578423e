#pragma once
// "Download from web server" on the Firmware Update page, without the page: the
// local module and every remote device of the page's device list are asked for
// their product and firmware version, each is checked against the update server's
// "Firmware" list, and every newer image the operator accepts is downloaded.
//
// The local module is asked with "AT+PRODUCTNAME\n" and "AT+VERSION\n" (2 s each;
// upper case, a line feed only), after the wake-up of a sleepy module; while the
// Configuration page works on a remote device (remote mode) it is not asked, and
// the check runs with empty texts (the list is fetched, nothing is offered). Each
// remote device is asked through the local one with "at+productname\n" and
// "at+version\n" (5 s each; lower case, a line feed only), addressed by its IEEE
// address; a device of the local module's product is not checked again. A device
// that does not answer is reported ("ERROR: The device does not respond. ...") and
// the next one is taken, its address named in the message's detail. When no offer
// was accepted at all, "ERROR: No new firmware is available." ends the run.
//
// A list that fails at the server (no connection, an HTTP error, an answer that is
// no list) ends the run with its one message, which names the server and the file:
// the other devices would meet the same server, and "No new firmware" would say
// what nobody knows.
//
// The result is the path of the last image that was downloaded whole: the page
// puts it into its "File location" field. An accepted image whose download failed
// does not become the file location (its path holds no new image: nothing, or
// whatever file stood there before), but it was new firmware, so the run does not
// end with "No new firmware".
//
// Runs as a module task on the caller's lease of the line; a stop of the lease's
// holder ends the run between two steps, without a message.

#include <string>
#include <vector>

#include "base/Operator.h"
#include "device/Connection.h"
#include "device/LineLease.h"
#include "webupdate/DownloadRunner.h"
#include "webupdate/HttpClient.h"

namespace zendra {

class WebServerDownload {
 public:
  static constexpr const char* kNoResponseMessage =
      "ERROR: The device does not respond. \r\nPlease make sure that the device is conncted "
      "correctly and turned on.";
  static constexpr const char* kNothingNewMessage = "ERROR: No new firmware is available.";

  // An offer the operator accepted, and how its download ended.
  struct Accepted {
    std::string product;
    std::string path;
    bool saved = false;
  };

  WebServerDownload(Connection& connection, Operator& op, DownloadRunner& runner,
                    std::string updateServerUrl, HttpClient client = HttpClient())
      : connection_(connection),
        op_(op),
        runner_(runner),
        updateServerUrl_(std::move(updateServerUrl)),
        client_(client) {}

  // The run for the local module and `remoteAddresses` (the device list's "IEEE
  // Address" column, in row order). The path of the last image saved; empty when
  // none was.
  std::string OnDownloadFromWebServer(LineLease& line,
                                      const std::vector<std::string>& remoteAddresses);

  // Every accepted offer of the last run, in order.
  const std::vector<Accepted>& AcceptedOffers() const { return accepted_; }

 private:
  // CheckFirmwareUpdate for one device; records an accepted offer, and whether the
  // server failed (serverFailed_).
  void Check(const std::string& product, const std::string& version, std::stop_token stop);

  Connection& connection_;
  Operator& op_;
  DownloadRunner& runner_;
  std::string updateServerUrl_;
  HttpClient client_;
  std::vector<Accepted> accepted_;
  bool serverFailed_ = false;
};

}  // namespace zendra
