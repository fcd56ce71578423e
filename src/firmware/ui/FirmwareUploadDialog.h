#pragma once
// The firmware reload dialog (template 145, "Firmware Upload"), run modally by the
// connect handshake for a module whose firmware is damaged, on the handshake's
// lease of the line. It is the reload's TransferView: its worker's calls are
// posted onto the GUI thread. The work is FirmwareReload's; the dialog reads its
// controls, calls it and shows the result. Upload's preparation (the bootloader's
// prompt and menu choice, about four seconds) runs as a module task: the dialog
// keeps painting.
//
// While the image goes out the dialog cannot be closed (Close, Esc and the title
// bar's button are refused, and Close is disabled with Upload and Choose File): a
// reload broken off halfway leaves the module in its bootloader, and the handshake
// that follows the dialog would then only report that the module does not answer.
// Should the dialog be destroyed all the same (the program ends under it), its
// FirmwareReload stops and joins the worker; the worker's message boxes go through
// an OperatorRelay that answers at once from then on, so the join never waits for
// a box that the GUI thread, busy joining, could not show.

#include <QDialog>
#include <atomic>
#include <optional>
#include <stop_token>
#include <string>

#include "firmware/FirmwareReload.h"
#include "firmware/TransferView.h"
#include "widgets/ModuleTaskRunner.h"
#include "widgets/WindowRelay.h"

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace zendra {

class Connection;
class Operator;

class FirmwareUploadDialog : public QDialog, public TransferView {
  Q_OBJECT

 public:
  FirmwareUploadDialog(Connection& connection, LineLease& line, Operator& op,
                       QWidget* parent = nullptr);
  ~FirmwareUploadDialog() override;

  // What the handshake runs for a reload (Connection::Hooks::reloadFirmware): the
  // dialog, modal to `parent`, until the operator closes it. `fast`: the image goes
  // out without the 1 ms pause after each block (fast flashing).
  static void RunReload(Connection& connection, LineLease& line, Operator& op, QWidget* parent,
                        bool fast = false);

  // "Choose File" (1047): the open-file dialog; the edit 1048 shows the path chosen.
  void OnChooseFile();
  // "Upload" (1046): the bootloader's menu choice, then the worker.
  void OnUpload();
  // Cancel (1061), while the image goes out: the question closing the main window
  // asks during an update; Yes stops the transfer (CAN CAN CAN), and the dialog
  // can be closed again once the worker has reported its end.
  void OnCancel();
  FirmwareReload& Reload() { return reload_; }

  // The image the next upload sends; the edit only shows it.
  const std::string& ImagePath() const { return reload_.ChosenPath(); }
  // true from a started upload until its worker has reported its end.
  bool Transferring() const { return transferring_; }
  ModuleTaskRunner& Tasks() { return tasks_; }
  // The operator the dialog's worker asks through.
  const OperatorRelay& Relay() const { return relay_; }

  // TransferView, callable from any thread.
  void SetStatus(const std::string& text) override;
  void SetProgress(int percent) override;
  void EnableButtons(bool enable) override;
  void Progress(const DeviceRunEvent& event) override;
  void Finished(FirmwareOutcome outcome) override;

  // Close, Esc and the title bar's button end the dialog only while no image goes out.
  void done(int result) override;

 private:
  QLabel* status_ = nullptr;
  QLineEdit* pathEdit_ = nullptr;
  QProgressBar* progress_ = nullptr;
  QLabel* transferText_ = nullptr;
  QPushButton* cancel_ = nullptr;
  bool transferring_ = false;
  // Withdraws the open "Stop the update?" box (Cancel's), while one is open.
  std::optional<std::stop_source> stopQuestion_;
  std::atomic<bool> started_{false};  // set by the upload's task
  WindowRelay relay_;
  FirmwareReload reload_;  // after the relay: the worker is joined before the relay goes
  ModuleTaskRunner tasks_;
};

}  // namespace zendra
