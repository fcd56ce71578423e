#include "widgets/FileDialogFilter.h"

#include <vector>

namespace zendra {

namespace {

std::vector<std::string> Split(std::string_view text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  while (start <= text.size()) {
    const auto end = text.find(separator, start);
    if (end == std::string_view::npos) {
      parts.emplace_back(text.substr(start));
      break;
    }
    parts.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  return parts;
}

// "ebl Files(*.ebl)" -> "ebl Files": the patterns are appended anew.
std::string Description(std::string text) {
  const auto open = text.rfind('(');
  if (open != std::string::npos && !text.empty() && text.back() == ')') text.erase(open);
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

}  // namespace

std::string FileDialogFilter::ToDesktopFilter(std::string_view pipeFilter) {
  const auto parts = Split(pipeFilter, '|');
  std::string result;
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].empty() && parts[i + 1].empty()) continue;
    std::string patterns;
    for (const auto& pattern : Split(parts[i + 1], ';')) {
      if (pattern.empty()) continue;
      if (!patterns.empty()) patterns += ' ';
      if (pattern == "*.*") {
        patterns.push_back('*');
      } else {
        patterns += pattern;
      }
    }
    if (patterns.empty()) patterns.push_back('*');
    if (!result.empty()) result += ";;";
    result += Description(parts[i]);
    result += " (";
    result += patterns;
    result += ')';
  }
  return result;
}

}  // namespace zendra
