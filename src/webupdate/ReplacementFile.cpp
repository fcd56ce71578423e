#include "webupdate/ReplacementFile.h"

#include <cstdio>
#include <random>

namespace zendra {

namespace {
// Keeps the temporary name within the file system's name limit for any destination.
constexpr std::size_t kMaxNameInTemporary = 64;
constexpr int kNameAttempts = 8;
}  // namespace

bool ReplacementFile::Open() {
  Discard();
  const std::size_t slash = destination_.rfind('/');
  const std::string folder = slash == std::string::npos ? "" : destination_.substr(0, slash + 1);
  const std::string name =
      (slash == std::string::npos ? destination_ : destination_.substr(slash + 1))
          .substr(0, kMaxNameInTemporary);
  std::random_device random;
  for (int attempt = 0; attempt < kNameAttempts; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, "%08x", static_cast<unsigned>(random()));
    // Hidden and not ending in the destination's extension, so that no folder
    // search takes it for a finished file. Its mode is that of any file the
    // program writes.
    const std::string path = folder + "." + name + "." + suffix + ".part";
    if (file_.Create(path)) {
      temporaryPath_ = path;
      return true;
    }
    if (!file_.AlreadyExisted()) return false;
  }
  return false;
}

bool ReplacementFile::Write(std::string_view bytes) { return file_.Write(bytes); }

bool ReplacementFile::Commit() {
  if (!file_.IsOpen()) return false;
  // The data must be on the disk before the name points at it, or a crash right
  // after the rename could leave an empty file where the old one stood.
  if (file_.SyncAndClose() && RenameOver(temporaryPath_, destination_)) {
    temporaryPath_.clear();
    return true;
  }
  Discard();
  return false;
}

void ReplacementFile::Discard() {
  file_.Close();
  if (!temporaryPath_.empty()) {
    RemoveFile(temporaryPath_);
    temporaryPath_.clear();
  }
}

}  // namespace zendra
