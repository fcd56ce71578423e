// The main window against template 102: captions, IDs, boxes with their lists and
// defaults, the initial states, the tabs, the keys that end the dialog, the About
// item.

#include <gmock/gmock.h>

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>

#include <QGuiApplication>
#include <QScreen>

#include "GuiTestSupport.h"
#include "app/AboutDialog.h"
#include "widgets/DialogUnits.h"
#include "widgets/FindControl.h"
#include "app/MainDialog.h"
#include "config/ui/ConfigPage.h"
#include "firmware/ui/FirmwarePage.h"
#include "serial/PortList.h"
#include "support/FakeOperator.h"

namespace zendra::test {
namespace {

using ::testing::ElementsAre;

QStringList Items(QComboBox* box) {
  QStringList items;
  for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
  return items;
}

QStringList Texts(QWidget* root) {
  QStringList texts;
  for (auto* label : root->findChildren<QLabel*>()) texts << label->text();
  return texts;
}

class MainDialogTemplate : public ::testing::Test {
 protected:
  template <typename T = QWidget>
  T* Control(int id) {
    T* control = FindControl<T>(&dialog, id);
    EXPECT_NE(control, nullptr) << "control " << id;
    return control;
  }

  FakeOperator op;
  PortList noPorts;
  MainDialog dialog{op, &noPorts};
};

TEST_F(MainDialogTemplate, HasItsCaptionAndTheControlsOfTemplate102AndOpensAtItsSize) {
  dialog.show();
  EXPECT_EQ(dialog.windowTitle(), "Zendra Manager");
  EXPECT_FALSE(dialog.windowIcon().isNull());
  // Resizable; it opens at the template's size where the screen has room for it,
  // and never larger than the screen's free area.
  EXPECT_NE(dialog.minimumSize(), dialog.maximumSize());
  const DialogUnits units(dialog.font());
  const QSize room = QGuiApplication::primaryScreen()->availableGeometry().size() - QSize(16, 48);
  const QSize wanted = QSize(units.X(323), units.Y(484)).expandedTo(dialog.minimumSizeHint());
  EXPECT_EQ(dialog.size(), wanted.boundedTo(room).expandedTo(dialog.minimumSizeHint()));

  EXPECT_EQ(Control<QPushButton>(1009)->text(), "Open");
  EXPECT_TRUE(Control(1009)->isEnabled());
  EXPECT_EQ(Control<QPushButton>(1006)->text(), "Reboot");
  EXPECT_FALSE(Control(1006)->isEnabled());
  EXPECT_EQ(Control<QPushButton>(1007)->text(), "Reload");
  EXPECT_FALSE(Control(1007)->isEnabled());
  for (int id : {1022, 1024, 1023, 1025}) EXPECT_EQ(Control<QLabel>(id)->text(), "") << id;

  QStringList groups;
  for (auto* box : dialog.findChildren<QGroupBox*>()) {
    if (TemplateRootOf(box) == &dialog) groups << box->title();
  }
  EXPECT_THAT(groups, ElementsAre("Serial Port", "Device Infomation"));
  for (const char* label :
       {"Serial line", "Baud rate", "Data bits", "Parity", "Stop bits", "Flow control",
        "Product Name : ", "EUI address :", "Node Name :", "F/W Rev. :"}) {
    EXPECT_TRUE(Texts(&dialog).contains(label)) << label;
  }
}

TEST_F(MainDialogTemplate, ListsTheLineSettingsLeftToRightWithTheirDefaultsSelected) {
  dialog.show();
  const int order[] = {1010, 1011, 1012, 1014, 1013, 1015};
  for (int i = 1; i < 6; ++i) {
    EXPECT_LT(Control(order[i - 1])->x(), Control(order[i])->x()) << order[i];
  }
  for (int id : order) {
    EXPECT_TRUE(Control<QComboBox>(id)->isEditable()) << id;
    EXPECT_EQ(Control<QComboBox>(id)->insertPolicy(), QComboBox::NoInsert) << id;
  }
  EXPECT_THAT(Items(Control<QComboBox>(1011)),
              ElementsAre("1200", "2400", "4800", "9600", "19200", "38400", "57600", "115200",
                          "230400", "460800", "921600"));
  EXPECT_THAT(Items(Control<QComboBox>(1014)), ElementsAre("None", "Even", "Odd"));
  EXPECT_THAT(Items(Control<QComboBox>(1013)), ElementsAre("1", "2"));
  EXPECT_THAT(Items(Control<QComboBox>(1012)), ElementsAre("7", "8"));
  EXPECT_THAT(Items(Control<QComboBox>(1015)), ElementsAre("None", "Software", "Hardware"));

  EXPECT_EQ(Control<QComboBox>(1011)->currentText(), "9600");
  EXPECT_EQ(Control<QComboBox>(1014)->currentText(), "None");
  EXPECT_EQ(Control<QComboBox>(1013)->currentText(), "1");
  EXPECT_EQ(Control<QComboBox>(1012)->currentText(), "8");
  EXPECT_EQ(Control<QComboBox>(1015)->currentText(), "None");
  // No port on this computer: an empty box, nothing selected.
  EXPECT_EQ(Control<QComboBox>(1010)->count(), 0);
  EXPECT_EQ(Control<QComboBox>(1010)->currentText(), "");
}

// A /sys/class/tty with the given ports, each with a device behind it.
class FakeTtyTree {
 public:
  explicit FakeTtyTree(std::initializer_list<const char*> names) {
    for (const char* name : names) {
      QDir(dir_.path()).mkpath(QString("%1/device").arg(name));
      QFile type(dir_.path() + QString("/%1/type").arg(name));
      if (type.open(QIODevice::WriteOnly)) type.write("4\n");
    }
  }
  std::string Path() const { return dir_.path().toStdString(); }

 private:
  QTemporaryDir dir_;
};

TEST(MainDialogPortBox, ListsThePortsFoundAndSelectsTheFirstLegacyPortAsComOne) {
  FakeOperator op;
  FakeTtyTree tree{"ttyUSB0", "ttyS0", "ttyS1"};
  PortList ports;
  ports.EnumeratePorts(tree.Path(), "/dev");
  MainDialog dialog(op, &ports);
  auto* box = FindControl<QComboBox>(&dialog, 1010);
  EXPECT_THAT(Items(box), ElementsAre("/dev/ttyS0", "/dev/ttyS1", "/dev/ttyUSB0"));
  EXPECT_EQ(box->currentText(), "/dev/ttyS0");
}

TEST(MainDialogPortBox, SelectsNothingWhenComOneIsAbsent) {
  FakeOperator op;
  FakeTtyTree tree{"ttyUSB0", "ttyACM3"};
  PortList ports;
  ports.EnumeratePorts(tree.Path(), "/dev");
  MainDialog dialog(op, &ports);
  auto* box = FindControl<QComboBox>(&dialog, 1010);
  EXPECT_EQ(box->count(), 2);
  EXPECT_EQ(box->currentIndex(), -1);
  EXPECT_EQ(box->currentText(), "");
}

TEST_F(MainDialogTemplate, ShowsOnePageAtATimeUnderItsTab) {
  dialog.show();
  auto* tabs = Control<QTabWidget>(1000);
  ASSERT_EQ(tabs->count(), 2);
  EXPECT_EQ(tabs->tabText(0), "  Configuration  ");
  EXPECT_EQ(tabs->tabText(1), "  Firmware Update  ");
  EXPECT_TRUE(dialog.Config()->isVisible());
  EXPECT_FALSE(dialog.Firmware()->isVisible());
  tabs->setCurrentIndex(1);
  EXPECT_FALSE(dialog.Config()->isVisible());
  EXPECT_TRUE(dialog.Firmware()->isVisible());
}

TEST_F(MainDialogTemplate, FindsAnIdWithinItsOwnWindowOnly) {
  // 1006 is Reboot on the main dialog and Save on the Configuration page.
  EXPECT_EQ(FindControl<QPushButton>(&dialog, 1006)->text(), "Reboot");
  EXPECT_EQ(FindControl<QPushButton>(dialog.Config(), 1006)->text(), "Save");
  EXPECT_EQ(FindControl<QPushButton>(dialog.Firmware(), 1006), nullptr);
  EXPECT_EQ(FindControl<QLabel>(&dialog, 1009), nullptr) << "a control of another type";
}

TEST_F(MainDialogTemplate, NeitherEnterNorEscEndsTheWindowWhereverTheFocusIs) {
  dialog.show();
  auto* baud = Control<QComboBox>(1011);
  baud->setFocus();
  baud->setEditText("57600x");
  QTest::keyClick(baud->lineEdit(), Qt::Key_Return);
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(baud->count(), 11) << "typed text is not added to the list";
  EXPECT_EQ(baud->currentText(), "57600x");

  // A check box, the port box, the window itself: the keys that end a dialog do
  // nothing to this one.
  auto* clone = FindControl(dialog.Firmware(), 1038);
  dialog.Tabs()->setCurrentIndex(1);
  for (QWidget* target : {clone, static_cast<QWidget*>(Control(1010)), static_cast<QWidget*>(&dialog)}) {
    target->setFocus();
    for (auto key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
      QTest::keyClick(target, key);
      EXPECT_TRUE(dialog.isVisible()) << key;
    }
  }
  // The closing box does end it (no update runs: nothing to ask).
  dialog.close();
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_THAT(op.Questions(), ::testing::IsEmpty());
}

TEST_F(MainDialogTemplate, OffersAboutInTheHelpMenuWithF1AndShowsTheVersion) {
  QAction* about = nullptr;
  for (auto* action : dialog.findChild<QMenuBar*>()->actions()) {
    if (action->text() == "&Help") {
      for (auto* item : action->menu()->actions()) {
        if (item->text() == "&About Zendra Manager...") about = item;
      }
    }
  }
  ASSERT_NE(about, nullptr);
  EXPECT_EQ(about->shortcut(), QKeySequence(Qt::Key_F1));

  QStringList shown;
  WhenModalShows<AboutDialog>([&](AboutDialog* box) {
    shown = Texts(box);
    box->accept();
  });
  about->trigger();
  EXPECT_TRUE(shown.contains(QString("Zendra Manager Version ") + ZENDRA_VERSION))
      << shown.join("|").toStdString();
  EXPECT_TRUE(shown.contains(AboutDialog::SecondLine()));
}

}  // namespace
}  // namespace zendra::test
