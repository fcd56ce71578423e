#pragma once
// The web update's downloads on a terminal: the DownloadRunner of zendra-cli runs
// the DownloadWorker with a terminal view and waits for it. Each file is a line on
// stderr ("Downloading file now.. (1/3) NAME"), with a bar redrawn in place while
// it comes when stderr is a terminal, and "Downloading Complete." when it is over.
//
// Also here: the update server of a command (--update-server, the environment, the
// build's host) and the definition loader's update question for zendra-cli.

#include <optional>
#include <string>

#include "cli/CliContext.h"
#include "config/DefinitionLoader.h"
#include "webupdate/DownloadRunner.h"

namespace zendra::cli {

class TerminalDownloadRunner : public DownloadRunner {
 public:
  TerminalDownloadRunner(Operator& op, bool quiet) : op_(op), quiet_(quiet) {}

  std::vector<DownloadResult> RunDownloads(const std::string& updateServerUrl,
                                           const std::vector<DownloadEntry>& entries) override;

 private:
  Operator& op_;
  bool quiet_;
};

// The update server's URL for this command; nothing after a message naming the
// unusable address (exit status 2).
std::optional<std::string> UpdateServerUrlOf(CliContext& ctx);

// Makes the loader's update question download the "Configs" list (into the
// program folder, or the user's definition folder when that takes no file), and
// has the loader look in the user's folder after the program folder.
void InstallConfigUpdates(CliContext& ctx, DefinitionLoader& loader);

}  // namespace zendra::cli
