#include "firmware/ui/FirmwarePage.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>
#include <QThread>

#include "firmware/CloneRule.h"
#include "widgets/ConnectionControls.h"
#include "widgets/ControlIds.h"
#include "widgets/FindControl.h"
#include "widgets/FocusKeeper.h"
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

const FirmwarePage::Column FirmwarePage::kColumns[7] = {
    {"", 22},          {"Type", 45},     {"IEEE Address", 140}, {"Version", 63},
    {"ModelType", 85}, {"NodeName", 85}, {"Progress", 152},
};

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
  setMinimumSize(t.Units().Size(kWidthDlu, kHeightDlu));

  t.GroupBox(kNoControlId, QStringLiteral("Message"), 0, 3, 300, 27);
  status_ = t.Static(Id::kStatus, QString(), 8, 15, 284, 9);

  t.GroupBox(kNoControlId, QStringLiteral("Firmware File"), 0, 34, 300, 52);
  t.Static(kNoControlId, QStringLiteral("File location:"), 8, 47, 48, 9);
  pathEdit_ = t.Edit(Id::kFilePath, 58, 45, 234, 12);
  // It shows the chosen image; Choose and the web download set it. Typed text was
  // never sent, so it is not taken.
  pathEdit_->setReadOnly(true);
  auto* choose =
      t.Button(Id::kChooseFile, QStringLiteral("Choose file in local PC"), 8, 64, 110, 14, false);
  t.Button(Id::kDownload, QStringLiteral("Download from web server"), 122, 64, 110, 14, false);

  t.GroupBox(kNoControlId, QStringLiteral("Local Device Update"), 0, 90, 300, 32);
  progress_ = t.ProgressBar(Id::kLocalProgress, 8, 103, 230, 12);
  auto* localUpdate = t.Button(Id::kLocalUpdate, QStringLiteral("Update"), 244, 102, 48, 14, false);

  t.GroupBox(kNoControlId, QStringLiteral("Remote Device Update"), 0, 126, 300, 194);
  deviceList_ = new QTableWidget(this);
  t.Place(deviceList_, Id::kDeviceList, 8, 138, 284, 156);
  t.Button(Id::kSearch, QStringLiteral("Search"), 8, 300, 48, 14, false);
  cloneBox_ = t.CheckBox(Id::kClone, QStringLiteral("Clone local firmware"), 64, 302, 100, 10);
  t.Button(Id::kRemoteUpdate, QStringLiteral("Update"), 244, 300, 48, 14, false);

  // The report list: seven left-aligned columns, grid lines, a check box per row in
  // column 0 (the rows are added by the search), no rows at start.
  deviceList_->setColumnCount(7);
  QStringList headers;
  for (const auto& column : kColumns) headers << QString::fromLatin1(column.header);
  deviceList_->setHorizontalHeaderLabels(headers);
  deviceList_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  deviceList_->horizontalHeader()->setHighlightSections(false);
  // The check box column is narrower than the style's usual least section.
  deviceList_->horizontalHeader()->setMinimumSectionSize(16);
  for (int i = 0; i < 7; ++i) deviceList_->setColumnWidth(i, kColumns[i].width);
  deviceList_->verticalHeader()->setVisible(false);
  deviceList_->setShowGrid(true);
  deviceList_->setSelectionBehavior(QAbstractItemView::SelectRows);
  deviceList_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  deviceList_->setRowCount(0);

  connect(cloneBox_, &QCheckBox::clicked, this, [this] { OnCloneToggled(); });
  connect(choose, &QPushButton::clicked, this, &FirmwarePage::OnChooseFile);
  connect(localUpdate, &QPushButton::clicked, this, &FirmwarePage::OnLocalUpdate);
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
  updatePreparing_ = tasks_.Run(
      [this](std::stop_token stop) {
        auto line = connection_.TryLease("firmware update", stop);
        if (line) update_.OnLocalUpdate(std::move(*line));
      },
      [this] { updatePreparing_ = false; });
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

void FirmwarePage::SetRowProgress(int row, int percent) {
  OnGuiThread([this, row, percent] {
    if (row < 0 || row >= deviceList_->rowCount()) return;
    if (auto* bar = qobject_cast<QProgressBar*>(deviceList_->cellWidget(row, 6))) {
      bar->setValue(percent);
    }
  });
}

}  // namespace zendra
