#pragma once
// Where the files that come with the programs lie. A build tree (or a folder the
// programs were unpacked into) keeps the sample definition files next to the
// executables. An installed program keeps them in the data folder of its prefix,
// found from its own folder (/usr/bin/ -> /usr/share/zendra-manager/definitions/),
// so that a tree installed under any prefix finds its own files. That folder
// belongs to the package manager: nothing the programs download goes there.

#include <string>

namespace zendra {

class InstallLayout {
 public:
  // The shipped definition folder of an installed program, relative to the folder
  // of its executable, ending in "/" (set by the build from the install layout).
  static const char* RelativeDefinitionFolder();

  // The shipped definition folder of the program in `programFolder` (ending in
  // "/"): the installed one when that folder exists, else `programFolder` itself.
  // Ends in "/".
  static std::string DefinitionFolderOf(const std::string& programFolder);

  // true when the program in `programFolder` is an installed one: its shipped
  // definition folder is not the program folder. A relative `programFolder` is
  // never an installed program's.
  static bool IsInstalled(const std::string& programFolder);
};

}  // namespace zendra
