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
// The local half is wired: "Choose file in local PC" and the local "Update" call
// FirmwareUpdate, which checks, prepares the module and runs UpdateWorker; the
// worker's epilogue shows the device texts in the main window and has the
// Configuration page load the definitions of the new version. Search, the remote
// Update and "Download from web server" come with the discovery and web update work.
//
// While an update prepares and runs, the worker owns the serial line: besides the
// five buttons, the main window's Open/Close, Reboot and Reload and the whole
// Configuration page are disabled, since each of them would write to the module
// and read the receive buffer in the middle of the transfer.
//
// No worker outlives the page: its destructor closes the OperatorRelay (a worker's
// box is answered at once from then on) and FirmwareUpdate stops and joins the
// worker. The main window destroys the page before its Connection.

#include <QWidget>
#include <string>

#include "firmware/FirmwarePageView.h"
#include "firmware/FirmwareUpdate.h"
#include "firmware/OperatorRelay.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QTableWidget;

namespace zendra {

class MainDialog;

class FirmwarePage : public QWidget, public FirmwarePageView {
  Q_OBJECT

 public:
  explicit FirmwarePage(MainDialog& main, QWidget* parent = nullptr);
  ~FirmwarePage() override;

  MainDialog& Main() { return main_; }
  QTableWidget* DeviceList() { return deviceList_; }

  FirmwareUpdate& Update() { return update_; }
  // The operator the page's worker asks through.
  const OperatorRelay& Relay() const { return relay_; }

  // The chosen image. The edit 1032 only shows it: text typed there is never read.
  const std::string& ImagePath() const { return update_.ChosenPath(); }
  void SetImagePath(const std::string& path);

  // "Choose file in local PC" (1031): the open-file dialog; a cancel keeps the path.
  void OnChooseFile();
  // The local "Update" (1033): the checks, then the update of the local module.
  void OnLocalUpdate();

  // The clone box (1038) changed: checked turns the file choice off, unchecked on
  // (also without a connection).
  void OnCloneToggled();
  // Flips the clone box, then applies the same rule.
  void SetCloneMode();
  // ShowDeviceInfo's rule for the local product; may be called from any thread.
  void ApplyModelRule(bool isMc21x);

  // FirmwarePageView, callable from any thread.
  void SetStatus(const std::string& text) override;
  void SetProgress(int percent) override;
  void EnableButtons(bool enable) override;
  void ShowDeviceTexts(const DeviceTexts& texts) override;
  void ReloadDefinitions(const std::string& fileName) override;
  void SetRowProgress(int row, int percent) override;

  // The list columns: header and width in pixels.
  struct Column {
    const char* header;
    int width;
  };
  static const Column kColumns[7];

 private:
  // Runs `call` now on the GUI thread, or posts it there from any other thread.
  template <typename F>
  void OnGuiThread(F call);

  MainDialog& main_;
  QLabel* status_ = nullptr;
  QLineEdit* pathEdit_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QCheckBox* cloneBox_ = nullptr;
  QTableWidget* deviceList_ = nullptr;
  OperatorRelay relay_;
  FirmwareUpdate update_;  // after the relay: the worker is joined before the relay goes
};

}  // namespace zendra
