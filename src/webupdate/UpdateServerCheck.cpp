#include "webupdate/UpdateServerCheck.h"

#include "webupdate/UpdateList.h"
#include "webupdate/UpdateServerUrl.h"

namespace zendra {

namespace {
bool IsSuccess(long status) { return status >= 200 && status < 300; }
}  // namespace

std::optional<std::vector<std::string>> UpdateServerCheck::FetchList(
    const std::string& listName, const std::string& unreachable) {
  lastEntries_.clear();
  lastResults_.clear();
  lastRefused_.clear();
  lastListFetched_ = false;
  HttpClient::UrlText answer;
  {
    WaitCursor wait(op_);
    answer = client_.FetchUrlText(UpdateServerUrl::FileUrl(updateServerUrl_, listName), stop_);
  }
  if (stop_.stop_requested()) return std::nullopt;
  if (answer.tooLong) {
    op_.ShowMessage(kListTooLong);
    return std::nullopt;
  }
  if (answer.text.empty()) {
    op_.ShowMessage(unreachable);
    return std::nullopt;
  }
  // An error status is some other server's answer, even when its page happened to
  // start like a list.
  auto entries = IsSuccess(answer.status) ? UpdateList::Entries(answer.text) : std::nullopt;
  if (!entries) op_.ShowMessage("ERROR: Could not connect to update server.");
  lastListFetched_ = entries.has_value();
  return entries;
}

void UpdateServerCheck::Run(std::vector<DownloadEntry> entries) {
  lastResults_ = runner_.RunDownloads(updateServerUrl_, entries);
  lastResults_.resize(entries.size(), DownloadResult::kNotRun);
  lastEntries_ = std::move(entries);
}

void UpdateServerCheck::CheckConfigUpdates(const std::string& folder) {
  const auto names = FetchList("Configs", "Could not connect to web server!");
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
  const auto lines = FetchList("Firmware", "ERROR: Could not connect to web server!");
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
