#include "config/ui/ConfigPage.h"

#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QFontMetrics>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QTreeWidget>
#include <QVBoxLayout>
#include <algorithm>
#include <filesystem>
#include <memory>

#include "config/ParameterFilter.h"
#include "config/TransferSummary.h"
#include "config/ui/DefinitionText.h"
#include "config/ui/ImportCompareDialog.h"
#include "discovery/ui/ScanDialog.h"
#include "widgets/ConnectionControls.h"
#include "widgets/ControlIds.h"
#include "widgets/FindControl.h"
#include "widgets/GuiThread.h"
#include "widgets/Resources.h"
#include "widgets/TemplateBuilder.h"

namespace zendra {

namespace {

using Id = ConfigPageIds;

QString Q(std::string_view text) { return DefinitionText(text); }

void SetText(QWidget* root, int id, const std::string& text) {
  if (auto* label = FindControl<QLabel>(root, id)) label->setText(Q(text));
}

// The range as the editor formats it ("min ~ max"). A range of long numbers (a
// 128-bit key) is wider than its label, and a word-wrapped label would break it
// nowhere and clip it: its two ends then go on a line each, cut in the middle,
// and the tooltip shows the range whole.
void ShowRangeText(QWidget* root, const std::string& range) {
  auto* label = FindControl<QLabel>(root, ConfigPageIds::kRangeText);
  if (!label) return;
  const QString text = Q(range);
  const QFontMetrics metrics(label->font());
  const QRect room = label->contentsRect();
  const QRect wrapped =
      metrics.boundingRect(QRect(0, 0, room.width(), 0xFFFF), Qt::TextWordWrap, text);
  if (wrapped.width() <= room.width() && wrapped.height() <= room.height()) {
    label->setText(text);
    label->setToolTip(QString());
    return;
  }
  const qsizetype tilde = text.indexOf(QStringLiteral(" ~ "));
  QStringList lines;
  if (tilde < 0) {
    lines << text;
  } else {
    lines << text.left(tilde + 2) << text.mid(tilde + 3);
  }
  for (QString& line : lines) line = metrics.elidedText(line, Qt::ElideMiddle, room.width());
  label->setText(lines.join(QLatin1Char('\n')));
  label->setToolTip(text);
}

// The item data role that holds an item's text as the definition file has it.
constexpr int kFileTextRole = Qt::UserRole;

// Where a transfer's steps go: "parameter k of n" in the page's status line, and
// the end between two parameters once the task is asked to stop (the window
// closing). Step runs on the task's thread and only posts the text: the label is
// the page's, and the page joins its task before its children go, so the label is
// there whenever the post is made (a post whose receiver has gone is dropped).
class StatusLineProgress : public TransferProgress {
 public:
  StatusLineProgress(QLabel* status, QString what, std::stop_token stop)
      : status_(status), what_(std::move(what)), stop_(std::move(stop)) {}

  void Step(int k, int n, const std::string& name) override {
    PostToGui(status_, [status = status_,
                        text = what_ + QStringLiteral(": parameter %1 of %2").arg(k).arg(n),
                        name = Q(name)] {
      status->setText(text);
      status->setToolTip(name);
    });
  }
  bool StopRequested() override { return stop_.stop_requested(); }

 private:
  QLabel* status_;
  QString what_;
  std::stop_token stop_;
};

}  // namespace

ConfigPage::ConfigPage(Connection& connection, Operator& op, QWidget* parent)
    : QWidget(parent),
      connection_(connection),
      op_(op),
      loader_(connection, definitions_, state_),
      editor_(connection, definitions_, state_),
      remote_(connection, state_),
      transfer_(connection, definitions_, state_),
      tasks_(op, this),
      definitionUpdates_(op, this) {
  InitResources();
  TemplateBuilder t(this, TemplateIds::kConfigPage);
  auto* layout = new QVBoxLayout(this);
  TemplateBuilder::Compact(layout);

  // "Remote Configuration" across the top: the box and the address on the left,
  // the remote device's product, EUI address and version on the right.
  auto* remote = t.MakeGroupBox(this, kNoControlId, QStringLiteral("Remote Configuration"));
  auto* remoteGrid = new QGridLayout(remote);
  TemplateBuilder::Compact(remoteGrid);
  remoteBox_ =
      t.MakeCheckBox(remote, Id::kRemoteSetting, QStringLiteral("Remode Device Setting"), false);
  remoteGrid->addWidget(remoteBox_, 0, 0, 1, 3);
  remoteGrid->addWidget(t.MakeStatic(remote, kNoControlId, QStringLiteral("Address")), 1, 0);
  remoteAddress_ = t.MakeEdit(remote, Id::kRemoteAddress, false);
  // An EUI address is 16 hexadecimal digits; it is read whole.
  remoteAddress_->setMinimumWidth(
      remoteAddress_->fontMetrics().horizontalAdvance(QStringLiteral("0")) * 18);
  remoteGrid->addWidget(remoteAddress_, 1, 1);
  auto* scan = t.MakeButton(remote, Id::kScan, QStringLiteral("..."), false);
  scan->setMaximumWidth(scan->fontMetrics().horizontalAdvance(QStringLiteral("...")) + 24);
  remoteGrid->addWidget(scan, 1, 2);
  const struct {
    const char* label;
    int id;
  } remoteTexts[] = {{"Product Name : ", Id::kRemoteProductName},
                     {"EUI address :", Id::kRemoteEuiAddress},
                     {"F/W Rev. :", Id::kRemoteVersion}};
  auto* remoteInfo = new QGridLayout;
  for (int i = 0; i < 3; ++i) {
    remoteInfo->addWidget(
        t.MakeStatic(remote, kNoControlId, QString::fromLatin1(remoteTexts[i].label)), i, 0);
    auto* text = t.MakeStatic(remote, remoteTexts[i].id, QString());
    text->setTextInteractionFlags(Qt::TextSelectableByMouse);
    remoteInfo->addWidget(text, i, 1);
  }
  remoteInfo->setColumnStretch(1, 1);
  remoteGrid->addLayout(remoteInfo, 0, 3, 3, 1);
  remoteGrid->setColumnStretch(3, 1);
  layout->addWidget(remote);

  // Below: the tree with "Configuration Management" under it on the left, the value
  // box on the right. The tree and the description take what the page grows by.
  auto* lower = new QHBoxLayout;
  auto* left = new QVBoxLayout;
  // The filter box above the tree: a line of its own, as narrow as the tree.
  filterBox_ = new QLineEdit(this);
  filterBox_->setObjectName(QStringLiteral("parameterFilter"));
  filterBox_->setPlaceholderText(QStringLiteral("Filter (Ctrl+F)"));
  filterBox_->setClearButtonEnabled(true);
  filterBox_->setToolTip(
      QStringLiteral("Shows the parameters whose group, name or description holds this text"));
  filterBox_->installEventFilter(this);
  left->addWidget(filterBox_);
  tree_ = new QTreeWidget(this);
  tree_->setHeaderHidden(true);
  tree_->setRootIsDecorated(true);
  tree_->setIconSize(QSize(16, 16));
  tree_->setSelectionMode(QAbstractItemView::SingleSelection);
  TemplateBuilder::Tag(tree_, Id::kTree);
  left->addWidget(tree_, 1);
  auto* management = t.MakeGroupBox(this, kNoControlId, QStringLiteral("Configuration Management"));
  auto* managementGrid = new QGridLayout(management);
  TemplateBuilder::Compact(managementGrid);
  auto* exportButton = t.MakeButton(management, Id::kExport, QStringLiteral("Export"), false);
  auto* importButton = t.MakeButton(management, Id::kImport, QStringLiteral("Import"), false);
  managementGrid->addWidget(exportButton, 0, 0);
  managementGrid->addWidget(importButton, 0, 1);
  // What an import of a file would change, before it is sent.
  compareButton_ = t.MakeButton(management, kNoControlId, QStringLiteral("Compare..."), false);
  compareButton_->setObjectName(QStringLiteral("compareButton"));
  compareButton_->setToolTip(
      QStringLiteral("Shows what an import of a configuration file would change on the device"));
  managementGrid->addWidget(compareButton_, 0, 2);
  restoreButton_ = t.MakeButton(management, Id::kRestore,
                                QString::fromLatin1(ConnectionControls::kRestoreCaption), false);
  managementGrid->addWidget(restoreButton_, 1, 0, 1, 3);
  // A running export or import says how far it is under the buttons; no line is
  // taken from the tree while none runs.
  transferStatus_ = new QLabel(management);
  transferStatus_->setObjectName(QStringLiteral("transferStatus"));
  // Its text never widens the page: what does not fit is cut, the tooltip names the
  // parameter.
  transferStatus_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  transferStatus_->hide();
  managementGrid->addWidget(transferStatus_, 2, 0, 1, 3);
  left->addWidget(management);
  lower->addLayout(left, 1);

  auto* value = t.MakeGroupBox(this, Id::kValueGroup, QString());
  auto* valueLayout = new QVBoxLayout(value);
  TemplateBuilder::Compact(valueLayout);
  valueEdit_ = t.MakeEdit(value, Id::kValueEdit, false);
  // A 128-bit key is 32 hexadecimal digits: the box is wide enough to show one
  // whole; a longer value shows whole in the tooltip.
  valueEdit_->setMinimumWidth(valueEdit_->fontMetrics().horizontalAdvance(QStringLiteral("0")) *
                              34);
  valueLayout->addWidget(valueEdit_);
  auto* choiceRow = new QHBoxLayout;
  choiceBox_ = t.MakeDropDown(value, Id::kChoiceBox, false);
  saveButton_ = t.MakeButton(value, Id::kSave, QStringLiteral("Save"), false);
  choiceRow->addWidget(choiceBox_, 1);
  choiceRow->addWidget(saveButton_);
  valueLayout->addLayout(choiceRow);
  auto* description = t.MakeStatic(value, Id::kDescription, QString());
  description->setWordWrap(true);
  description->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  valueLayout->addWidget(description, 1);
  auto* rangeRow = new QHBoxLayout;
  rangeRow->addWidget(t.MakeStatic(value, Id::kRangeLabel, QStringLiteral("Range :")));
  auto* rangeText = t.MakeStatic(value, Id::kRangeText, QString());
  rangeText->setWordWrap(true);
  rangeRow->addWidget(rangeText, 1);
  valueLayout->addLayout(rangeRow);
  lower->addWidget(value, 1);
  layout->addLayout(lower, 1);

  // The outcome of the last Save, Export or Import, across the foot of the page.
  auto* outcome = new QHBoxLayout;
  TemplateBuilder::Compact(outcome);
  outcomeLine_ = new QLabel(this);
  outcomeLine_->setObjectName(QStringLiteral("outcomeLine"));
  outcomeLine_->setWordWrap(true);
  // A log's path can be selected and copied by hand as well.
  outcomeLine_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  outcomeLine_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
  outcomeLine_->hide();
  outcome->addWidget(outcomeLine_, 1);
  copyLogPath_ = new QPushButton(QStringLiteral("Copy log path"), this);
  copyLogPath_->setObjectName(QStringLiteral("copyLogPath"));
  copyLogPath_->setToolTip(QStringLiteral("Puts the error log's path on the clipboard"));
  copyLogPath_->hide();
  outcome->addWidget(copyLogPath_);
  layout->addLayout(outcome);

  // Tab goes as the eye does: from the tree to the value of the parameter picked
  // in it and its Save, then to the management buttons under the tree.
  QWidget::setTabOrder(filterBox_, tree_);
  QWidget::setTabOrder(tree_, valueEdit_);
  QWidget::setTabOrder(valueEdit_, choiceBox_);
  QWidget::setTabOrder(choiceBox_, saveButton_);
  QWidget::setTabOrder(saveButton_, exportButton);
  QWidget::setTabOrder(exportButton, importButton);
  QWidget::setTabOrder(importButton, compareButton_);
  QWidget::setTabOrder(compareButton_, restoreButton_);
  QWidget::setTabOrder(restoreButton_, copyLogPath_);

  // Image 0 (resource 144) while selected, image 1 (resource 139) otherwise; the
  // item views draw the Selected mode of an icon for a selected item.
  itemIcon_.addPixmap(QPixmap(QStringLiteral(":/icons/tree-item.png")), QIcon::Normal);
  itemIcon_.addPixmap(QPixmap(QStringLiteral(":/icons/tree-selected.png")), QIcon::Selected);

  // The first refresh shows the empty fields: the range label loses its template
  // text "Range :" here.
  RefreshControls();

  // The selection is the tree's only event that does work; a click on an item that
  // is already selected, and typing into the value edit, do nothing.
  connect(tree_, &QTreeWidget::itemSelectionChanged, this, &ConfigPage::SelectParameter);
  connect(saveButton_, &QPushButton::clicked, this, &ConfigPage::SaveParameter);
  connect(restoreButton_, &QPushButton::clicked, this, &ConfigPage::RestoreOrReboot);
  // The operator's click only: the page sets the box itself when it shows a result.
  connect(remoteBox_, &QCheckBox::clicked, this, &ConfigPage::ToggleRemoteDevice);
  connect(scan, &QPushButton::clicked, this, &ConfigPage::BrowseRemoteDevice);
  connect(exportButton, &QPushButton::clicked, this, &ConfigPage::ExportConfiguration);
  connect(importButton, &QPushButton::clicked, this, &ConfigPage::ImportConfiguration);
  connect(compareButton_, &QPushButton::clicked, this, &ConfigPage::CompareConfiguration);
  connect(copyLogPath_, &QPushButton::clicked, this, [this] {
    QGuiApplication::clipboard()->setText(QString::fromStdString(outcomeLogPath_));
  });
  connect(filterBox_, &QLineEdit::textChanged, this, &ConfigPage::FilterParameters);
  // Ctrl+F while the page shows: the cursor goes into the filter box.
  auto* find = new QShortcut(QKeySequence::Find, this);
  connect(find, &QShortcut::activated, this, [this] {
    filterBox_->setFocus(Qt::ShortcutFocusReason);
    filterBox_->selectAll();
  });
}

void ConfigPage::LoadParameterFile(LoadMode mode, const std::string& name) {
  // The callers clear before they load, but a tree filled twice would list every
  // group twice, and its selected item would belong to the former table.
  ClearParameterTree();
  ++loadCount_;
  // kLoad reads the file (the failure row when there is none) and builds the name
  // table; kClear leaves both empty, and the tree with them.
  loader_.LoadParameterFile(mode, name);
  if (mode != LoadMode::kLoad) RefreshControls();
  FillParameterTree();
}

void ConfigPage::ClearParameterTree() {
  {
    // Deleting the selected item changes the selection; that is no operator's pick.
    const QSignalBlocker quiet(tree_);
    tree_->clear();
  }
  loader_.ClearParameterTree();
  ApplySelection(editor_.ClearSelection());
}

void ConfigPage::FillParameterTree() {
  {
    const QSignalBlocker quiet(tree_);
    for (const auto& row : definitions_.TreeRows()) {
      QTreeWidgetItem* group = AddDefinitionItem(nullptr, row.group);
      for (const std::string_view name : row.names) AddDefinitionItem(group, name);
    }
  }
  // A new tree shows as the filter box says; its groups start closed.
  expandedBeforeFilter_.reset();
  FilterParameters();
}

void ConfigPage::FilterParameters() {
  const ParameterFilter filter(filterBox_->text().toStdString());
  const std::vector<ParameterFilter::Row> rows = filter.Apply(definitions_);
  // Hiding and opening items is no operator's pick: the selection stays, and
  // nothing is read.
  const QSignalBlocker quiet(tree_);
  const int count = tree_->topLevelItemCount();
  if (!filter.Empty() && !expandedBeforeFilter_) {
    expandedBeforeFilter_.emplace();
    for (int r = 0; r < count; ++r)
      expandedBeforeFilter_->push_back(tree_->topLevelItem(r)->isExpanded());
  }
  // The tree holds the rows in their order (FillParameterTree).
  for (int r = 0; r < count; ++r) {
    QTreeWidgetItem* group = tree_->topLevelItem(r);
    const ParameterFilter::Row* row =
        static_cast<std::size_t>(r) < rows.size() ? &rows[static_cast<std::size_t>(r)] : nullptr;
    group->setHidden(row && !row->shown);
    for (int c = 0; c < group->childCount(); ++c) {
      const bool shown = !row || static_cast<std::size_t>(c) >= row->namesShown.size() ||
                         row->namesShown[static_cast<std::size_t>(c)];
      group->child(c)->setHidden(!shown);
    }
    if (!filter.Empty()) group->setExpanded(!row || row->shown);
  }
  if (filter.Empty() && expandedBeforeFilter_) {
    const std::vector<bool>& expanded = *expandedBeforeFilter_;
    for (int r = 0; r < count && static_cast<std::size_t>(r) < expanded.size(); ++r)
      tree_->topLevelItem(r)->setExpanded(expanded[static_cast<std::size_t>(r)]);
    expandedBeforeFilter_.reset();
    // The selected item, in view again.
    if (QTreeWidgetItem* current = tree_->currentItem()) {
      if (current->parent() && current->isSelected()) current->parent()->setExpanded(true);
      tree_->scrollToItem(current);
    }
  }
}

bool ConfigPage::eventFilter(QObject* watched, QEvent* event) {
  if (watched == filterBox_ && event->type() == QEvent::KeyPress) {
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier) {
      // Esc clears the box; it never reaches the window.
      filterBox_->clear();
      return true;
    }
    if (key->key() == Qt::Key_Down && key->modifiers() == Qt::NoModifier) {
      tree_->setFocus(Qt::TabFocusReason);
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

void ConfigPage::ReloadDefinitions(const std::string& name) {
  // The load empties the tree and the value box caption before it reads the file.
  LoadParameterFile(LoadMode::kLoad, name);
}

void ConfigPage::InstallDefinitionUpdates(
    std::function<void(const std::string& folder, std::stop_token)> check) {
  loader_.startConfigUpdates = [this, check](const std::string& folder, const std::string& name) {
    const int load = loadCount_;
    return definitionUpdates_.Run([check, folder](std::stop_token stop) { check(folder, stop); },
                                  [this, name, load] {
                                    // Another load since (the port closed, another
                                    // device): its tree stays.
                                    if (load != loadCount_) return;
                                    ClearParameterTree();
                                    ++loadCount_;
                                    loader_.LoadAfterUpdate(name);
                                    FillParameterTree();
                                    RefreshControls();
                                  });
  };
}

void ConfigPage::ClearConnectionTexts() {
  state_.remoteProductName.clear();
  state_.remoteEuiAddress.clear();
  state_.remoteVersion.clear();
  state_.rangeLabel.clear();
  state_.rangeText.clear();
  remoteBox_->setChecked(false);
  restoreButton_->setText(QString::fromLatin1(ConnectionControls::kRestoreCaption));
  RefreshControls();
}

void ConfigPage::RefreshControls() {
  if (auto* group = FindControl<QGroupBox>(this, Id::kValueGroup))
    group->setTitle(Q(state_.caption));
  SetText(this, Id::kDescription, state_.description);
  ShowRangeText(this, state_.rangeText);
  SetText(this, Id::kRangeLabel, state_.rangeLabel);
  SetText(this, Id::kRemoteProductName, state_.remoteProductName);
  SetText(this, Id::kRemoteEuiAddress, state_.remoteEuiAddress);
  SetText(this, Id::kRemoteVersion, state_.remoteVersion);
}

QTreeWidgetItem* ConfigPage::AddTreeItem(QTreeWidgetItem* parent, const QString& text) {
  auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree_);
  item->setText(0, text);
  item->setIcon(0, itemIcon_);
  return item;
}

QTreeWidgetItem* ConfigPage::AddDefinitionItem(QTreeWidgetItem* parent, std::string_view text) {
  QTreeWidgetItem* item = AddTreeItem(parent, Q(text));
  item->setData(0, kFileTextRole, QByteArray(text.data(), static_cast<qsizetype>(text.size())));
  return item;
}

void ConfigPage::SelectParameter() {
  const QList<QTreeWidgetItem*> selected = tree_->selectedItems();
  if (selected.isEmpty()) return;
  const QTreeWidgetItem* item = selected.front();
  const QVariant fileText = item->data(0, kFileTextRole);
  const std::string text =
      fileText.isValid() ? fileText.toByteArray().toStdString() : item->text(0).toStdString();

  // While the module is asked, neither the value nor Save of the former selection
  // may be used.
  saveButton_->setEnabled(false);
  valueEdit_->setEnabled(false);
  choiceBox_->setEnabled(false);
  valueEdit_->clear();

  pendingSelection_ = text;
  ReadPendingSelection();
}

void ConfigPage::ReadPendingSelection() {
  if (!pendingSelection_ || tasks_.Busy()) return;
  const std::string text = std::move(*pendingSelection_);
  pendingSelection_.reset();
  auto result = std::make_shared<std::optional<SelectionResult>>();
  tasks_.Run(
      [this, text, result](std::stop_token stop) {
        auto line = connection_.TryLease("parameter read", stop);
        if (line) *result = editor_.SelectParameter(*line, text);
      },
      [this, result] {
        // A later pick is read next; only its result is shown.
        if (!pendingSelection_ && *result) ApplySelection(**result);
        ReadPendingSelection();
      });
}

void ConfigPage::ApplySelection(const SelectionResult& result) {
  if (!result.choiceItemsKept)
    FillChoiceBox(result.choiceItems, result.choiceData, result.choiceSelection);
  shownValue_ = result.valueText;
  valueEdit_->setText(Q(shownValue_));
  // A value wider than the box is readable whole over it.
  valueEdit_->setToolTip(Q(shownValue_));
  valueEdit_->setEnabled(result.valueEditEnabled);
  choiceBox_->setEnabled(result.choiceBoxEnabled);
  saveButton_->setEnabled(result.saveEnabled);
  // A selection that ended early (the port is closed) leaves the texts on show.
  if (!result.refresh) return;
  if (auto* group = FindControl<QGroupBox>(this, Id::kValueGroup))
    group->setTitle(Q(result.caption));
  SetText(this, Id::kDescription, result.description);
  ShowRangeText(this, result.rangeText);
  SetText(this, Id::kRangeLabel, result.rangeLabel);
}

void ConfigPage::FillChoiceBox(const std::vector<std::string>& texts,
                               const std::vector<int>& itemData, std::optional<int> selection) {
  choiceBox_->clear();
  const std::size_t n = std::min(texts.size(), itemData.size());
  for (std::size_t k = 0; k < n; ++k) choiceBox_->addItem(Q(texts[k]), itemData[k]);
  choiceBox_->setCurrentIndex(selection.value_or(-1));
}

void ConfigPage::SaveParameter() {
  SaveInput input;
  input.choiceText = choiceBox_->currentText().toStdString();
  // Typing into the box leaves the list's current item behind; the text shown is
  // then the operator's own, and no list item counts as selected.
  const int index = choiceBox_->currentIndex();
  if (index >= 0 && choiceBox_->itemText(index) == choiceBox_->currentText())
    input.choiceSelection = index;
  // A value saved as it was read goes back as the module's own bytes, whatever the
  // display made of them; a typed value is sent as typed (UTF-8).
  const QString edited = valueEdit_->text();
  input.editText = edited == Q(shownValue_) ? shownValue_ : edited.toStdString();

  auto saved = std::make_shared<bool>(false);
  tasks_.Run(
      [this, input, saved](std::stop_token stop) {
        if (auto line = connection_.TryLease("parameter save", stop))
          *saved = editor_.SaveParameter(*line, input) == SaveResult::kSaved;
      },
      [this, saved] {
        // A refused value has said why in its message; the line then says nothing
        // of an earlier save.
        ShowOutcome(*saved ? editor_.LastSaveSummary() : std::string());
        if (*saved && editor_.NodeNameReadAgain()) emit DeviceInfoChanged();
        ReadPendingSelection();
      });
}

void ConfigPage::ShowOutcome(const std::string& text, const std::string& logPath) {
  outcomeLine_->setText(Q(text));
  outcomeLine_->setToolTip(Q(text));
  outcomeLine_->setVisible(!text.empty());
  outcomeLogPath_ = logPath;
  copyLogPath_->setVisible(!text.empty() && !logPath.empty());
}

void ConfigPage::RestoreOrReboot() {
  tasks_.Run([this](std::stop_token stop) {
    if (auto line = connection_.TryLease("factory default", stop)) editor_.RestoreOrReboot(*line);
  });
}

void ConfigPage::SaveOnEnter() {
  if (saveButton_->isEnabled()) SaveParameter();
}

void ConfigPage::SetConnected(bool connected) {
  for (const auto& control : ConnectionControls::NeedingConnection()) {
    if (control.window != ControlWindow::kConfigPage) continue;
    if (auto* widget = FindControl(this, control.id)) widget->setEnabled(connected);
  }
  // Compare goes with Import.
  compareButton_->setEnabled(connected);
  // An outcome belongs to the device it was about.
  if (!connected) ShowOutcome({});
}

bool ConfigPage::SelectTreeItem(const std::string& path) {
  const std::size_t slash = path.find('/');
  if (slash == std::string::npos) return false;
  const QString group = Q(std::string_view(path).substr(0, slash));
  const QString name = Q(std::string_view(path).substr(slash + 1));
  for (int g = 0; g < tree_->topLevelItemCount(); ++g) {
    QTreeWidgetItem* root = tree_->topLevelItem(g);
    if (root->text(0) != group) continue;
    for (int c = 0; c < root->childCount(); ++c) {
      if (root->child(c)->text(0) != name) continue;
      tree_->expandItem(root);
      tree_->setCurrentItem(root->child(c));
      return true;
    }
  }
  return false;
}

void ConfigPage::ToggleRemoteDevice() {
  if (!remoteBox_->isChecked()) {
    // Nothing is sent to go back; but a task of the page still at work addresses
    // the remote device, and the box stays ticked until it has ended.
    if (tasks_.Busy()) {
      remoteBox_->setChecked(true);
      return;
    }
    ApplyRemoteDevice(remote_.LeaveRemoteDevice());
    return;
  }

  const std::string address = remoteAddress_->text().toStdString();
  const auto scanned = scannedNodeNames_.find(address);
  const std::string nodeName = scanned == scannedNodeNames_.end() ? "" : scanned->second;
  auto result = std::make_shared<std::optional<RemoteDeviceResult>>();
  const bool started = tasks_.Run(
      [this, address, nodeName, result](std::stop_token stop) {
        if (auto line = connection_.TryLease("remote identification", stop))
          *result = remote_.EnterRemoteDevice(*line, address, nodeName);
      },
      [this, result] {
        if (*result) {
          ApplyRemoteDevice(**result);
          return;
        }
        // The line was in use: nothing was asked, the page stays local.
        remoteBox_->setChecked(false);
        remoteBox_->setEnabled(connection_.IsOpen());
        remoteAddress_->setEnabled(connection_.IsOpen());
        ReadPendingSelection();
      });
  if (!started) {
    remoteBox_->setChecked(false);
    return;
  }
  // Neither the box nor the address may change while the device is asked.
  remoteBox_->setEnabled(false);
  remoteAddress_->setEnabled(false);
}

void ConfigPage::ApplyRemoteDevice(const RemoteDeviceResult& result) {
  remoteBox_->setChecked(result.boxChecked);
  remoteBox_->setEnabled(connection_.IsOpen());
  remoteAddress_->setEnabled(result.addressEditEnabled && connection_.IsOpen());
  restoreButton_->setText(Q(result.restoreCaption));
  if (result.rangeCleared) {
    state_.rangeLabel.clear();
    state_.rangeText.clear();
  }
  // The remote texts show before the load, whose questions may come up.
  RefreshControls();
  if (result.definitionFile) {
    // A pick made meanwhile names an item of the tree that goes now.
    pendingSelection_.reset();
    LoadParameterFile(LoadMode::kClear, "");
    LoadParameterFile(LoadMode::kLoad, *result.definitionFile);
    RefreshControls();
  }
  ReadPendingSelection();
}

void ConfigPage::BrowseRemoteDevice() {
  // The scan needs the line; the page's own task would refuse it.
  if (tasks_.Busy()) return;
  const auto choice = ScanDialog::ChooseRemoteDevice(connection_, op_, this);
  if (!choice) return;
  // Only the address: the operator ticks the box to reach the device. Its node
  // name names it in messages while that address stays in the box.
  scannedNodeNames_[choice->address] = choice->nodeName;
  remoteAddress_->setText(Q(choice->address));
  RefreshControls();
}

void ConfigPage::ExportConfiguration() {
  if (tasks_.Busy()) return;
  const auto path = ConfigurationTransfer::ChooseExportFile(op_);
  if (!path) return;
  auto result = std::make_shared<ExportResult>();
  result->outcome = ExportResult::Outcome::kStopped;
  RunTransfer(
      "export", QStringLiteral("Export"),
      [this, path = *path, result](LineLease& line, TransferProgress& progress) {
        *result = transfer_.ExportConfiguration(line, path, &progress);
      },
      [this, path = *path, result] {
        ShowOutcome(TransferSummary::Export(*result, path), result->logPath);
        ReadPendingSelection();
      });
}

void ConfigPage::ImportConfiguration() {
  if (tasks_.Busy()) return;
  const auto path = ConfigurationTransfer::ChooseImportFile(op_);
  if (!path) return;
  RunImport(*path, [this, path = *path](LineLease& line, TransferProgress& progress) {
    return transfer_.ImportConfiguration(line, path, &progress);
  });
}

void ConfigPage::CompareConfiguration() {
  if (tasks_.Busy()) return;
  if (const auto path = ConfigurationTransfer::ChooseImportFile(op_)) CompareFile(*path);
}

void ConfigPage::CompareFile(const std::string& path) {
  if (tasks_.Busy()) return;
  // The import's own first steps (an invalid file, the version question), then the
  // device's values; the dialog opens once the task has ended.
  struct Comparison {
    std::optional<PreparedImport> prepared;
    std::optional<ConfigurationDiff> diff;
  };
  auto comparison = std::make_shared<Comparison>();
  RunTransfer(
      "compare", QStringLiteral("Compare"),
      [this, path, comparison](LineLease& line, TransferProgress& progress) {
        comparison->prepared = transfer_.PrepareImport(path);
        if (comparison->prepared->outcome != ImportResult::Outcome::kDone) return;
        comparison->diff = ConfigurationDiff::CompareWithDevice(
            transfer_, line, comparison->prepared->plan, &progress);
      },
      [this, path, comparison] {
        if (!comparison->diff || comparison->diff->stopped ||
            !ImportCompareDialog::Ask(
                *comparison->diff,
                QString::fromStdString(std::filesystem::path(path).filename().string()), this)) {
          ReadPendingSelection();
          return;
        }
        // The plan that was compared is the one sent: the file is not read again,
        // and its version question has been answered.
        RunImport(path, [this, path, plan = comparison->prepared->plan](
                            LineLease& line, TransferProgress& progress) {
          return transfer_.SendImport(line, path, plan, {}, &progress);
        });
      });
}

void ConfigPage::RunImport(const std::string& path,
                           std::function<ImportResult(LineLease&, TransferProgress&)> work) {
  auto result = std::make_shared<ImportResult>();
  result->outcome = ImportResult::Outcome::kStopped;
  RunTransfer(
      "import", QStringLiteral("Import"),
      [work = std::move(work), result](LineLease& line, TransferProgress& progress) {
        *result = work(line, progress);
      },
      [this, path, result] {
        ShowOutcome(TransferSummary::Import(*result, path), result->logPath);
        ReadPendingSelection();
      });
}

void ConfigPage::RunTransfer(const char* holder, const QString& what,
                             std::function<void(LineLease&, TransferProgress&)> work,
                             std::function<void()> then) {
  const bool started = tasks_.Run(
      [this, holder, what, work = std::move(work)](std::stop_token stop) {
        auto line = connection_.TryLease(holder, stop);
        if (!line) return;
        StatusLineProgress progress(transferStatus_, what, stop);
        work(*line, progress);
      },
      [this, then = std::move(then)] {
        // Every step posted before the task's end has been shown by now.
        transferStatus_->hide();
        transferStatus_->clear();
        transferStatus_->setToolTip(QString());
        if (then) {
          then();
        } else {
          ReadPendingSelection();
        }
      });
  if (!started) return;
  transferStatus_->setText(what + QStringLiteral(": starting"));
  transferStatus_->show();
}

}  // namespace zendra
