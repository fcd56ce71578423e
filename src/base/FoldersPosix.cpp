#include "base/Folders.h"
// The folders on a POSIX system: /proc/self/exe, XDG and the password database.

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <vector>

namespace zendra {

std::string ExecutableFolder() {
  // readlink does not terminate and cuts silently, so grow until the path fits.
  for (std::size_t size = 256; size <= 65536; size *= 2) {
    std::vector<char> buffer(size);
    const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) break;
    if (static_cast<std::size_t>(n) < buffer.size()) {
      const std::string path(buffer.data(), static_cast<std::size_t>(n));
      const std::size_t slash = path.rfind('/');
      if (slash == std::string::npos) break;
      return path.substr(0, slash + 1);
    }
  }
  return "./";
}

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
