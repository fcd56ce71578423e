#include "base/InstallLayout.h"

#include <filesystem>
#include <system_error>

#include "base/Folders.h"
#include "base/WideText.h"

#ifndef ZENDRA_INSTALLED_DEFINITIONS
#define ZENDRA_INSTALLED_DEFINITIONS "../share/zendra-manager/definitions/"
#endif

namespace zendra {

namespace {

// The installed definition folder below `programFolder`, written without "..":
// the program folder is the resolved path of the executable, so no link can make
// the lexical form lead elsewhere. Kept with "/" between the folders on every
// system, as the program keeps its paths.
std::string InstalledFolderOf(const std::string& programFolder) {
  const std::filesystem::path joined =
      PathFromUtf8(FolderWithSlash(programFolder)) / InstallLayout::RelativeDefinitionFolder();
  return FolderWithSlash(Utf8Path(joined.lexically_normal()));
}

}  // namespace

const char* InstallLayout::RelativeDefinitionFolder() { return ZENDRA_INSTALLED_DEFINITIONS; }

bool InstallLayout::IsInstalled(const std::string& programFolder) {
  // Only a program that knows where it lies has an installed layout: the "./" of
  // an unreadable executable path says nothing about the current folder's parent.
  // An absolute path is the system's own kind: "/usr/bin/", "C:/Program Files/...".
  if (programFolder.empty() || !PathFromUtf8(programFolder).is_absolute()) return false;
  std::error_code ec;
  return std::filesystem::is_directory(PathFromUtf8(InstalledFolderOf(programFolder)), ec);
}

std::string InstallLayout::DefinitionFolderOf(const std::string& programFolder) {
  if (IsInstalled(programFolder)) return InstalledFolderOf(programFolder);
  return FolderWithSlash(programFolder);
}

}  // namespace zendra
