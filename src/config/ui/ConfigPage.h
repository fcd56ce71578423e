#pragma once
// The Configuration tab (template 129): the parameter tree on the left, the value
// box with Save, description and range on the right, Export / Import / Restore
// below the tree, and the Remote Configuration box across the top.
//
// The page's texts live in ConfigPageState, which the configuration core fills;
// RefreshControls shows them (the bound caption, description, range and remote
// texts), as the template's data exchange does. The handlers stay thin: the
// definition file is loaded by DefinitionLoader, a selection and Save are worked
// out by ParameterEditor, the Remote Configuration box by RemoteConfiguration,
// Export and Import by ConfigurationTransfer, and the page shows what they return.
//
// Only the operator's selection of a tree item reads from the module: the page's
// own clearing and filling of the tree change the selection without a query, and
// a selection that ends on no item changes nothing. Reads, saves and the factory
// default run as module tasks, off the window's thread; a selection made while a
// read is under way is read next, and only the last one's result is shown.
//
// The remote device's identification (up to three queries of 10 s) and the
// transfers (a query or a set per parameter, 15 s each on a remote device) are
// module tasks too: the window keeps painting, a transfer shows "parameter k of n"
// in the status line under Export and Import, and the page's destructor (the main
// window closing) stops a transfer between two parameters, or in the middle of the
// transaction under way. The file dialogs are asked on the window's thread before
// the task starts; the import's version question comes from the task through the
// page's Operator, which the main window relays onto its own thread.
//
// Above the tree, a filter box narrows the tree to the parameters whose group, name
// or description holds the typed text (ParameterFilter): the other items are hidden,
// not removed, and the groups that show are opened. Filtering reads nothing and
// keeps the selection, also that of an item it hides: the value box goes on showing
// the selected parameter, and Save still writes it. Clearing the box shows the whole
// tree again with the groups opened as they were and the selected item in view.
// Ctrl+F puts the cursor into the box, Esc in the box clears it, and the down arrow
// goes on to the tree.
//
// "Compare..." beside Import shows what an import of a file would change before
// anything is sent: the file's version question, then the device's values read as
// a module task ("Compare: parameter k of n"), then ImportCompareDialog; its Import
// sends the file's commands as the Import button does, Cancel sends nothing.

#include <QIcon>
#include <QWidget>
#include <functional>
#include <map>
#include <optional>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "config/ConfigPageState.h"
#include "config/ConfigurationTransfer.h"
#include "config/DefinitionLoader.h"
#include "config/ParameterDefinitions.h"
#include "config/ParameterEditor.h"
#include "config/RemoteConfiguration.h"
#include "device/Connection.h"
#include "widgets/ModuleTaskRunner.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTreeWidget;
class QTreeWidgetItem;

namespace zendra {

class ConfigPage : public QWidget {
  Q_OBJECT

 signals:
  // A Save changed what the connection knows of the local module (its node name):
  // the window shows the device texts again.
  void DeviceInfoChanged();

 public:
  ConfigPage(Connection& connection, Operator& op, QWidget* parent = nullptr);

  Connection& Conn() { return connection_; }
  Operator& Op() { return op_; }
  ModuleTaskRunner& Tasks() { return tasks_; }
  ConfigPageState& State() { return state_; }
  QTreeWidget* Tree() { return tree_; }
  DefinitionLoader& Loader() { return loader_; }
  const ParameterDefinitions& Definitions() const { return definitions_; }

  // kLoad loads the definition file `name` of the program folder and fills the
  // tree (or shows "CONSTRUCT FILE READ FAIL" when there is no file); kClear drops
  // the definitions, empties the tree and refreshes the texts. Either
  // way the former tree goes first, with its selection and what it showed.
  void LoadParameterFile(LoadMode mode, const std::string& name);
  // Deletes every tree item and empties the name table and the value box; nothing
  // is read from the module.
  void ClearParameterTree();
  // Inserts the name table: a root item per group, its parameters as children.
  void FillParameterTree();
  // After a local firmware update: empty tree and value box caption, then load
  // the definitions of the new version.
  void ReloadDefinitions(const std::string& name);

  // The loader's update check for definition files, run as a task of the page
  // (`check` on a worker, given the program folder): the window keeps working
  // while the update server is asked, and the tree is loaded again when the check
  // has ended - unless another load came meanwhile.
  void InstallDefinitionUpdates(
      std::function<void(const std::string& folder, std::stop_token)> check);
  ModuleTaskRunner& DefinitionUpdates() { return definitionUpdates_; }

  // On close: the remote device texts (1028, 1029, 1030), the range label and text
  // (1015, 1013) are emptied, "Remode Device Setting" is unchecked and 1004 gets its
  // caption "Restore to Factory Default" back.
  void ClearConnectionTexts();
  // The connection opened or closed: the controls that need one follow it.
  void SetConnected(bool connected);
  // Shows the state's texts in the bound controls.
  void RefreshControls();

  // The tree's selection changed: reads the selected parameter and shows it.
  void SelectParameter();
  // Save (1006): writes the value shown for the selected parameter.
  void SaveParameter();
  // 1004: factory default of the local device, or restart of the remote one.
  void RestoreOrReboot();
  // Enter in the value edit: Save, when Save is there to press.
  void SaveOnEnter();

  // "Remode Device Setting" (1027) was clicked. Ticked: the device whose address
  // 1026 holds is identified as a module task (the box and 1026 wait meanwhile) and
  // the page switches to it. Cleared: the page goes back to the local device (nothing
  // is sent).
  void ToggleRemoteDevice();
  // "..." (1042): the scan dialog; the address picked on Apply replaces the text of
  // 1026, the box is not ticked. Cancel leaves 1026 as it was.
  void BrowseRemoteDevice();
  // Export (1002): the save dialog, then the export as a module task.
  void ExportConfiguration();
  // Import (1003): the open dialog, then the import as a module task.
  void ImportConfiguration();
  // "Compare...": the open dialog, the comparison with the device as a module task,
  // then the dialog of the changes; its Import runs the import of that file.
  void CompareConfiguration();
  // The same for `path`, without the open dialog.
  void CompareFile(const std::string& path);
  // The filter box's text changed: hides what it does not find, or shows all.
  void FilterParameters();
  // Shows what the box, 1004 and the remote texts are after the check box changed,
  // and loads the definition file the result names (the tree emptied first).
  void ApplyRemoteDevice(const RemoteDeviceResult& result);

  // The status line of a running export or import ("parameter k of n"); hidden
  // while none runs.
  QLabel* TransferStatus() { return transferStatus_; }
  // The outcome of the last Save, Export or Import ("Saved Node name = N1 on the
  // local module.", "Imported a.zgb: 12 values sent, 1 refused (listed in ...)"),
  // under the page until the next one; hidden before the first. When the outcome
  // names an error log, "Copy log path" beside it puts the log's path on the
  // clipboard, for a desktop that cannot open the file itself.
  QLabel* OutcomeLine() { return outcomeLine_; }
  QPushButton* CopyLogPathButton() { return copyLogPath_; }
  // Shows `text` in the outcome line (empty: hides it); `logPath` non-empty offers
  // its copy.
  void ShowOutcome(const std::string& text, const std::string& logPath = {});
  QLineEdit* FilterBox() { return filterBox_; }
  QPushButton* CompareButton() { return compareButton_; }

  // Selects the parameter `path` ("Group/Name") as the operator would, which reads
  // it; false when the tree has no such item.
  bool SelectTreeItem(const std::string& path);

  // A tree item with the page's icons: image 1, and image 0 while it is selected.
  QTreeWidgetItem* AddTreeItem(QTreeWidgetItem* parent, const QString& text);
  const QIcon& TreeItemIcon() const { return itemIcon_; }

 private:
  // A tree item for a text of the definition file, which keeps the file's bytes:
  // selection compares those, whatever the display made of them.
  QTreeWidgetItem* AddDefinitionItem(QTreeWidgetItem* parent, std::string_view text);
  // Shows what a selection (or the clearing of it) left for the controls.
  void ApplySelection(const SelectionResult& result);
  // Empties the choice box and adds the items with their data, unsorted; selects
  // `selection`, or nothing.
  void FillChoiceBox(const std::vector<std::string>& texts, const std::vector<int>& itemData,
                     std::optional<int> selection);
  // Reads the selection waiting to be read, unless a task runs.
  void ReadPendingSelection();
  // Runs `work` as a module task on a lease for `holder`, with the status line
  // showing "`what`: parameter k of n"; `then` runs on the window's thread after it
  // (by default the selection picked meanwhile is read).
  void RunTransfer(const char* holder, const QString& what,
                   std::function<void(LineLease&, TransferProgress&)> work,
                   std::function<void()> then = {});
  // An import as RunTransfer runs it, its outcome shown in the outcome line.
  void RunImport(const std::string& path,
                 std::function<ImportResult(LineLease&, TransferProgress&)> work);
  // The Esc and down-arrow keys of the filter box.
  bool eventFilter(QObject* watched, QEvent* event) override;

  Connection& connection_;
  Operator& op_;
  ConfigPageState state_;
  ParameterDefinitions definitions_;
  DefinitionLoader loader_;
  ParameterEditor editor_;
  RemoteConfiguration remote_;
  ConfigurationTransfer transfer_;

  QTreeWidget* tree_ = nullptr;
  QLineEdit* valueEdit_ = nullptr;
  QComboBox* choiceBox_ = nullptr;
  QPushButton* saveButton_ = nullptr;
  QCheckBox* remoteBox_ = nullptr;
  QLineEdit* remoteAddress_ = nullptr;
  // The node names of the addresses picked from a network scan, by address.
  std::map<std::string, std::string> scannedNodeNames_;
  QPushButton* restoreButton_ = nullptr;
  QLabel* transferStatus_ = nullptr;
  QLabel* outcomeLine_ = nullptr;
  QPushButton* copyLogPath_ = nullptr;
  std::string outcomeLogPath_;
  QLineEdit* filterBox_ = nullptr;
  QPushButton* compareButton_ = nullptr;
  // Which groups were open before the filter opened the ones that show.
  std::optional<std::vector<bool>> expandedBeforeFilter_;
  QIcon itemIcon_;
  std::string shownValue_;                       // the value edit's text as the module sent it
  std::optional<std::string> pendingSelection_;  // picked while a read ran
  ModuleTaskRunner tasks_;
  // The update check of the definition files, and the load it belongs to.
  ModuleTaskRunner definitionUpdates_;
  int loadCount_ = 0;
};

}  // namespace zendra
