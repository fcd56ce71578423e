#pragma once
// The fallback search for a definition file: when the file named after the
// device's product and firmware version is not there, the best other definition
// file of the program folder is taken.
//
// A name that begins with the local product name beats every name that does not;
// among names of the same kind the highest version score wins, and of equal
// scores the first one listed stays. Nothing is chosen unless the winner's score
// is above 0, so a folder whose best match carries no version yields nothing.

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace zendra {

class DefinitionFileSearch {
 public:
  // Names ending in ".tXt" or ".zmcon", compared without regard to case.
  static bool IsCandidate(std::string_view name);

  // Whether `name` begins with `productName`, compared without regard to case.
  static bool MatchesProduct(std::string_view name, std::string_view productName);

  // The version score: from after the first lowercase "v" (or from the start when
  // there is none) the run of digits and dots is read; major x 1,000,000 plus the
  // decimal number after the first dot (1.10.0 -> 1,000,010; 1.2.3 -> 1,000,002.3).
  // 0 when the run holds no dot.
  static double VersionScore(std::string_view name);

  // The best of `names` (in listing order) for `productName`, or nullopt.
  static std::optional<std::string> Choose(const std::vector<std::string>& names,
                                           std::string_view productName);

  // FindBestDefinitionFile: the full path of the best regular file of `folder`
  // (which ends in "/"), or nullopt. Entries are listed in name order, so the
  // choice among equal scores does not depend on the file system.
  static std::optional<std::string> FindBestDefinitionFile(const std::string& folder,
                                                           std::string_view productName);
  // The same over several folders (each ending in "/"), listed one after the other
  // in the given order: of equal scores, the file of the earlier folder stays.
  static std::optional<std::string> FindBestDefinitionFile(
      const std::vector<std::string>& folders, std::string_view productName);
};

}  // namespace zendra
