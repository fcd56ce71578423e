#include "config/ProgramFolder.h"

#include <unistd.h>

#include <vector>

#include "base/InstallLayout.h"

namespace zendra {

std::string ProgramFolder::GetProgramFolder() {
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

std::string ProgramFolder::GetDefinitionFolder() {
  return InstallLayout::DefinitionFolderOf(GetProgramFolder());
}

}  // namespace zendra
