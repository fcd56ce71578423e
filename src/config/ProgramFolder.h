#pragma once
// The program folder: where the executable lies. In a build tree the sample
// definition files lie there too; an installed program has them in its prefix's
// data folder (base/InstallLayout.h). Folders end in "/".

#include <string>

namespace zendra {

class ProgramFolder {
 public:
  // GetProgramFolder: the folder of the running executable with a trailing "/",
  // or "./" when the system cannot tell (base/Folders.h).
  static std::string GetProgramFolder();

  // The folder of the definition files that come with the program: the program
  // folder in a build tree, ../share/zendra-manager/definitions/ from it once
  // installed (InstallLayout::DefinitionFolderOf).
  static std::string GetDefinitionFolder();
};

}  // namespace zendra
