#include "config/ProfileFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>

namespace zendra {
namespace {

constexpr std::string_view kBlanks = " \t";
constexpr std::string_view kLineEnd = "\r\n";
constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF";

std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(kBlanks);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (Lower(a[i]) != Lower(b[i])) return false;
  return true;
}

// What a caller's text buffer shows of a value: everything up to a NUL.
std::string_view UpToNul(std::string_view text) { return text.substr(0, text.find('\0')); }

bool WriteAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

// A new file next to `target`, created exclusively with the usual permissions (the
// umask applies), so that it can be renamed over the target. -1 when none can be made.
int CreateTemporaryFile(const std::filesystem::path& target, std::string& name) {
  static std::atomic<unsigned> counter{0};
  const std::filesystem::path folder =
      target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
  for (int attempt = 0; attempt < 100; ++attempt) {
    const auto tick = std::chrono::steady_clock::now().time_since_epoch().count();
    name = (folder /
            ("." + target.filename().string().substr(0, 200) + ".tmp" + std::to_string(::getpid()) +
             "-" + std::to_string(counter++) + "-" + std::to_string(tick % 1000000)))
               .string();
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// The rename is only durable once the folder's entry is on the disk too; a folder that
// cannot be synced does not make the save fail.
void SyncFolder(const std::filesystem::path& target) {
  const std::filesystem::path folder =
      target.has_parent_path() ? target.parent_path() : std::filesystem::path(".");
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

ProfileFile::Place ProfileFile::Find(std::string_view section, std::string_view key) const {
  const std::string_view text = text_;
  Place place;
  bool inSection = false;
  std::size_t pos = text.starts_with(kUtf8Mark) ? kUtf8Mark.size() : 0;
  while (pos < text.size()) {
    const std::size_t lf = text.find('\n', pos);
    const std::size_t next = lf == std::string_view::npos ? text.size() : lf + 1;
    std::string_view content = text.substr(pos, (lf == std::string_view::npos ? next : lf) - pos);
    if (lf != std::string_view::npos && content.ends_with('\r')) content.remove_suffix(1);
    const std::size_t begin = pos;
    pos = next;

    const std::string_view trimmed = Trim(content);
    const bool bracket = trimmed.starts_with('[');
    const std::size_t close = bracket ? trimmed.rfind(']') : std::string_view::npos;
    if (close != std::string_view::npos) {
      // Only the first section of the name is searched: its end ends the search.
      if (inSection) return place;
      if (SameName(Trim(trimmed.substr(1, close - 1)), section)) {
        inSection = place.sectionFound = true;
        place.insertAt = next;
        place.needsLineEnd = lf == std::string_view::npos;
      }
      continue;
    }
    if (!inSection || trimmed.empty()) continue;
    // A new key goes after the section's last non-empty line, so the empty lines
    // that end it stay between it and the next section.
    place.insertAt = next;
    place.needsLineEnd = lf == std::string_view::npos;
    if (bracket) continue;  // "[" without "]": neither a section nor a key
    const std::size_t equals = content.find('=');
    if (equals == std::string_view::npos) continue;
    if (SameName(Trim(content.substr(0, equals)), key)) {
      place.keyFound = true;
      place.valueBegin = begin + equals + 1;
      place.valueEnd = begin + content.size();
      return place;
    }
  }
  return place;
}

std::size_t ProfileFile::SectionCount() const {
  const std::string_view text = text_;
  std::size_t count = 0;
  std::size_t pos = text.starts_with(kUtf8Mark) ? kUtf8Mark.size() : 0;
  while (pos < text.size()) {
    const std::size_t lf = text.find('\n', pos);
    const std::size_t end = lf == std::string_view::npos ? text.size() : lf;
    // The same test as Find's: a line that starts with "[" (after blanks) and holds "]".
    const std::string_view trimmed = Trim(text.substr(pos, end - pos));
    if (trimmed.starts_with('[') && trimmed.find(']') != std::string_view::npos) ++count;
    pos = end + 1;
  }
  return count;
}

bool ProfileFile::HasSection(std::string_view section) const {
  return Find(section, {}).sectionFound;
}

std::optional<std::string> ProfileFile::Lookup(std::string_view section,
                                               std::string_view key) const {
  const Place place = Find(section, key);
  if (!place.keyFound) return std::nullopt;
  std::string_view value =
      Trim(std::string_view(text_).substr(place.valueBegin, place.valueEnd - place.valueBegin));
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front())
    value = value.substr(1, value.size() - 2);
  return std::string(value);
}

std::string ProfileFile::GetString(std::string_view section, std::string_view key,
                                   std::string_view defaultText, std::size_t bufferSize) const {
  if (bufferSize == 0) return {};
  const std::optional<std::string> value = Lookup(section, key);
  std::string_view text;
  if (value) {
    text = UpToNul(*value);
  } else {
    text = UpToNul(defaultText);
    while (text.ends_with(' ')) text.remove_suffix(1);
  }
  return std::string(text.substr(0, bufferSize - 1));
}

void ProfileFile::SetString(std::string_view section, std::string_view key,
                            std::string_view value) {
  const Place place = Find(section, key);
  if (place.keyFound) {
    text_.replace(place.valueBegin, place.valueEnd - place.valueBegin, value);
    return;
  }
  std::string line;
  if (!place.sectionFound) {
    if (!text_.empty() && !text_.ends_with('\n')) line += kLineEnd;
    line += '[';
    line += section;
    line += ']';
    line += kLineEnd;
  } else if (place.needsLineEnd) {
    line += kLineEnd;
  }
  line += key;
  line += '=';
  line += value;
  line += kLineEnd;
  text_.insert(place.sectionFound ? place.insertAt : text_.size(), line);
}

bool ProfileFile::Load(const std::string& path) {
  text_.clear();
  // Not blocking: a FIFO given as the file name must not hang the program.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return false;
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
  if (ok) text_ = std::move(bytes);
  return ok;
}

bool ProfileFile::Save(const std::string& path) const {
  std::filesystem::path target = path;
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0 && S_ISLNK(info.st_mode)) {
    if (char* real = ::realpath(path.c_str(), nullptr)) {
      target = real;
      std::free(real);
    }
  }
  std::string temporary;
  const int fd = CreateTemporaryFile(target, temporary);
  if (fd < 0) return false;
  bool ok = true;
  if (::stat(target.c_str(), &info) == 0 && S_ISREG(info.st_mode))
    ok = ::fchmod(fd, info.st_mode & 07777) == 0;
  ok = ok && WriteAll(fd, text_) && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
  if (!ok) {
    ::unlink(temporary.c_str());
    return false;
  }
  SyncFolder(target);
  return true;
}

}  // namespace zendra
