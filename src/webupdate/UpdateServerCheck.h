#pragma once
// The two update checks against the update server, without a window.
//
// CheckConfigUpdates fetches the "Configs" list and downloads every definition
// file it names into a folder; the definition loader runs it when no file matches
// the device's firmware version and the operator agrees, and then looks again.
// CheckFirmwareUpdate fetches the "Firmware" list, finds the product's line,
// offers a different version to the operator and downloads the accepted image to
// the path chosen in the save dialog; the Firmware Update page runs it for the
// local and each remote device.
//
// Messages, the NOTICE question and the save dialog go through the Operator; the
// downloads themselves go to the DownloadRunner (the desktop's modal download
// window, the command line's terminal view), which returns when they are over.
// A list fetch shows the wait cursor and ends at once on a stop request.

#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "base/Operator.h"
#include "webupdate/DownloadRunner.h"
#include "webupdate/HttpClient.h"

namespace zendra {

class UpdateServerCheck {
 public:
  static constexpr const char* kFirmwareFilter = "ebl Files(*.ebl)|*.ebl|All Files(*.*)|*.*|";
  // Either list ran past the client's maxTextBytes: it came, but is no list of ours.
  static constexpr const char* kListTooLong = "ERROR: The update server's list is too long.";

  // `updateServerUrl` is the resolved base URL (UpdateServerUrl::Resolve).
  UpdateServerCheck(Operator& op, DownloadRunner& runner, std::string updateServerUrl,
                    HttpClient client = HttpClient(), std::stop_token stop = {})
      : op_(op),
        runner_(runner),
        updateServerUrl_(std::move(updateServerUrl)),
        client_(client),
        stop_(std::move(stop)) {}

  // Downloads every file of the "Configs" list to `folder` + its listed name.
  // `folder` ends in a path separator (see DefinitionFolder). A listed name that
  // would leave the folder is refused with a message; the others go on.
  void CheckConfigUpdates(const std::string& folder);

  // Offers the firmware the "Firmware" list names for `product` when its version
  // differs from `version`, and downloads it where the operator chooses. Returns
  // the chosen path (also when the download then failed); empty when nothing was
  // offered, the offer was declined or the save dialog cancelled.
  std::string CheckFirmwareUpdate(const std::string& product, const std::string& version);

  // What the last check handed to the runner and how each file ended (both empty
  // when the check downloaded nothing: no list, nothing offered, declined).
  const std::vector<DownloadEntry>& LastEntries() const { return lastEntries_; }
  const std::vector<DownloadResult>& LastResults() const { return lastResults_; }
  // Whether the last check got its list, and the "Configs" names it refused.
  bool LastListFetched() const { return lastListFetched_; }
  // Whether the last check's list failed at the server (no connection, an HTTP
  // error, an answer that is no list, one too long): its one message has been
  // shown, and every other check of the same run would meet the same server.
  bool LastServerFailed() const { return lastServerFailed_; }

  // One fetch of a list, as the checks and the window's server test make it.
  struct ListFetch {
    enum class Failure { kNone, kNoConnection, kHttpStatus, kNotAList, kTooLong };
    Failure failure = Failure::kNone;
    bool emptyAnswer = false;          // no byte came (whatever the status)
    std::vector<std::string> entries;  // the list's entries when there is no failure
    long status = 0;                   // the HTTP status that came, 0: none
    // What names the failure: the server, the file, and what happened
    // ("Server: http://.../\nFile: Firmware\nThe server answered HTTP 404."); empty
    // when there is none.
    std::string detail;
  };
  static ListFetch FetchListAt(const HttpClient& client, const std::string& serverUrl,
                               const std::string& listName, std::stop_token stop = {});
  // The system's message for a failed fetch of `listName` ("Configs" or
  // "Firmware"), kept to the words each check has always said: no byte is "could
  // not connect to web server", an answer that is no list "could not connect to
  // update server"; the detail tells what happened.
  static std::string FailureMessage(const ListFetch& fetch, const std::string& listName);
  const std::vector<std::string>& LastRefusedNames() const { return lastRefused_; }

  Operator& Op() { return op_; }
  std::stop_token StopToken() const { return stop_; }

 private:
  void Run(std::vector<DownloadEntry> entries);

  // Fetches UpdateServerUrl + `listName` and returns its entries, or nothing after
  // telling the operator why, in one message (FailureMessage, with the detail that
  // names server and file).
  std::optional<std::vector<std::string>> FetchList(const std::string& listName);

  Operator& op_;
  DownloadRunner& runner_;
  std::string updateServerUrl_;
  HttpClient client_;
  std::stop_token stop_;
  std::vector<DownloadEntry> lastEntries_;
  std::vector<DownloadResult> lastResults_;
  bool lastListFetched_ = false;
  bool lastServerFailed_ = false;
  std::vector<std::string> lastRefused_;
};

}  // namespace zendra
