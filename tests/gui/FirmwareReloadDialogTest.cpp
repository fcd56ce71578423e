// The firmware reload dialog: run by the connect handshake for a module whose
// firmware is damaged and driven there as an operator drives it, then on its own
// against a module waiting in its bootloader: the refusal of an upload without a
// file, and the dialog that cannot be closed while the image goes out.

#include <gmock/gmock.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <chrono>
#include <memory>
#include <thread>

#include "support/FirmwareImageFile.h"
#include "GuiTestSupport.h"
#include "widgets/FindControl.h"
#include "app/MainDialog.h"
#include "firmware/ui/FirmwareUploadDialog.h"
#include "serial/PortList.h"
#include "support/FakeOperator.h"
#include "support/SimHarness.h"
#include "support/TempFolder.h"

namespace zendra::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;
using namespace std::chrono_literals;

// Controls of the dialog, restated: status line 1049, progress bar 1034, Choose
// File 1047, the path 1048, Close 1050, Upload 1046.
constexpr int kStatus = 1049;
constexpr int kProgress = 1034;
constexpr int kChooseFile = 1047;
constexpr int kPath = 1048;
constexpr int kClose = 1050;
constexpr int kUpload = 1046;

constexpr double kTimeScale = 0.3;
constexpr int kTransferDeadlineMs = 30000;

sim::Options DamagedModule() {
  sim::Options options;
  options.productName = "MA11";
  options.version = "v1.10.0";
  options.baudRate = 9600;  // the firmware's rate; its bootloader talks at 115200
  options.damaged = true;
  return options;
}

template <typename T = QWidget>
T* Control(QWidget* dialog, int id) {
  return FindControl<T>(dialog, id);
}
QString StatusOf(QWidget* dialog) { return Control<QLabel>(dialog, kStatus)->text(); }

TEST(FirmwareReloadFromTheHandshake, ADamagedModuleIsReloadedThroughTheDialogAndThenConnected) {
  SimHarness harness(DamagedModule(), kTimeScale);
  FakeOperator op;
  PortList noPorts;
  MainDialog dialog(op, &noPorts);
  dialog.AddAndSelectPort(harness.Sim().PortPath());
  const FirmwareImageFile image("MA11", "v1.11.0", 2000);
  op.QueueAnswer(true);

  bool shown = false, completed = false;
  int progressAtTheEnd = -1;
  WhenModalShows<FirmwareUploadDialog>([&](FirmwareUploadDialog* upload) {
    shown = true;
    EXPECT_EQ(upload->parentWidget(), &dialog);
    EXPECT_EQ(upload->windowTitle(), "Firmware Upload");
    // Not the handshake's wait cursor: the dialog is the operator's to use.
    ASSERT_NE(QApplication::overrideCursor(), nullptr);
    EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::ArrowCursor);
    op.QueueFile(image.Path());
    Control<QPushButton>(upload, kChooseFile)->click();
    EXPECT_EQ(Control<QLineEdit>(upload, kPath)->text().toStdString(), image.Path());
    Control<QPushButton>(upload, kUpload)->click();
    EXPECT_TRUE(upload->Transferring());
    EXPECT_FALSE(Control(upload, kClose)->isEnabled());

    completed = WaitUntil(
        [&] {
          return StatusOf(upload) == "Completed successfully." &&
                 Control(upload, kClose)->isEnabled();
        },
        kTransferDeadlineMs);
    EXPECT_TRUE(completed) << StatusOf(upload).toStdString();
    progressAtTheEnd = Control<QProgressBar>(upload, kProgress)->value();
    Control<QPushButton>(upload, kClose)->click();
    // Should the reload hang, the test ends it rather than hanging with it.
    if (upload->isVisible()) upload->hide();
  });
  FindControl<QPushButton>(&dialog, 1009)->click();
  Settle(&dialog, kTransferDeadlineMs);

  EXPECT_TRUE(shown);
  EXPECT_TRUE(completed);
  EXPECT_EQ(progressAtTheEnd, 100);
  EXPECT_THAT(op.Questions(),
              ElementsAre("The local device's firmware was demaged. Do you want to reload?"));
  EXPECT_THAT(op.Messages(), ElementsAre("Firmware update is completed successfully."));
  EXPECT_THAT(harness.Sim().ReceivedImages(), ElementsAre(image.Padded()));
  // The handshake went on at the operator's 9600 baud with the new firmware.
  EXPECT_TRUE(dialog.Conn().IsOpen());
  EXPECT_EQ(FindControl<QPushButton>(&dialog, 1009)->text(), "Close");
  EXPECT_EQ(FindControl<QLabel>(&dialog, 1025)->text(), "v1.11.0");
  EXPECT_EQ(FindControl<QLabel>(&dialog, 1022)->text(), "MA11");
  EXPECT_FALSE(harness.Sim().InBootloader());
  EXPECT_EQ(op.WaitDepth(), 0);
}

// The dialog on its own, the line at 115200 to a module in its bootloader, as the
// handshake's probe leaves it.
class ReloadDialog : public ::testing::Test {
 protected:
  ReloadDialog() : harness(Bootloader(), kTimeScale) {
    if (!harness.OpenPort(115200)) ADD_FAILURE() << "the port did not open";
    dialog->show();
  }
  static sim::Options Bootloader() {
    sim::Options options = DamagedModule();
    options.faults.silentAfterBlock = 2;  // the transfer stalls after two blocks
    return options;
  }

  template <typename T = QWidget>
  T* Control(int id) {
    return FindControl<T>(dialog.get(), id);
  }

  SimHarness harness;
  std::unique_ptr<FirmwareUploadDialog> dialog =
      std::make_unique<FirmwareUploadDialog>(harness.Conn(), harness.Line(), harness.Op());
};

TEST_F(ReloadDialog, UploadWithoutAFileSaysTheFileIsInvalidAndSendsNothing) {
  Control<QPushButton>(kUpload)->click();
  Settle(dialog.get());
  EXPECT_THAT(harness.Op().Messages(), ElementsAre("ERROR: The firmware file is invalid."));
  EXPECT_EQ(StatusOf(dialog.get()), "Invalid firmware file.");
  EXPECT_EQ(Control<QProgressBar>(kProgress)->value(), 0);
  EXPECT_FALSE(dialog->Transferring());
  for (int id : {kUpload, kChooseFile, kClose}) EXPECT_TRUE(Control(id)->isEnabled()) << id;
  EXPECT_THAT(harness.Sim().ReceivedLines(), IsEmpty());

  // A cancelled file dialog leaves the path as it was: empty.
  Control<QPushButton>(kChooseFile)->click();
  EXPECT_EQ(Control<QLineEdit>(kPath)->text(), "");
}

TEST_F(ReloadDialog, AFileThatIsNoFirmwareImageIsRefusedBeforeTheBootloaderIsTouched) {
  TempFolder folder;
  const std::string notes = folder.Write("notes.txt", "These are notes, not firmware.\n");
  harness.Op().QueueFile(notes);
  Control<QPushButton>(kChooseFile)->click();
  EXPECT_TRUE(Control<QLineEdit>(kPath)->isReadOnly());
  Control<QPushButton>(kUpload)->click();
  Settle(dialog.get());
  EXPECT_THAT(harness.Op().Messages(), ElementsAre("ERROR: The firmware file is invalid."));
  EXPECT_EQ(StatusOf(dialog.get()), "Invalid firmware file.");
  EXPECT_FALSE(dialog->Transferring());
  for (int id : {kUpload, kChooseFile, kClose}) EXPECT_TRUE(Control(id)->isEnabled()) << id;

  // Text that names the model is no image either, with a message that says so.
  const FirmwareImageFile text("MA11", "v1.11.0", 48, FirmwareImageFile::Form::kText);
  harness.Op().Clear();
  harness.Op().QueueFile(text.Path());
  Control<QPushButton>(kChooseFile)->click();
  Control<QPushButton>(kUpload)->click();
  Settle(dialog.get());
  EXPECT_THAT(harness.Op().Messages(), ElementsAre("ERROR: The file is text, not a firmware image."));
  EXPECT_EQ(StatusOf(dialog.get()), "Invalid firmware file.");
  EXPECT_FALSE(dialog->Transferring());
  EXPECT_THAT(harness.Sim().ReceivedLines(), IsEmpty()) << "not even the line end that wakes the menu";
}

TEST(ReloadDialogAlone, AnImageTheBootloaderRefusesFailsAndTheModuleStillNeedsAReload) {
  SimHarness harness(DamagedModule(), kTimeScale);
  ASSERT_TRUE(harness.OpenPort(115200));
  FirmwareUploadDialog dialog(harness.Conn(), harness.Line(), harness.Op());
  dialog.show();
  const FirmwareImageFile image("MA11", "v1.11.0", 2000, FirmwareImageFile::Form::kNoEblHeader);
  harness.Op().QueueFile(image.Path());
  Control<QPushButton>(&dialog, kChooseFile)->click();
  Control<QPushButton>(&dialog, kUpload)->click();
  ASSERT_TRUE(dialog.Transferring());
  ASSERT_TRUE(WaitUntil(
      [&] { return !dialog.Transferring() && Control(&dialog, kClose)->isEnabled(); },
      kTransferDeadlineMs));
  Settle(&dialog);

  EXPECT_EQ(StatusOf(&dialog), "The bootloader refused the image.");
  EXPECT_THAT(harness.Op().Messages(), ElementsAre("ERROR: Failed to update firmware."));
  EXPECT_THAT(harness.Op().Details(),
              ElementsAre(::testing::HasSubstr("needs a reload with a valid firmware image")));
  for (int id : {kUpload, kChooseFile, kClose}) EXPECT_TRUE(Control(&dialog, id)->isEnabled()) << id;
  EXPECT_TRUE(harness.Sim().ReceivedImages().empty());
  EXPECT_EQ(harness.Sim().RefusedImages().size(), 1u);
  EXPECT_TRUE(harness.Sim().InBootloader());
}

TEST_F(ReloadDialog, WhileTheImageGoesOutTheDialogCannotBeClosedAndItsEndDoesNotWaitForItsBox) {
  const FirmwareImageFile image("MA11", "v1.11.0", 2000);
  harness.Op().QueueFile(image.Path());
  Control<QPushButton>(kChooseFile)->click();
  Control<QPushButton>(kUpload)->click();
  ASSERT_TRUE(dialog->Transferring());

  // Close, Esc and the title bar's button are all refused.
  ASSERT_TRUE(WaitUntil([&] { return StatusOf(dialog.get()).endsWith("% Completed!"); },
                        kTransferDeadlineMs));
  EXPECT_FALSE(Control(kClose)->isEnabled());
  dialog->accept();
  dialog->reject();
  dialog->close();
  EXPECT_TRUE(dialog->isVisible());

  // The stalled transfer fails; the worker asks for its box, which the GUI thread,
  // not running its event loop, never shows.
  const auto deadline = std::chrono::steady_clock::now() + 30s;
  while (dialog->Relay().Asking() == 0 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::yield();
  ASSERT_EQ(dialog->Relay().Asking(), 1);

  const auto asked = std::chrono::steady_clock::now();
  dialog.reset();  // the program ends under the dialog: stop, answer, join
  EXPECT_LT(std::chrono::steady_clock::now() - asked, 2s);
  EXPECT_THAT(harness.Op().Messages(), IsEmpty());
  EXPECT_THAT(harness.Sim().ReceivedImages(), IsEmpty());
}

}  // namespace
}  // namespace zendra::test
