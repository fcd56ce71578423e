#include "firmware/ui/FirmwareUploadDialog.h"

#include <QApplication>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>

#include "device/Connection.h"
#include "firmware/StopUpdateQuestion.h"
#include "widgets/ControlIds.h"
#include "widgets/FindControl.h"
#include "widgets/GuiThread.h"
#include "widgets/TemplateBuilder.h"

namespace zendra {

namespace {

using Id = FirmwareUploadIds;

constexpr int kWidthDlu = 250;
constexpr int kHeightDlu = 118;

// The cursor over the program while the guard lives. The handshake that opens the
// dialog holds the wait cursor for its whole run; the operator, who now has a
// dialog to work with, must see an arrow (the dialog's own event loop shows it).
class CursorWhile {
 public:
  explicit CursorWhile(Qt::CursorShape shape) { QApplication::setOverrideCursor(shape); }
  ~CursorWhile() { QApplication::restoreOverrideCursor(); }
  CursorWhile(const CursorWhile&) = delete;
  CursorWhile& operator=(const CursorWhile&) = delete;
};

}  // namespace

FirmwareUploadDialog::FirmwareUploadDialog(Connection& connection, LineLease& line, Operator& op,
                                           QWidget* parent)
    : QDialog(parent),
      relay_(op, this),
      reload_(connection, line, *this, relay_),
      tasks_(relay_, this) {
  setWindowTitle(QStringLiteral("Firmware Upload"));
  TemplateBuilder t(this, TemplateIds::kFirmwareUpload);
  auto* layout = new QVBoxLayout(this);
  TemplateBuilder::Compact(layout);
  auto* message = t.MakeGroupBox(this, kNoControlId, QStringLiteral("Message"));
  auto* messageLayout = new QVBoxLayout(message);
  TemplateBuilder::Compact(messageLayout);
  status_ = t.MakeStatic(message, Id::kStatus, QString());
  messageLayout->addWidget(status_);
  layout->addWidget(message);
  auto* file = t.MakeGroupBox(this, kNoControlId, QStringLiteral("Firmware File"));
  auto* fileLayout = new QHBoxLayout(file);
  TemplateBuilder::Compact(fileLayout);
  auto* choose = t.MakeButton(file, Id::kChooseFile, QStringLiteral("Choose File"));
  fileLayout->addWidget(choose);
  pathEdit_ = t.MakeEdit(file, Id::kFilePath);
  pathEdit_->setReadOnly(true);  // it shows the chosen image; Choose File sets it
  fileLayout->addWidget(pathEdit_, 1);
  layout->addWidget(file);
  progress_ = t.MakeProgressBar(this, Id::kProgress);
  layout->addWidget(progress_);
  // Under the bar: the bytes sent, the rate and the time left.
  transferText_ = t.MakeStatic(this, Id::kTransferText, QString());
  layout->addWidget(transferText_);
  layout->addStretch(1);
  auto* buttons = new QHBoxLayout;
  cancel_ = t.MakeButton(this, Id::kCancel, QStringLiteral("Cancel"), false);
  buttons->addWidget(cancel_);
  buttons->addStretch(1);
  auto* close = t.MakeButton(this, Id::kClose, QStringLiteral("Close"));
  auto* upload = t.MakeButton(this, Id::kUpload, QStringLiteral("Upload"));
  buttons->addWidget(close);
  buttons->addWidget(upload);
  layout->addLayout(buttons);
  // The template's size is the dialog's first size; it may grow.
  resize(t.Units().Size(kWidthDlu, kHeightDlu).expandedTo(minimumSizeHint()));

  // Close ends the dialog as OK does.
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  connect(choose, &QPushButton::clicked, this, &FirmwareUploadDialog::OnChooseFile);
  connect(upload, &QPushButton::clicked, this, &FirmwareUploadDialog::OnUpload);
  connect(cancel_, &QPushButton::clicked, this, &FirmwareUploadDialog::OnCancel);
}

FirmwareUploadDialog::~FirmwareUploadDialog() {
  // From here on a worker's box is answered at once; the task is stopped, and
  // reload_ then stops and joins its worker.
  relay_.Close();
  tasks_.StopAndJoin();
}

void FirmwareUploadDialog::RunReload(Connection& connection, LineLease& line, Operator& op,
                                     QWidget* parent, bool fast) {
  FirmwareUploadDialog dialog(connection, line, op, parent);
  dialog.reload_.SetFastTransfer(fast);
  CursorWhile arrow(Qt::ArrowCursor);
  dialog.exec();
}

void FirmwareUploadDialog::OnChooseFile() {
  pathEdit_->setText(QString::fromStdString(reload_.OnChooseFile()));
}

void FirmwareUploadDialog::OnUpload() {
  // The preparation is part of the upload: the dialog cannot be closed from here
  // on until the worker has reported its end (or the start ended without one),
  // and its buttons wait with it.
  transferring_ = true;
  started_ = false;
  transferText_->clear();
  for (int id : {Id::kUpload, Id::kChooseFile, Id::kClose}) {
    if (auto* button = FindControl(this, id)) button->setEnabled(false);
  }
  const bool running = tasks_.Run([this](std::stop_token) { started_ = reload_.OnUpload(); },
                                  [this] {
                                    // The worker sends the image until it reports
                                    // its end (which may have come already).
                                    if (started_) {
                                      cancel_->setEnabled(transferring_);
                                      return;
                                    }
                                    transferring_ = false;
                                    EnableButtons(true);
                                  });
  if (!running) {
    transferring_ = false;
    EnableButtons(true);
  }
}

void FirmwareUploadDialog::OnCancel() {
  // The box goes by itself when the transfer ends meanwhile (Finished).
  std::stop_source withdraw;
  stopQuestion_ = withdraw;
  const bool yes = relay_.AskYesNoDefaultNoUntil(StopUpdateQuestion(), withdraw.get_token());
  stopQuestion_.reset();
  if (!yes) return;
  // The worker reports the end itself ("Update cancelled.", the buttons back).
  if (reload_.CancelTransfer()) cancel_->setEnabled(false);
}

void FirmwareUploadDialog::done(int result) {
  if (transferring_ || tasks_.Busy()) return;
  QDialog::done(result);
}

void FirmwareUploadDialog::SetStatus(const std::string& text) {
  RunOnGuiThread(this, [this, text] { status_->setText(QString::fromStdString(text)); });
}

void FirmwareUploadDialog::SetProgress(int percent) {
  RunOnGuiThread(this, [this, percent] { progress_->setValue(percent); });
}

void FirmwareUploadDialog::EnableButtons(bool enable) {
  RunOnGuiThread(this, [this, enable] {
    // Close goes with the two: the dialog cannot be closed while the image goes out.
    for (int id : {Id::kUpload, Id::kChooseFile, Id::kClose}) {
      if (auto* button = FindControl(this, id)) button->setEnabled(enable);
    }
  });
}

void FirmwareUploadDialog::Progress(const DeviceRunEvent& event) {
  // The status line's percentage, the bar, and the line under it.
  RunOnGuiThread(this, [this, event] {
    status_->setText(QString::fromStdString(SendingStatus(event)));
    progress_->setValue(event.percent);
    transferText_->setText(QString::fromStdString(SendingBytes(event)));
  });
}

void FirmwareUploadDialog::Finished(FirmwareOutcome /*outcome*/) {
  RunOnGuiThread(this, [this] {
    transferring_ = false;
    cancel_->setEnabled(false);
    if (stopQuestion_) stopQuestion_->request_stop();
  });
}

}  // namespace zendra
