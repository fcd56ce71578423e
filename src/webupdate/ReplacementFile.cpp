#include "webupdate/ReplacementFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
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
    // search takes it for a finished file. 0666 leaves the mode to the umask, as
    // for any file the program writes.
    const std::string path = folder + "." + name + "." + suffix + ".part";
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      fd_ = fd;
      temporaryPath_ = path;
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

bool ReplacementFile::Write(std::string_view bytes) {
  if (fd_ < 0) return false;
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd_, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool ReplacementFile::Commit() {
  if (fd_ < 0) return false;
  // The data must be on the disk before the name points at it, or a crash right
  // after the rename could leave an empty file where the old one stood.
  const bool synced = ::fsync(fd_) == 0;
  const bool closed = ::close(fd_) == 0;
  fd_ = -1;
  if (synced && closed && std::rename(temporaryPath_.c_str(), destination_.c_str()) == 0) {
    temporaryPath_.clear();
    return true;
  }
  Discard();
  return false;
}

void ReplacementFile::Discard() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
  if (!temporaryPath_.empty()) {
    ::unlink(temporaryPath_.c_str());
    temporaryPath_.clear();
  }
}

}  // namespace zendra
