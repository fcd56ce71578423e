#pragma once
// Paints the device list's "Progress" cells: a row's bar, as the style draws a
// progress bar, inside the cell's rectangle. Every other cell is painted as usual.

#include <QStyledItemDelegate>

namespace zendra {

class DeviceListCtrl;

class RowProgressDelegate : public QStyledItemDelegate {
  Q_OBJECT

 public:
  explicit RowProgressDelegate(DeviceListCtrl* list);

  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override;

 private:
  DeviceListCtrl* list_;
};

}  // namespace zendra
