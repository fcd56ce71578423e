#include "firmware/ui/FirmwarePage.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>
#include <chrono>
#include <memory>

#include "discovery/NetworkScan.h"
#include "discovery/ui/DeviceListCtrl.h"
#include "firmware/CloneRule.h"
#include "firmware/StopUpdateQuestion.h"
#include "widgets/ConnectionControls.h"
#include "widgets/ControlIds.h"
#include "widgets/FindControl.h"
#include "widgets/FocusKeeper.h"
#include "widgets/GuiThread.h"
#include "widgets/TemplateBuilder.h"

namespace zendra {

namespace {

using Id = FirmwarePageIds;


// The buttons every update disables while it runs, and the connection enables.
constexpr int kFiveButtons[] = {Id::kChooseFile, Id::kDownload, Id::kLocalUpdate, Id::kSearch,
                                Id::kRemoteUpdate};

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

FirmwarePage::FirmwarePage(Connection& connection, Operator& op, QWidget* parent)
    : QWidget(parent),
      connection_(connection),
      relay_(
          op, [this](std::function<void()> call) { PostToGui(this, std::move(call)); },
          [this] { return QThread::currentThread() == thread(); }),
      update_(connection, *this, relay_),
      tasks_(relay_, this) {
  TemplateBuilder t(this, TemplateIds::kFirmwarePage);
  // The page keeps the keyboard focus while its buttons wait for the line.
  setFocusPolicy(Qt::ClickFocus);
  auto* layout = new QVBoxLayout(this);
  TemplateBuilder::Compact(layout);

  auto* message = t.MakeGroupBox(this, kNoControlId, QStringLiteral("Message"));
  auto* messageLayout = new QVBoxLayout(message);
  TemplateBuilder::Compact(messageLayout);
  status_ = t.MakeStatic(message, Id::kStatus, QString());
  messageLayout->addWidget(status_);
  layout->addWidget(message);

  auto* file = t.MakeGroupBox(this, kNoControlId, QStringLiteral("Firmware File"));
  auto* fileGrid = new QGridLayout(file);
  TemplateBuilder::Compact(fileGrid);
  fileGrid->addWidget(t.MakeStatic(file, kNoControlId, QStringLiteral("File location:")), 0, 0);
  pathEdit_ = t.MakeEdit(file, Id::kFilePath);
  // It shows the chosen image; Choose and the web download set it. Typed text was
  // never sent, so it is not taken.
  pathEdit_->setReadOnly(true);
  fileGrid->addWidget(pathEdit_, 0, 1, 1, 3);
  auto* choose =
      t.MakeButton(file, Id::kChooseFile, QStringLiteral("Choose file in local PC"), false);
  fileGrid->addWidget(choose, 1, 0, 1, 2);
  fileGrid->addWidget(
      t.MakeButton(file, Id::kDownload, QStringLiteral("Download from web server"), false), 1, 2);
  fileGrid->setColumnStretch(3, 1);
  layout->addWidget(file);

  auto* local = t.MakeGroupBox(this, kNoControlId, QStringLiteral("Local Device Update"));
  auto* localLayout = new QGridLayout(local);
  TemplateBuilder::Compact(localLayout);
  progress_ = t.MakeProgressBar(local, Id::kLocalProgress);
  localLayout->addWidget(progress_, 0, 0);
  auto* localUpdate = t.MakeButton(local, Id::kLocalUpdate, QStringLiteral("Update"), false);
  localLayout->addWidget(localUpdate, 0, 1);
  cancel_ = t.MakeButton(local, Id::kCancel, QStringLiteral("Cancel"), false);
  localLayout->addWidget(cancel_, 0, 2);
  // Under the bar: the bytes sent, the rate and the time left.
  transferText_ = t.MakeStatic(local, Id::kTransferText, QString());
  localLayout->addWidget(transferText_, 1, 0, 1, 3);
  localLayout->setColumnStretch(0, 1);
  layout->addWidget(local);

  // The device list takes what the page grows by.
  auto* remote = t.MakeGroupBox(this, kNoControlId, QStringLiteral("Remote Device Update"));
  auto* remoteLayout = new QVBoxLayout(remote);
  TemplateBuilder::Compact(remoteLayout);
  deviceList_ = new DeviceListCtrl(remote);
  TemplateBuilder::Tag(deviceList_, Id::kDeviceList);
  remoteLayout->addWidget(deviceList_, 1);
  auto* remoteRow = new QHBoxLayout;
  auto* search = t.MakeButton(remote, Id::kSearch, QStringLiteral("Search"), false);
  remoteRow->addWidget(search);
  cloneBox_ = t.MakeCheckBox(remote, Id::kClone, QStringLiteral("Clone local firmware"));
  remoteRow->addWidget(cloneBox_);
  remoteRow->addStretch(1);
  remoteRow->addWidget(t.MakeButton(remote, Id::kRemoteUpdate, QStringLiteral("Update"), false));
  remoteLayout->addLayout(remoteRow);
  layout->addWidget(remote, 1);

  connect(cloneBox_, &QCheckBox::clicked, this, [this] { OnCloneToggled(); });
  connect(choose, &QPushButton::clicked, this, &FirmwarePage::OnChooseFile);
  connect(localUpdate, &QPushButton::clicked, this, &FirmwarePage::OnLocalUpdate);
  connect(cancel_, &QPushButton::clicked, this, &FirmwarePage::OnCancel);
  connect(search, &QPushButton::clicked, this, &FirmwarePage::ScanNetwork);
}

FirmwarePage::~FirmwarePage() {
  // From here on a worker's box is answered at once; the task is stopped, and
  // update_ then stops and joins its worker.
  relay_.Close();
  tasks_.StopAndJoin();
}

template <typename F>
void FirmwarePage::OnGuiThread(F call) {
  if (QThread::currentThread() == thread()) {
    call();
  } else {
    PostToGui(this, std::move(call));
  }
}

void FirmwarePage::SetImagePath(const std::string& path) {
  update_.SetChosenPath(path);
  pathEdit_->setText(Q(path));
}

void FirmwarePage::OnChooseFile() { pathEdit_->setText(Q(update_.OnChooseFile())); }

void FirmwarePage::OnLocalUpdate() {
  // The checks ask nothing of the module: they run here, their box at once.
  if (!update_.CheckLocal()) return;
  rate_.Reset();
  transferText_->clear();
  transferEnded_ = false;
  // The preparation (about seven seconds of pauses and a query) runs as a module
  // task; the update takes the task's lease of the line over to its worker.
  updatePreparing_ = tasks_.Run(
      [this](std::stop_token stop) {
        auto line = connection_.TryLease("firmware update", stop);
        if (line) update_.OnLocalUpdate(std::move(*line));
      },
      [this] {
        updatePreparing_ = false;
        // From here the worker sends the image, until it reports its end (which
        // may have come already).
        cancel_->setEnabled(update_.Busy() && !transferEnded_);
      });
}

void FirmwarePage::OnCancel() {
  if (!relay_.AskYesNoDefaultNo(StopUpdateQuestion())) return;
  // The worker reports the end itself ("Update cancelled.", the buttons back); had
  // the transfer ended while the question was open, there is nothing to stop.
  if (update_.CancelUpdate()) cancel_->setEnabled(false);
}

void FirmwarePage::ScanNetwork() {
  if (tasks_.Busy()) return;
  progress_->setValue(0);
  deviceList_->RemoveAllRowProgress();
  deviceList_->setRowCount(0);
  auto result = std::make_shared<ScanResult>();
  tasks_.Run(
      [this, result](std::stop_token stop) {
        auto line = connection_.TryLease("network scan", stop);
        if (line) *result = RunNetworkScan(*line, relay_);
      },
      [this, result] { FillDeviceList(result->devices); });
}

void FirmwarePage::FillDeviceList(const std::vector<DeviceRecord>& devices) {
  // Each row gets its bar once its texts are there: rows 0, 1, 2, ... in order.
  for (const DeviceRecord& device : devices)
    deviceList_->AddRowProgress(deviceList_->AddDevice(device));
}

void FirmwarePage::SetConnected(bool connected) {
  buttonsEnabled_ = connected;
  ApplyButtons();
}

void FirmwarePage::SetLineBusy(bool busy) {
  lineBusy_ = busy;
  ApplyButtons();
}

void FirmwarePage::ApplyButtons() {
  const bool enable = buttonsEnabled_ && !lineBusy_;
  for (int id : kFiveButtons) {
    if (auto* button = FindControl(this, id)) SetEnabledKeepingFocusSafe(button, enable, this);
  }
}

void FirmwarePage::OnCloneToggled() {
  const bool enabled = CloneRule::FileChoiceEnabled(cloneBox_->isChecked());
  for (int id : {Id::kChooseFile, Id::kDownload, Id::kFilePath}) {
    if (auto* control = FindControl(this, id)) control->setEnabled(enabled);
  }
}

void FirmwarePage::SetCloneMode() {
  cloneBox_->setChecked(!cloneBox_->isChecked());
  OnCloneToggled();
}

void FirmwarePage::ApplyModelRule(bool isMc21x) {
  OnGuiThread([this, isMc21x] {
    const auto outcome = CloneRule::ApplyModelRule(isMc21x, cloneBox_->isChecked());
    if (outcome.flipClone) SetCloneMode();
    cloneBox_->setEnabled(outcome.cloneBoxEnabled);
  });
}

void FirmwarePage::SetStatus(const std::string& text) {
  OnGuiThread([this, text] { status_->setText(Q(text)); });
}

void FirmwarePage::SetProgress(int percent) {
  OnGuiThread([this, percent] { progress_->setValue(percent); });
}

void FirmwarePage::EnableButtons(bool enable) {
  // The rest of the line's users (Open, Reboot, Reload, the Configuration page)
  // follow the line's lease, which the update holds while it runs.
  OnGuiThread([this, enable] {
    buttonsEnabled_ = enable;
    ApplyButtons();
  });
}

void FirmwarePage::ShowDeviceTexts(const DeviceInfo& device) {
  OnGuiThread([this, device] { emit deviceInformationChanged(device); });
}

void FirmwarePage::ReloadDefinitions(const std::string& fileName) {
  OnGuiThread([this, fileName] { emit definitionsToReload(QString::fromStdString(fileName)); });
}

void FirmwarePage::TransferredBytes(std::int64_t sent, std::int64_t total) {
  // Stamped when the count comes, not when the window gets round to it.
  const auto at = std::chrono::steady_clock::now();
  OnGuiThread([this, sent, total, at] {
    rate_.Add(sent, total, at);
    transferText_->setText(Q(rate_.Text()));
  });
}

void FirmwarePage::Finished(FirmwareOutcome /*outcome*/) {
  OnGuiThread([this] {
    transferEnded_ = true;
    cancel_->setEnabled(false);
  });
}

void FirmwarePage::SetRowProgress(int row, int percent) {
  // The list takes a worker's value itself and repaints on its own thread.
  deviceList_->SetRowProgress(row, percent);
}

}  // namespace zendra
