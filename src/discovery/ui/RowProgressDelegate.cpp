#include "discovery/ui/RowProgressDelegate.h"

#include <QApplication>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionProgressBar>

#include "discovery/ui/DeviceListCtrl.h"

namespace zendra {

RowProgressDelegate::RowProgressDelegate(DeviceListCtrl* list)
    : QStyledItemDelegate(list), list_(list) {}

void RowProgressDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                const QModelIndex& index) const {
  QStyledItemDelegate::paint(painter, option, index);
  if (index.column() != DeviceListCtrl::PROGRESS_COLUMN) return;
  const auto percent = list_->RowProgress(index.row());
  if (!percent) return;

  // The bar fills the cell but for a pixel on each side, so the grid stays visible.
  QStyleOptionProgressBar bar;
  bar.initFrom(list_->viewport());
  bar.rect = option.rect.adjusted(1, 1, -1, -1);
  bar.state = QStyle::State_Enabled | QStyle::State_Horizontal;
  bar.minimum = 0;
  bar.maximum = 100;
  bar.progress = *percent;
  bar.textVisible = false;
  QStyle* style = list_->style();
  painter->save();
  painter->setClipRect(option.rect);
  style->drawControl(QStyle::CE_ProgressBar, &bar, painter, nullptr);
  painter->restore();
}

}  // namespace zendra
