#include "config/ui/ConfigPage.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QTreeWidget>

#include "app/ConnectionControls.h"
#include "app/ControlIds.h"
#include "app/ui/FindControl.h"
#include "app/ui/Resources.h"
#include "app/ui/TemplateBuilder.h"

namespace zendra {

namespace {

using Id = ConfigPageIds;

constexpr int kWidthDlu = 264;
constexpr int kHeightDlu = 252;

QString Q(const std::string& text) { return QString::fromStdString(text); }

void SetText(QWidget* root, int id, const std::string& text) {
  if (auto* label = FindControl<QLabel>(root, id)) label->setText(Q(text));
}

}  // namespace

ConfigPage::ConfigPage(Connection& connection, Operator& op, QWidget* parent)
    : QWidget(parent), connection_(connection), op_(op) {
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
  t.Button(Id::kRestore, QString::fromLatin1(ConnectionControls::kRestoreCaption), 9, 227, 110, 14,
           false);

  t.Edit(Id::kValueEdit, 141, 62, 112, 12, false);
  t.Button(Id::kSave, QStringLiteral("Save"), 211, 77, 42, 12, false);
  t.DropDown(Id::kChoiceBox, 141, 77, 67, 68, false);
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
}

void ConfigPage::LoadParameterFile(int mode, const std::string& name) {
  // Only the clearing half is here so far. Loading (mode 1) is the configuration
  // work's: it parses `name` from the program folder and fills the tree through
  // AddTreeItem; until then mode 1 leaves the page as it is.
  (void)name;
  if (mode == 1) return;
  tree_->clear();
  RefreshControls();
}

void ConfigPage::ReloadDefinitions(const std::string& name) {
  tree_->clear();
  state_.caption.clear();
  RefreshControls();
  LoadParameterFile(1, name);
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
  SetText(this, Id::kRangeText, state_.rangeText);
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

}  // namespace zendra
