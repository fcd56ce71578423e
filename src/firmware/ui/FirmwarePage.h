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
// "Choose file in local PC" and the local "Update" call FirmwareUpdate, which
// checks, prepares the module (as a module task, off the window's thread) and runs
// UpdateWorker. The page knows no main window: what the worker learns it announces
// (the device information read anew, the definitions to load), and the main
// window, which owns the page, connects to that.
//
// The remote "Update" runs FirmwareUpdate::OnRemoteUpdate as a module task with the
// list's rows; the delay it returns starts the page's single-shot timer, whose tick
// runs OnUpdateTimer as a module task and starts the timer again with the delay
// that returns. A tick that comes while another task of the page runs is taken
// as soon as that task has ended. The devices' bars and the status line follow the
// workers through the view.
//
// The chosen image belongs to the window's thread: the page keeps it and hands it
// to FirmwareUpdate only there, right before one of its tasks starts, so that a
// file chosen while a tick prepares a device never changes the path under it (the
// next tick takes the new file, and checks its device against it again).
//
// "Download from web server" runs the update server check as a module task with
// the list's addresses; the image it saved becomes the chosen image.
//
// The page draws progress from typed events, never from texts: the local update's
// (Progress) become the status line's percentage, the bar and the line under it
// (bytes, rate, time left); a remote device's (DeviceRun) become the status line,
// the row's bar and status ("sending 37 %", "done — v1.11.7", "failed — why",
// "cancelled — ...") and, once a device's update has completed, its Version cell. A press clears
// every bar and status first. "Retry failed" ticks exactly the rows whose device failed in the last
// run and presses the remote Update again. The remote Cancel stands beside it and stops the run
// during a device's preparation as well as during its transfer; the local one is the local
// update's.
//
// Between two remote devices the five buttons come back as each device ends, but
// the sequence keeps the line for the rows still to start: Search, the local
// Update and the download then say so instead of taking the line (a new scan
// would also change the rows the sequence addresses). The main window keeps its
// own users of the line (Open, Reboot, Reload, the Configuration page) disabled
// through the line's lease.
//
// No worker outlives the page: its destructor stops the timer, closes the
// OperatorRelay (a worker's box is answered at once from then on), stops its task,
// then ends the remote sequence (a running transfer is cancelled) and
// FirmwareUpdate joins its workers. The main window destroys the page before its
// Connection.

#include <QTimer>
#include <QWidget>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "device/Connection.h"
#include "discovery/DeviceRecord.h"
#include "firmware/FirmwarePageView.h"
#include "firmware/FirmwareUpdate.h"
#include "widgets/ModuleTaskRunner.h"
#include "widgets/WindowRelay.h"

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
  const std::string& ImagePath() const { return chosenPath_; }
  void SetImagePath(const std::string& path);

  // "Choose file in local PC" (1031): the open-file dialog; a cancel keeps the path.
  void OnChooseFile();
  // The local "Update" (1033): the checks, then the update of the local module.
  void OnLocalUpdate();
  // Cancel (1061), while an image goes out (to the local module or, in a remote
  // sequence, to a remote one): the question that closing the window asks too; Yes
  // stops the transfer (the bootloader gets CAN CAN CAN) and starts no further
  // remote device.
  void OnCancel();
  // "Retry failed" (1062): the rows whose device failed in the last remote run
  // ticked (every other row cleared), then the remote Update.
  void OnRetryFailed();
  // The rows "Retry failed" would start again.
  const std::vector<int>& FailedRows() const { return failedRows_; }

  // "Download from web server" (1039): the local module and every device of the
  // list checked against the update server; the last image saved becomes the
  // chosen image.
  void OnDownloadFromWebServer();

  // Search (1035): the local bar to 0, the rows and their bars removed, the network
  // scan; then a row per device found, each with its bar at 0 %.
  void ScanNetwork();
  // The devices of a scan into the emptied list: a row each, its check box column
  // without text, its bar at 0 %.
  void FillDeviceList(const std::vector<DeviceRecord>& devices);

  // The clone box (1038) changed: checked turns the file choice off, whatever runs
  // afterwards; unchecked gives it back to the five buttons' rule (on while
  // connected and idle).
  void OnCloneToggled();
  // Flips the clone box, then applies the same rule.
  void SetCloneMode();
  // ShowDeviceInfo's rule for the local product; may be called from any thread.
  void ApplyModelRule(bool isMc21x);

  // The remote "Update" (1036): the ticked rows checked, then the timer's looks.
  void OnRemoteUpdate();
  // The page's timer: one look at the remote sequence.
  void OnUpdateTimer();
  // The list's rows as the remote "Update" reads them: the address and the tick.
  std::vector<RemoteRow> Rows() const;

  // From the start of a local update's preparation to its worker's end (the module
  // may be in its bootloader, waiting for the rest of the image), and from a remote
  // press to the end of its last device.
  bool UpdateRunning() const { return updatePreparing_ || update_.Busy() || RemoteUpdateRunning(); }
  // A remote sequence (image or clone) holds the line: rows still to start, or the
  // last device's worker running.
  bool RemoteUpdateRunning() const { return update_.RemoteUpdateRunning(); }
  // The page's timer (the next look of a remote sequence is due when it is active).
  const QTimer& UpdateTimer() const { return timer_; }

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
  void Progress(const DeviceRunEvent& event) override;
  void Finished(FirmwareOutcome outcome) override;
  void DeviceRun(int row, const DeviceRunEvent& event) override;

 signals:
  // A local update read the module anew.
  void deviceInformationChanged(const zendra::DeviceInfo& device);
  // The definitions of the module's new firmware are to be loaded.
  void definitionsToReload(const QString& fileName);

 private:
  // The one place that sets the five buttons and the file-location edit: on as
  // the connection and the updates leave them, while the line is free or held by
  // the remote sequence, and no task of the page runs; the file choice ("Choose
  // file", "Download from web server", the edit) only while the clone box is clear.
  void ApplyButtons();
  // Starts the page's timer for a delay of the sequence (protocol time).
  void StartTimer(int protocolMs);
  // Starts a task of the page: the chosen image handed to FirmwareUpdate first (on
  // this thread, with no task running); a look that fell due meanwhile follows the
  // task's end.
  bool RunTask(std::function<void(std::stop_token)> task, std::function<void()> done);
  // Search, the local Update and the download while the remote sequence keeps the
  // line: the operator is told, and true is returned.
  bool RefusedForRemoteUpdate();

  Connection& connection_;
  QLabel* status_ = nullptr;
  QLineEdit* pathEdit_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLabel* transferText_ = nullptr;
  QPushButton* cancel_ = nullptr;
  QPushButton* remoteCancel_ = nullptr;
  QPushButton* retry_ = nullptr;
  // The rows whose device failed in the last remote run (from its events).
  std::vector<int> failedRows_;
  // The operator cancelled the remote run: its Cancel stays off until it has ended.
  bool remoteCancelled_ = false;
  bool transferEnded_ = false;  // the worker of the last press has reported its end
  int finishedCount_ = 0;       // workers that have reported their end
  QCheckBox* cloneBox_ = nullptr;
  DeviceListCtrl* deviceList_ = nullptr;
  bool buttonsEnabled_ = false;  // as the connection and the updates leave them
  bool lineBusy_ = false;
  bool updatePreparing_ = false;
  // The image chosen by the operator, on the window's thread only.
  std::string chosenPath_;
  // The timer fired while another task ran: the look follows that task.
  bool lookDue_ = false;
  // Withdraws the open "Stop the update?" box (Cancel's), while one is open.
  std::optional<std::stop_source> stopQuestion_;
  QTimer timer_;
  WindowRelay relay_;
  FirmwareUpdate update_;  // after the relay: the worker is joined before the relay goes
  ModuleTaskRunner tasks_;
};

}  // namespace zendra
