#include "base/Folders.h"
// The folders on Windows: the executable's from GetModuleFileNameW, the user's
// under the local application data folder. Names come as UTF-16 and are kept as
// UTF-8 (base/WideText.h).

#include <windows.h>
// windows.h first: the shell's header needs its types.
#include <shlobj.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "base/WideText.h"

namespace zendra {

std::string ExecutableFolder() {
  // GetModuleFileNameW cuts a path that does not fit and says so only by filling
  // the buffer, so grow until the path fits.
  for (DWORD size = 260; size <= 32768; size *= 2) {
    std::vector<wchar_t> buffer(size);
    const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), size);
    if (n == 0) break;
    if (n < size) {
      const std::filesystem::path exe(std::wstring(buffer.data(), n));
      const std::string folder = Utf8Path(exe.parent_path());
      if (folder.empty()) break;
      return FolderWithSlash(folder);
    }
  }
  return "./";
}

std::string UserDataFolder() {
  std::wstring base;
  if (const wchar_t* env = _wgetenv(L"LOCALAPPDATA"); env && env[0] != L'\0') {
    base = env;
  } else {
    PWSTR known = nullptr;
    if (SHGetKnownFolderPath(FOLDERID_LocalAppData, 0, nullptr, &known) == S_OK) base = known;
    CoTaskMemFree(known);
  }
  if (base.empty()) return "./Zendra Manager/";
  return FolderWithSlash(Utf8Path(std::filesystem::path(base))) + "Zendra Manager/";
}

}  // namespace zendra
