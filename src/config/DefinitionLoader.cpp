#include "config/DefinitionLoader.h"

#include <cstdio>
#include <memory>

#include "base/FileAccess.h"
#include "base/Folders.h"
#include "config/DefinitionFileSearch.h"
#include "config/ProgramFolder.h"

namespace zendra {

namespace {

struct FileCloser {
  void operator()(std::FILE* f) const { std::fclose(f); }
};
using File = std::unique_ptr<std::FILE, FileCloser>;

// Opens a regular file for reading; a folder or a device does not count as a
// definition file.
File OpenRegular(const std::string& path) {
  File f(OpenForReading(path));
  if (f && !IsRegularFile(f.get())) f.reset();
  return f;
}

// The caller builds the name from the device's replies; the file lies directly in
// the program folder, so a name that would lead elsewhere is not opened.
bool IsPlainName(const std::string& name) {
  return !name.empty() && name.find('/') == std::string::npos && name != "." && name != "..";
}

// The wanted file from the first of `folders` that has it; `path` is where.
File OpenWanted(const std::vector<std::string>& folders, const std::string& name,
                std::string& path) {
  if (!IsPlainName(name)) return nullptr;
  for (const std::string& folder : folders) {
    if (File f = OpenRegular(folder + name)) {
      path = folder + name;
      return f;
    }
  }
  return nullptr;
}

}  // namespace

DefinitionLoader::DefinitionLoader(Connection& connection, ParameterDefinitions& definitions,
                                   ConfigPageState& state)
    : connection_(connection), definitions_(definitions), state_(state) {}

std::string DefinitionLoader::GetProgramFolder() const {
  if (folderOverride_) return FolderWithSlash(*folderOverride_);
  return ProgramFolder::GetProgramFolder();
}

void DefinitionLoader::SetUserFolder(std::optional<std::string> folder) {
  userFolder_ = folder && !folder->empty() ? std::optional(FolderWithSlash(*folder)) : std::nullopt;
}

std::string DefinitionLoader::GetDefinitionFolder() const {
  if (folderOverride_) return FolderWithSlash(*folderOverride_);
  return ProgramFolder::GetDefinitionFolder();
}

std::vector<std::string> DefinitionLoader::SearchFolders() const {
  std::vector<std::string> folders{GetDefinitionFolder()};
  if (userFolder_ && *userFolder_ != folders.front()) folders.push_back(*userFolder_);
  return folders;
}

void DefinitionLoader::ClearParameterTree() {
  definitions_.ClearNameTable();
  state_.caption.clear();
}

void DefinitionLoader::LoadParameterFile(LoadMode mode, const std::string& name) {
  if (mode != LoadMode::kLoad) {
    ClearParameterTree();
    return;
  }
  if (ParseDefinitionFile(name) == -1) definitions_.SetReadFailure();
  definitions_.BuildNameTable();
}

void DefinitionLoader::LoadAfterUpdate(const std::string& name) {
  afterUpdate_ = true;
  LoadParameterFile(LoadMode::kLoad, name);
  afterUpdate_ = false;
}

int DefinitionLoader::ParseDefinitionFile(const std::string& name) {
  definitions_.ZeroFill();
  loadedPath_.clear();
  const std::vector<std::string> folders = SearchFolders();
  definitions_.definitionFileName = name;

  Operator& op = connection_.Op();
  std::string readPath;
  File file = OpenWanted(folders, name, readPath);
  // After a check that ran on its own, the open above was the one more try.
  if (!file && !afterUpdate_) {
    if (op.AskYesNo(kUpdateQuestion, kUpdateCaption)) {
      // The update is given the program folder; where the files then go (it, or
      // the user's folder when it takes none or is an installed program's) is the
      // update's choice.
      if (startConfigUpdates && startConfigUpdates(GetProgramFolder(), name)) return 0;
      if (checkConfigUpdates) checkConfigUpdates(GetProgramFolder());
      file = OpenWanted(folders, name, readPath);
    }
  }
  if (!file) {
    // The fallback compares names with the local product also while a remote
    // device is configured.
    if (const auto best = DefinitionFileSearch::FindBestDefinitionFile(
            folders, connection_.Device().productName)) {
      file = OpenRegular(*best);
      readPath = *best;
    }
  }
  if (!file) {
    op.ShowMessage(kNoFileMessage);
    return -1;
  }

  // One read of at most 64 KiB; whatever lies beyond is not read at all.
  std::string bytes(ParameterDefinitions::kMaxFileBytes, '\0');
  std::size_t got = 0;
  while (got < bytes.size()) {
    const std::size_t n = std::fread(bytes.data() + got, 1, bytes.size() - got, file.get());
    if (n == 0) break;
    got += n;
  }
  file.reset();
  bytes.resize(got);
  loadedPath_ = readPath;
  definitions_.ParseDefinitionText(bytes, connection_.RemoteMode());
  return 1;
}

}  // namespace zendra
