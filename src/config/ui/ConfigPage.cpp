#include "config/ui/ConfigPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QSignalBlocker>
#include <QStringDecoder>
#include <QTreeWidget>
#include <algorithm>

#include <memory>

#include "widgets/ConnectionControls.h"
#include "widgets/ControlIds.h"
#include "widgets/FindControl.h"
#include "widgets/Resources.h"
#include "widgets/TemplateBuilder.h"

namespace zendra {

namespace {

using Id = ConfigPageIds;

constexpr int kWidthDlu = 264;
constexpr int kHeightDlu = 252;

// The definition files and the module's replies are single-byte text. Files
// written on Linux are UTF-8; files from the Windows tool are in its code page, for
// which Latin-1 is the closest reading and never fails.
QString Q(std::string_view text) {
  QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
  QString decoded = utf8(QByteArrayView(text.data(), static_cast<qsizetype>(text.size())));
  if (!utf8.hasError()) return decoded;
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

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

}  // namespace

ConfigPage::ConfigPage(Connection& connection, Operator& op, QWidget* parent)
    : QWidget(parent),
      connection_(connection),
      op_(op),
      loader_(connection, definitions_, state_),
      editor_(connection, definitions_, state_),
      tasks_(op, this) {
  InitResources();
  TemplateBuilder t(this, TemplateIds::kConfigPage);
  setMinimumSize(t.Units().Size(kWidthDlu, kHeightDlu));

  // Group boxes first, so that they lie below the controls they frame.
  t.GroupBox(kNoControlId, QStringLiteral("Remote Configuration"), 0, 3, 264, 46);
  t.GroupBox(kNoControlId, QStringLiteral("Configuration Management"), 1, 198, 124, 47);
  t.GroupBox(Id::kValueGroup, QString(), 133, 51, 131, 194);

  tree_ = new QTreeWidget(this);
  tree_->setHeaderHidden(true);
  tree_->setRootIsDecorated(true);
  tree_->setIconSize(QSize(16, 16));
  tree_->setSelectionMode(QAbstractItemView::SingleSelection);
  t.Place(tree_, Id::kTree, 2, 55, 123, 142);

  t.Button(Id::kExport, QStringLiteral("Export"), 9, 210, 53, 14, false);
  t.Button(Id::kImport, QStringLiteral("Import"), 66, 210, 53, 14, false);
  auto* restore = t.Button(Id::kRestore, QString::fromLatin1(ConnectionControls::kRestoreCaption),
                           9, 227, 110, 14, false);

  valueEdit_ = t.Edit(Id::kValueEdit, 141, 62, 112, 12, false);
  saveButton_ = t.Button(Id::kSave, QStringLiteral("Save"), 211, 77, 42, 12, false);
  choiceBox_ = t.DropDown(Id::kChoiceBox, 141, 77, 67, 68, false);
  t.Static(Id::kDescription, QString(), 139, 93, 112, 119)->setWordWrap(true);
  t.Static(Id::kRangeLabel, QStringLiteral("Range :"), 136, 224, 25, 16);
  t.Static(Id::kRangeText, QString(), 163, 224, 92, 18)->setWordWrap(true);

  t.CheckBox(Id::kRemoteSetting, QStringLiteral("Remode Device Setting"), 4, 15, 91, 8, false);
  t.Static(kNoControlId, QStringLiteral("Address"), 4, 29, 29, 9);
  t.Edit(Id::kRemoteAddress, 35, 28, 76, 12, false);
  t.Button(Id::kScan, QStringLiteral("..."), 111, 28, 14, 12, false);
  t.Static(kNoControlId, QStringLiteral("Product Name : "), 134, 11, 51, 8);
  t.Static(Id::kRemoteProductName, QString(), 187, 10, 67, 8);
  t.Static(kNoControlId, QStringLiteral("EUI address :"), 134, 22, 45, 8);
  t.Static(Id::kRemoteEuiAddress, QString(), 182, 22, 70, 8);
  t.Static(kNoControlId, QStringLiteral("F/W Rev. :"), 134, 34, 34, 8);
  t.Static(Id::kRemoteVersion, QString(), 172, 34, 55, 8);

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
  connect(restore, &QPushButton::clicked, this, &ConfigPage::RestoreOrReboot);
}

void ConfigPage::LoadParameterFile(LoadMode mode, const std::string& name) {
  // The callers clear before they load, but a tree filled twice would list every
  // group twice, and its selected item would belong to the former table.
  ClearParameterTree();
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
  const QSignalBlocker quiet(tree_);
  for (const auto& row : definitions_.TreeRows()) {
    QTreeWidgetItem* group = AddDefinitionItem(nullptr, row.group);
    for (const std::string_view name : row.names) AddDefinitionItem(group, name);
  }
}

void ConfigPage::ReloadDefinitions(const std::string& name) {
  // The load empties the tree and the value box caption before it reads the file.
  LoadParameterFile(LoadMode::kLoad, name);
}

void ConfigPage::ClearConnectionTexts() {
  state_.remoteProductName.clear();
  state_.remoteEuiAddress.clear();
  state_.remoteVersion.clear();
  state_.rangeLabel.clear();
  state_.rangeText.clear();
  if (auto* box = FindControl<QCheckBox>(this, Id::kRemoteSetting)) box->setChecked(false);
  if (auto* restore = FindControl<QPushButton>(this, Id::kRestore)) {
    restore->setText(QString::fromLatin1(ConnectionControls::kRestoreCaption));
  }
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

  tasks_.Run([this, input](std::stop_token stop) {
    if (auto line = connection_.TryLease("parameter save", stop))
      editor_.SaveParameter(*line, input);
  });
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

}  // namespace zendra
