#include "base/UserDataFolder.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace zendra {

std::string UserDataFolder() {
  std::string data;
  if (const char* xdg = std::getenv("XDG_DATA_HOME"); xdg && xdg[0] == '/') {
    data = xdg;
  } else {
    std::string home;
    if (const char* env = std::getenv("HOME"); env && env[0] != '\0') {
      home = env;
    } else if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) {
      home = pw->pw_dir;
    }
    if (home.empty() || home.back() != '/') home += '/';
    data = home + ".local/share";
  }
  if (data.back() != '/') data += '/';
  return data + "zendra-manager/";
}

}  // namespace zendra
