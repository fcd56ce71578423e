// The Configuration page's filter box and its comparison before an import, against
// the simulated module serving the sample definition file MA11_v1.10.0, driven as
// an operator drives them: text typed and cleared with the keyboard, a file chosen,
// the compare dialog answered.

#include <gmock/gmock.h>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>
#include <fstream>

#include "GuiTestSupport.h"
#include "app/MainDialog.h"
#include "config/ProgramFolder.h"
#include "config/ui/ConfigPage.h"
#include "config/ui/ImportCompareDialog.h"
#include "serial/PortList.h"
#include "support/FakeOperator.h"
#include "support/SimHarness.h"
#include "support/TempFolder.h"
#include "widgets/FindControl.h"

namespace zendra::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Restated: Open, the tree, Export, the value box and its edit.
constexpr int kOpen = 1009;
constexpr int kTree = 1001;
constexpr int kExport = 1002;
constexpr int kValueGroup = 1005;
constexpr int kValueEdit = 1011;
constexpr double kTimeScale = 0.3;
constexpr int kDeadlineMs = 60000;

sim::Options Module() {
  sim::Options options;
  options.productName = "MA11";
  options.version = "v1.10.0";
  options.definitionsFile = ProgramFolder::GetProgramFolder() + "MA11_v1.10.0.zmcon";
  return options;
}

// Lines that set a value.
std::vector<std::string> Writes(const std::vector<std::string>& lines) {
  std::vector<std::string> writes;
  for (const auto& line : lines)
    if (line.find('=') != std::string::npos) writes.push_back(line);
  return writes;
}

class FilterAndCompare : public ::testing::Test {
 protected:
  FilterAndCompare() : harness(Module(), kTimeScale) {
    page.Loader().SetProgramFolder(ProgramFolder::GetProgramFolder());
    dialog.AddAndSelectPort(harness.Sim().PortPath());
    dialog.show();
  }

  void Connect() {
    FindControl<QPushButton>(&dialog, kOpen)->click();
    ASSERT_TRUE(Settle(&dialog, kDeadlineMs));
    ASSERT_TRUE(dialog.Conn().IsOpen());
    ASSERT_THAT(op.Messages(), IsEmpty());
    harness.Sim().ClearLog();
  }

  QTreeWidget* Tree() { return FindControl<QTreeWidget>(&page, kTree); }
  QLineEdit* Box() { return page.FilterBox(); }

  QTreeWidgetItem* Item(const QString& group, const QString& name) {
    for (int g = 0; g < Tree()->topLevelItemCount(); ++g) {
      QTreeWidgetItem* root = Tree()->topLevelItem(g);
      if (root->text(0) != group) continue;
      for (int c = 0; c < root->childCount(); ++c)
        if (root->child(c)->text(0) == name) return root->child(c);
    }
    ADD_FAILURE() << "no item " << group.toStdString() << "/" << name.toStdString();
    return nullptr;
  }
  // The operator opens the group and clicks the item, which reads it.
  void Pick(const QString& group, const QString& name) {
    QTreeWidgetItem* item = Item(group, name);
    ASSERT_NE(item, nullptr);
    item->parent()->setExpanded(true);
    Tree()->scrollToItem(item);
    QTest::mouseClick(Tree()->viewport(), Qt::LeftButton, {},
                      Tree()->visualItemRect(item).center());
    ASSERT_TRUE(Settle(&dialog, kDeadlineMs));
  }

  // What the operator sees: "Group" per visible group, "Group/Name" per visible
  // parameter of an open group.
  QStringList Visible() {
    QStringList shown;
    for (int g = 0; g < Tree()->topLevelItemCount(); ++g) {
      QTreeWidgetItem* root = Tree()->topLevelItem(g);
      if (root->isHidden()) continue;
      shown << root->text(0);
      if (!root->isExpanded()) continue;
      for (int c = 0; c < root->childCount(); ++c)
        if (!root->child(c)->isHidden()) shown << root->text(0) + "/" + root->child(c)->text(0);
    }
    return shown;
  }

  void Type(const QString& text) { QTest::keyClicks(Box(), text); }

  std::vector<std::string> Lines() { return harness.Sim().ReceivedLines(); }

  SimHarness harness;  // before the dialog: the port closes before the module goes
  FakeOperator op;
  PortList noPorts;
  MainDialog dialog{op, &noPorts};
  ConfigPage& page = *dialog.Config();
  TempFolder folder;
};

TEST_F(FilterAndCompare, TypingNarrowsTheTreeAndClearingRestoresTheTreeAndTheSelection) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  ASSERT_NO_FATAL_FAILURE(Pick("Network", "Channel"));
  QTreeWidgetItem* channel = Item("Network", "Channel");
  ASSERT_TRUE(channel->isSelected());
  const QStringList before = Visible();
  ASSERT_TRUE(before.contains("Network/Channel"));
  ASSERT_FALSE(before.contains("Security Settings/Link key"));
  harness.Sim().ClearLog();

  Type("KEY");
  // Two names and two descriptions hold it; the group shows open.
  EXPECT_EQ(Visible(), QStringList({"Security Settings", "Security Settings/Encryption",
                                    "Security Settings/Network key", "Security Settings/Link key",
                                    "Security Settings/Key update"}));
  // The selection stays with its hidden item, and so does what the value box shows;
  // nothing was read.
  EXPECT_TRUE(channel->isHidden());
  EXPECT_TRUE(channel->isSelected());
  EXPECT_EQ(FindControl<QGroupBox>(&page, kValueGroup)->title(), "Channel");
  EXPECT_EQ(FindControl<QLineEdit>(&page, kValueEdit)->text(), "11");
  Type("zzz");
  EXPECT_THAT(Visible(), IsEmpty());
  EXPECT_THAT(Lines(), IsEmpty());

  // Esc in the box clears it; the window stays.
  QTest::keyClick(Box(), Qt::Key_Escape);
  EXPECT_EQ(Box()->text(), "");
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(Visible(), before) << "the groups open as they were";
  EXPECT_TRUE(channel->isSelected());
  EXPECT_EQ(Tree()->currentItem(), channel);
  EXPECT_THAT(Lines(), IsEmpty());

  // In the narrowed tree the operator's pick reads as always, and clearing keeps it.
  Type("link");
  ASSERT_NO_FATAL_FAILURE(Pick("Security Settings", "Link key"));
  EXPECT_THAT(Lines(), ElementsAre("AT+LINKKEY\r\n"));
  Box()->clear();
  EXPECT_TRUE(Item("Security Settings", "Link key")->isSelected());
  EXPECT_FALSE(channel->isSelected());
  EXPECT_TRUE(Visible().contains("Security Settings/Link key"));
  EXPECT_TRUE(Visible().contains("Serial"));
  EXPECT_THAT(op.Messages(), IsEmpty());
}

TEST_F(FilterAndCompare, CtrlFGoesToTheBoxAndATreeLoadedLaterShowsFiltered) {
  Type("baud");
  ASSERT_NO_FATAL_FAILURE(Connect());
  EXPECT_EQ(Visible(), QStringList({"Serial", "Serial/Baud rate"}));

  QApplication::setActiveWindow(&dialog);
  ASSERT_TRUE(QTest::qWaitForWindowActive(&dialog));
  Tree()->setFocus();
  ASSERT_EQ(QApplication::focusWidget(), Tree());
  QTest::keyClick(Tree(), Qt::Key_F, Qt::ControlModifier);
  EXPECT_EQ(QApplication::focusWidget(), Box());
  EXPECT_EQ(Box()->selectedText(), "baud");
  // The down arrow goes on to the tree.
  QTest::keyClick(Box(), Qt::Key_Down);
  EXPECT_EQ(QApplication::focusWidget(), Tree());
  // Esc clears the box; again, with the box empty, it does nothing, not even to the
  // window.
  Box()->setFocus();
  QTest::keyClick(Box(), Qt::Key_Escape);
  QTest::keyClick(Box(), Qt::Key_Escape);
  EXPECT_TRUE(dialog.isVisible());
  EXPECT_EQ(Visible().size(), 5) << "five groups, closed";
}

TEST_F(FilterAndCompare, TheCompareDialogListsTheChangesCancelSendsNothingAndImportSends) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  const std::string path = folder.Path() + "site.zgb";
  op.QueueFile(path);
  FindControl<QPushButton>(&page, kExport)->click();
  ASSERT_TRUE(Settle(&dialog, kDeadlineMs));
  harness.Sim().SetRegister("AT+CHANNEL", "20");
  harness.Sim().SetRegister("AT+BAUD", "7");
  harness.Sim().ClearLog();

  QStringList rows;
  QString summary;
  op.QueueFile(path);
  WhenModalShows<ImportCompareDialog>([&](ImportCompareDialog* compare) {
    summary = compare->SummaryLabel()->text();
    for (int i = 0; i < compare->Changes()->topLevelItemCount(); ++i) {
      const QTreeWidgetItem* item = compare->Changes()->topLevelItem(i);
      rows << item->text(0) + "|" + item->text(1) + "|" + item->text(2) + "|" + item->text(3);
    }
    compare->CancelButton()->click();
  });
  page.CompareButton()->click();
  ASSERT_TRUE(Settle(&dialog, kDeadlineMs));
  EXPECT_EQ(summary, "2 of the file's 14 values differ from the device.");
  EXPECT_EQ(rows, QStringList({"Network|Channel|20|11", "Serial|Baud rate|115200 (7)|1200 (0)"}));
  // Cancel: the reads of the comparison, and nothing written.
  EXPECT_EQ(Lines().size(), 14u);
  EXPECT_THAT(Writes(Lines()), IsEmpty());
  EXPECT_EQ(harness.Sim().Register("AT+CHANNEL"), "20");
  EXPECT_FALSE(page.TransferStatus()->isVisible());

  // Import: every command of the file, as the Import button sends them.
  harness.Sim().ClearLog();
  op.QueueFile(path);
  WhenModalShows<ImportCompareDialog>(
      [](ImportCompareDialog* compare) { compare->ImportButton()->click(); });
  page.CompareButton()->click();
  ASSERT_TRUE(Settle(&dialog, kDeadlineMs));
  ASSERT_TRUE(WaitUntil([&] { return !page.Tasks().Busy(); }, kDeadlineMs));
  EXPECT_EQ(Writes(Lines()).size(), 14u);
  EXPECT_EQ(Lines().size(), 28u);
  EXPECT_EQ(harness.Sim().Register("AT+CHANNEL"), "11");
  EXPECT_EQ(harness.Sim().Register("AT+BAUD"), "0");
  EXPECT_FALSE(page.TransferStatus()->isVisible());

  // An unchanged device says so.
  op.QueueFile(path);
  bool listed = true;
  WhenModalShows<ImportCompareDialog>([&](ImportCompareDialog* compare) {
    summary = compare->SummaryLabel()->text();
    listed = !compare->Changes()->isHidden();
    compare->reject();
  });
  page.CompareButton()->click();
  ASSERT_TRUE(Settle(&dialog, kDeadlineMs));
  EXPECT_EQ(summary, "The device already holds every value of this file.");
  EXPECT_FALSE(listed);
  EXPECT_THAT(op.Messages(), IsEmpty());
}

TEST_F(FilterAndCompare, ACompareOfAFileThatIsNoneOrOfAnotherVersionDeclinedSendsNothing) {
  ASSERT_NO_FATAL_FAILURE(Connect());
  const std::string notes = folder.Write("notes.zgb", "no profile here\n");
  op.QueueFile(notes);
  page.CompareButton()->click();
  ASSERT_TRUE(Settle(&dialog, kDeadlineMs));
  EXPECT_THAT(op.Messages(), ElementsAre("ERROR: The configuration file is invalid."));

  const std::string older =
      folder.Write("older.zgb",
                   "[Firmware]\r\nVersion=MA11_v1.9.5.zmcon\r\nNum_of_saves=1\r\n"
                   "[0]\r\nName=Network/Channel\r\nCommand=AT+CHANNEL=12\r\n\r\n");
  op.QueueFile(older);
  op.QueueAnswer(false);
  page.CompareButton()->click();
  ASSERT_TRUE(Settle(&dialog, kDeadlineMs));
  EXPECT_THAT(op.Questions(),
              ElementsAre("The configuration file does not match with the current firmware "
                          "version. Would you like to continue?"));
  EXPECT_THAT(Lines(), IsEmpty());
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

}  // namespace
}  // namespace zendra::test
