#pragma once
// The Configuration tab (template 129): the parameter tree on the left, the value
// box with Save, description and range on the right, Export / Import / Restore
// below the tree, and the Remote Configuration box across the top.
//
// The page's texts live in ConfigPageState, which the configuration core fills;
// RefreshControls shows them (the bound caption, description, range and remote
// texts), as the template's data exchange does. The selection, saving, remote
// and export/import handlers are added by the configuration work; what is here is
// what the connection handling needs: LoadParameterFile, the texts cleared on
// close, and the controls with their IDs and initial states.

#include <QIcon>
#include <QWidget>
#include <string>

#include "app/Connection.h"
#include "config/ConfigPageState.h"

class QTreeWidget;
class QTreeWidgetItem;

namespace zendra {

class ConfigPage : public QWidget {
  Q_OBJECT

 public:
  ConfigPage(Connection& connection, Operator& op, QWidget* parent = nullptr);

  Connection& Conn() { return connection_; }
  Operator& Op() { return op_; }
  ConfigPageState& State() { return state_; }
  QTreeWidget* Tree() { return tree_; }

  // Mode 1 loads the definition file `name` of the program folder and fills the
  // tree; any other mode drops the definitions and empties the tree.
  void LoadParameterFile(int mode, const std::string& name);
  // After a local firmware update: empty tree and value box caption, then load
  // the definitions of the new version.
  void ReloadDefinitions(const std::string& name);

  // On close: the remote device texts (1028, 1029, 1030), the range label and text
  // (1015, 1013) are emptied, "Remode Device Setting" is unchecked and 1004 gets its
  // caption "Restore to Factory Default" back.
  void ClearConnectionTexts();
  // Shows the state's texts in the bound controls.
  void RefreshControls();

  // A tree item with the page's icons: image 1, and image 0 while it is selected.
  QTreeWidgetItem* AddTreeItem(QTreeWidgetItem* parent, const QString& text);
  const QIcon& TreeItemIcon() const { return itemIcon_; }

 private:
  Connection& connection_;
  Operator& op_;
  ConfigPageState state_;
  QTreeWidget* tree_ = nullptr;
  QIcon itemIcon_;
};

}  // namespace zendra
