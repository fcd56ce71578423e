#pragma once
// One file of a download run: its name relative to the update server's folder
// (the dialog's `ServerNames`[i]) and where it goes (`LocalPaths`[i]).

#include <string>

namespace zendra {

struct DownloadEntry {
  std::string serverName;
  std::string localPath;

  bool operator==(const DownloadEntry&) const = default;
};

}  // namespace zendra
