// The windows on a given screen: this program runs once per screen (CTest sets the
// offscreen platform's screen and names it in ZENDRA_TEST_SCREEN, e.g. "1366x768@1"
// or "1920x1080@1.5"). On each, the main window opens inside the screen's free area,
// every control of both pages lies inside it, also at the window's minimum size,
// the growing room goes to the tree, the description and the device list, and the
// dialogs open inside the screen.

#include <gmock/gmock.h>

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QRegularExpression>
#include <QScreen>
#include <QTabWidget>
#include <QTextEdit>
#include <cmath>
#include <cstdio>
#include <string>

#include "GuiTestSupport.h"
#include "app/MainDialog.h"
#include "discovery/ui/ScanDialog.h"
#include "firmware/ui/FirmwareUploadDialog.h"
#include "serial/PortList.h"
#include "support/FakeOperator.h"
#include "support/SimHarness.h"
#include "widgets/ControlIds.h"
#include "widgets/FindControl.h"

namespace zendra::test {
namespace {

struct ScreenUnderTest {
  QSize physical;
  double scale = 1.0;
};

ScreenUnderTest Named() {
  const QString name = qEnvironmentVariable("ZENDRA_TEST_SCREEN");
  const auto match = QRegularExpression(QStringLiteral("^(\\d+)x(\\d+)@([0-9.]+)$")).match(name);
  if (!match.hasMatch()) return {};
  return {QSize(match.captured(1).toInt(), match.captured(2).toInt()),
          match.captured(3).toDouble()};
}

// What a user sees as a control: buttons, boxes, fields, lists, texts, bars.
bool IsControl(const QWidget* widget) {
  return qobject_cast<const QAbstractButton*>(widget) || qobject_cast<const QComboBox*>(widget) ||
         qobject_cast<const QLineEdit*>(widget) || qobject_cast<const QLabel*>(widget) ||
         qobject_cast<const QAbstractItemView*>(widget) ||
         qobject_cast<const QTextEdit*>(widget) || qobject_cast<const QProgressBar*>(widget) ||
         qobject_cast<const QGroupBox*>(widget);
}

// The line edit inside an editable combo box, the header of a list: parts laid
// out by their control, not by the window.
bool IsPartOfAControl(const QWidget* widget) {
  for (const QWidget* up = widget->parentWidget(); up; up = up->parentWidget()) {
    if (qobject_cast<const QComboBox*>(up) || qobject_cast<const QAbstractSpinBox*>(up) ||
        qobject_cast<const QAbstractScrollArea*>(up))
      return true;
  }
  return false;
}

// Every control the user can see in `window` lies inside it and is not squeezed
// below what it needs to show itself; each failing one is named.
void ExpectControlsInside(QWidget* window, const char* where, int atLeast = 10) {
  int checked = 0;
  for (QWidget* widget : window->findChildren<QWidget*>()) {
    if (!IsControl(widget) || !widget->isVisibleTo(window) || IsPartOfAControl(widget)) continue;
    // A tab's hidden page is not seen; its controls are checked with that tab open.
    if (!widget->isVisible()) continue;
    ++checked;
    const QRect inWindow(widget->mapTo(window, QPoint(0, 0)), widget->size());
    const QString name = widget->metaObject()->className() + QStringLiteral(" '") +
                         (qobject_cast<QAbstractButton*>(widget)
                              ? qobject_cast<QAbstractButton*>(widget)->text()
                              : widget->objectName()) +
                         QStringLiteral("'");
    EXPECT_TRUE(window->rect().contains(inWindow))
        << where << ": " << name.toStdString() << " at " << inWindow.x() << "," << inWindow.y()
        << " " << inWindow.width() << "x" << inWindow.height() << " outside "
        << window->width() << "x" << window->height();
    if (auto* button = qobject_cast<QAbstractButton*>(widget)) {
      // A button may be narrower than the style's usual width (the "..." beside
      // the address), never narrower than its caption.
      EXPECT_GE(button->width(),
                button->fontMetrics().horizontalAdvance(button->text().remove(QLatin1Char('&'))) +
                    8)
          << where << ": " << name.toStdString();
      EXPECT_GE(button->height(), button->fontMetrics().height()) << where << ": " << name.toStdString();
      continue;
    }
    const QSize needs = widget->minimumSizeHint();
    if (needs.isValid() && !qobject_cast<QAbstractItemView*>(widget)) {
      EXPECT_GE(widget->width(), needs.width()) << where << ": " << name.toStdString();
      EXPECT_GE(widget->height(), needs.height()) << where << ": " << name.toStdString();
    }
  }
  EXPECT_GE(checked, atLeast) << where << ": the page's controls were not seen";
}

class ScreenFit : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(screen.physical.isValid()) << "ZENDRA_TEST_SCREEN names no screen";
    // The platform took the screen: logical size = physical / scale.
    const QScreen* primary = QGuiApplication::primaryScreen();
    ASSERT_NE(primary, nullptr);
    EXPECT_NEAR(primary->devicePixelRatio(), screen.scale, 0.01);
    EXPECT_EQ(primary->geometry().size(),
              QSize(std::lround(screen.physical.width() / screen.scale),
                    std::lround(screen.physical.height() / screen.scale)));
    area = primary->availableGeometry();
  }

  QTabWidget* Tabs() { return FindControl<QTabWidget>(&dialog, MainDialogIds::kTabs); }

  void CheckBothPages(const char* where) {
    for (int page = 0; page < 2; ++page) {
      Tabs()->setCurrentIndex(page);
      QCoreApplication::processEvents();
      ExpectControlsInside(&dialog,
                           (std::string(where) + (page == 0 ? ", configuration" : ", firmware"))
                               .c_str());
    }
  }

  ScreenUnderTest screen = Named();
  QRect area;
  FakeOperator op;
  PortList noPorts;
  MainDialog dialog{op, &noPorts};
};

TEST_F(ScreenFit, TheMainWindowOpensInsideTheScreenWithEveryControlOfBothPagesInside) {
  dialog.show();
  QCoreApplication::processEvents();
  EXPECT_TRUE(area.contains(dialog.frameGeometry()))
      << dialog.frameGeometry().width() << "x" << dialog.frameGeometry().height() << " on "
      << area.width() << "x" << area.height();
  // Room left for the window's frame, title bar and a panel.
  EXPECT_LE(dialog.minimumSize().width() + 16, area.width());
  EXPECT_LE(dialog.minimumSize().height() + 48, area.height());
  CheckBothPages("as opened");

  dialog.resize(dialog.minimumSize());
  QCoreApplication::processEvents();
  EXPECT_EQ(dialog.size(), dialog.minimumSize());
  std::printf("the main window's minimum: %dx%d\n", dialog.minimumSize().width(),
              dialog.minimumSize().height());
  CheckBothPages("at the minimum size");
}

TEST_F(ScreenFit, WhenTheWindowGrowsTheListsAndTheDescriptionTakeTheRoom) {
  dialog.show();
  dialog.resize(dialog.minimumSize());
  QCoreApplication::processEvents();
  auto* configPage = Tabs()->widget(0);
  auto* firmwarePage = Tabs()->widget(1);
  auto* tree = FindControl<QWidget>(configPage, ConfigPageIds::kTree);
  auto* description = FindControl<QWidget>(configPage, ConfigPageIds::kDescription);
  auto* devices = FindControl<QWidget>(firmwarePage, FirmwarePageIds::kDeviceList);
  ASSERT_TRUE(tree && description && devices);
  Tabs()->setCurrentIndex(0);
  QCoreApplication::processEvents();
  const QSize treeBefore = tree->size();
  const QSize descriptionBefore = description->size();
  Tabs()->setCurrentIndex(1);
  QCoreApplication::processEvents();
  const QSize devicesBefore = devices->size();

  dialog.resize(dialog.minimumSize() + QSize(200, 150));
  QCoreApplication::processEvents();
  EXPECT_GT(devices->height(), devicesBefore.height() + 100);
  EXPECT_GT(devices->width(), devicesBefore.width() + 150);
  Tabs()->setCurrentIndex(0);
  QCoreApplication::processEvents();
  EXPECT_GT(tree->height(), treeBefore.height() + 50);
  EXPECT_GT(tree->height() - treeBefore.height() + description->height() -
                descriptionBefore.height(),
            100);
  EXPECT_GT(tree->width() + description->width(),
            treeBefore.width() + descriptionBefore.width() + 150);
}

TEST_F(ScreenFit, TheDialogsOpenAtTheirTemplateSizesInsideTheScreen) {
  SimHarness harness;
  ScanDialog scan(harness.Conn(), op);
  scan.show();
  QCoreApplication::processEvents();
  EXPECT_TRUE(area.contains(scan.frameGeometry()));
  ExpectControlsInside(&scan, "scan", 3);

  FirmwareUploadDialog reload(harness.Conn(), harness.Line(), op);
  reload.show();
  QCoreApplication::processEvents();
  EXPECT_TRUE(area.contains(reload.frameGeometry()));
  ExpectControlsInside(&reload, "reload", 5);
}

}  // namespace
}  // namespace zendra::test
