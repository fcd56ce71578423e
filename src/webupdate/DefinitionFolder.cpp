#include "webupdate/DefinitionFolder.h"

#include <filesystem>

#include "base/InstallLayout.h"
#include "base/Folders.h"
#include "webupdate/ReplacementFile.h"

namespace zendra {

namespace {
std::string WithSlash(std::string folder) {
  if (folder.empty() || folder.back() != '/') folder += '/';
  return folder;
}
}  // namespace

std::string DefinitionFolder::ForDownloads(const std::string& programFolder) {
  // An installed program's files belong to the package manager, even for root, who
  // could write there: a download would be lost or left behind by the next upgrade
  // or removal.
  if (!InstallLayout::IsInstalled(programFolder) && IsWritable(programFolder))
    return WithSlash(programFolder);
  const std::string user = UserFolder();
  std::error_code ec;
  std::filesystem::create_directories(user, ec);  // a failure shows as the download's write error
  return user;
}

std::string DefinitionFolder::UserFolder() { return UserDataFolder() + "definitions/"; }

bool DefinitionFolder::IsWritable(const std::string& folder) {
  // The probe is an unfinished download, removed again without touching anything.
  ReplacementFile probe(WithSlash(folder) + "write-test");
  return probe.Open();
}

}  // namespace zendra
