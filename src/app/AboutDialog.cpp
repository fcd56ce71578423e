#include "app/AboutDialog.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QIcon>
#include <QLabel>
#include <QVBoxLayout>

#include "widgets/ControlIds.h"
#include "widgets/FindControl.h"
#include "widgets/Resources.h"

namespace zendra {

QString AboutDialog::VersionLine() {
  return QStringLiteral("Zendra Manager Version %1").arg(QStringLiteral(ZENDRA_VERSION));
}

QString AboutDialog::SecondLine() {
  return QStringLiteral("Configures and updates Zendra radio modules on a serial port.");
}

AboutDialog::AboutDialog(QWidget* parent) : QDialog(parent) {
  InitResources();
  MarkTemplateRoot(this, TemplateIds::kAboutBox);
  setWindowTitle(QStringLiteral("About Zendra Manager"));

  auto* icon = new QLabel(this);
  icon->setPixmap(QIcon(QStringLiteral(":/icons/zendra-manager.png")).pixmap(32, 32));
  auto* version = new QLabel(VersionLine(), this);
  auto* second = new QLabel(SecondLine(), this);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

  auto* texts = new QVBoxLayout;
  texts->addWidget(version);
  texts->addWidget(second);
  auto* row = new QHBoxLayout;
  row->addWidget(icon, 0, Qt::AlignTop);
  row->addSpacing(12);
  row->addLayout(texts);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(row);
  layout->addWidget(buttons);
  layout->setSizeConstraint(QLayout::SetFixedSize);
}

}  // namespace zendra
