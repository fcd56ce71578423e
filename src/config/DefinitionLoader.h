#pragma once
// Loads the definition file of the device the Configuration page targets into the
// parameter table: LoadParameterFile and ParseDefinitionFile of the page.
//
// The wanted file is the program's definition folder (the program folder in a
// build tree, the installed data folder otherwise) + the name the caller built
// (product + "_" + version + ".zmcon"), or else the same name in the user's
// definition folder (when one is set: where downloads go when the program folder
// takes no file). When it is in neither, the operator is asked whether to update the
// manager; Yes runs the update check for definition files (checkConfigUpdates)
// and both folders are tried once more. When it is still missing, the best other
// definition file of the two folders is read instead, silently; when there is
// none, the operator is told, and the tree shows one row
// "CONSTRUCT FILE READ FAIL" over an empty table.
//
// The window's part is the tree itself: it deletes its items before every load
// (so that no item of a former table stays, selected or not), inserts
// ParameterDefinitions::TreeRows() and refreshes its texts from ConfigPageState.

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "device/Connection.h"
#include "config/ConfigPageState.h"
#include "config/ParameterDefinitions.h"

namespace zendra {

// What LoadParameterFile does: read the named definition file into the table, or
// drop the definitions and leave the tree empty.
enum class LoadMode { kClear = 0, kLoad = 1 };

class DefinitionLoader {
 public:
  static constexpr const char* kUpdateQuestion =
      "WARNING: Could not recognize the firmware version.\r\nMaybe this manager is out of date. "
      "Would you like to update this manager?";
  static constexpr const char* kUpdateCaption = "WARNING";
  static constexpr const char* kNoFileMessage =
      "ERROR: Could not recognize the firmware version.\r\nPlease uninstall this manager and "
      "intall the latest manager.";

  DefinitionLoader(Connection& connection, ParameterDefinitions& definitions,
                   ConfigPageState& state);

  // The update check for definition files (filled by the web update): given the
  // program folder, it returns when its downloads are over. Empty: nothing is
  // downloaded, and the one retry and the fallback search follow as usual.
  std::function<void(const std::string& folder)> checkConfigUpdates;
  // The same check started on its own (a window's task, so that a stalled update
  // server does not freeze the window), given the program folder and the wanted
  // name: true when it was started. The load then ends with an empty table, and
  // whoever started the check calls LoadAfterUpdate with the name when it has
  // ended. false (or empty): checkConfigUpdates, on this thread.
  std::function<bool(const std::string& folder, const std::string& name)> startConfigUpdates;

  // kLoad: ParseDefinitionFile with `name`, the failure row when it found no file,
  // then BuildNameTable. kClear: ClearParameterTree.
  void LoadParameterFile(LoadMode mode, const std::string& name);

  // The load of `name` once an update check started by startConfigUpdates has
  // ended: the wanted file tried once more, then the fallback search (the question
  // is not asked again).
  void LoadAfterUpdate(const std::string& name);

  // 1 when a file was read (the wanted one or a fallback), -1 when none could be,
  // 0 when the update check was started on its own (startConfigUpdates).
  int ParseDefinitionFile(const std::string& name);

  // Empties the name table and the value box caption.
  void ClearParameterTree();

  // The program folder: GetProgramFolder, unless one was set (tests, the command
  // line's own folder). It is what the update check is given.
  std::string GetProgramFolder() const;
  void SetProgramFolder(std::optional<std::string> folder) { folderOverride_ = std::move(folder); }
  // The first folder searched: ProgramFolder::GetDefinitionFolder (the program
  // folder in a build tree, its installed data folder otherwise), or the folder
  // that was set.
  std::string GetDefinitionFolder() const;

  // The folder searched after the program folder (DefinitionFolder::UserFolder of
  // the web update); none by default.
  void SetUserFolder(std::optional<std::string> folder);
  // The folders searched, in order: the definition folder, then the user's folder.
  std::vector<std::string> SearchFolders() const;

  // The path the last ParseDefinitionFile read (empty when none): the wanted file or
  // the fallback the search chose.
  const std::string& LoadedPath() const { return loadedPath_; }

 private:
  Connection& connection_;
  ParameterDefinitions& definitions_;
  ConfigPageState& state_;
  std::optional<std::string> folderOverride_;
  std::optional<std::string> userFolder_;
  std::string loadedPath_;
  bool afterUpdate_ = false;  // LoadAfterUpdate: no question, the check has been made
};

}  // namespace zendra
