#pragma once
// What the desktop program remembers between runs: the port and line settings,
// the main window's place and size, and the folder each kind of file was last
// chosen in. The store is the user's configuration folder
// (~/.config/Zendra/Zendra Manager.conf); tests point QSettings' user path at a
// temporary folder.

#include <QSettings>
#include <QString>
#include <memory>
#include <string>

namespace zendra {

std::unique_ptr<QSettings> OpenSettings();

// The settings key of the folder for a file dialog with `filter` ("ebl
// Files(*.ebl)|*.ebl|All Files(*.*)|*.*|"): one per kind of file, named by the
// first pattern's extension ("folders/ebl"), so that Export and Import, or the
// page's Choose File and the reload's, start where the other left off.
QString FolderKey(const std::string& filter);

}  // namespace zendra
