#pragma once
// The folders the program finds on its system: its own (where the executable
// lies) and the user's data folder. FoldersPosix.cpp and FoldersWin32.cpp find
// them; callers see only these names. Paths are UTF-8 with "/" between the
// folders (Windows takes "/" as well); on Windows they come from the system's
// UTF-16 names, so that a folder with non-ASCII letters works.

#include <string>

namespace zendra {

// The folder of the running executable, ending in "/"; "./" when the system
// cannot tell. Linux: /proc/self/exe. Windows: GetModuleFileNameW.
std::string ExecutableFolder();

// The program's folder in the user's own data folder: where what the program
// keeps for this user goes (downloaded definition files, the production records).
// Ends in "/"; not created here.
//   Linux: $XDG_DATA_HOME/zendra-manager/ when XDG_DATA_HOME is an absolute path,
//   else $HOME/.local/share/zendra-manager/ (the home folder from the password
//   database when HOME is not set).
//   Windows: %LOCALAPPDATA%\Zendra Manager\ (the system's local application data
//   folder when the variable is not set).
std::string UserDataFolder();

// `folder` ending in "/", as the program keeps folder names; an empty name stays
// empty (the current folder).
inline std::string FolderWithSlash(std::string folder) {
  if (!folder.empty() && folder.back() != '/') folder.push_back('/');
  return folder;
}

}  // namespace zendra
