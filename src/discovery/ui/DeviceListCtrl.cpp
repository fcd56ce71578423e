#include "discovery/ui/DeviceListCtrl.h"

#include <QHeaderView>
#include <QScrollBar>
#include <QThread>
#include <algorithm>

#include "config/ui/DefinitionText.h"
#include "discovery/ui/RowProgressDelegate.h"
#include "widgets/GuiThread.h"

namespace zendra {

const DeviceListCtrl::Column DeviceListCtrl::kColumns[kColumnCount] = {
    {"", 22},          {"Type", 45},     {"IEEE Address", 140}, {"Version", 63},
    {"ModelType", 85}, {"NodeName", 85}, {"Progress", 90},      {"Status", 200},
};

DeviceListCtrl::DeviceListCtrl(QWidget* parent) : QTableWidget(parent) {
  // A report list: seven left-aligned columns, grid lines, whole rows selected, a
  // check box per row in column 0; rows only come from a scan.
  setColumnCount(kColumnCount);
  QStringList titles;
  for (const auto& column : kColumns) titles << QString::fromLatin1(column.title);
  setHorizontalHeaderLabels(titles);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  horizontalHeader()->setHighlightSections(false);
  // The check box column is narrower than the style's usual least section.
  horizontalHeader()->setMinimumSectionSize(16);
  // The last one (Status) is left to the stretch: a width of its own would stay its
  // least and bring a scroll bar to a list that has room for every text.
  for (int i = 0; i < kStatusColumn; ++i) setColumnWidth(i, kColumns[i].width);
  // A wider list gives the Status column (the last) what is left over.
  horizontalHeader()->setStretchLastSection(true);
  // One line per row: a node name or a status too long for its cell is cut with
  // an ellipsis (the tool tip has it whole), never wrapped onto a second line.
  setWordWrap(false);
  setTextElideMode(Qt::ElideRight);
  verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  // Header, four rows, the frame and a horizontal scroll bar's room.
  setMinimumHeight(horizontalHeader()->sizeHint().height() +
                   kLeastRows * verticalHeader()->defaultSectionSize() + 2 * frameWidth() +
                   horizontalScrollBar()->sizeHint().height());
  verticalHeader()->setVisible(false);
  setShowGrid(true);
  setSelectionBehavior(QAbstractItemView::SelectRows);
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setItemDelegateForColumn(PROGRESS_COLUMN, new RowProgressDelegate(this));
  setRowCount(0);
}

DeviceListCtrl::~DeviceListCtrl() { RemoveAllRowProgress(); }

int DeviceListCtrl::AddDevice(const DeviceRecord& device) {
  const int row = rowCount();
  insertRow(row);
  auto* check = new QTableWidgetItem;
  check->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
  check->setCheckState(Qt::Unchecked);
  setItem(row, 0, check);
  const std::string* texts[] = {&device.nodeType, &device.ieeeAddress, &device.version,
                                &device.modelType, &device.nodeName};
  for (int column = 1; column <= 5; ++column) {
    auto* cell = new QTableWidgetItem(DefinitionText(*texts[column - 1]));
    cell->setToolTip(cell->text());
    setItem(row, column, cell);
  }
  return row;
}

void DeviceListCtrl::SetText(int row, int column, const QString& text, const QString& tip) {
  if (row < 0 || row >= rowCount()) return;
  QTableWidgetItem* cell = item(row, column);
  if (!cell) {
    cell = new QTableWidgetItem;
    cell->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable);
    setItem(row, column, cell);
  }
  cell->setText(text);
  cell->setToolTip(tip.isEmpty() ? text : tip);
}

QString DeviceListCtrl::Text(int row, int column) const {
  const QTableWidgetItem* cell = item(row, column);
  return cell ? cell->text() : QString();
}

void DeviceListCtrl::SetRowStatus(int row, const QString& text, const QString& detail) {
  SetText(row, kStatusColumn, text, detail);
}

QString DeviceListCtrl::RowStatus(int row) const { return Text(row, kStatusColumn); }

void DeviceListCtrl::SetVersion(int row, const QString& version) {
  SetText(row, kVersionColumn, version);
}

QString DeviceListCtrl::Version(int row) const { return Text(row, kVersionColumn); }

void DeviceListCtrl::ClearRuns() {
  {
    std::lock_guard lock(mutex_);
    for (auto& bar : bars_) bar.second = 0;
  }
  for (int row = 0; row < rowCount(); ++row)
    if (item(row, kStatusColumn)) SetRowStatus(row, QString());
  viewport()->update();
}

std::string DeviceListCtrl::IeeeAddress(int row) const {
  const QTableWidgetItem* cell = item(row, kAddressColumn);
  return cell ? cell->text().toStdString() : std::string();
}

void DeviceListCtrl::AddRowProgress(int row) {
  if (row < 0 || row >= rowCount()) return;
  {
    std::lock_guard lock(mutex_);
    bars_.try_emplace(row, 0);
  }
  RepaintRow(row);
}

void DeviceListCtrl::RemoveAllRowProgress() {
  {
    std::lock_guard lock(mutex_);
    bars_.clear();
  }
  viewport()->update();
}

void DeviceListCtrl::SetRowProgress(int row, int percent) {
  {
    std::lock_guard lock(mutex_);
    const auto bar = bars_.find(row);
    if (bar == bars_.end()) return;
    bar->second = std::clamp(percent, 0, 100);
  }
  RunOnGuiThread(this, [this, row] { RepaintRow(row); });
}

std::optional<int> DeviceListCtrl::RowProgress(int row) const {
  std::lock_guard lock(mutex_);
  const auto bar = bars_.find(row);
  if (bar == bars_.end()) return std::nullopt;
  return bar->second;
}

int DeviceListCtrl::RowProgressCount() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(bars_.size());
}

void DeviceListCtrl::RepaintRow(int row) {
  viewport()->update(visualRect(model()->index(row, PROGRESS_COLUMN)));
}

}  // namespace zendra
