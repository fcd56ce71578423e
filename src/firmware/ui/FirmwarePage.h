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
// The update, search and download handlers are added by the firmware and discovery
// work; what is here is what the connection handling touches: the five buttons,
// the clone rule and the model rule.

#include <QWidget>
#include <string>

#include "firmware/FirmwarePageView.h"

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

  MainDialog& Main() { return main_; }
  QTableWidget* DeviceList() { return deviceList_; }

  // The chosen image. The edit 1032 only shows it: text typed there is never read.
  const std::string& ImagePath() const { return imagePath_; }
  void SetImagePath(const std::string& path);

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
  std::string imagePath_;
  QLabel* status_ = nullptr;
  QLineEdit* pathEdit_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QCheckBox* cloneBox_ = nullptr;
  QTableWidget* deviceList_ = nullptr;
};

}  // namespace zendra
