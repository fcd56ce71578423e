#include "config/ui/ImportCompareDialog.h"

#include <QDialogButtonBox>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTreeWidget>
#include <QVBoxLayout>

#include "config/ui/DefinitionText.h"
#include "widgets/TemplateBuilder.h"

namespace zendra {

namespace {

QString Q(const std::string& text) { return DefinitionText(text); }

}  // namespace

QString ImportCompareDialog::Summary(const ConfigurationDiff& diff) {
  const int total = static_cast<int>(diff.entries.size());
  if (total == 0) return QStringLiteral("The file holds no values to import.");
  if (diff.NothingChanges())
    return QStringLiteral("The device already holds every value of this file.");
  return QStringLiteral("%1 of the file's %2 values differ from the device.")
      .arg(diff.Differences())
      .arg(total);
}

ImportCompareDialog::ImportCompareDialog(const ConfigurationDiff& diff, const QString& fileName,
                                         QWidget* parent)
    : QDialog(parent) {
  setWindowTitle(QStringLiteral("Compare with the device"));
  auto* layout = new QVBoxLayout(this);
  TemplateBuilder::Compact(layout);

  summary_ = new QLabel(Summary(diff), this);
  summary_->setObjectName(QStringLiteral("compareSummary"));
  summary_->setWordWrap(true);
  layout->addWidget(summary_);

  changes_ = new QTreeWidget(this);
  changes_->setObjectName(QStringLiteral("compareChanges"));
  changes_->setRootIsDecorated(false);
  changes_->setSelectionMode(QAbstractItemView::NoSelection);
  changes_->setHeaderLabels({QStringLiteral("Group"), QStringLiteral("Parameter"),
                             QStringLiteral("Device value"), QStringLiteral("File value")});
  for (const auto& entry : diff.entries) {
    if (entry.kind == ConfigurationDiff::Entry::Kind::kUnchanged) continue;
    auto* item = new QTreeWidgetItem(changes_);
    item->setText(0, Q(entry.group));
    item->setText(1, Q(entry.parameter));
    item->setText(2, Q(entry.DeviceText()));
    item->setText(3, Q(entry.FileText()));
    // The texts may be wider than their columns (a 128-bit key): whole as tooltips.
    for (int column = 0; column < 4; ++column) item->setToolTip(column, item->text(column));
  }
  for (int column = 0; column < 3; ++column) changes_->resizeColumnToContents(column);
  const bool listed = changes_->topLevelItemCount() > 0;
  changes_->setHidden(!listed);
  layout->addWidget(changes_, 1);

  auto* note = new QLabel(
      QStringLiteral("Import sends every command of %1 to the device.").arg(fileName), this);
  note->setWordWrap(true);
  layout->addWidget(note);

  auto* buttons = new QDialogButtonBox(this);
  import_ = buttons->addButton(QStringLiteral("Import"), QDialogButtonBox::AcceptRole);
  cancel_ = buttons->addButton(QDialogButtonBox::Cancel);
  // Nothing is sent unless the operator asks for it: Enter does not import.
  import_->setAutoDefault(false);
  cancel_->setDefault(true);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  layout->addWidget(buttons);

  // Room for the list, within the screen; a dialog without one is as small as its
  // texts.
  if (listed)
    resize(QSize(640, 360).boundedTo(screen() ? screen()->availableSize() : QSize(640, 360)));
}

bool ImportCompareDialog::Ask(const ConfigurationDiff& diff, const QString& fileName,
                              QWidget* parent) {
  ImportCompareDialog dialog(diff, fileName, parent);
  return dialog.exec() == QDialog::Accepted;
}

}  // namespace zendra
