#include "firmware/ui/FirmwarePage.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QThread>
#include <memory>

#include "discovery/NetworkScan.h"
#include "discovery/ui/DeviceListCtrl.h"
#include "firmware/CloneRule.h"
#include "widgets/ConnectionControls.h"
#include "widgets/ControlIds.h"
#include "widgets/FindControl.h"
#include "widgets/GuiThread.h"
#include "widgets/TemplateBuilder.h"

namespace zendra {

namespace {

using Id = FirmwarePageIds;

// Laid out in the manner of template 129: groups across the page, controls inside.
constexpr int kWidthDlu = 300;
constexpr int kHeightDlu = 322;

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
  setMinimumSize(t.Units().Size(kWidthDlu, kHeightDlu));

  t.GroupBox(kNoControlId, QStringLiteral("Message"), 0, 3, 300, 27);
  status_ = t.Static(Id::kStatus, QString(), 8, 15, 284, 9);

  t.GroupBox(kNoControlId, QStringLiteral("Firmware File"), 0, 34, 300, 52);
  t.Static(kNoControlId, QStringLiteral("File location:"), 8, 47, 48, 9);
  pathEdit_ = t.Edit(Id::kFilePath, 58, 45, 234, 12);
  auto* choose =
      t.Button(Id::kChooseFile, QStringLiteral("Choose file in local PC"), 8, 64, 110, 14, false);
  t.Button(Id::kDownload, QStringLiteral("Download from web server"), 122, 64, 110, 14, false);

  t.GroupBox(kNoControlId, QStringLiteral("Local Device Update"), 0, 90, 300, 32);
  progress_ = t.ProgressBar(Id::kLocalProgress, 8, 103, 230, 12);
  auto* localUpdate = t.Button(Id::kLocalUpdate, QStringLiteral("Update"), 244, 102, 48, 14, false);

  t.GroupBox(kNoControlId, QStringLiteral("Remote Device Update"), 0, 126, 300, 194);
  deviceList_ = new DeviceListCtrl(this);
  t.Place(deviceList_, Id::kDeviceList, 8, 138, 284, 156);
  auto* search = t.Button(Id::kSearch, QStringLiteral("Search"), 8, 300, 48, 14, false);
  cloneBox_ = t.CheckBox(Id::kClone, QStringLiteral("Clone local firmware"), 64, 302, 100, 10);
  t.Button(Id::kRemoteUpdate, QStringLiteral("Update"), 244, 300, 48, 14, false);

  connect(cloneBox_, &QCheckBox::clicked, this, [this] { OnCloneToggled(); });
  connect(choose, &QPushButton::clicked, this, &FirmwarePage::OnChooseFile);
  connect(localUpdate, &QPushButton::clicked, this, &FirmwarePage::OnLocalUpdate);
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
  // The preparation (about seven seconds of pauses and a query) runs as a module
  // task; the update takes the task's lease of the line over to its worker.
  tasks_.Run([this](std::stop_token stop) {
    auto line = connection_.TryLease("firmware update", stop);
    if (line) update_.OnLocalUpdate(std::move(*line));
  });
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
    if (auto* button = FindControl(this, id)) button->setEnabled(enable);
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

void FirmwarePage::SetRowProgress(int row, int percent) {
  // The list takes a worker's value itself and repaints on its own thread.
  deviceList_->SetRowProgress(row, percent);
}

}  // namespace zendra
