#include "webupdate/UpdateServerCheck.h"

#include "webupdate/UpdateList.h"
#include "webupdate/UpdateServerUrl.h"

namespace zendra {

namespace {
bool IsSuccess(long status) { return status >= 200 && status < 300; }
}  // namespace

UpdateServerCheck::ListFetch UpdateServerCheck::FetchListAt(const HttpClient& client,
                                                            const std::string& serverUrl,
                                                            const std::string& listName,
                                                            std::stop_token stop) {
  using Failure = ListFetch::Failure;
  ListFetch fetch;
  const HttpClient::UrlText answer =
      client.FetchUrlText(UpdateServerUrl::FileUrl(serverUrl, listName), stop);
  fetch.status = answer.status;
  fetch.emptyAnswer = answer.text.empty();
  const std::string where = "Server: " + serverUrl + "\r\nFile: " + listName + "\r\n";
  if (answer.tooLong) {
    fetch.failure = Failure::kTooLong;
    fetch.detail = where + "The list is longer than " +
                   std::to_string(client.options().maxTextBytes) + " bytes.";
    return fetch;
  }
  if (answer.status == 0) {
    fetch.failure = Failure::kNoConnection;
    fetch.detail = where + "Could not connect" +
                   (answer.error.empty() ? std::string(".") : ": " + answer.error + ".");
    return fetch;
  }
  // An error status is some other server's answer, even when its page happened to
  // start like a list.
  if (!IsSuccess(answer.status)) {
    fetch.failure = Failure::kHttpStatus;
    fetch.detail = where + "The server answered HTTP " + std::to_string(answer.status) + ".";
    return fetch;
  }
  auto entries = UpdateList::Entries(answer.text);
  if (!entries) {
    fetch.failure = Failure::kNotAList;
    fetch.detail = where + (answer.text.empty()
                                ? std::string("The server answered with an empty file.")
                                : std::string("The server answered, but not with an update list."));
    return fetch;
  }
  fetch.entries = std::move(*entries);
  return fetch;
}

std::string UpdateServerCheck::FailureMessage(const ListFetch& fetch, const std::string& listName) {
  if (fetch.failure == ListFetch::Failure::kNone) return {};
  if (fetch.failure == ListFetch::Failure::kTooLong) return kListTooLong;
  if (fetch.emptyAnswer)
    // The two checks have always said it in words that differ by the prefix.
    return listName == "Configs" ? "Could not connect to web server!"
                                 : "ERROR: Could not connect to web server!";
  return "ERROR: Could not connect to update server.";
}

std::optional<std::vector<std::string>> UpdateServerCheck::FetchList(const std::string& listName) {
  lastEntries_.clear();
  lastResults_.clear();
  lastRefused_.clear();
  lastListFetched_ = false;
  lastServerFailed_ = false;
  ListFetch fetch;
  {
    WaitCursor wait(op_);
    fetch = FetchListAt(client_, updateServerUrl_, listName, stop_);
  }
  if (stop_.stop_requested()) return std::nullopt;
  if (fetch.failure != ListFetch::Failure::kNone) {
    lastServerFailed_ = true;
    op_.ShowDetailedMessage(FailureMessage(fetch, listName), fetch.detail);
    return std::nullopt;
  }
  lastListFetched_ = true;
  return std::move(fetch.entries);
}

void UpdateServerCheck::Run(std::vector<DownloadEntry> entries) {
  lastResults_ = runner_.RunDownloads(updateServerUrl_, entries);
  lastResults_.resize(entries.size(), DownloadResult::kNotRun);
  lastEntries_ = std::move(entries);
}

void UpdateServerCheck::CheckConfigUpdates(const std::string& folder) {
  const auto names = FetchList("Configs");
  if (!names) return;
  std::vector<DownloadEntry> entries;
  for (const std::string& name : *names) {
    if (!UpdateList::IsSafeRelativeName(name)) {
      op_.ShowMessage("ERROR: The update server listed an unsafe file name:\r\n'" + name + "'.");
      lastRefused_.push_back(name);
      continue;
    }
    entries.push_back({name, folder + name});
  }
  if (stop_.stop_requested()) return;
  Run(std::move(entries));
}

std::string UpdateServerCheck::CheckFirmwareUpdate(const std::string& product,
                                                   const std::string& version) {
  const auto lines = FetchList("Firmware");
  if (!lines) return {};
  const auto match = UpdateList::MatchFirmware(*lines, product, version);
  if (match.state != UpdateList::FirmwareMatch::kOffer) return {};

  const std::string question =
      "New firmware is available.\r\nWould you like to download?\r\n\r\nPRODUCT: " + product +
      "\r\nCURRENT VERSION: " + version + "\r\nNEW VERSION: " + match.newVersion +
      "\r\nFILENAME: " + match.fileName;
  if (!op_.AskYesNo(question, "NOTICE")) return {};
  const auto path =
      op_.ChooseFileToSave(kFirmwareFilter, UpdateList::ProposedFileName(match.fileName));
  if (!path || path->empty() || stop_.stop_requested()) return {};
  Run({{match.fileName, *path}});
  return *path;
}

}  // namespace zendra
