// What the desktop program remembers between runs (port, line settings, the
// window's place and size, the folder of each kind of file), in a settings store
// of its own under a temporary folder; and the port box that lists each port
// with its USB description, read again each time it opens.

#include <gmock/gmock.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLineEdit>
#include <QSettings>
#include <QTemporaryDir>
#include <filesystem>
#include <fstream>

#include "GuiTestSupport.h"
#include "app/MainDialog.h"
#include "serial/PortList.h"
#include "support/FakeOperator.h"
#include "widgets/ControlIds.h"
#include "widgets/FindControl.h"
#include "widgets/QtOperator.h"
#include "widgets/Settings.h"

namespace zendra::test {
namespace {

namespace fs = std::filesystem;
using Id = MainDialogIds;

// Chooses `path` as a user does, by typing its name in the dialog's name box.
// (selectFile() leaves that box alone once it has the keyboard focus, and an
// empty box makes accept() do nothing: the dialog would stay up.) A dialog that
// still refuses is closed, so that the test fails instead of hanging.
void ChooseIn(QFileDialog* dialog, const QString& path) {
  const QFileInfo file(path);
  dialog->setDirectory(file.absolutePath());
  auto* name = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
  if (name) {
    name->setText(file.fileName());
    QMetaObject::invokeMethod(dialog, "accept");
  }
  if (dialog->isVisible()) {
    ADD_FAILURE() << "the file dialog did not take " << path.toStdString();
    dialog->reject();
  }
}

QStringList Items(QComboBox* box) {
  QStringList items;
  for (int i = 0; i < box->count(); ++i) items << box->itemText(i);
  return items;
}

class RememberedSettings : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(home.isValid());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, home.path());
    OpenSettings()->clear();
    AddUsbPort("ttyUSB0", "FT232R USB UART", "A5XK3RJH");
    AddUsbPort("ttyUSB1", "CP2102 USB to UART Bridge Controller", "0001");
    ASSERT_TRUE(ports.EnumeratePorts(Sys("class").string(), "/dev"));
  }

  fs::path Sys(const std::string& sub) const { return fs::path(home.path().toStdString()) / sub; }

  // A tty behind a USB adapter, as sysfs shows one.
  void AddUsbPort(const std::string& tty, const std::string& product, const std::string& serial) {
    const fs::path device = Sys("devices") / tty;
    fs::create_directories(device / "if" / tty);
    std::ofstream(device / "idVendor") << "0403\n";
    std::ofstream(device / "product") << product << "\n";
    std::ofstream(device / "serial") << serial << "\n";
    fs::create_directories(Sys("class") / tty);
    fs::create_directory_symlink(device / "if" / tty, Sys("class") / tty / "device");
  }

  template <typename T = QComboBox>
  static T* Box(MainDialog& dialog, int id) {
    return FindControl<T>(&dialog, id);
  }

  QTemporaryDir home;
  PortList ports;
  FakeOperator op;
};

TEST_F(RememberedSettings, ASecondRunStartsWithThePortTheLineSettingsAndTheWindowOfTheFirst) {
  {
    MainDialog first(op, &ports);
    first.show();
    Box(first, Id::kPortBox)->setCurrentIndex(1);
    Box(first, Id::kBaudBox)->setCurrentText(QStringLiteral("115200"));
    Box(first, Id::kParityBox)->setCurrentText(QStringLiteral("Even"));
    Box(first, Id::kFlowBox)->setCurrentText(QStringLiteral("Hardware"));
    // A little above the window's minimum, so that the size is taken as it is.
    first.resize(first.minimumSizeHint() + QSize(16, 19));
    first.move(60, 40);
    QCoreApplication::processEvents();
    first.SaveSettings(*OpenSettings(), true);
  }
  MainDialog second(op, &ports);
  second.RestoreSettings(*OpenSettings());
  second.show();
  QCoreApplication::processEvents();
  const SerialPortBoxTexts texts = second.BoxTexts();
  EXPECT_EQ(texts.port, "/dev/ttyUSB1");
  EXPECT_EQ(texts.baudRate, "115200");
  EXPECT_EQ(texts.parity, "Even");
  EXPECT_EQ(texts.flowControl, "Hardware");
  EXPECT_EQ(texts.dataBits, "8");
  EXPECT_EQ(second.size(), second.minimumSizeHint() + QSize(16, 19));
  EXPECT_EQ(second.pos(), QPoint(60, 40));
  EXPECT_THAT(op.Messages(), ::testing::IsEmpty());
}

TEST_F(RememberedSettings, APortThatIsGoneWaitsInTheBoxWithoutAnError) {
  OpenSettings()->setValue("serial/port", "/dev/ttyUSB7");
  MainDialog dialog(op, &ports);
  dialog.RestoreSettings(*OpenSettings());
  EXPECT_EQ(dialog.BoxTexts().port, "/dev/ttyUSB7");
  EXPECT_THAT(Items(Box(dialog, Id::kPortBox)),
              ::testing::ElementsAre("/dev/ttyUSB0", "/dev/ttyUSB1"));
  EXPECT_THAT(op.Messages(), ::testing::IsEmpty());

  // The simulated module's port is not remembered over the real one.
  dialog.AddAndSelectPort("/dev/pts/9");
  dialog.SaveSettings(*OpenSettings(), false);
  EXPECT_EQ(OpenSettings()->value("serial/port").toString(), "/dev/ttyUSB7");
  // Nothing remembered: the defaults stand.
  OpenSettings()->clear();
  MainDialog fresh(op, &ports);
  fresh.RestoreSettings(*OpenSettings());
  EXPECT_EQ(fresh.BoxTexts().baudRate, "9600");
  EXPECT_EQ(fresh.BoxTexts().port, "");
}

TEST_F(RememberedSettings, ThePortBoxShowsEachPortsDeviceListsItAnewWhenOpenedAndKeepsThePath) {
  MainDialog dialog(op, &ports);
  dialog.show();
  auto* box = Box(dialog, Id::kPortBox);
  box->setCurrentIndex(0);
  // The box holds the path, which Open takes; the description is its tooltip and
  // the list's text.
  EXPECT_EQ(dialog.BoxTexts().port, "/dev/ttyUSB0");
  EXPECT_EQ(box->toolTip(), QString::fromUtf8("/dev/ttyUSB0 \u2014 FT232R USB UART (A5XK3RJH)"));

  // An adapter plugged in after the start is there the next time the box opens;
  // the chosen port stays chosen, as does the simulated module's port.
  dialog.AddAndSelectPort("/dev/pts/9");
  box->setCurrentIndex(0);
  AddUsbPort("ttyACM0", "Zendra USB Stick", "ZS-0042");
  ASSERT_TRUE(ports.EnumeratePorts(Sys("class").string(), "/dev"));
  EXPECT_EQ(box->count(), 3);
  box->showPopup();
  QCoreApplication::processEvents();
  EXPECT_THAT(Items(box), ::testing::ElementsAre("/dev/ttyACM0", "/dev/ttyUSB0", "/dev/ttyUSB1",
                                                 "/dev/pts/9"));
  EXPECT_EQ(box->currentText(), "/dev/ttyUSB0");
  // The open list is wide enough for the longest description.
  EXPECT_GE(box->view()->width(),
            box->view()->fontMetrics().horizontalAdvance(
                QString::fromUtf8("/dev/ttyUSB1 \u2014 CP2102 USB to UART Bridge Controller (0001)")));
  box->hidePopup();

  // A port unplugged meanwhile leaves the list; its path stays in the box.
  fs::remove_all(Sys("class") / "ttyUSB0");
  ASSERT_TRUE(ports.EnumeratePorts(Sys("class").string(), "/dev"));
  box->showPopup();
  box->hidePopup();
  EXPECT_THAT(Items(box), ::testing::ElementsAre("/dev/ttyACM0", "/dev/ttyUSB1", "/dev/pts/9"));
  EXPECT_EQ(dialog.BoxTexts().port, "/dev/ttyUSB0");
}

TEST_F(RememberedSettings, EachKindOfFileDialogStartsWhereItsLastFileWasChosen) {
  // The dialogs start in quiet folders of the test's own: the working folder is
  // where a dialog with nothing remembered starts.
  QTemporaryDir images, configs, elsewhere, working;
  const QString before = QDir::currentPath();
  QDir::setCurrent(working.path());
  const QString image = QDir(images.path()).filePath("MA11_v1.11.0.ebl");
  QFile(image).open(QIODevice::WriteOnly);
  constexpr const char* kImages = "ebl Files(*.ebl)|*.ebl|All Files(*.*)|*.*|";
  constexpr const char* kConfigs = "Configuration (*.zgb)|*.zgb||";
  OpenSettings()->setValue(FolderKey(kConfigs), configs.path());
  OpenSettings()->setValue(FolderKey(kImages), elsewhere.path());

  QtOperator chooser;
  chooser.RememberFolders(true);
  QString startedIn;
  WhenModalShows<QFileDialog>([&](QFileDialog* dialog) {
    startedIn = dialog->directory().absolutePath();
    ChooseIn(dialog, image);
  });
  EXPECT_EQ(chooser.ChooseFileToOpen(kImages), image.toStdString());
  EXPECT_EQ(startedIn, elsewhere.path());

  // The next image dialog starts in the image's folder, the configuration dialog
  // in its own, and a suggested name goes there.
  WhenModalShows<QFileDialog>([&](QFileDialog* dialog) {
    startedIn = dialog->directory().absolutePath();
    dialog->reject();
  });
  chooser.ChooseFileToOpen(kImages);
  EXPECT_EQ(startedIn, images.path());
  QStringList suggested;
  WhenModalShows<QFileDialog>([&](QFileDialog* dialog) {
    startedIn = dialog->directory().absolutePath();
    suggested = dialog->selectedFiles();
    dialog->reject();
  });
  chooser.ChooseFileToSave(kConfigs, "NODE-7.zgb");
  EXPECT_EQ(startedIn, configs.path());
  EXPECT_THAT(suggested, ::testing::ElementsAre(QDir(configs.path()).filePath("NODE-7.zgb")));

  // Off (as in the tests' and the pictures' runs), nothing is read or kept.
  QtOperator plain;
  OpenSettings()->remove(FolderKey(kImages));
  WhenModalShows<QFileDialog>([&](QFileDialog* dialog) {
    ChooseIn(dialog, image);
  });
  plain.ChooseFileToOpen(kImages);
  EXPECT_FALSE(OpenSettings()->contains(FolderKey(kImages)));
  QDir::setCurrent(before);
}

TEST(FolderKey, OneKeyPerKindOfFileNamedByTheFirstPattern) {
  EXPECT_EQ(FolderKey("ebl Files(*.ebl)|*.ebl|All Files(*.*)|*.*|"), "folders/ebl");
  EXPECT_EQ(FolderKey("Configuration (*.ZGB;*.ini)|*.ZGB;*.ini||"), "folders/zgb");
  EXPECT_EQ(FolderKey("All|*|"), "folders/any");
  EXPECT_EQ(FolderKey(""), "folders/any");
}

}  // namespace
}  // namespace zendra::test
