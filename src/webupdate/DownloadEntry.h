#pragma once
// One file of a download run: its name relative to the update server's folder
// (the dialog's `ServerNames`[i]) and where it goes (`LocalPaths`[i]); and how
// its download ended.

#include <string>

namespace zendra {

struct DownloadEntry {
  std::string serverName;
  std::string localPath;

  bool operator==(const DownloadEntry&) const = default;
};

enum class DownloadResult {
  kSaved,   // the file is at its destination, complete
  kFailed,  // the operator was told why; the destination is as it was
  kNotRun,  // the run ended before it (the window closed, a stop)
};

}  // namespace zendra
