#pragma once
// The Firmware Update tab (template 133): the status line, the image file choice,
// the local update with its progress bar, and the remote devices with Search,
// "Clone local firmware" and the remote Update.
//
// The page is the FirmwarePageView of the firmware core: its workers call the view
// from their own thread, and each call is posted onto the GUI thread (queued, never
// blocking: the GUI thread may be joining that worker at the time); a call made on
// the GUI thread takes effect at once.
//
// The remote half's list is a DeviceListCtrl; Search (1035) fills it with the
// network scan, run as a module task: each row a device, with its bar at 0 %.
//
// The local half is wired: "Choose file in local PC" and the local "Update" call
// FirmwareUpdate, which checks, prepares the module (as a module task, off the
// window's thread) and runs UpdateWorker. The page knows no main window: what the
// worker learns it announces (the device information read anew, the definitions
// to load), and the main window, which owns the page, connects to that.
//
// No worker outlives the page: its destructor closes the OperatorRelay (a worker's
// box is answered at once from then on), stops its task and FirmwareUpdate stops
// and joins the worker. The main window destroys the page before its Connection.

#include <QWidget>
#include <string>
#include <vector>

#include "base/OperatorRelay.h"
#include "device/Connection.h"
#include "discovery/DeviceRecord.h"
#include "firmware/FirmwarePageView.h"
#include "firmware/FirmwareUpdate.h"
#include "firmware/TransferRate.h"
#include "widgets/ModuleTaskRunner.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace zendra {

class DeviceListCtrl;

class FirmwarePage : public QWidget, public FirmwarePageView {
  Q_OBJECT

 public:
  // `op` is the window's operator (the page relays its worker's calls to it).
  FirmwarePage(Connection& connection, Operator& op, QWidget* parent = nullptr);
  ~FirmwarePage() override;

  DeviceListCtrl* DeviceList() { return deviceList_; }

  FirmwareUpdate& Update() { return update_; }
  ModuleTaskRunner& Tasks() { return tasks_; }
  // The operator the page's worker asks through.
  const OperatorRelay& Relay() const { return relay_; }

  // The chosen image. The edit 1032 only shows it: text typed there is never read.
  const std::string& ImagePath() const { return update_.ChosenPath(); }
  void SetImagePath(const std::string& path);

  // "Choose file in local PC" (1031): the open-file dialog; a cancel keeps the path.
  void OnChooseFile();
  // The local "Update" (1033): the checks, then the update of the local module.
  void OnLocalUpdate();
  // Cancel (1061), while an image goes out: the question that closing the window
  // asks too; Yes stops the transfer (the bootloader gets CAN CAN CAN).
  void OnCancel();

  // Search (1035): the local bar to 0, the rows and their bars removed, the network
  // scan; then a row per device found, each with its bar at 0 %.
  void ScanNetwork();
  // The devices of a scan into the emptied list: a row each, its check box column
  // without text, its bar at 0 %.
  void FillDeviceList(const std::vector<DeviceRecord>& devices);

  // The clone box (1038) changed: checked turns the file choice off, unchecked on
  // (also without a connection).
  void OnCloneToggled();
  // Flips the clone box, then applies the same rule.
  void SetCloneMode();
  // ShowDeviceInfo's rule for the local product; may be called from any thread.
  void ApplyModelRule(bool isMc21x);

  // From the start of a local update's preparation to its worker's end: the module
  // may be in its bootloader, waiting for the rest of the image.
  bool UpdateRunning() const { return updatePreparing_ || update_.Busy(); }

  // The connection opened or closed: the five buttons follow it.
  void SetConnected(bool connected);
  // Another activity holds the line (or none does): the five buttons wait for it.
  void SetLineBusy(bool busy);

  // FirmwarePageView, callable from any thread.
  void SetStatus(const std::string& text) override;
  void SetProgress(int percent) override;
  void EnableButtons(bool enable) override;
  void ShowDeviceTexts(const DeviceInfo& device) override;
  void ReloadDefinitions(const std::string& fileName) override;
  void SetRowProgress(int row, int percent) override;
  void TransferredBytes(std::int64_t sent, std::int64_t total) override;
  void Finished(FirmwareOutcome outcome) override;

 signals:
  // A local update read the module anew.
  void deviceInformationChanged(const zendra::DeviceInfo& device);
  // The definitions of the module's new firmware are to be loaded.
  void definitionsToReload(const QString& fileName);

 private:
  // Runs `call` now on the GUI thread, or posts it there from any other thread.
  template <typename F>
  void OnGuiThread(F call);
  // The five buttons: as the connection and the updates leave them, while the
  // line is free.
  void ApplyButtons();

  Connection& connection_;
  QLabel* status_ = nullptr;
  QLineEdit* pathEdit_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLabel* transferText_ = nullptr;
  QPushButton* cancel_ = nullptr;
  TransferRate rate_;           // the window's thread only
  bool transferEnded_ = false;  // the worker of the last press has reported its end
  QCheckBox* cloneBox_ = nullptr;
  DeviceListCtrl* deviceList_ = nullptr;
  bool buttonsEnabled_ = false;  // as the connection and the updates leave them
  bool lineBusy_ = false;
  bool updatePreparing_ = false;
  OperatorRelay relay_;
  FirmwareUpdate update_;  // after the relay: the worker is joined before the relay goes
  ModuleTaskRunner tasks_;
};

}  // namespace zendra
