#include "firmware/ui/FirmwareUploadDialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>

#include "app/Connection.h"
#include "app/ControlIds.h"
#include "app/ui/FindControl.h"
#include "app/ui/GuiThread.h"
#include "app/ui/TemplateBuilder.h"

namespace zendra {

namespace {

using Id = FirmwareUploadIds;

constexpr int kWidthDlu = 250;
constexpr int kHeightDlu = 118;

}  // namespace

FirmwareUploadDialog::FirmwareUploadDialog(Connection& connection, Operator& op, QWidget* parent)
    : QDialog(parent), connection_(connection), op_(op) {
  setWindowTitle(QStringLiteral("Firmware Upload"));
  TemplateBuilder t(this, TemplateIds::kFirmwareUpload);
  setFixedSize(t.Units().Size(kWidthDlu, kHeightDlu));

  t.GroupBox(kNoControlId, QStringLiteral("Message"), 7, 4, 236, 27);
  status_ = t.Static(Id::kStatus, QString(), 14, 16, 222, 9);
  t.GroupBox(kNoControlId, QStringLiteral("Firmware File"), 7, 35, 236, 34);
  auto* choose = t.Button(Id::kChooseFile, QStringLiteral("Choose File"), 14, 47, 50, 14);
  pathEdit_ = t.Edit(Id::kFilePath, 68, 48, 168, 12);
  progress_ = t.ProgressBar(Id::kProgress, 7, 76, 236, 12);
  auto* close = t.Button(Id::kClose, QStringLiteral("Close"), 139, 96, 50, 14);
  auto* upload = t.Button(Id::kUpload, QStringLiteral("Upload"), 193, 96, 50, 14);

  // Close ends the dialog as OK does.
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  connect(choose, &QPushButton::clicked, this, &FirmwareUploadDialog::OnChooseFile);
  connect(upload, &QPushButton::clicked, this, &FirmwareUploadDialog::OnUpload);
}

void FirmwareUploadDialog::RunReload(Connection& connection, Operator& op, QWidget* parent) {
  (void)connection;
  (void)parent;
  op.ShowMessage(kReloadNotAvailable);
}

void FirmwareUploadDialog::OnChooseFile() {}

void FirmwareUploadDialog::OnUpload() {}

template <typename F>
void FirmwareUploadDialog::OnGuiThread(F call) {
  if (QThread::currentThread() == thread()) {
    call();
  } else {
    PostToGui(this, std::move(call));
  }
}

void FirmwareUploadDialog::SetStatus(const std::string& text) {
  OnGuiThread([this, text] { status_->setText(QString::fromStdString(text)); });
}

void FirmwareUploadDialog::SetProgress(int percent) {
  OnGuiThread([this, percent] { progress_->setValue(percent); });
}

void FirmwareUploadDialog::EnableButtons(bool enable) {
  OnGuiThread([this, enable] {
    for (int id : {Id::kUpload, Id::kChooseFile}) {
      if (auto* button = FindControl(this, id)) button->setEnabled(enable);
    }
  });
}

}  // namespace zendra
