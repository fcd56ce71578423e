#pragma once
// What the program does with files that each system does its own way: a new file
// made only where none is (the first step of every save that replaces a file in
// one step), written through to the disk, renamed over its target; a file read
// whole only when it is a regular file. FileAccessPosix.cpp and
// FileAccessWin32.cpp do it; names are UTF-8 (UTF-16 at the Windows API).

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace zendra {

// A file this program has just made and is writing.
class NewFile {
 public:
  NewFile() = default;
  ~NewFile() { Close(); }
  NewFile(const NewFile&) = delete;
  NewFile& operator=(const NewFile&) = delete;

  // Makes `path`, which must not exist yet; its permissions are the usual ones
  // for a file the user makes (the umask applies on POSIX systems). false when
  // the file exists (AlreadyExisted) or cannot be made.
  bool Create(const std::string& path);
  bool AlreadyExisted() const { return alreadyExisted_; }
  bool IsOpen() const { return handle_ != -1; }

  // Appends the bytes whole; false when they could not be written.
  bool Write(std::string_view bytes);
  // Writes the file through to the disk and closes it; false when either failed.
  bool SyncAndClose();
  // Closes without waiting for the disk. Harmless when closed.
  void Close();

 private:
  std::intptr_t handle_ = -1;  // a descriptor, or a HANDLE on Windows
  bool alreadyExisted_ = false;
};

// Renames `from` over `to` in one step: `to` then holds the new file whole, or
// (when this fails) what it held before.
bool RenameOver(const std::string& from, const std::string& to);

// Makes the folder's list of names durable after a rename, where the system asks
// for that (POSIX); a folder that cannot be synced is no failure.
void SyncFolder(const std::string& folder);

// Whether this user may replace the existing file at `path` by renaming a new file
// over it: the file is writable to the user, and (POSIX) a folder with the sticky
// bit leaves the rename to the file's or the folder's owner.
bool MayReplaceFile(const std::string& path);

// Removes a file; false when it could not be removed (or was not there).
bool RemoveFile(const std::string& path);

// The bytes of the regular file at `path`; nothing when it cannot be read or is
// no regular file. A FIFO or a device is refused without blocking on it.
std::optional<std::string> ReadRegularFile(const std::string& path);

// Opens a file for reading as fopen(path, "rb") does, taking a UTF-8 name.
std::FILE* OpenForReading(const std::string& path);
// Whether an open file is a regular file (not a folder, a device or a pipe).
bool IsRegularFile(std::FILE* file);

// This process's number, to make names no other process makes at once.
unsigned long ProcessNumber();

}  // namespace zendra
