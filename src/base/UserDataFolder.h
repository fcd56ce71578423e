#pragma once
// The program's folder in the user's own data folder: where what the program
// keeps for this user goes (downloaded definition files, the production records).

#include <string>

namespace zendra {

// $XDG_DATA_HOME/zendra-manager/ when XDG_DATA_HOME is an absolute path, else
// $HOME/.local/share/zendra-manager/ (the home folder from the password database
// when HOME is not set). Ends in "/"; not created here.
std::string UserDataFolder();

}  // namespace zendra
