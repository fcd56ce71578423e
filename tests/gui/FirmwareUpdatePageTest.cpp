// The Firmware Update page's local update against the simulated module, driven as
// an operator drives it: Open at 115200, "Choose file in local PC", the local
// Update, and what the main window and the Configuration page show afterwards;
// the checks that refuse an update; and the main window closing under a running
// update.

#include <gmock/gmock.h>

#include <QApplication>
#include <QComboBox>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <chrono>
#include <memory>
#include <thread>

#include "GuiTestSupport.h"
#include "app/MainDialog.h"
#include "config/ui/ConfigPage.h"
#include "firmware/ui/FirmwarePage.h"
#include "serial/PortList.h"
#include "support/FakeOperator.h"
#include "support/FirmwareImageFile.h"
#include "support/SimHarness.h"
#include "widgets/FindControl.h"
#include "widgets/QtOperator.h"

namespace zendra::test {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::IsEmpty;
using ::testing::Not;
using namespace std::chrono_literals;

// Controls, restated: the main window's Open (1009), Reboot (1006), Reload (1007),
// F/W Rev. (1025); the page's status line (1037), file location (1032), local
// progress bar (1034) and its five buttons; the value group box of the
// Configuration page (1005).
constexpr int kFiveButtons[] = {1031, 1039, 1033, 1035, 1036};
constexpr const char* kFilter = "ebl Files(*.ebl)|*.ebl|All Files(*.*)|*.*|";

// As in the connection tests: the handshake's time-outs must outlast a reply on a
// busy machine. The page's own preparation (about 7 s of protocol time) then takes 2 s.
constexpr double kTimeScale = 0.3;
constexpr int kTransferDeadlineMs = 30000;

sim::Options Module() {
  sim::Options options;
  options.productName = "MA11";
  options.euiAddress = "000D6F0000A1B2C3";
  options.nodeName = "Zendra1";
  options.version = "v1.10.0";
  options.baudRate = 0;  // the module's UART follows the rate the operator chooses
  return options;
}

class FirmwareUpdatePage : public ::testing::Test {
 protected:
  FirmwareUpdatePage() : harness(Module(), kTimeScale) {
    dialog->AddAndSelectPort(harness.Sim().PortPath());
  }

  template <typename T = QWidget>
  T* Main(int id) {
    return FindControl<T>(dialog.get(), id);
  }
  template <typename T = QWidget>
  T* Page(int id) {
    return FindControl<T>(dialog->Firmware(), id);
  }
  QString Status() { return Page<QLabel>(1037)->text(); }

  void Connect(const QString& baudRate) {
    auto* baud = Main<QComboBox>(1011);
    baud->setCurrentIndex(baud->findText(baudRate));
    Main<QPushButton>(1009)->click();
    Settle(dialog.get());
    ASSERT_TRUE(dialog->Conn().IsOpen());
    ASSERT_THAT(op.Messages(), IsEmpty());
    harness.Sim().ClearLog();
  }
  void Choose(const std::string& path) {
    op.QueueFile(path);
    Page<QPushButton>(1031)->click();
  }
  // The click and the page's preparation, until the worker runs (or the start failed).
  void PressUpdate() {
    Page<QPushButton>(1033)->click();
    Settle(dialog.get());
  }

  // The five buttons, Open/Close, Reboot, Reload and the Configuration page: the
  // line's users, which an update disables while it owns the line.
  std::vector<bool> LineUsersEnabled() {
    std::vector<bool> enabled;
    for (int id : kFiveButtons) enabled.push_back(Page(id)->isEnabled());
    for (int id : {1009, 1006, 1007}) enabled.push_back(Main(id)->isEnabled());
    enabled.push_back(dialog->Config()->isEnabled());
    return enabled;
  }

  // The tree's parameter names under `group`.
  QStringList Parameters(const QString& group) {
    QTreeWidget* tree = dialog->Config()->Tree();
    QStringList names;
    for (int g = 0; g < tree->topLevelItemCount(); ++g) {
      if (tree->topLevelItem(g)->text(0) != group) continue;
      for (int c = 0; c < tree->topLevelItem(g)->childCount(); ++c)
        names << tree->topLevelItem(g)->child(c)->text(0);
    }
    return names;
  }

  SimHarness harness;  // before the dialog: the port closes before the module goes
  FakeOperator op;
  PortList noPorts;
  std::unique_ptr<MainDialog> dialog = std::make_unique<MainDialog>(op, &noPorts);
};

const std::vector<bool> kAllEnabled(9, true);
const std::vector<bool> kAllDisabled(9, false);

TEST_F(FirmwareUpdatePage, LocalUpdateSendsTheChosenImageAndShowsTheNewVersionAndItsDefinitions) {
  Connect("115200");
  ASSERT_EQ(Main<QLabel>(1025)->text(), "v1.10.0");
  ASSERT_THAT(Parameters("Node"), Not(Contains("LED mode")));
  const FirmwareImageFile image("MA11", "v1.11.0", 3000);

  Choose(image.Path());
  ASSERT_EQ(op.Events().size(), 1u);
  EXPECT_EQ(op.Events()[0].kind, FakeOperator::Event::kOpenFile);
  EXPECT_EQ(op.Events()[0].text, kFilter);
  EXPECT_EQ(Page<QLineEdit>(1032)->text().toStdString(), image.Path());
  // What is typed into the file location is never read back.
  Page<QLineEdit>(1032)->setText("/nowhere/typed-by-hand.ebl");

  PressUpdate();
  // The page's preparation has put the module into its bootloader; the worker runs.
  EXPECT_EQ(LineUsersEnabled(), kAllDisabled);
  EXPECT_THAT(harness.Sim().ReceivedLines(), Contains("AT+BOOTLOAD\n"));

  ASSERT_TRUE(WaitUntil([&] { return Status() == "Completed successfully."; }, kTransferDeadlineMs))
      << Status().toStdString() << " " << ::testing::PrintToString(op.Messages());
  EXPECT_THAT(harness.Sim().ReceivedImages(), ElementsAre(image.Padded()));
  EXPECT_EQ(harness.Sim().Version(), "v1.11.0");
  EXPECT_EQ(Main<QLabel>(1025)->text(), "v1.11.0");
  EXPECT_EQ(Main<QLabel>(1022)->text(), "MA11");
  EXPECT_EQ(Main<QLabel>(1024)->text(), "000D6F0000A1B2C3");
  EXPECT_EQ(Main<QLabel>(1023)->text(), "Zendra1");
  // The tree of MA11_v1.11.0.zmcon: "LED mode" is a parameter of that version only.
  EXPECT_THAT(Parameters("Node"), Contains("LED mode"));
  EXPECT_EQ(FindControl<QGroupBox>(dialog->Config(), 1005)->title(), "");
  EXPECT_EQ(Page<QProgressBar>(1034)->value(), 100);
  EXPECT_EQ(LineUsersEnabled(), kAllEnabled);
  EXPECT_EQ(Main<QPushButton>(1009)->text(), "Close");
  EXPECT_EQ(Page<QLineEdit>(1032)->text(), "/nowhere/typed-by-hand.ebl");
  EXPECT_THAT(op.Messages(), IsEmpty());
  EXPECT_EQ(op.WaitDepth(), 0);
}

TEST_F(FirmwareUpdatePage, LocalUpdateIsRefusedAtTheWrongLineSpeedAndForAnotherModelsImage) {
  const FirmwareImageFile image("MA11", "v1.11.0", 300);
  const FirmwareImageFile otherModel("MB11", "v3.1", 300);

  Connect("9600");
  Choose(image.Path());
  PressUpdate();
  EXPECT_THAT(
      op.Messages(),
      ElementsAre("ERROR: Please change the baudrate to 115200 and flow control to 'none'."));
  EXPECT_THAT(harness.Sim().ReceivedLines(), IsEmpty());

  // At 115200 the image must be built for the module's product. The port closes
  // on the window's task.
  Main<QPushButton>(1009)->click();
  ASSERT_TRUE(Settle(dialog.get()));
  ASSERT_FALSE(dialog->Conn().IsOpen());
  op.Clear();
  Connect("115200");
  Choose(otherModel.Path());
  // A cancelled file dialog keeps the file chosen before.
  op.QueueFile(std::nullopt);
  Page<QPushButton>(1031)->click();
  EXPECT_EQ(Page<QLineEdit>(1032)->text().toStdString(), otherModel.Path());
  op.Clear();
  PressUpdate();
  EXPECT_THAT(op.Messages(),
              ElementsAre("ERROR: The firmware file does not match with current device."));

  // A text file that names the module's model passes the model check and is
  // still no image.
  const FirmwareImageFile text("MA11", "v1.11.0", 48, FirmwareImageFile::Form::kText);
  Choose(text.Path());
  op.Clear();
  PressUpdate();
  EXPECT_THAT(op.Messages(), ElementsAre("ERROR: The file is text, not a firmware image."));

  // Nothing reached the module; status, progress and buttons are as they were.
  EXPECT_THAT(harness.Sim().ReceivedLines(), IsEmpty());
  EXPECT_EQ(Status(), "");
  EXPECT_EQ(Page<QProgressBar>(1034)->value(), 0);
  EXPECT_EQ(LineUsersEnabled(), kAllEnabled);
  EXPECT_FALSE(dialog->Firmware()->Update().Busy());
}

TEST_F(FirmwareUpdatePage, AnImageTheBootloaderRefusesEndsInABoxThatAsksForAReload) {
  Connect("115200");
  // Binary, with the model code, but no ebl image: the bootloader checks it once
  // it has come, and by then the application is gone.
  const FirmwareImageFile image("MA11", "v1.11.0", 3000, FirmwareImageFile::Form::kNoEblHeader);
  Choose(image.Path());
  op.Clear();
  PressUpdate();
  // The worker's end reaches the window as queued calls: its box, then the buttons.
  ASSERT_TRUE(WaitUntil(
      [&] {
        return !dialog->Firmware()->Update().Busy() && !op.Messages().empty() &&
               LineUsersEnabled() == kAllEnabled;
      },
      kTransferDeadlineMs))
      << Status().toStdString();

  EXPECT_EQ(Status(), "The bootloader refused the image.");
  EXPECT_THAT(op.Messages(), ElementsAre("ERROR: Failed to update firmware."));
  EXPECT_THAT(op.Details(),
              ElementsAre(::testing::HasSubstr("needs a reload with a valid firmware image")));
  EXPECT_TRUE(harness.Sim().ReceivedImages().empty());
  EXPECT_EQ(harness.Sim().RefusedImages().size(), 1u);
  EXPECT_TRUE(harness.Sim().InBootloader());
  // The labels still show what the module ran before; the buttons are back, Reload
  // among them.
  EXPECT_EQ(Main<QLabel>(1025)->text(), "v1.10.0");
  EXPECT_EQ(LineUsersEnabled(), kAllEnabled);
}

TEST_F(FirmwareUpdatePage,
       ClosingTheMainWindowMidTransferStopsTheWorkerAndLeavesTheBootloaderWaiting) {
  Connect("115200");
  const FirmwareImageFile image("MA11", "v1.11.0", 48 * 1024);
  Choose(image.Path());
  PressUpdate();
  ASSERT_TRUE(WaitUntil([&] { return Status().endsWith("% Completed!"); }, kTransferDeadlineMs))
      << Status().toStdString();
  ASSERT_TRUE(dialog->Firmware()->Update().Busy());

  dialog->close();
  const auto asked = std::chrono::steady_clock::now();
  dialog.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - asked, 2s);

  // CAN CAN CAN ended the upload: no image arrived, and the module waits in its
  // bootloader, from which the next connection brings it back.
  EXPECT_THAT(harness.Sim().ReceivedImages(), IsEmpty());
  EXPECT_TRUE(harness.Sim().InBootloader());
  EXPECT_EQ(harness.Sim().Version(), "v1.10.0");
  EXPECT_THAT(op.Messages(), IsEmpty());
}

TEST_F(FirmwareUpdatePage, ClosingTheMainWindowWhileTheWorkersBoxWaitsForTheOperatorDoesNotHang) {
  Connect("115200");
  // The new firmware starts without a word: after its bound the worker reports
  // "ERROR: The device does not respond." in a box.
  sim::Faults quiet;
  quiet.quietStart = true;
  harness.Sim().SetFaults(quiet);
  const FirmwareImageFile image("MA11", "v1.11.0", 300);
  Choose(image.Path());
  PressUpdate();
  ASSERT_TRUE(dialog->Firmware()->Update().Busy());

  // The box is asked for; the GUI thread, not running its event loop, never shows it.
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while (dialog->Firmware()->Relay().Asking() == 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::yield();
  ASSERT_EQ(dialog->Firmware()->Relay().Asking(), 1);

  const auto asked = std::chrono::steady_clock::now();
  dialog.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - asked, 2s);
  EXPECT_THAT(op.Messages(), IsEmpty());
  EXPECT_EQ(harness.Sim().Version(), "v1.11.0");
}

TEST_F(FirmwareUpdatePage, StrayKeysDuringAnUpdateNeitherEndTheWindowNorTheUpdate) {
  dialog->show();
  Connect("115200");
  const FirmwareImageFile image("MA11", "v1.11.0", 16 * 1024);
  Choose(image.Path());
  EXPECT_TRUE(Page<QLineEdit>(1032)->isReadOnly()) << "the chosen image is shown, not typed";
  // The operator presses Update from the keyboard: the button has the focus when
  // the update disables it.
  QApplication::setActiveWindow(dialog.get());
  ASSERT_TRUE(QTest::qWaitForWindowActive(dialog.get()));
  dialog->Tabs()->setCurrentIndex(1);
  Page(1033)->setFocus();
  ASSERT_EQ(QApplication::focusWidget(), Page(1033));
  QTest::keyClick(Page(1033), Qt::Key_Space);
  Settle(dialog.get());
  // Disabled with the focus, the button hands it to the page, which acts on no key.
  EXPECT_EQ(QApplication::focusWidget(), dialog->Firmware());
  ASSERT_TRUE(WaitUntil([&] { return Status().endsWith("% Completed!"); }, kTransferDeadlineMs));

  // Esc and Enter where an operator's hands land: the port box, the tree, the window.
  QWidget* targets[] = {Main(1010), dialog->Config()->Tree(), dialog.get()};
  for (QWidget* target : targets) {
    for (auto key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter}) {
      QTest::keyClick(target, key);
      ASSERT_TRUE(dialog->isVisible()) << "a key ended the window";
    }
  }
  ASSERT_TRUE(WaitUntil([&] { return Status() == "Completed successfully."; }, kTransferDeadlineMs))
      << Status().toStdString();
  EXPECT_EQ(Main<QLabel>(1025)->text(), "v1.11.0");
  EXPECT_TRUE(dialog->isVisible());
  // The focus did not fall into the port box when the buttons were disabled.
  EXPECT_NE(QApplication::focusWidget(), Main(1010));
  EXPECT_NE(QApplication::focusWidget(), Main<QComboBox>(1010)->lineEdit());
}

TEST_F(FirmwareUpdatePage, ClosingTheWindowDuringAnUpdateAsksFirstWithNoAsTheDefault) {
  dialog->show();
  Connect("115200");
  const FirmwareImageFile image("MA11", "v1.11.0", 16 * 1024);
  Choose(image.Path());
  op.Clear();
  PressUpdate();
  ASSERT_TRUE(WaitUntil([&] { return Status().endsWith("% Completed!"); }, kTransferDeadlineMs));

  // No: the window stays and the update goes on to its end.
  op.QueueAnswer(false);
  dialog->close();
  EXPECT_TRUE(dialog->isVisible());
  ASSERT_EQ(op.Events().size(), 1u);
  EXPECT_EQ(op.Events()[0].kind, FakeOperator::Event::kQuestion);
  EXPECT_TRUE(op.Events()[0].defaultNo);
  EXPECT_THAT(op.Events()[0].text, ::testing::HasSubstr("firmware reload"));
  ASSERT_TRUE(
      WaitUntil([&] { return Status() == "Completed successfully."; }, kTransferDeadlineMs));
  EXPECT_THAT(harness.Sim().ReceivedImages(), ElementsAre(image.Padded()));

  // Without an update running there is nothing to ask.
  op.Clear();
  dialog->close();
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_THAT(op.Questions(), IsEmpty());
}

TEST_F(FirmwareUpdatePage, YesToTheCloseQuestionStopsTheUpdateAndEndsTheWindow) {
  dialog->show();
  Connect("115200");
  const FirmwareImageFile image("MA11", "v1.11.0", 48 * 1024);
  Choose(image.Path());
  PressUpdate();
  ASSERT_TRUE(WaitUntil([&] { return Status().endsWith("% Completed!"); }, kTransferDeadlineMs));
  op.QueueAnswer(true);
  dialog->close();
  EXPECT_FALSE(dialog->isVisible());
  const auto asked = std::chrono::steady_clock::now();
  dialog.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - asked, 2s);
  EXPECT_THAT(harness.Sim().ReceivedImages(), IsEmpty());
  EXPECT_TRUE(harness.Sim().InBootloader());
}

}  // namespace
}  // namespace zendra::test

namespace zendra::test {
namespace {

// The window with the desktop's own boxes: a question stays open until someone
// (or something) closes it.
class FirmwareUpdatePageWithBoxes : public ::testing::Test {
 protected:
  FirmwareUpdatePageWithBoxes() : harness(Module(), kTimeScale) {
    dialog->AddAndSelectPort(harness.Sim().PortPath());
  }
  QString Status() { return FindControl<QLabel>(dialog->Firmware(), 1037)->text(); }

  SimHarness harness;
  QtOperator boxes;
  PortList noPorts;
  std::unique_ptr<MainDialog> dialog = std::make_unique<MainDialog>(boxes, &noPorts);
};

TEST_F(FirmwareUpdatePageWithBoxes, AStopQuestionLeftOpenGoesWhenTheTransferEnds) {
  auto* baud = FindControl<QComboBox>(dialog.get(), 1011);
  baud->setCurrentIndex(baud->findText("115200"));
  FindControl<QPushButton>(dialog.get(), 1009)->click();
  ASSERT_TRUE(Settle(dialog.get()));
  ASSERT_TRUE(dialog->Conn().IsOpen());
  const FirmwareImageFile image("MA11", "v1.11.0", 96 * 1024);
  dialog->Firmware()->SetImagePath(image.Path());
  FindControl<QPushButton>(dialog->Firmware(), 1033)->click();
  auto* cancel = FindControl<QPushButton>(dialog->Firmware(), 1061);
  ASSERT_TRUE(WaitUntil([&] { return cancel->isEnabled(); }, kTransferDeadlineMs));

  // Watches the modal stack (not the focus): the question's box, and a last resort
  // that closes it should it stay long after the transfer, so that the test ends.
  bool seen = false;
  bool forced = false;
  QElapsedTimer clock;
  clock.start();
  QTimer watch;
  QObject::connect(&watch, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (!box) return;
    seen = seen || box->text().contains("Stop the update?");
    if (clock.elapsed() > 2 * kTransferDeadlineMs) {
      forced = true;
      box->done(QMessageBox::No);
    }
  });
  watch.start(5);
  // Cancel pressed, the question left open: the transfer goes on meanwhile.
  bool answered = false;
  QTimer::singleShot(0, dialog->Firmware(), [&] {
    dialog->Firmware()->OnCancel();
    answered = true;
  });
  ASSERT_TRUE(WaitUntil([&] { return answered; }, 3 * kTransferDeadlineMs));
  watch.stop();
  EXPECT_TRUE(seen);
  EXPECT_FALSE(forced) << "the box outlived the transfer";
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
  // No stop was asked for: the update ran to its end.
  ASSERT_TRUE(WaitUntil([&] { return Status() == "Completed successfully."; }, kTransferDeadlineMs))
      << Status().toStdString();
  EXPECT_EQ(harness.Sim().Version(), "v1.11.0");
}

}  // namespace
}  // namespace zendra::test
