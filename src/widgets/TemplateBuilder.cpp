#include "widgets/TemplateBuilder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>

#include "widgets/ControlIds.h"
#include "widgets/FindControl.h"

namespace zendra {

namespace {

constexpr int kDropDownHeight = 12;

// A group box as the templates draw it: the caption sits in the top line of the
// frame, the frame spans the whole rectangle.
constexpr const char* kGroupBoxStyle =
    "QGroupBox { border: 1px solid palette(mid); border-radius: 2px; margin-top: 0.5em; }"
    "QGroupBox::title { subcontrol-origin: margin; subcontrol-position: top left;"
    " left: 6px; padding: 0 2px; }";

// The templates' widths were made for another font: a fixed caption is never cut,
// its control grows to the right when the text needs it.
void FitCaption(QWidget* control) {
  const int needed = control->sizeHint().width();
  if (needed > control->width()) control->resize(needed, control->height());
}

}  // namespace

TemplateBuilder::TemplateBuilder(QWidget* parent, int templateId, QWidget* templateRoot)
    : root_(parent), units_(parent->font()) {
  MarkTemplateRoot(templateRoot ? templateRoot : parent, templateId);
}

void TemplateBuilder::Place(QWidget* control, int id, int x, int y, int w, int h, bool enabled) {
  if (id != kNoControlId) SetControlId(control, id);
  control->setGeometry(units_.Rect(x, y, w, h));
  control->setEnabled(enabled);
}

QGroupBox* TemplateBuilder::GroupBox(int id, const QString& caption, int x, int y, int w, int h) {
  auto* box = new QGroupBox(caption, root_);
  box->setStyleSheet(QString::fromLatin1(kGroupBoxStyle));
  Place(box, id, x, y, w, h);
  return box;
}

QLabel* TemplateBuilder::Static(int id, const QString& caption, int x, int y, int w, int h) {
  auto* label = new QLabel(caption, root_);
  // Static texts are plain text at the top left of their rectangle, never rich text.
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  Place(label, id, x, y, w, h);
  if (id == kNoControlId) FitCaption(label);
  return label;
}

QPushButton* TemplateBuilder::Button(int id, const QString& caption, int x, int y, int w, int h,
                                     bool enabled) {
  auto* button = new QPushButton(caption, root_);
  Place(button, id, x, y, w, h, enabled);
  return button;
}

QCheckBox* TemplateBuilder::CheckBox(int id, const QString& caption, int x, int y, int w, int h,
                                     bool enabled) {
  auto* box = new QCheckBox(caption, root_);
  Place(box, id, x, y, w, h, enabled);
  FitCaption(box);
  return box;
}

QLineEdit* TemplateBuilder::Edit(int id, int x, int y, int w, int h, bool enabled) {
  auto* edit = new QLineEdit(root_);
  Place(edit, id, x, y, w, h, enabled);
  return edit;
}

QComboBox* TemplateBuilder::DropDown(int id, int x, int y, int w, int h, bool enabled) {
  auto* box = new QComboBox(root_);
  box->setEditable(true);
  box->setInsertPolicy(QComboBox::NoInsert);
  box->setMaxVisibleItems(12);
  // A template's drop-down height includes the dropped list; on screen the box is
  // one edit line high and the list sizes itself.
  Place(box, id, x, y, w, std::min(h, kDropDownHeight), enabled);
  return box;
}

QProgressBar* TemplateBuilder::ProgressBar(int id, int x, int y, int w, int h) {
  auto* bar = new QProgressBar(root_);
  bar->setRange(0, 100);
  bar->setValue(0);
  bar->setTextVisible(false);
  Place(bar, id, x, y, w, h);
  return bar;
}

void TemplateBuilder::Compact(QLayout* layout) {
  layout->setContentsMargins(6, 4, 6, 4);
  layout->setSpacing(4);
}

void TemplateBuilder::Tag(QWidget* control, int id, bool enabled) {
  if (id != kNoControlId) SetControlId(control, id);
  control->setEnabled(enabled);
}

QGroupBox* TemplateBuilder::MakeGroupBox(QWidget* parent, int id, const QString& caption) {
  auto* box = new QGroupBox(caption, parent);
  Tag(box, id);
  return box;
}

QLabel* TemplateBuilder::MakeStatic(QWidget* parent, int id, const QString& caption) {
  auto* label = new QLabel(caption, parent);
  label->setTextFormat(Qt::PlainText);
  Tag(label, id);
  return label;
}

QPushButton* TemplateBuilder::MakeButton(QWidget* parent, int id, const QString& caption,
                                         bool enabled) {
  auto* button = new QPushButton(caption, parent);
  // A button is pressed by a click or by Enter while it has the focus; it is never
  // the window's default that Enter elsewhere would press.
  button->setAutoDefault(false);
  Tag(button, id, enabled);
  return button;
}

QCheckBox* TemplateBuilder::MakeCheckBox(QWidget* parent, int id, const QString& caption,
                                         bool enabled) {
  auto* box = new QCheckBox(caption, parent);
  Tag(box, id, enabled);
  return box;
}

QLineEdit* TemplateBuilder::MakeEdit(QWidget* parent, int id, bool enabled) {
  auto* edit = new QLineEdit(parent);
  Tag(edit, id, enabled);
  return edit;
}

QComboBox* TemplateBuilder::MakeDropDown(QWidget* parent, int id, bool enabled) {
  return SetUpDropDown(new QComboBox(parent), id, enabled);
}

QComboBox* TemplateBuilder::SetUpDropDown(QComboBox* box, int id, bool enabled) {
  box->setEditable(true);
  box->setInsertPolicy(QComboBox::NoInsert);
  box->setMaxVisibleItems(12);
  Tag(box, id, enabled);
  return box;
}

QProgressBar* TemplateBuilder::MakeProgressBar(QWidget* parent, int id) {
  auto* bar = new QProgressBar(parent);
  bar->setRange(0, 100);
  bar->setValue(0);
  bar->setTextVisible(false);
  Tag(bar, id);
  return bar;
}

}  // namespace zendra
