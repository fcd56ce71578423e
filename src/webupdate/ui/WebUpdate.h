#pragma once
// The web update's entry points for the desktop's windows: the definition
// loader's update question, and the Firmware Update page's "Download from web
// server". Each takes the update server from UpdateServerSetting, reports an
// unusable address to the operator, and downloads through the modal
// WebUpdateDialog (WebUpdateRunner).

#include <QWidget>
#include <stop_token>
#include <string>
#include <vector>

#include "base/Operator.h"
#include "config/DefinitionLoader.h"
#include "device/Connection.h"
#include "device/LineLease.h"

namespace zendra {

class WebUpdate {
 public:
  // CheckConfigUpdates for the definition loader's update question (the
  // Configuration page runs it as a task): every file of the "Configs" list into
  // DefinitionFolder::ForDownloads(`programFolder`). Returns when the download
  // dialog has closed.
  static void CheckConfigUpdates(const std::string& programFolder, Operator& op, QWidget* window,
                                 std::stop_token stop = {});

  // OnDownloadFromWebServer of the Firmware Update page, run as a module task on
  // `line`: the local module and `remoteAddresses` (the device list's "IEEE
  // Address" column, in row order). The path for the page's file location: the
  // last image saved, empty when none was.
  static std::string DownloadFromWebServer(Connection& connection, LineLease& line, Operator& op,
                                           QWidget* window,
                                           const std::vector<std::string>& remoteAddresses);
};

}  // namespace zendra
