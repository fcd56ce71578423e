#include "config/DefinitionFileSearch.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <filesystem>
#include <system_error>

#include "base/WideText.h"

namespace zendra {

namespace {

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

bool EndsWithNoCase(std::string_view name, std::string_view ending) {
  return name.size() >= ending.size() &&
         EqualNoCase(name.substr(name.size() - ending.size()), ending);
}

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

}  // namespace

bool DefinitionFileSearch::IsCandidate(std::string_view name) {
  return EndsWithNoCase(name, ".txt") || EndsWithNoCase(name, ".zmcon");
}

bool DefinitionFileSearch::MatchesProduct(std::string_view name, std::string_view productName) {
  return name.size() >= productName.size() &&
         EqualNoCase(name.substr(0, productName.size()), productName);
}

double DefinitionFileSearch::VersionScore(std::string_view name) {
  const std::size_t v = name.find('v');
  const std::size_t from = v == std::string_view::npos ? 0 : v + 1;
  std::size_t end = from;
  while (end < name.size() && (IsDigit(name[end]) || name[end] == '.')) ++end;
  const std::string_view run = name.substr(from, end - from);
  const std::size_t dot = run.find('.');
  if (dot == std::string_view::npos) return 0.0;

  // Major and fraction are read as doubles, so that a long digit run cannot
  // overflow an integer, and with from_chars, which ignores the locale's decimal
  // point. The fraction is the decimal number after the first dot and ends at the
  // next dot (1.10.0 -> 10.0); an empty part reads as 0.
  double major = 0.0;
  double fraction = 0.0;
  std::from_chars(run.data(), run.data() + dot, major);
  std::from_chars(run.data() + dot + 1, run.data() + run.size(), fraction);
  return major * 1000000.0 + fraction;
}

std::optional<std::string> DefinitionFileSearch::Choose(const std::vector<std::string>& names,
                                                        std::string_view productName) {
  double bestScore = 0.0;
  bool bestMatch = false;
  std::string best;
  for (const auto& name : names) {
    if (!IsCandidate(name)) continue;
    const bool match = MatchesProduct(name, productName);
    const double score = VersionScore(name);
    if ((score > bestScore && match == bestMatch) || (match && !bestMatch)) {
      bestScore = score;
      bestMatch = match;
      best = name;
    }
  }
  if (bestScore > 0.0) return best;
  return std::nullopt;
}

std::optional<std::string> DefinitionFileSearch::FindBestDefinitionFile(
    const std::string& folder, std::string_view productName) {
  return FindBestDefinitionFile(std::vector<std::string>{folder}, productName);
}

std::optional<std::string> DefinitionFileSearch::FindBestDefinitionFile(
    const std::vector<std::string>& folders, std::string_view productName) {
  namespace fs = std::filesystem;
  std::vector<std::string> names;
  std::vector<std::size_t> folderOf;
  for (std::size_t f = 0; f < folders.size(); ++f) {
    const std::string& folder = folders[f];
    std::vector<std::string> listed;
    std::error_code ec;
    for (fs::directory_iterator it(PathFromUtf8(folder.empty() ? "." : folder), ec), end; !ec && it != end;
         it.increment(ec)) {
      std::error_code typeError;
      if (it->is_regular_file(typeError)) listed.push_back(Utf8Path(it->path().filename()));
    }
    std::sort(listed.begin(), listed.end());
    names.insert(names.end(), listed.begin(), listed.end());
    folderOf.insert(folderOf.end(), listed.size(), f);
  }
  const auto best = Choose(names, productName);
  if (!best) return std::nullopt;
  // Of equal scores the first listed stays, so the winner is the first of its name.
  const auto at = std::find(names.begin(), names.end(), *best) - names.begin();
  return folders[folderOf[static_cast<std::size_t>(at)]] + *best;
}

}  // namespace zendra
