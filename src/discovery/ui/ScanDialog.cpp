#include "discovery/ui/ScanDialog.h"

#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QThread>

#include "config/ui/DefinitionText.h"
#include "device/Connection.h"
#include "widgets/ControlIds.h"
#include "widgets/GuiThread.h"
#include "widgets/TemplateBuilder.h"

namespace zendra {

namespace {

using Id = ScanDialogIds;

constexpr int kWidthDlu = 279;
constexpr int kHeightDlu = 187;
constexpr int kAddressColumn = 2;
constexpr int kNodeNameColumn = 5;

}  // namespace

const ScanDialog::Column ScanDialog::kColumns[6] = {
    {"Inx", 35},     {"Type", 45},      {"IEEE Address", 170},
    {"Version", 70}, {"ModelType", 70}, {"NodeName", 203},
};

ScanDialog::ScanDialog(Connection& connection, Operator& op, QWidget* parent)
    : QDialog(parent), connection_(connection), relay_(op, this), tasks_(relay_, this) {
  setWindowTitle(QStringLiteral("Scan"));
  setModal(true);

  // --- Placement of template 140 ---
  TemplateBuilder t(this, TemplateIds::kScanDialog);
  resize(t.Units().Size(kWidthDlu, kHeightDlu));
  setMinimumSize(t.Units().Size(kWidthDlu, kHeightDlu));
  list_ = new QTableWidget(this);
  t.Place(list_, Id::kDeviceList, 7, 7, 265, 158);
  auto* search = t.Button(Id::kSearch, QStringLiteral("Search"), 7, 166, 50, 14);
  auto* apply = t.Button(Id::kApply, QStringLiteral("Apply"), 222, 166, 50, 14);
  // Between the buttons: what the last search found.
  found_ = t.Static(kNoControlId, QString(), 60, 168, 159, 10);
  found_->setObjectName(QStringLiteral("scanFound"));
  // --- end of placement ---

  // A report list: six left-aligned columns, grid lines, whole rows selected.
  list_->setColumnCount(6);
  QStringList titles;
  for (const auto& column : kColumns) titles << QString::fromLatin1(column.title);
  list_->setHorizontalHeaderLabels(titles);
  list_->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  list_->horizontalHeader()->setHighlightSections(false);
  for (int i = 0; i < 6; ++i) list_->setColumnWidth(i, kColumns[i].width);
  // The columns take the width of what they hold (their titles while the list is
  // empty), the last one what is left: an empty list needs no scroll bar.
  list_->horizontalHeader()->setStretchLastSection(true);
  list_->setWordWrap(false);
  FitColumns();
  list_->verticalHeader()->setVisible(false);
  list_->setShowGrid(true);
  list_->setSelectionBehavior(QAbstractItemView::SelectRows);
  list_->setSelectionMode(QAbstractItemView::SingleSelection);
  list_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  list_->setRowCount(0);

  // The item-changed notifications: a row that loses the selection or the focus is
  // told before the one that gains it.
  auto* selection = list_->selectionModel();
  connect(selection, &QItemSelectionModel::selectionChanged, this,
          [this](const QItemSelection& selected, const QItemSelection& deselected) {
            for (const auto& range : deselected)
              for (int row = range.top(); row <= range.bottom(); ++row) OnItemChanged(row);
            for (const auto& range : selected)
              for (int row = range.top(); row <= range.bottom(); ++row) OnItemChanged(row);
          });
  connect(selection, &QItemSelectionModel::currentRowChanged, this,
          [this](const QModelIndex& current, const QModelIndex& previous) {
            if (previous.isValid()) OnItemChanged(previous.row());
            if (current.isValid()) OnItemChanged(current.row());
          });
  connect(search, &QPushButton::clicked, this, &ScanDialog::OnSearch);
  connect(apply, &QPushButton::clicked, this, &ScanDialog::OnApply);
}

ScanDialog::~ScanDialog() {
  relay_.Close();
  tasks_.StopAndJoin();
}

std::optional<ScanDialog::Choice> ScanDialog::ChooseRemoteDevice(Connection& connection,
                                                                 Operator& op, QWidget* parent) {
  ScanDialog dialog(connection, op, parent);
  if (dialog.exec() != QDialog::Accepted) return std::nullopt;
  return dialog.selected_;
}

void ScanDialog::OnSearch() {
  if (tasks_.Busy()) return;
  list_->setRowCount(0);
  found_->clear();
  FitColumns();
  result_ = {};
  tasks_.Run(
      [this](std::stop_token stop) {
        auto line = connection_.TryLease("network scan", stop);
        if (!line) return;
        result_ = RunNetworkScan(*line, relay_);
      },
      [this] {
        FillList(result_.devices);
        if (result_.outcome == ScanResult::Outcome::kListed)
          found_->setText(FoundText(result_.devices.size()));
      });
}

QString ScanDialog::FoundText() const { return found_->text(); }

QString ScanDialog::FoundText(std::size_t count) {
  if (count == 0) return QStringLiteral("No remote device was found in this network.");
  return count == 1 ? QStringLiteral("1 device found.")
                    : QStringLiteral("%1 devices found.").arg(count);
}

void ScanDialog::FitColumns() {
  list_->horizontalHeader()->setStretchLastSection(false);
  list_->resizeColumnsToContents();
  list_->horizontalHeader()->setStretchLastSection(true);
}

void ScanDialog::FillList(const std::vector<DeviceRecord>& devices) {
  for (const DeviceRecord& device : devices) {
    const int row = list_->rowCount();
    list_->insertRow(row);
    const std::string* texts[] = {&device.nodeType, &device.ieeeAddress, &device.version,
                                  &device.modelType, &device.nodeName};
    list_->setItem(row, 0, new QTableWidgetItem(QString::number(row)));
    for (int column = 1; column <= 5; ++column)
      list_->setItem(row, column, new QTableWidgetItem(DefinitionText(*texts[column - 1])));
  }
  FitColumns();
}

void ScanDialog::OnItemChanged(int row) {
  // A row being removed (a new search empties the list) has no text any more.
  if (const QTableWidgetItem* address = list_->item(row, kAddressColumn)) {
    selected_.address = address->text().toStdString();
    const QTableWidgetItem* name = list_->item(row, kNodeNameColumn);
    selected_.nodeName = name ? name->text().toStdString() : std::string();
  }
}

void ScanDialog::OnApply() { accept(); }

}  // namespace zendra
