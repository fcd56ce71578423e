// The Configuration page's Remote Configuration box and its Export / Import buttons
// against the simulated module with one remote node, driven as an operator drives
// them: the address typed or picked with "...", the box ticked and cleared, the file
// dialogs answered, and the main window closed in the middle of a long export.

#include <gmock/gmock.h>

#include <QCheckBox>
#include <QClipboard>
#include <QElapsedTimer>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>
#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>

#include "GuiTestSupport.h"
#include "app/MainDialog.h"
#include "config/ProgramFolder.h"
#include "config/ui/ConfigPage.h"
#include "discovery/ui/ScanDialog.h"
#include "serial/PortList.h"
#include "support/FakeOperator.h"
#include "support/SimHarness.h"
#include "support/TempFolder.h"
#include "widgets/FindControl.h"

namespace zendra::test {
namespace {

using ::testing::Contains;
using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

// Restated: the main window's Open/Close, the page's controls, the scan dialog's
// Search, Apply and list, and the texts the operator reads.
constexpr int kOpen = 1009;
constexpr int kTree = 1001;
constexpr int kExport = 1002;
constexpr int kImport = 1003;
constexpr int kRestore = 1004;
constexpr int kValueEdit = 1011;
constexpr int kRangeText = 1013;
constexpr int kRangeLabel = 1015;
constexpr int kAddress = 1026;
constexpr int kRemoteBox = 1027;
constexpr int kProductText = 1028;
constexpr int kEuiText = 1029;
constexpr int kVersionText = 1030;
constexpr int kBrowse = 1042;
constexpr int kScanSearch = 1042;
constexpr int kScanApply = 1044;
constexpr int kScanList = 1045;
constexpr const char* kReboot = "Reboot";
constexpr const char* kRestoreDefault = "Restore to Factory Default";
constexpr const char* kInvalidAddress = "ERROR: Invalid remote address";
constexpr const char* kNoResponse = "ERROR: The remote device does not respond.";
constexpr const char* kVersionQuestion =
    "The configuration file does not match with the current firmware version. Would you like "
    "to continue?";

constexpr const char* kRemoteEui = "000D6F00000B0B0B";
// Typed in another case: the module matches addresses without regard to case, and
// the page goes on with the address the device reports.
constexpr const char* kTypedAddress = "000d6f00000b0b0b";

constexpr double kTimeScale = 0.3;
constexpr int kDeadlineMs = 60000;

std::string SampleFolder() { return ProgramFolder::GetProgramFolder(); }

sim::Options Network() {
  sim::Options options;
  options.productName = "MA11";
  options.version = "v1.10.0";
  options.definitionsFile = SampleFolder() + "MA11_v1.10.0.zmcon";
  sim::RemoteNode barn;
  barn.euiAddress = kRemoteEui;
  barn.productName = "MB11";
  barn.version = "v3.0";
  barn.nodeName = "Barn";
  barn.definitionsFile = SampleFolder() + "MB11_v3.0.zmcon";
  options.remotes.push_back(barn);
  return options;
}

QStringList TopLevelTexts(QTreeWidget* tree) {
  QStringList texts;
  for (int i = 0; i < tree->topLevelItemCount(); ++i) texts << tree->topLevelItem(i)->text(0);
  return texts;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::vector<std::string> FolderEntries(const std::string& folder) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

const QStringList kLocalGroups{"Node", "Network", "Serial", "Power", "Security Settings"};
const QStringList kRemoteGroups{"Node", "Network", "Serial", "Power"};

class RemotePage : public ::testing::Test {
 protected:
  RemotePage() : harness(Network(), kTimeScale) {
    dialog = std::make_unique<MainDialog>(op, &noPorts);
    page = dialog->Config();
    page->Loader().SetProgramFolder(SampleFolder());
    dialog->AddAndSelectPort(harness.Sim().PortPath());
    dialog->show();
  }

  template <typename T = QWidget>
  T* Control(int id) {
    return FindControl<T>(page, id);
  }
  QTreeWidget* Tree() { return Control<QTreeWidget>(kTree); }
  QCheckBox* Box() { return Control<QCheckBox>(kRemoteBox); }
  QLineEdit* Address() { return Control<QLineEdit>(kAddress); }
  QString Text(int id) { return Control<QLabel>(id)->text(); }
  QString RestoreCaption() { return Control<QPushButton>(kRestore)->text(); }
  QStringList RemoteTexts() { return {Text(kProductText), Text(kEuiText), Text(kVersionText)}; }

  void Connect() {
    FindControl<QPushButton>(dialog.get(), kOpen)->click();
    ASSERT_TRUE(Settle(dialog.get(), kDeadlineMs));
    ASSERT_TRUE(dialog->Conn().IsOpen());
    ASSERT_THAT(op.Messages(), IsEmpty());
    harness.Sim().ClearLog();
  }

  // Types `address` into 1026 and clicks the box, as the operator does.
  void Tick(const QString& address) {
    Address()->setFocus();
    Address()->selectAll();
    QTest::keyClicks(Address(), address);
    ClickBox();
  }
  void ClickBox() { Box()->click(); }

  // Selects a tree item the way the operator does, and waits for its read.
  void Pick(const QString& group, const QString& name) {
    for (int g = 0; g < Tree()->topLevelItemCount(); ++g) {
      QTreeWidgetItem* root = Tree()->topLevelItem(g);
      if (root->text(0) != group) continue;
      for (int c = 0; c < root->childCount(); ++c) {
        if (root->child(c)->text(0) != name) continue;
        root->setExpanded(true);
        Tree()->scrollToItem(root->child(c));
        QTest::mouseClick(Tree()->viewport(), Qt::LeftButton, {},
                          Tree()->visualItemRect(root->child(c)).center());
        ASSERT_TRUE(Settle(dialog.get(), kDeadlineMs));
        return;
      }
    }
    FAIL() << "no tree item " << group.toStdString() << "/" << name.toStdString();
  }

  std::vector<std::string> Lines() { return harness.Sim().ReceivedLines(); }

  SimHarness harness;  // before the window: the port closes before the module goes
  FakeOperator op;
  PortList noPorts;
  TempFolder folder;
  std::unique_ptr<MainDialog> dialog;
  ConfigPage* page = nullptr;
};

TEST_F(RemotePage, TickingTheBoxSwitchesThePageToTheRemoteDeviceAndClearingItComesBack) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  EXPECT_EQ(TopLevelTexts(Tree()), kLocalGroups);

  Tick(kTypedAddress);
  ASSERT_TRUE(Settle(dialog.get(), kDeadlineMs));
  EXPECT_THAT(op.Messages(), IsEmpty());
  // The identification carries the typed address; its three answers are shown.
  EXPECT_THAT(Lines(), ElementsAre("at+rc=000d6f00000b0b0b,at+productname\r\n",
                                   "at+rc=000d6f00000b0b0b,AT+LONGADDR\r\n",
                                   "at+rc=000d6f00000b0b0b,AT+VERSION\r\n"));
  EXPECT_EQ(RemoteTexts(), QStringList({"MB11", kRemoteEui, "v3.0"}));
  EXPECT_TRUE(Box()->isChecked());
  EXPECT_TRUE(Box()->isEnabled());
  EXPECT_FALSE(Address()->isEnabled());
  EXPECT_EQ(RestoreCaption(), kReboot);
  EXPECT_TRUE(dialog->Conn().RemoteMode());
  // The remote product's own file, without "Security Settings".
  EXPECT_EQ(TopLevelTexts(Tree()), kRemoteGroups);
  EXPECT_EQ(Tree()->topLevelItem(1)->child(1)->text(0), "Extended PAN ID");

  // From now on the page reads from the address the device reported.
  harness.Sim().ClearLog();
  ASSERT_NO_FATAL_FAILURE(Pick("Node", "Node name"));
  EXPECT_THAT(Lines(), ElementsAre("AT+RC=000D6F00000B0B0B,AT+NODENAME\r\n"));
  EXPECT_EQ(Control<QLineEdit>(kValueEdit)->text(), "Barn");
  EXPECT_EQ(Text(kRangeLabel), "Range: ");

  // Cleared: the local file again, the remote texts and the range gone, nothing sent.
  harness.Sim().ClearLog();
  ClickBox();
  ASSERT_TRUE(Settle(dialog.get(), kDeadlineMs));
  EXPECT_FALSE(Box()->isChecked());
  EXPECT_TRUE(Address()->isEnabled());
  EXPECT_EQ(Address()->text(), kTypedAddress);
  EXPECT_EQ(RemoteTexts(), QStringList({"", "", ""}));
  EXPECT_EQ(RestoreCaption(), kRestoreDefault);
  EXPECT_EQ(Text(kRangeLabel), "");
  EXPECT_EQ(Text(kRangeText), "");
  EXPECT_FALSE(dialog->Conn().RemoteMode());
  EXPECT_EQ(TopLevelTexts(Tree()), kLocalGroups);
  EXPECT_THAT(Lines(), IsEmpty());
  ASSERT_NO_FATAL_FAILURE(Pick("Node", "Node name"));
  EXPECT_THAT(Lines(), ElementsAre("AT+NODENAME\r\n"));
  EXPECT_THAT(op.Messages(), IsEmpty());
  EXPECT_EQ(op.WaitDepth(), 0);
}

TEST_F(RemotePage, ClosingThePortInRemoteModeResetsTheBoxAndTheNextOpenIsLocal) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  Tick(kTypedAddress);
  ASSERT_TRUE(Settle(dialog.get(), kDeadlineMs));
  ASSERT_TRUE(Box()->isChecked());

  FindControl<QPushButton>(dialog.get(), kOpen)->click();  // Close
  ASSERT_TRUE(Settle(dialog.get(), kDeadlineMs));
  EXPECT_FALSE(dialog->Conn().IsOpen());
  EXPECT_FALSE(dialog->Conn().RemoteMode());
  EXPECT_FALSE(Box()->isChecked());
  EXPECT_FALSE(Box()->isEnabled());
  EXPECT_FALSE(Address()->isEnabled());
  EXPECT_EQ(RestoreCaption(), kRestoreDefault);
  EXPECT_EQ(RemoteTexts(), QStringList({"", "", ""}));
  EXPECT_EQ(Tree()->topLevelItemCount(), 0);

  ASSERT_NO_FATAL_FAILURE(Connect());
  EXPECT_EQ(TopLevelTexts(Tree()), kLocalGroups);
  EXPECT_TRUE(Box()->isEnabled());
  EXPECT_TRUE(Address()->isEnabled());
  ASSERT_NO_FATAL_FAILURE(Pick("Node", "Node name"));
  EXPECT_THAT(Lines(), ElementsAre("AT+NODENAME\r\n"));
}

TEST_F(RemotePage, AnAddressThatIsEmptyOrSilentLeavesThePageLocalWhileTheWindowPaints) {
  ASSERT_NO_FATAL_FAILURE(Connect());

  // Nothing typed: refused before anything is sent.
  ClickBox();
  ASSERT_TRUE(Settle(dialog.get(), kDeadlineMs));
  EXPECT_THAT(op.Messages(), ElementsAre(kInvalidAddress));
  EXPECT_FALSE(Box()->isChecked());
  EXPECT_THAT(Lines(), IsEmpty());

  // A remote that never answers: the product query runs into its 10 s.
  op.Clear();
  harness.Sim().SetRemoteFaults(kRemoteEui,
                                sim::RemoteFaults{.reach = sim::RemoteFaults::Reach::Silent});
  TickProbe probe;
  Tick(kTypedAddress);
  EXPECT_TRUE(Box()->isChecked()) << "the operator's tick shows while the device is asked";
  EXPECT_FALSE(Box()->isEnabled()) << "the box waits for the answer";
  EXPECT_FALSE(Address()->isEnabled()) << "and so does the address";
  ASSERT_TRUE(Settle(dialog.get(), kDeadlineMs));
  std::cout << "largest gap between two 20 ms ticks: " << probe.LargestGap() << " ms" << std::endl;
  // A window blocked by the identification would miss ticks for its whole 3 s; the
  // bound leaves room for a machine busy with other builds.
  EXPECT_LE(probe.LargestGap(), 200);

  EXPECT_THAT(op.Messages(), ElementsAre(kNoResponse));
  EXPECT_THAT(Lines(), ElementsAre("at+rc=000d6f00000b0b0b,at+productname\r\n"));
  EXPECT_FALSE(Box()->isChecked());
  EXPECT_TRUE(Box()->isEnabled());
  EXPECT_TRUE(Address()->isEnabled());
  EXPECT_EQ(RestoreCaption(), kRestoreDefault);
  EXPECT_EQ(RemoteTexts(), QStringList({"", "", ""}));
  EXPECT_FALSE(dialog->Conn().RemoteMode());
  EXPECT_EQ(TopLevelTexts(Tree()), kLocalGroups) << "the tree is left as it was";
  EXPECT_EQ(op.WaitDepth(), 0);
}

TEST_F(RemotePage, BrowsePutsThePickedAddressIntoTheEditWithoutTickingAndEscapeKeepsIt) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  Address()->setText("1A2B");

  bool applied = false;
  WhenModalShows<ScanDialog>([&](ScanDialog* scan) {
    FindControl<QPushButton>(scan, kScanSearch)->click();
    ASSERT_TRUE(Settle(scan, kDeadlineMs));
    auto* list = FindControl<QTableWidget>(scan, kScanList);
    ASSERT_EQ(list->rowCount(), 1);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(list->model()->index(0, 1)).center());
    FindControl<QPushButton>(scan, kScanApply)->click();
    applied = true;
  });
  Control<QPushButton>(kBrowse)->click();
  ASSERT_TRUE(applied);
  EXPECT_EQ(Address()->text(), kRemoteEui);
  EXPECT_FALSE(Box()->isChecked()) << "the operator ticks the box to connect";
  EXPECT_FALSE(dialog->Conn().RemoteMode());
  EXPECT_THAT(Lines(), ElementsAre("at+ds\r\n")) << "the scan only; no identification";

  Address()->setText("1A2B");
  bool escaped = false;
  WhenModalShows<ScanDialog>([&](ScanDialog* scan) {
    FindControl<QPushButton>(scan, kScanSearch)->click();
    ASSERT_TRUE(Settle(scan, kDeadlineMs));
    auto* list = FindControl<QTableWidget>(scan, kScanList);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      list->visualRect(list->model()->index(0, 1)).center());
    QTest::keyClick(scan, Qt::Key_Escape);
    escaped = true;
  });
  Control<QPushButton>(kBrowse)->click();
  ASSERT_TRUE(escaped);
  EXPECT_EQ(Address()->text(), "1A2B");
  EXPECT_FALSE(Box()->isChecked());
  EXPECT_THAT(op.Messages(), IsEmpty());
}

TEST_F(RemotePage, ExportAndImportGoThroughTheFileDialogsToTheFileAndBackToTheModule) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  harness.Sim().SetRegister("AT+NODENAME", "Bench7");
  harness.Sim().SetRegister("AT+CHANNEL", "15");
  const std::string path = folder.Path() + "bench";  // the save dialog adds ".zgb"

  op.QueueFile(path);
  Control<QPushButton>(kExport)->click();
  ASSERT_TRUE(Settle(dialog.get(), kDeadlineMs));
  EXPECT_THAT(op.Messages(), IsEmpty());
  const std::vector<FakeOperator::Event> events = op.Events();
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.front().kind, FakeOperator::Event::kSaveFile);
  EXPECT_EQ(events.front().text, "zgb Files(*.zgb)|*.zgb|All Files(*.*)|*.*|");
  const std::string file = ReadFile(path + ".zgb");
  EXPECT_THAT(file, HasSubstr("[Firmware]\r\nVersion=MA11_v1.10.0.zmcon\r\nNum_of_saves=14\r\n"));
  EXPECT_THAT(file, HasSubstr("Name=Node/Node name\r\nCommand=AT+NODENAME=Bench7\r\n"));
  EXPECT_THAT(file, HasSubstr("Name=Network/Channel\r\nCommand=AT+CHANNEL=15\r\n"));
  EXPECT_EQ(Lines().size(), 14u) << "one read per writable parameter";
  EXPECT_FALSE(page->TransferStatus()->isVisible()) << "the status line goes with the export";
  EXPECT_TRUE(page->OutcomeLine()->isVisible());
  EXPECT_EQ(page->OutcomeLine()->text(), "Exported 14 parameters to bench.zgb.");

  // The module changes; the file (marked as another version's) brings it back.
  harness.Sim().SetRegister("AT+NODENAME", "Changed");
  harness.Sim().SetRegister("AT+CHANNEL", "20");
  {
    std::string older = file;
    older.replace(older.find("MA11_v1.10.0"), 12, "MA11_v1.9.5");
    std::ofstream(path + ".zgb", std::ios::binary) << older;
  }
  harness.Sim().ClearLog();
  op.Clear();
  op.QueueFile(path + ".zgb");
  op.QueueAnswer(true);
  Control<QPushButton>(kImport)->click();
  ASSERT_TRUE(Settle(dialog.get(), kDeadlineMs));
  EXPECT_THAT(op.Questions(), ElementsAre(kVersionQuestion));
  EXPECT_THAT(op.Messages(), IsEmpty());
  EXPECT_EQ(harness.Sim().Register("AT+NODENAME"), "Bench7");
  EXPECT_EQ(harness.Sim().Register("AT+CHANNEL"), "15");
  EXPECT_EQ(Lines().size(), 14u);
  EXPECT_THAT(Lines(), Contains("AT+NODENAME=Bench7\r\n"));
  EXPECT_FALSE(page->TransferStatus()->isVisible());
  EXPECT_EQ(page->OutcomeLine()->text(), "Imported bench.zgb: 14 values sent, 0 refused.");

  // No: nothing is sent.
  harness.Sim().ClearLog();
  op.QueueFile(path + ".zgb");
  op.QueueAnswer(false);
  Control<QPushButton>(kImport)->click();
  ASSERT_TRUE(Settle(dialog.get(), kDeadlineMs));
  EXPECT_THAT(Lines(), IsEmpty());
  EXPECT_FALSE(page->OutcomeLine()->isVisible()) << "a declined import has no outcome";

  // A read the module refuses: the export goes on, and its log, next to the file, is
  // opened for the operator.
  harness.Sim().SetFaults(sim::Faults{.errorCommands = {"AT+CHANNEL"}});
  op.Clear();
  op.QueueFile(path + ".zgb");
  Control<QPushButton>(kExport)->click();
  ASSERT_TRUE(Settle(dialog.get(), kDeadlineMs));
  EXPECT_THAT(ReadFile(path + ".zgb"), HasSubstr("Num_of_saves=13\r\n"));
  const std::string log = folder.Path() + "ExportErrorLog.TXT";
  EXPECT_EQ(ReadFile(log), "###Export save error###\r\nNetwork/Channel\r\n");
  std::vector<std::string> opened;
  for (const auto& event : op.Events())
    if (event.kind == FakeOperator::Event::kOpenDocument) opened.push_back(event.text);
  EXPECT_THAT(opened, ElementsAre(log));
  EXPECT_THAT(op.Messages(), IsEmpty());
  EXPECT_EQ(op.WaitDepth(), 0);
  // The page says how many could not be read and where the log is, and offers its
  // path for a desktop that could not open it.
  EXPECT_EQ(
      page->OutcomeLine()->text().toStdString(),
      "Exported 13 of 14 parameters to bench.zgb; 1 could not be read (listed in " + log + ").");
  ASSERT_TRUE(page->CopyLogPathButton()->isVisible());
  QGuiApplication::clipboard()->clear();
  page->CopyLogPathButton()->click();
  EXPECT_EQ(QGuiApplication::clipboard()->text().toStdString(), log);

  // An import the module refuses part of: how many were sent, how many refused.
  harness.Sim().SetFaults(sim::Faults{.errorCommands = {"AT+NODENAME"}});
  op.Clear();
  op.QueueFile(path + ".zgb");
  Control<QPushButton>(kImport)->click();
  ASSERT_TRUE(Settle(dialog.get(), kDeadlineMs));
  const std::string importLog = folder.Path() + "ImportErrorLog.TXT";
  EXPECT_EQ(page->OutcomeLine()->text().toStdString(),
            "Imported bench.zgb: 12 values sent, 1 refused (listed in " + importLog + ").");
  EXPECT_TRUE(page->CopyLogPathButton()->isVisible());

  // The outcome belongs to the connection: closing the port takes it away.
  FindControl<QPushButton>(dialog.get(), 1009)->click();
  ASSERT_TRUE(Settle(dialog.get(), kDeadlineMs));
  EXPECT_FALSE(page->OutcomeLine()->isVisible());
  EXPECT_FALSE(page->CopyLogPathButton()->isVisible());
}

TEST_F(RemotePage, ClosingTheWindowDuringALongRemoteExportEndsItAtOnceAndWritesNothing) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  Tick(kTypedAddress);
  ASSERT_TRUE(Settle(dialog.get(), kDeadlineMs));
  ASSERT_EQ(TopLevelTexts(Tree()), kRemoteGroups);
  // The remote goes silent: every read would wait out its 15 s.
  harness.Sim().SetRemoteFaults(kRemoteEui,
                                sim::RemoteFaults{.reach = sim::RemoteFaults::Reach::Silent});
  harness.Sim().ClearLog();
  const std::string path = folder.Write("barn.zgb", "[Firmware]\r\nVersion=kept\r\n");

  op.QueueFile(path);
  Control<QPushButton>(kExport)->click();
  QLabel* status = page->TransferStatus();
  // The remote file holds 12 writable parameters outside "Security Settings".
  ASSERT_TRUE(WaitUntil([&] { return status->text() == "Export: parameter 1 of 12"; }, 10000))
      << status->text().toStdString();
  EXPECT_TRUE(status->isVisible());
  ASSERT_TRUE(
      harness.Sim().WaitForLine("AT+RC=000D6F00000B0B0B,AT+NODENAME", std::chrono::seconds(5)));

  const auto asked = std::chrono::steady_clock::now();
  dialog.reset();
  EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::milliseconds(500));
  EXPECT_EQ(ReadFile(path), "[Firmware]\r\nVersion=kept\r\n") << "the former file stays whole";
  EXPECT_THAT(FolderEntries(folder.Path()), ElementsAre("barn.zgb"))
      << "no temporary file, no error log";
  EXPECT_THAT(op.Messages(), IsEmpty());
}

}  // namespace
}  // namespace zendra::test
