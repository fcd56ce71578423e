#pragma once
// The firmware reload dialog (template 145, "Firmware Upload"), run modally by the
// connect handshake for a module whose firmware is damaged. It is the reload's
// TransferView: its worker's calls are posted onto the GUI thread.
//
// So far the dialog is a shell: Close ends it, and "Choose File" / "Upload" are
// wired to OnChooseFile / OnUpload, which the firmware work fills in.

#include <QDialog>
#include <string>

#include "firmware/TransferView.h"

class QLabel;
class QLineEdit;
class QProgressBar;

namespace zendra {

class Connection;
class Operator;

class FirmwareUploadDialog : public QDialog, public TransferView {
  Q_OBJECT

 public:
  FirmwareUploadDialog(Connection& connection, Operator& op, QWidget* parent = nullptr);

  // What the handshake runs for a reload (Connection::Hooks::reloadFirmware). Until
  // the dialog can upload, it tells the operator that reloading is not available.
  static void RunReload(Connection& connection, Operator& op, QWidget* parent);
  static constexpr const char* kReloadNotAvailable =
      "ERROR: Reloading the firmware is not available in this version yet.";

  // "Choose File" (1047) and "Upload" (1046): filled in by the firmware work.
  void OnChooseFile();
  void OnUpload();

  const std::string& ImagePath() const { return imagePath_; }

  // TransferView, callable from any thread.
  void SetStatus(const std::string& text) override;
  void SetProgress(int percent) override;
  void EnableButtons(bool enable) override;

 private:
  template <typename F>
  void OnGuiThread(F call);

  Connection& connection_;
  Operator& op_;
  std::string imagePath_;
  QLabel* status_ = nullptr;
  QLineEdit* pathEdit_ = nullptr;
  QProgressBar* progress_ = nullptr;
};

}  // namespace zendra
