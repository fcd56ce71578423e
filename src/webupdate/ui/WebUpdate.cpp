#include "webupdate/ui/WebUpdate.h"

#include <optional>

#include "webupdate/DefinitionFolder.h"
#include "webupdate/UpdateServerCheck.h"
#include "webupdate/WebServerDownload.h"
#include "webupdate/ui/UpdateServerSetting.h"
#include "webupdate/ui/WebUpdateRunner.h"

namespace zendra {

namespace {

// The update server's URL, or nothing after telling the operator that the
// configured address is not usable.
std::optional<std::string> ServerUrl(Operator& op) {
  const auto choice = UpdateServerSetting::Current();
  if (choice.url.empty()) {
    op.ShowMessage(UpdateServerUrl::UnusableMessage(choice));
    return std::nullopt;
  }
  return choice.url;
}

}  // namespace

void WebUpdate::CheckConfigUpdates(const std::string& programFolder, Operator& op, QWidget* window,
                                   std::stop_token stop) {
  const auto url = ServerUrl(op);
  if (!url) return;
  WebUpdateRunner runner(op, window, stop);
  UpdateServerCheck(op, runner, *url, HttpClient(), stop)
      .CheckConfigUpdates(DefinitionFolder::ForDownloads(programFolder));
}

std::string WebUpdate::DownloadFromWebServer(Connection& connection, LineLease& line, Operator& op,
                                             QWidget* window,
                                             const std::vector<std::string>& remoteAddresses) {
  const auto url = ServerUrl(op);
  if (!url) return {};
  WebUpdateRunner runner(op, window, line.StopToken());
  return WebServerDownload(connection, op, runner, *url)
      .OnDownloadFromWebServer(line, remoteAddresses);
}

}  // namespace zendra
