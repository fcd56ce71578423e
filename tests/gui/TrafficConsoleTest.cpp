// The traffic console beside the main window, offscreen against the simulated
// module: hidden until asked for, it fills with the handshake as it happens, sends
// a typed command when the line is free and refuses it while an update holds the
// line, keeps the window painting through a 256 KiB transfer, and saves its log.

#include <gmock/gmock.h>

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <fstream>
#include <iostream>
#include <iterator>

#include "GuiTestSupport.h"
#include "app/MainDialog.h"
#include "app/TrafficConsole.h"
#include "firmware/ui/FirmwarePage.h"
#include "serial/PortList.h"
#include "support/FakeOperator.h"
#include "support/FirmwareImageFile.h"
#include "support/SimHarness.h"
#include "support/TempFolder.h"
#include "widgets/FindControl.h"

namespace zendra::test {
namespace {

using ::testing::HasSubstr;

constexpr double kTimeScale = 0.3;
constexpr int kDeadlineMs = 120000;

class TrafficConsoleWindow : public ::testing::Test {
 protected:
  explicit TrafficConsoleWindow(sim::Options options = {})
      : harness(std::move(options), kTimeScale) {
    dialog.AddAndSelectPort(harness.Sim().PortPath());
    dialog.show();
  }

  TrafficConsole* Console() { return dialog.Console(); }
  QString Shown() { return Console()->findChild<QPlainTextEdit*>("trafficView")->toPlainText(); }
  QString Status() { return Console()->findChild<QLabel*>("commandStatus")->text(); }
  void Send(const QString& command) {
    Console()->findChild<QLineEdit*>("commandEdit")->setText(command);
    Console()->findChild<QPushButton*>("sendButton")->click();
  }
  bool Shows(const QString& text, int timeoutMs = 10000) {
    return WaitUntil([&] { return Shown().contains(text); }, timeoutMs);
  }
  void Open(int baud = 9600) {
    auto* baudBox = FindControl<QComboBox>(&dialog, 1011);
    baudBox->setCurrentIndex(baudBox->findText(QString::number(baud)));
    FindControl<QPushButton>(&dialog, 1009)->click();
    ASSERT_TRUE(Settle(&dialog, kDeadlineMs));
    ASSERT_TRUE(dialog.Conn().IsOpen()) << ::testing::PrintToString(op.Messages());
  }

  SimHarness harness;
  FakeOperator op;
  PortList noPorts;
  MainDialog dialog{op, &noPorts};
};

TEST_F(TrafficConsoleWindow, IsHiddenUntilTheViewMenuShowsItAndFillsWithTheHandshake) {
  EXPECT_FALSE(Console()->isVisible());
  QAction* show = nullptr;
  for (auto* action : dialog.findChildren<QAction*>())
    if (action->text() == "&Traffic Console") show = action;
  ASSERT_NE(show, nullptr);
  EXPECT_EQ(show->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_T));
  show->trigger();
  EXPECT_TRUE(Console()->isVisible());
  EXPECT_TRUE(Console()->isWindow());

  Open();
  // As it happens: the lines come without anything asking for them.
  ASSERT_TRUE(Shows(" TX AT+VERSION<CR><LF>")) << Shown().toStdString();
  ASSERT_TRUE(Shows(" RX v1.10.0<CR><LF>")) << Shown().toStdString();
  const QStringList lines = Shown().split('\n');
  EXPECT_EQ(lines.first(), "      0.000 -- open " +
                               QString::fromStdString(harness.Sim().PortPath()) + ", 9600 baud");
  qsizetype productQuery = -1, productAnswer = -1;
  for (qsizetype i = 0; i < lines.size(); ++i) {
    if (lines[i].endsWith(" TX AT+PRODUCTNAME<CR><LF>")) productQuery = i;
    if (lines[i].endsWith(" RX MA11<CR><LF>")) productAnswer = i;
  }
  EXPECT_GT(productQuery, 0);
  EXPECT_GT(productAnswer, productQuery);
}

// Esc puts the console away as it closes a dialog; the log goes on meanwhile.
TEST_F(TrafficConsoleWindow, EscHidesTheConsole) {
  dialog.ShowConsole();
  ASSERT_TRUE(Console()->isVisible());
  auto* hide = Console()->findChild<QAction*>("hideConsole");
  ASSERT_NE(hide, nullptr);
  EXPECT_EQ(hide->shortcut(), QKeySequence(Qt::Key_Escape));
  EXPECT_EQ(hide->shortcutContext(), Qt::WindowShortcut);
  EXPECT_TRUE(Console()->actions().contains(hide)) << "the shortcut lives on the console";
  hide->trigger();
  EXPECT_FALSE(Console()->isVisible());
  EXPECT_TRUE(dialog.isVisible());
  Open();
  dialog.ShowConsole();
  EXPECT_TRUE(Shows(" TX AT+VERSION<CR><LF>")) << "the traffic while hidden is there";
}

TEST_F(TrafficConsoleWindow, SendsATypedCommandWhenTheLineIsFreeAndShowsItsAnswer) {
  Open();
  Send("AT+NODENAME");
  ASSERT_TRUE(Settle(Console()));
  EXPECT_EQ(Status(), "Zendra1 | OK");
  EXPECT_TRUE(Shows(" TX AT+NODENAME<CR><LF>"));
  EXPECT_EQ(harness.Sim().ReceivedLines().back(), "AT+NODENAME\r\n");

  // Text that would be two commands is not sent at all.
  const auto lines = harness.Sim().ReceivedLines().size();
  Send("ATI\tX");
  ASSERT_TRUE(Settle(Console()));
  EXPECT_EQ(Status(), "Not sent: the command holds a control character.");
  EXPECT_EQ(harness.Sim().ReceivedLines().size(), lines);
}

TEST_F(TrafficConsoleWindow, SavesTheLogAsShownAndSaysWhenItCannot) {
  Open();
  ASSERT_TRUE(Shows(" RX v1.10.0<CR><LF>"));
  TempFolder folder;
  const std::string path = folder.Path() + "traffic.log";
  op.QueueFile(path);
  Console()->findChild<QPushButton*>("saveButton")->click();
  std::ifstream file(path);
  const std::string saved{std::istreambuf_iterator<char>(file), {}};
  EXPECT_EQ(saved, Shown().toStdString() + "\n");
  EXPECT_THAT(saved, HasSubstr(" TX ATE0<CR><LF>\n"));
  EXPECT_TRUE(op.Messages().empty());

  const std::string nowhere = folder.Path() + "no-such-folder/traffic.log";
  op.QueueFile(nowhere);
  Console()->findChild<QPushButton*>("saveButton")->click();
  EXPECT_THAT(op.Messages(),
              ::testing::ElementsAre("ERROR: The log could not be written to " + nowhere + "."));
}

TEST_F(TrafficConsoleWindow, ACommandRefusedAtOnceForABusyLineLeavesNoWaitingText) {
  Open();
  dialog.ShowConsole();
  // Another activity holds the line: the command is refused as soon as its task runs.
  auto held = dialog.Conn().TryLease("network scan");
  ASSERT_TRUE(held.has_value());
  // The window's wait cursor lets pending events through when it is shown
  // (QtOperator::BeginWait); here for as long as a refusal may take to come.
  op.SetOnBeginWait([&] { WaitUntil([&] { return Status().startsWith("Not sent"); }, 3000); });
  Send("AT+VERSION");
  op.SetOnBeginWait({});
  ASSERT_TRUE(WaitUntil([&] { return !Console()->Tasks().Busy(); }, kDeadlineMs));
  ASSERT_TRUE(Settle(&dialog, kDeadlineMs));
  EXPECT_EQ(Status(), "Not sent: the line is busy (network scan).");
  EXPECT_TRUE(Shows(" -- console: \"AT+VERSION\" Not sent: the line is busy (network scan)."));
  EXPECT_EQ(op.WaitDepth(), 0);
}

sim::Options UpdatingModule() {
  sim::Options options;
  options.baudRate = 115200;  // a local update needs the line at the bootloader's rate
  return options;
}

class TrafficConsoleDuringAnUpdate : public TrafficConsoleWindow {
 protected:
  TrafficConsoleDuringAnUpdate() : TrafficConsoleWindow(UpdatingModule()) {}
};

TEST_F(TrafficConsoleDuringAnUpdate, RefusesATypedCommandAndKeepsPaintingThroughA256KiBTransfer) {
  Open(115200);
  dialog.ShowConsole();
  const FirmwareImageFile image("MA11", "v1.11.0", 256 * 1024);
  TickProbe probe;
  op.QueueFile(image.Path());
  FindControl<QPushButton>(dialog.Firmware(), 1031)->click();
  FindControl<QPushButton>(dialog.Firmware(), 1033)->click();
  ASSERT_TRUE(Shows(" TX block 10, 133 bytes, ACK", kDeadlineMs)) << Shown().toStdString();

  // The update holds the line: the command is refused and nothing of it is sent.
  Send("AT+VERSION");
  ASSERT_TRUE(WaitUntil([&] { return !Console()->Tasks().Busy(); }, kDeadlineMs));
  EXPECT_EQ(Status(), "Not sent: the line is busy (firmware update).");
  EXPECT_TRUE(Shows(" -- console: \"AT+VERSION\" Not sent: the line is busy (firmware update)."));

  ASSERT_TRUE(WaitUntil(
      [&] {
        return FindControl<QLabel>(dialog.Firmware(), 1037)->text() == "Completed successfully.";
      },
      kDeadlineMs))
      << FindControl<QLabel>(dialog.Firmware(), 1037)->text().toStdString();
  ASSERT_TRUE(Settle(&dialog, kDeadlineMs));
  EXPECT_EQ(harness.Sim().Version(), "v1.11.0");

  ASSERT_TRUE(Shows(" TX block 2048 (0 on the line), 133 bytes, ACK"));
  EXPECT_EQ(Shown().count(" TX block "), 2048);
  EXPECT_EQ(Shown().count(", ACK"), 2048);
  for (const QString& line : Shown().split('\n'))
    if (line.contains(" TX block ") && !line.endsWith(", ACK")) ADD_FAILURE() << line.toStdString();
  std::cout << "largest gap between two 20 ms ticks: " << probe.LargestGap() << " ms" << std::endl;
  EXPECT_LE(probe.LargestGap(), 100);
}

}  // namespace
}  // namespace zendra::test
