#include "discovery/ui/DeviceListCtrl.h"

#include <QHeaderView>
#include <QThread>
#include <algorithm>

#include "config/ui/DefinitionText.h"
#include "discovery/ui/RowProgressDelegate.h"
#include "widgets/GuiThread.h"

namespace zendra {

const DeviceListCtrl::Column DeviceListCtrl::kColumns[7] = {
    {"", 22},          {"Type", 45},     {"IEEE Address", 140}, {"Version", 63},
    {"ModelType", 85}, {"NodeName", 85}, {"Progress", 152},
};

DeviceListCtrl::DeviceListCtrl(QWidget* parent) : QTableWidget(parent) {
  // A report list: seven left-aligned columns, grid lines, whole rows selected, a
  // check box per row in column 0; rows only come from a scan.
  setColumnCount(7);
  QStringList titles;
  for (const auto& column : kColumns) titles << QString::fromLatin1(column.title);
  setHorizontalHeaderLabels(titles);
  horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
  horizontalHeader()->setHighlightSections(false);
  // The check box column is narrower than the style's usual least section.
  horizontalHeader()->setMinimumSectionSize(16);
  for (int i = 0; i < 7; ++i) setColumnWidth(i, kColumns[i].width);
  // A list narrower than its columns (a small screen) gives the Progress column
  // what is left, so an empty list needs no scroll bar; a wider one gives it more.
  horizontalHeader()->setStretchLastSection(true);
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
  for (int column = 1; column <= 5; ++column)
    setItem(row, column, new QTableWidgetItem(DefinitionText(*texts[column - 1])));
  return row;
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
