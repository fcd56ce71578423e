#pragma once
// Where the update checks hand their files over for downloading. The desktop
// shows its modal WebUpdateDialog, whose DownloadWorker fetches the files while
// the window stays responsive; the command line runs the worker with a terminal
// view. Either way RunDownloads returns when the downloads are over: the last
// file done, or the operator closed the window (or pressed Ctrl-C) before.

#include <string>
#include <vector>

#include "webupdate/DownloadEntry.h"

namespace zendra {

class DownloadRunner {
 public:
  virtual ~DownloadRunner() = default;

  // Downloads `updateServerUrl` + entry.serverName into entry.localPath for every
  // entry, in order. An empty list opens the window and closes it again at once.
  // Returns how each entry ended, in the entries' order.
  virtual std::vector<DownloadResult> RunDownloads(const std::string& updateServerUrl,
                                                   const std::vector<DownloadEntry>& entries) = 0;
};

}  // namespace zendra
