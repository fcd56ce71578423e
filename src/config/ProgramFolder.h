#pragma once
// The program folder: where the executable lies, and so where the definition files
// are looked for and downloaded to. It ends in "/".

#include <string>

namespace zendra {

class ProgramFolder {
 public:
  // GetProgramFolder: the folder of /proc/self/exe with a trailing "/", or "./"
  // when the executable's path cannot be read.
  static std::string GetProgramFolder();
};

}  // namespace zendra
