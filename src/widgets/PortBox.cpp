#include "widgets/PortBox.h"

#include <QAbstractItemView>
#include <QLineEdit>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyledItemDelegate>
#include <algorithm>

namespace zendra {

namespace {

// The entry's description sits beside its text (the path).
constexpr int kDescriptionRole = Qt::UserRole + 1;

// The open list shows the descriptions; the box's text comes from the item text.
class DescriptionDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    const QString description = index.data(kDescriptionRole).toString();
    if (!description.isEmpty()) option->text = description;
  }
};

}  // namespace

PortBox::PortBox(QWidget* parent) : QComboBox(parent) {
  setItemDelegate(new DescriptionDelegate(this));
  connect(this, &QComboBox::currentIndexChanged, this, [this] { ShowDescription(); });
  connect(this, &QComboBox::editTextChanged, this, [this] { ShowDescription(); });
}

void PortBox::SetSource(Source source) {
  source_ = std::move(source);
  Refill();
}

void PortBox::Refill() {
  const QString text = currentText();
  {
    const QSignalBlocker quiet(this);
    clear();
    std::vector<PortInfo> ports = source_ ? source_() : std::vector<PortInfo>{};
    for (const auto& port : added_) {
      const bool listed = std::any_of(ports.begin(), ports.end(),
                                      [&](const PortInfo& p) { return p.name == port.name; });
      if (!listed) ports.push_back(port);
    }
    for (const auto& port : ports) {
      addItem(QString::fromStdString(port.name));
      setItemData(count() - 1, QString::fromStdString(port.displayText), kDescriptionRole);
    }
    const int index = text.isEmpty() ? -1 : findText(text);
    setCurrentIndex(index);
    if (index < 0) setEditText(text);
  }
  ShowDescription();
}

void PortBox::AddPort(const QString& path) {
  if (findText(path) >= 0) return;
  added_.push_back({path.toStdString(), path.toStdString()});
  const QSignalBlocker quiet(this);
  addItem(path);
  setItemData(count() - 1, path, kDescriptionRole);
}

void PortBox::ShowPath(const QString& path) {
  const int index = findText(path);
  if (index >= 0) {
    setCurrentIndex(index);
  } else {
    setCurrentIndex(-1);
    setEditText(path);
  }
}

void PortBox::showPopup() {
  Refill();
  // The list is as wide as its longest description, not cut at the box's width.
  QAbstractItemView* list = view();
  list->setMinimumWidth(list->sizeHintForColumn(0) + list->verticalScrollBar()->sizeHint().width() +
                        2 * list->frameWidth());
  QComboBox::showPopup();
}

void PortBox::ShowDescription() {
  const int index = findText(currentText());
  setToolTip(index >= 0 ? itemData(index, kDescriptionRole).toString() : QString());
}

}  // namespace zendra
