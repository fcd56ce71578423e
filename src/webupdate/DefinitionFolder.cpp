#include "webupdate/DefinitionFolder.h"

#include <filesystem>

#include "base/Folders.h"
#include "base/InstallLayout.h"
#include "base/WideText.h"
#include "webupdate/ReplacementFile.h"

namespace zendra {

std::string DefinitionFolder::ForDownloads(const std::string& programFolder) {
  // An installed program's files belong to the package manager, even for root, who
  // could write there: a download would be lost or left behind by the next upgrade
  // or removal.
  if (!InstallLayout::IsInstalled(programFolder) && IsWritable(programFolder))
    return FolderWithSlash(programFolder);
  const std::string user = UserFolder();
  std::error_code ec;
  std::filesystem::create_directories(PathFromUtf8(user),
                                      ec);  // a failure shows as the download's write error
  return user;
}

std::string DefinitionFolder::UserFolder() { return UserDataFolder() + "definitions/"; }

bool DefinitionFolder::IsWritable(const std::string& folder) {
  // The probe is an unfinished download, removed again without touching anything.
  ReplacementFile probe(FolderWithSlash(folder) + "write-test");
  return probe.Open();
}

}  // namespace zendra
