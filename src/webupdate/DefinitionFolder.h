#pragma once
// Where downloaded definition files go. In a build tree (or an unpacked folder)
// they belong next to the program, where the loader looks first; but a program
// folder that takes no file from an ordinary user (/opt/...), and every installed
// program (/usr/bin, whose definitions in /usr/share belong to the package
// manager), sends them to the user's own data folder,
// $XDG_DATA_HOME/zendra-manager/definitions/ (by default
// ~/.local/share/zendra-manager/definitions/), which the loader searches after
// the program's definition folder.

#include <string>

namespace zendra {

class DefinitionFolder {
 public:
  // `programFolder` (GetProgramFolder) when it is no installed program's folder
  // (InstallLayout::IsInstalled) and a file can be created there, else the user's
  // definition folder, created when missing. Ends in "/".
  static std::string ForDownloads(const std::string& programFolder);

  // $XDG_DATA_HOME/zendra-manager/definitions/ when XDG_DATA_HOME is an absolute
  // path, else $HOME/.local/share/zendra-manager/definitions/ (the home folder
  // from the password database when HOME is not set). Ends in "/".
  static std::string UserFolder();

  // true when a file can be created in `folder` (tried, not guessed from mode
  // bits: read-only mounts and access lists count).
  static bool IsWritable(const std::string& folder);
};

}  // namespace zendra
