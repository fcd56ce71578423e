#include "base/FileAccess.h"
// Files on Windows: CreateFileW with CREATE_NEW, FlushFileBuffers, MoveFileExW.
// Every name goes to the system as UTF-16.

#include <windows.h>
// windows.h first; io.h gives the handle behind a C file.
#include <io.h>

#include <cstdio>

#include "base/WideText.h"

namespace zendra {

namespace {

HANDLE AsHandle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

bool NewFile::Create(const std::string& path) {
  Close();
  const HANDLE file = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_WRITE, 0, nullptr,
                                  CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  alreadyExisted_ = file == INVALID_HANDLE_VALUE && GetLastError() == ERROR_FILE_EXISTS;
  handle_ = reinterpret_cast<std::intptr_t>(file);
  return file != INVALID_HANDLE_VALUE;
}

bool NewFile::Write(std::string_view bytes) {
  if (handle_ == -1) return false;
  while (!bytes.empty()) {
    const DWORD part = bytes.size() > 0x40000000 ? 0x40000000 : static_cast<DWORD>(bytes.size());
    DWORD written = 0;
    if (!WriteFile(AsHandle(handle_), bytes.data(), part, &written, nullptr) || written == 0)
      return false;
    bytes.remove_prefix(written);
  }
  return true;
}

bool NewFile::SyncAndClose() {
  if (handle_ == -1) return false;
  const HANDLE file = AsHandle(handle_);
  handle_ = -1;
  const bool synced = FlushFileBuffers(file) != 0;
  const bool closed = CloseHandle(file) != 0;
  return synced && closed;
}

void NewFile::Close() {
  if (handle_ == -1) return;
  CloseHandle(AsHandle(handle_));
  handle_ = -1;
}

bool RenameOver(const std::string& from, const std::string& to) {
  return MoveFileExW(WideFromUtf8(from).c_str(), WideFromUtf8(to).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

// MOVEFILE_WRITE_THROUGH has made the rename durable already.
void SyncFolder(const std::string&) {}

bool MayReplaceFile(const std::string& path) {
  const DWORD attributes = GetFileAttributesW(WideFromUtf8(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_READONLY) == 0;
}

bool RemoveFile(const std::string& path) { return DeleteFileW(WideFromUtf8(path).c_str()) != 0; }

std::optional<std::string> ReadRegularFile(const std::string& path) {
  // Without FILE_FLAG_BACKUP_SEMANTICS a folder does not open; a named pipe or a
  // device opens but is no disk file.
  const HANDLE file = CreateFileW(WideFromUtf8(path).c_str(), GENERIC_READ,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::nullopt;
  bool ok = GetFileType(file) == FILE_TYPE_DISK;
  std::string bytes;
  char chunk[65536];
  while (ok) {
    DWORD n = 0;
    if (!ReadFile(file, chunk, sizeof chunk, &n, nullptr)) {
      ok = false;
      break;
    }
    if (n == 0) break;
    bytes.append(chunk, n);
  }
  CloseHandle(file);
  if (!ok) return std::nullopt;
  return bytes;
}

std::FILE* OpenForReading(const std::string& path) {
  return _wfopen(WideFromUtf8(path).c_str(), L"rb");
}

bool IsRegularFile(std::FILE* file) {
  if (file == nullptr) return false;
  const HANDLE handle = reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file)));
  return handle != INVALID_HANDLE_VALUE && GetFileType(handle) == FILE_TYPE_DISK;
}

unsigned long ProcessNumber() { return GetCurrentProcessId(); }

}  // namespace zendra
