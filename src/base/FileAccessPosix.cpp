#include "base/FileAccess.h"
// Files on a POSIX system: open(2) with O_EXCL, fsync(2), rename(2).

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace zendra {

bool NewFile::Create(const std::string& path) {
  Close();
  // 0666 leaves the mode to the umask, as for any file the program writes.
  const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  alreadyExisted_ = fd < 0 && errno == EEXIST;
  handle_ = fd;
  return fd >= 0;
}

bool NewFile::Write(std::string_view bytes) {
  if (handle_ < 0) return false;
  const int fd = static_cast<int>(handle_);
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool NewFile::SyncAndClose() {
  if (handle_ < 0) return false;
  const int fd = static_cast<int>(handle_);
  handle_ = -1;
  const bool synced = ::fsync(fd) == 0;
  const bool closed = ::close(fd) == 0;
  return synced && closed;
}

void NewFile::Close() {
  if (handle_ < 0) return;
  ::close(static_cast<int>(handle_));
  handle_ = -1;
}

bool RenameOver(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str()) == 0;
}

void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

std::optional<std::string> ReadRegularFile(const std::string& path) {
  // Not blocking: a FIFO given as the file name must not hang the program.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return std::nullopt;
  struct stat info {};
  bool ok = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
  std::string bytes;
  char chunk[65536];
  while (ok) {
    const ssize_t n = ::read(fd, chunk, sizeof chunk);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      ok = n == 0;
      break;
    }
    bytes.append(chunk, static_cast<std::size_t>(n));
  }
  ::close(fd);
  if (!ok) return std::nullopt;
  return bytes;
}

std::FILE* OpenForReading(const std::string& path) { return std::fopen(path.c_str(), "rb"); }

bool IsRegularFile(std::FILE* file) {
  struct stat info {};
  return file != nullptr && ::fstat(::fileno(file), &info) == 0 && S_ISREG(info.st_mode);
}

bool MayReplaceFile(const std::string& path) {
  if (::access(path.c_str(), W_OK) != 0) return false;
  struct stat file {};
  if (::stat(path.c_str(), &file) != 0) return false;
  const std::size_t slash = path.rfind('/');
  const std::string folder = slash == std::string::npos ? std::string(".")
                             : slash == 0               ? std::string("/")
                                                        : std::string(path, 0, slash);
  struct stat dir {};
  if (::stat(folder.c_str(), &dir) == 0 && (dir.st_mode & S_ISVTX) != 0) {
    const uid_t user = ::geteuid();
    if (user != 0 && file.st_uid != user && dir.st_uid != user) return false;
  }
  return true;
}

unsigned long ProcessNumber() { return static_cast<unsigned long>(::getpid()); }

}  // namespace zendra
