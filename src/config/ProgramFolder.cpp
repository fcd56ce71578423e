#include "config/ProgramFolder.h"

#include "base/Folders.h"
#include "base/InstallLayout.h"

namespace zendra {

std::string ProgramFolder::GetProgramFolder() { return ExecutableFolder(); }

std::string ProgramFolder::GetDefinitionFolder() {
  return InstallLayout::DefinitionFolderOf(GetProgramFolder());
}

}  // namespace zendra
