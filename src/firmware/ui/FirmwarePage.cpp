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
#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>

#include "base/Clock.h"
#include "discovery/NetworkScan.h"
#include "discovery/ui/DeviceListCtrl.h"
#include "firmware/CloneRule.h"
#include "firmware/StopUpdateQuestion.h"
#include "webupdate/ui/WebUpdate.h"
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
// The device list's "NodeName" column: a failure report names the device by it.
constexpr int kNodeNameColumn = 5;

constexpr int kFiveButtons[] = {Id::kChooseFile, Id::kDownload, Id::kLocalUpdate, Id::kSearch,
                                Id::kRemoteUpdate};

// What Search, the local Update and the download say while a remote sequence still
// has devices to start: the line is the sequence's until its last device has begun.
constexpr const char* kRemoteUpdateRunning =
    "ERROR: A remote firmware update is running. Please wait until it has ended.";

// A scan whose module answered with no remote device.
constexpr const char* kNothingFound = "No remote device was found in this network.";

QString Q(const std::string& text) { return QString::fromStdString(text); }

}  // namespace

FirmwarePage::FirmwarePage(Connection& connection, Operator& op, QWidget* parent)
    : QWidget(parent),
      connection_(connection),
      relay_(op, this),
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
  auto* download =
      t.MakeButton(file, Id::kDownload, QStringLiteral("Download from web server"), false);
  fileGrid->addWidget(download, 1, 2);
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
  retry_ = t.MakeButton(remote, Id::kRetryFailed, QStringLiteral("Retry failed"), false);
  remoteRow->addWidget(retry_);
  remoteCancel_ = t.MakeButton(remote, Id::kRemoteCancel, QStringLiteral("Cancel"), false);
  remoteRow->addWidget(remoteCancel_);
  auto* remoteUpdate = t.MakeButton(remote, Id::kRemoteUpdate, QStringLiteral("Update"), false);
  remoteRow->addWidget(remoteUpdate);
  remoteLayout->addLayout(remoteRow);
  layout->addWidget(remote, 1);

  // The timer that steps the remote sequence: one look per shot.
  timer_.setSingleShot(true);
  connect(&timer_, &QTimer::timeout, this, &FirmwarePage::OnUpdateTimer);

  // The sequence reads the box at the press and at every start; the file choice
  // follows it (ApplyButtons, the one place that sets the buttons).
  connect(cloneBox_, &QCheckBox::toggled, this, [this](bool checked) {
    update_.SetCloneChecked(checked);
    OnCloneToggled();
  });
  connect(choose, &QPushButton::clicked, this, &FirmwarePage::OnChooseFile);
  connect(download, &QPushButton::clicked, this, &FirmwarePage::OnDownloadFromWebServer);
  connect(localUpdate, &QPushButton::clicked, this, &FirmwarePage::OnLocalUpdate);
  connect(cancel_, &QPushButton::clicked, this, &FirmwarePage::OnCancel);
  connect(remoteCancel_, &QPushButton::clicked, this, &FirmwarePage::OnCancel);
  connect(retry_, &QPushButton::clicked, this, &FirmwarePage::OnRetryFailed);
  connect(search, &QPushButton::clicked, this, &FirmwarePage::ScanNetwork);
  connect(remoteUpdate, &QPushButton::clicked, this, &FirmwarePage::OnRemoteUpdate);
}

FirmwarePage::~FirmwarePage() {
  // No look starts any more. From here on a worker's box is answered at once; the
  // task is stopped first (a look preparing a device ends its waits at once), then
  // the sequence: its running transfer is cancelled and joined, its clone watch
  // ends, no row starts, the line goes back.
  timer_.stop();
  relay_.Close();
  tasks_.StopAndJoin();
  update_.StopRemoteUpdate();
}

void FirmwarePage::SetImagePath(const std::string& path) {
  chosenPath_ = path;
  pathEdit_->setText(Q(path));
}

void FirmwarePage::OnChooseFile() {
  // The dialog is the page's own: a tick may start while it is open, and must not
  // see the path change under it.
  if (auto path = relay_.ChooseFileToOpen(FirmwareHost::kFileFilter)) SetImagePath(*path);
}

bool FirmwarePage::RunTask(std::function<void(std::stop_token)> task, std::function<void()> done) {
  if (tasks_.Busy()) return false;
  // No task runs now, and the workers took their own copies: nothing reads the
  // path while it is handed over.
  update_.SetChosenPath(chosenPath_);
  const bool started = tasks_.Run(std::move(task), [this, done = std::move(done)] {
    if (done) done();
    ApplyButtons();
    if (lookDue_) {
      lookDue_ = false;
      OnUpdateTimer();
    }
  });
  ApplyButtons();
  return started;
}

bool FirmwarePage::RefusedForRemoteUpdate() {
  if (!RemoteUpdateRunning()) return false;
  relay_.ShowMessage(kRemoteUpdateRunning);
  return true;
}

void FirmwarePage::OnLocalUpdate() {
  if (tasks_.Busy() || RefusedForRemoteUpdate()) return;
  // The checks ask nothing of the module: they run here, their box at once.
  update_.SetChosenPath(chosenPath_);
  if (!update_.CheckLocal()) return;
  transferText_->clear();
  transferEnded_ = false;
  // The preparation (about seven seconds of pauses and a query) runs as a module
  // task; the update takes the task's lease of the line over to its worker.
  updatePreparing_ = RunTask(
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
  const bool remote = RemoteUpdateRunning();
  // No remote device starts while the question is open: a look that falls due
  // meanwhile waits for the answer.
  const int lookDueMs = timer_.isActive() ? timer_.remainingTime() : -1;
  timer_.stop();
  // The box goes by itself when what it asks about has ended meanwhile (Finished).
  std::stop_source withdraw;
  stopQuestion_ = withdraw;
  const bool yes = relay_.AskYesNoDefaultNoUntil(
      remote ? StopRemoteUpdateQuestion() : StopUpdateQuestion(), withdraw.get_token());
  stopQuestion_.reset();
  if (lookDueMs >= 0) timer_.start(lookDueMs);
  if (!yes) return;
  const bool rowsWaiting = update_.Sequence().Pending();
  // The worker reports the end itself ("Update cancelled.", the buttons back), and
  // the rows of a remote sequence not started yet are not started any more.
  if (remote) {
    remoteCancelled_ = true;
    ApplyButtons();
  }
  if (update_.CancelUpdate()) {
    cancel_->setEnabled(false);
    return;
  }
  // A clone goes on on the remote side whatever is asked here: the rows still to
  // come are cancelled, and the clone's end closes the run.
  if (update_.Busy()) return;
  // The image had gone while the question was open, and rows were still to come:
  // the device that ended keeps its outcome, the sequence ends here.
  if (remote && rowsWaiting) {
    cancel_->setEnabled(false);
    SetStatus(FirmwareHost::kCancelledStatus);
    EnableButtons(true);
    if (!tasks_.Busy() && !update_.Busy()) {
      timer_.stop();
      update_.StopRemoteUpdate();
    }
  }
}

std::vector<RemoteRow> FirmwarePage::Rows() const {
  std::vector<RemoteRow> rows;
  for (int row = 0; row < deviceList_->rowCount(); ++row) {
    const QTableWidgetItem* check = deviceList_->item(row, 0);
    const QTableWidgetItem* name = deviceList_->item(row, kNodeNameColumn);
    rows.push_back({deviceList_->IeeeAddress(row), check && check->checkState() == Qt::Checked,
                    name ? name->text().toStdString() : std::string()});
  }
  return rows;
}

void FirmwarePage::OnRemoteUpdate() {
  if (tasks_.Busy()) return;
  // A press starts the sequence anew: a look still due from an earlier press
  // would find no marks of its own.
  timer_.stop();
  lookDue_ = false;
  // The line under the local bar is a local update's.
  transferText_->clear();
  update_.SetCloneChecked(cloneBox_->isChecked());
  // A new run: no bar or status of the last one stays.
  deviceList_->ClearRuns();
  failedRows_.clear();
  remoteCancelled_ = false;
  auto firstLook = std::make_shared<std::optional<int>>();
  auto press = [this, rows = Rows(), firstLook](std::stop_token stop) {
    *firstLook = update_.OnRemoteUpdate(rows, stop);
  };
  RunTask(std::move(press), [this, firstLook] {
    if (*firstLook) StartTimer(**firstLook);
  });
}

void FirmwarePage::StartTimer(int protocolMs) {
  // The sequence's delays are protocol time, as every pause of the protocol.
  const auto delay =
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::Scaled(protocolMs));
  timer_.start(delay);
}

void FirmwarePage::OnUpdateTimer() {
  // A look prepares a device for seconds: it runs as a task, and waits for one
  // that runs now.
  if (tasks_.Busy()) {
    lookDue_ = true;
    return;
  }
  auto nextLook = std::make_shared<std::optional<int>>();
  const int started = update_.Sequence().StartedCount();
  const int finished = finishedCount_;
  RunTask([this, nextLook](std::stop_token stop) { *nextLook = update_.OnUpdateTimer(stop); },
          [this, nextLook, started, finished] {
            if (*nextLook) StartTimer(**nextLook);
            // A device whose image now goes out can be cancelled, as a local update
            // can, until its worker reports its end (which may have come already).
            if (update_.Sequence().StartedCount() != started && finishedCount_ == finished)
              ApplyButtons();
          });
}

void FirmwarePage::OnDownloadFromWebServer() {
  if (tasks_.Busy() || RefusedForRemoteUpdate()) return;
  std::vector<std::string> addresses;
  for (const RemoteRow& row : Rows()) addresses.push_back(row.address);
  auto saved = std::make_shared<std::string>();
  RunTask(
      [this, addresses = std::move(addresses), saved](std::stop_token stop) {
        auto line = connection_.TryLease("web server download", stop);
        if (line)
          *saved = WebUpdate::DownloadFromWebServer(connection_, *line, relay_, this, addresses);
      },
      [this, saved] {
        // Nothing saved keeps the file chosen before.
        if (!saved->empty()) SetImagePath(*saved);
      });
}

void FirmwarePage::ScanNetwork() {
  if (tasks_.Busy() || RefusedForRemoteUpdate()) return;
  // Another activity has the line: the list stays as it is.
  if (connection_.Gate().Leased()) return;
  progress_->setValue(0);
  failedRows_.clear();
  deviceList_->RemoveAllRowProgress();
  deviceList_->setRowCount(0);
  auto result = std::make_shared<ScanResult>();
  RunTask(
      [this, result](std::stop_token stop) {
        auto line = connection_.TryLease("network scan", stop);
        if (line) *result = RunNetworkScan(*line, relay_);
      },
      [this, result] {
        FillDeviceList(result->devices);
        // The module answered, and no remote device is in its network: said, not
        // left as an empty list.
        if (result->outcome == ScanResult::Outcome::kListed && result->devices.empty())
          SetStatus(kNothingFound);
      });
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
  // Between two remote devices the line stays leased to the sequence, yet the
  // buttons come back as the device ends; a task of the page keeps them off.
  const bool lineFree = !lineBusy_ || RemoteUpdateRunning();
  const bool enable = buttonsEnabled_ && lineFree && !tasks_.Busy();
  // A clone sends the local module's own firmware: while the box is checked the
  // file choice stays off, whatever runs or ends.
  const bool fileChoice = CloneRule::FileChoiceEnabled(cloneBox_->isChecked());
  for (int id : kFiveButtons) {
    const bool isFileChoice = id == Id::kChooseFile || id == Id::kDownload;
    const bool on = enable && (fileChoice || !isFileChoice);
    if (auto* button = FindControl(this, id)) SetEnabledKeepingFocusSafe(button, on, this);
  }
  pathEdit_->setEnabled(fileChoice);
  // The remote run's Cancel from the press to the run's end; Retry while no run is.
  const bool remoteRuns = RemoteUpdateRunning() || (!update_.localMode && update_.Busy());
  SetEnabledKeepingFocusSafe(remoteCancel_, remoteRuns && !remoteCancelled_, this);
  SetEnabledKeepingFocusSafe(retry_, enable && !remoteRuns && !failedRows_.empty(), this);
}

void FirmwarePage::OnRetryFailed() {
  if (tasks_.Busy() || RemoteUpdateRunning() || failedRows_.empty()) return;
  const std::vector<int> failed = failedRows_;
  for (int row = 0; row < deviceList_->rowCount(); ++row) {
    QTableWidgetItem* check = deviceList_->item(row, 0);
    if (!check) continue;
    const bool again = std::find(failed.begin(), failed.end(), row) != failed.end();
    check->setCheckState(again ? Qt::Checked : Qt::Unchecked);
  }
  OnRemoteUpdate();
}

void FirmwarePage::DeviceRun(int row, const DeviceRunEvent& event) {
  // A device being sent to or cloned: the status line and the row's bar.
  ShowSending(row, event);
  RunOnGuiThread(this, [this, row, event] {
    deviceList_->SetRowStatus(row, Q(DeviceRunText(event)), Q(DeviceRunDetail(event)));
    // What the device runs now, as it said after its update.
    if (event.kind == DeviceRunEvent::Kind::kDone && !event.newVersion.empty() &&
        event.newVersion != "ERROR")
      deviceList_->SetVersion(row, Q(event.newVersion));
    std::erase(failedRows_, row);
    if (event.kind == DeviceRunEvent::Kind::kFailed) failedRows_.push_back(row);
    std::sort(failedRows_.begin(), failedRows_.end());
    ApplyButtons();
  });
}

void FirmwarePage::OnCloneToggled() { ApplyButtons(); }

void FirmwarePage::SetCloneMode() {
  // The box's toggled signal applies the rule.
  cloneBox_->setChecked(!cloneBox_->isChecked());
}

void FirmwarePage::ApplyModelRule(bool isMc21x) {
  RunOnGuiThread(this, [this, isMc21x] {
    const auto outcome = CloneRule::ApplyModelRule(isMc21x, cloneBox_->isChecked());
    if (outcome.flipClone) SetCloneMode();
    cloneBox_->setEnabled(outcome.cloneBoxEnabled);
  });
}

void FirmwarePage::SetStatus(const std::string& text) {
  RunOnGuiThread(this, [this, text] { status_->setText(Q(text)); });
}

void FirmwarePage::SetProgress(int percent) {
  RunOnGuiThread(this, [this, percent] { progress_->setValue(percent); });
}

void FirmwarePage::EnableButtons(bool enable) {
  // The rest of the line's users (Open, Reboot, Reload, the Configuration page)
  // follow the line's lease, which the update holds while it runs.
  RunOnGuiThread(this, [this, enable] {
    buttonsEnabled_ = enable;
    ApplyButtons();
  });
}

void FirmwarePage::ShowDeviceTexts(const DeviceInfo& device) {
  RunOnGuiThread(this, [this, device] { emit deviceInformationChanged(device); });
}

void FirmwarePage::ReloadDefinitions(const std::string& fileName) {
  RunOnGuiThread(this,
                 [this, fileName] { emit definitionsToReload(QString::fromStdString(fileName)); });
}

void FirmwarePage::Progress(const DeviceRunEvent& event) {
  // The local update's image: the status line, the bar and the line under it.
  RunOnGuiThread(this, [this, event] {
    status_->setText(Q(SendingStatus(event)));
    progress_->setValue(event.percent);
    transferText_->setText(Q(SendingBytes(event)));
  });
}

void FirmwarePage::Finished(FirmwareOutcome /*outcome*/) {
  RunOnGuiThread(this, [this] {
    transferEnded_ = true;
    ++finishedCount_;
    cancel_->setEnabled(false);
    ApplyButtons();
    // A "Stop the update?" box still open asks about nothing now: the local
    // transfer, or the remote sequence's last device, has ended.
    if (stopQuestion_ && !RemoteUpdateRunning()) stopQuestion_->request_stop();
  });
}

void FirmwarePage::SetRowProgress(int row, int percent) {
  // The list takes a worker's value itself and repaints on its own thread.
  deviceList_->SetRowProgress(row, percent);
}

}  // namespace zendra
