#include "webupdate/UpdateList.h"

#include <cctype>

namespace zendra {

std::optional<std::vector<std::string>> UpdateList::Entries(std::string_view text) {
  text = text.substr(0, text.find('\0'));
  std::string plain;
  plain.reserve(text.size());
  for (const char c : text)
    if (c != '\r') plain += c;
  if (std::string_view(plain).substr(0, kMarkerLine.size()) != kMarkerLine) return std::nullopt;

  std::vector<std::string> entries;
  std::size_t pos = kMarkerLine.size();
  while (pos < plain.size()) {
    std::size_t end = plain.find('\n', pos);
    if (end == std::string::npos) end = plain.size();
    if (end > pos) entries.push_back(plain.substr(pos, end - pos));
    pos = end + 1;
  }
  return entries;
}

UpdateList::FirmwareMatch UpdateList::MatchFirmware(const std::vector<std::string>& entries,
                                                    std::string_view product,
                                                    std::string_view version) {
  FirmwareMatch match;
  if (product.empty() || version.empty()) return match;
  for (const std::string& entry : entries) {
    const std::string_view line(entry);
    const std::size_t first = line.find(':');
    if (first == std::string_view::npos || line.substr(0, first) != product) continue;
    const std::size_t second = line.find(':', first + 1);
    if (second == std::string_view::npos) continue;
    const std::string_view listedVersion = line.substr(first + 1, second - first - 1);
    const std::string_view fileName = line.substr(second + 1);
    if (listedVersion.empty() || fileName.empty()) continue;
    if (listedVersion == version) {
      match.state = FirmwareMatch::kCurrent;
    } else {
      match.state = FirmwareMatch::kOffer;
      match.newVersion = listedVersion;
      match.fileName = fileName;
    }
    return match;
  }
  return match;
}

bool UpdateList::IsSafeRelativeName(std::string_view name) {
  if (name.empty() || name.front() == '/' || name.front() == '\\') return false;
  // A drive letter makes a name absolute (or drive-relative) on Windows.
  if (name.size() >= 2 && name[1] == ':' && std::isalpha(static_cast<unsigned char>(name[0])))
    return false;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = name.find_first_of("/\\", start);
    if (end == std::string_view::npos) end = name.size();
    if (name.substr(start, end - start) == "..") return false;
    start = end + 1;
  }
  return true;
}

std::string UpdateList::ProposedFileName(std::string_view listedName) {
  const std::size_t slash = listedName.find_last_of("/\\");
  return std::string(slash == std::string_view::npos ? listedName : listedName.substr(slash + 1));
}

}  // namespace zendra
