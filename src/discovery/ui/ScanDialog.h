#pragma once
// The scan dialog (template 140, "Scan"): the operator scans the network and picks
// one remote device; the dialog's result is that device's IEEE address. Modal;
// Apply ends it with OK, the closing box or Escape with Cancel.
//
// Every item-changed notification of the list — a row gaining or losing the
// selection or the focus — overwrites the selected address with that row's "IEEE
// Address": after a click on a row it holds that row's address, and a click that
// only takes the selection away leaves the address of the row that lost it. Apply
// before any row was touched returns the empty text.
//
// Search runs the network scan as a module task (the dialog keeps painting); its
// failure message reaches the operator through the dialog's OperatorRelay. Closing
// the dialog stops a running scan and joins it.

#include <QDialog>
#include <optional>
#include <string>

#include "discovery/NetworkScan.h"
#include "widgets/ModuleTaskRunner.h"
#include "widgets/WindowRelay.h"

class QTableWidget;

class QLabel;

namespace zendra {

class Connection;

class ScanDialog : public QDialog {
  Q_OBJECT

 public:
  ScanDialog(Connection& connection, Operator& op, QWidget* parent = nullptr);
  ~ScanDialog() override;

  // The columns: title and width in pixels, all left-aligned.
  struct Column {
    const char* title;
    int width;
  };
  static const Column kColumns[6];

  // The device picked: its address, and its node name as the list shows it.
  struct Choice {
    std::string address;
    std::string nodeName;
    bool operator==(const Choice&) const = default;
  };
  // What the Configuration page's "..." runs: the dialog, modal to `parent`; the
  // device picked on Apply (an empty address when none was), nothing on Cancel.
  static std::optional<Choice> ChooseRemoteDevice(Connection& connection, Operator& op,
                                                  QWidget* parent);

  // The address picked; read it after an OK result.
  const std::string& SelectedAddress() const { return selected_.address; }
  const std::string& SelectedNodeName() const { return selected_.nodeName; }

  // Search (1042): the list emptied, the scan, a row per device ("Inx" from 0).
  void OnSearch();
  // The list's item-changed notification for `row`.
  void OnItemChanged(int row);
  // Apply (1044): ends the dialog with OK.
  void OnApply();

  QTableWidget* DeviceList() { return list_; }
  // What the last search found, under the list: nothing (say so) or how many.
  QString FoundText() const;
  static QString FoundText(std::size_t count);
  ModuleTaskRunner& Tasks() { return tasks_; }

 private:
  void FillList(const std::vector<DeviceRecord>& devices);
  // Every column as wide as its title and texts, the last one stretched.
  void FitColumns();

  Connection& connection_;
  QTableWidget* list_ = nullptr;
  QLabel* found_ = nullptr;
  Choice selected_;
  ScanResult result_;  // written by the scan's task, read after it has ended
  WindowRelay relay_;
  ModuleTaskRunner tasks_;
};

}  // namespace zendra
