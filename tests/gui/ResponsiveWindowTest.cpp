// The window keeps painting while the module is asked: the handshake of a damaged
// module, the reload from its question, and a local update all run off the
// window's thread. A 20 ms probe timer on the window's thread measures the
// largest gap between two of its ticks over the whole run.

#include <gmock/gmock.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <chrono>
#include <iostream>
#include <memory>

#include "support/FirmwareImageFile.h"
#include "GuiTestSupport.h"
#include "app/MainDialog.h"
#include "firmware/ui/FirmwarePage.h"
#include "firmware/ui/FirmwareUploadDialog.h"
#include "serial/PortList.h"
#include "support/FakeOperator.h"
#include "support/SimHarness.h"
#include "widgets/FindControl.h"

namespace zendra::test {
namespace {

using ::testing::ElementsAre;

constexpr double kTimeScale = 0.3;
constexpr int kDeadlineMs = 60000;
constexpr qint64 kLargestGapMs = 100;

TEST(ResponsiveWindow, TheWindowKeepsPaintingThroughAReloadFromTheHandshakeAndALocalUpdate) {
  sim::Options module;
  module.productName = "MA11";
  module.version = "v1.10.0";
  module.baudRate = 115200;  // the local update needs the line at the bootloader's rate
  module.damaged = true;
  SimHarness harness(module, kTimeScale);
  FakeOperator op;
  PortList noPorts;
  MainDialog dialog(op, &noPorts);
  dialog.AddAndSelectPort(harness.Sim().PortPath());
  auto* baud = FindControl<QComboBox>(&dialog, 1011);
  baud->setCurrentIndex(baud->findText("115200"));
  dialog.show();
  const FirmwareImageFile reloadImage("MA11", "v1.10.1", 3000);
  const FirmwareImageFile updateImage("MA11", "v1.11.0", 3000);

  TickProbe probe;
  // The handshake finds the damaged module and asks to reload: Yes, then the
  // reload dialog, driven as the operator drives it.
  op.QueueAnswer(true);
  bool reloaded = false;
  WhenModalShows<FirmwareUploadDialog>(
      [&](FirmwareUploadDialog* upload) {
        op.QueueFile(reloadImage.Path());
        FindControl<QPushButton>(upload, 1047)->click();
        FindControl<QPushButton>(upload, 1046)->click();
        reloaded = WaitUntil(
            [&] { return !upload->Transferring() && FindControl(upload, 1050)->isEnabled(); },
            kDeadlineMs);
        FindControl<QPushButton>(upload, 1050)->click();
        if (upload->isVisible()) upload->hide();
      },
      kDeadlineMs);
  FindControl<QPushButton>(&dialog, 1009)->click();
  ASSERT_TRUE(Settle(&dialog, kDeadlineMs));
  ASSERT_TRUE(reloaded);
  ASSERT_TRUE(dialog.Conn().IsOpen()) << ::testing::PrintToString(op.Messages());
  EXPECT_EQ(FindControl<QLabel>(&dialog, 1025)->text(), "v1.10.1");

  // A local update of the module just reloaded.
  op.QueueFile(updateImage.Path());
  FindControl<QPushButton>(dialog.Firmware(), 1031)->click();
  FindControl<QPushButton>(dialog.Firmware(), 1033)->click();
  ASSERT_TRUE(WaitUntil(
      [&] {
        return FindControl<QLabel>(dialog.Firmware(), 1037)->text() == "Completed successfully.";
      },
      kDeadlineMs))
      << FindControl<QLabel>(dialog.Firmware(), 1037)->text().toStdString();
  ASSERT_TRUE(Settle(&dialog, kDeadlineMs));
  EXPECT_EQ(FindControl<QLabel>(&dialog, 1025)->text(), "v1.11.0");
  EXPECT_THAT(op.Messages(), ElementsAre("Firmware update is completed successfully."));

  std::cout << "largest gap between two 20 ms ticks: " << probe.LargestGap() << " ms"
            << std::endl;
  EXPECT_LE(probe.LargestGap(), kLargestGapMs);
}

TEST(ResponsiveWindow, ClosingTheWindowInTheMiddleOfTheHandshakeEndsItAtOnce) {
  // A module that answers nothing: at real time the handshake would go on for
  // about ten seconds of escapes and probes before it says so.
  sim::Options module;
  module.faults.silent = true;
  SimHarness harness(module, 1.0);
  FakeOperator op;
  PortList noPorts;
  auto dialog = std::make_unique<MainDialog>(op, &noPorts);
  dialog->AddAndSelectPort(harness.Sim().PortPath());
  FindControl<QPushButton>(dialog.get(), 1009)->click();
  ASSERT_TRUE(harness.Sim().WaitForLine("ATR1", std::chrono::seconds(5)));
  ASSERT_TRUE(dialog->Tasks().Busy());

  const auto asked = std::chrono::steady_clock::now();
  dialog.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::milliseconds(500));
  // Stopped, it reports nothing: no "does not respond" for a window that is gone.
  EXPECT_TRUE(op.Messages().empty()) << ::testing::PrintToString(op.Messages());
}

}  // namespace
}  // namespace zendra::test
