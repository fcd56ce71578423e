// The scan dialog (template 140) against the simulated module: its controls and
// columns, Search, the row the operator picks, Apply, Escape and the closing box,
// and a failed scan.

#include <gmock/gmock.h>

#include <QHeaderView>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>
#include <chrono>

#include "GuiTestSupport.h"
#include "discovery/ui/ScanDialog.h"
#include "support/FakeOperator.h"
#include "support/SimHarness.h"
#include "widgets/DialogUnits.h"
#include "widgets/FindControl.h"

namespace zendra::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Restated: Search (1042), Apply (1044), the list (1045); the failed scan's message.
constexpr int kSearch = 1042;
constexpr int kApply = 1044;
constexpr int kList = 1045;
constexpr const char* kScanFailed = "ERROR: Could not scan the remote device.";

class ScanDialogTest : public ::testing::Test {
 protected:
  ScanDialogTest() : harness(Network(), 0.1) {}
  static sim::Options Network() {
    sim::Options options;
    options.remotes = sim::GeneratedNetwork(4);
    return options;
  }
  void SetUp() override { ASSERT_TRUE(harness.Connect(9600)); }

  static QTableWidget* List(ScanDialog* dialog) { return FindControl<QTableWidget>(dialog, kList); }
  static void Search(ScanDialog* dialog) {
    FindControl<QPushButton>(dialog, kSearch)->click();
    ASSERT_TRUE(Settle(dialog));
  }
  static void ClickRow(ScanDialog* dialog, int row) {
    QTableWidget* list = List(dialog);
    const QRect cell = list->visualRect(list->model()->index(row, 1));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, cell.center());
  }

  SimHarness harness;
  FakeOperator op;
  std::vector<sim::RemoteNode> nodes = sim::GeneratedNetwork(4);
};

TEST_F(ScanDialogTest, HasTheControlsAndColumnsOfTemplate140) {
  ScanDialog dialog(harness.Conn(), op);
  EXPECT_EQ(dialog.windowTitle(), "Scan");
  const DialogUnits units(dialog.font());
  const struct {
    int id;
    const char* caption;
    QRect rect;
  } controls[] = {
      {kSearch, "Search", units.Rect(7, 166, 50, 14)},
      {kApply, "Apply", units.Rect(222, 166, 50, 14)},
      {kList, "", units.Rect(7, 7, 265, 158)},
  };
  for (const auto& c : controls) {
    SCOPED_TRACE(c.id);
    QWidget* control = FindControl(&dialog, c.id);
    ASSERT_NE(control, nullptr);
    if (auto* button = qobject_cast<QPushButton*>(control)) {
      EXPECT_EQ(button->text(), c.caption);
    }
    EXPECT_EQ(control->geometry().topLeft(), c.rect.topLeft());
    EXPECT_EQ(control->height(), c.rect.height());
  }
  QTableWidget* list = List(&dialog);
  const QStringList titles{"Inx", "Type", "IEEE Address", "Version", "ModelType", "NodeName"};
  ASSERT_EQ(list->columnCount(), 6);
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(list->horizontalHeaderItem(i)->text(), titles[i]);
    // Sized to the title while the list is empty.
    EXPECT_GE(list->columnWidth(i), list->fontMetrics().horizontalAdvance(titles[i])) << i;
  }
  EXPECT_TRUE(list->showGrid());
  EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
  EXPECT_EQ(list->rowCount(), 0);
}

TEST_F(ScanDialogTest, SearchListsEveryDeviceNumberedFromZero) {
  ScanDialog dialog(harness.Conn(), op);
  dialog.show();
  Search(&dialog);
  QTableWidget* list = List(&dialog);
  ASSERT_EQ(list->rowCount(), 4);
  for (int row = 0; row < 4; ++row) {
    EXPECT_EQ(list->item(row, 0)->text(), QString::number(row));
    EXPECT_EQ(list->item(row, 2)->text(), QString::fromStdString(nodes[row].euiAddress));
    EXPECT_EQ(list->item(row, 5)->text(), QString::fromStdString(nodes[row].nodeName));
  }
  EXPECT_THAT(op.Messages(), IsEmpty());
  EXPECT_EQ(dialog.SelectedAddress(), "") << "filling the list picks nothing";

  // A second search starts from an empty list.
  Search(&dialog);
  EXPECT_EQ(list->rowCount(), 4);
}

TEST(ScanDialogNames, ANameThatIsNotUtf8ShowsItsLatin1Characters) {
  sim::Options options;
  sim::RemoteNode latin1, utf8;
  latin1.euiAddress = "000D6F00000B0001";
  latin1.nodeName = "Caf\xE9 Nord";  // the Windows tool's code page
  utf8.euiAddress = "000D6F00000B0002";
  utf8.nodeName = "Caf\xC3\xA9 Sud";
  options.remotes = {latin1, utf8};
  SimHarness harness(options, 0.1);
  ASSERT_TRUE(harness.Connect(9600));
  FakeOperator op;
  ScanDialog dialog(harness.Conn(), op);
  dialog.show();
  FindControl<QPushButton>(&dialog, kSearch)->click();
  ASSERT_TRUE(Settle(&dialog));
  QTableWidget* list = FindControl<QTableWidget>(&dialog, kList);
  ASSERT_EQ(list->rowCount(), 2);
  EXPECT_EQ(list->item(0, 5)->text(), QStringLiteral(u"Caf\u00E9 Nord"));
  EXPECT_EQ(list->item(1, 5)->text(), QStringLiteral(u"Caf\u00E9 Sud"));
}

TEST_F(ScanDialogTest, ApplyReturnsTheAddressAndNodeNameOfTheThirdRowClicked) {
  WhenModalShows<ScanDialog>([this](ScanDialog* dialog) {
    Search(dialog);
    ClickRow(dialog, 0);
    ClickRow(dialog, 2);
    FindControl<QPushButton>(dialog, kApply)->click();
  });
  const auto address = ScanDialog::ChooseRemoteDevice(harness.Conn(), op, nullptr);
  ASSERT_TRUE(address);
  EXPECT_EQ(address->address, nodes[2].euiAddress);
  EXPECT_EQ(address->nodeName, nodes[2].nodeName);
}

TEST_F(ScanDialogTest, ApplyStraightAfterOpeningReturnsAnEmptyAddress) {
  WhenModalShows<ScanDialog>(
      [](ScanDialog* dialog) { FindControl<QPushButton>(dialog, kApply)->click(); });
  EXPECT_EQ(ScanDialog::ChooseRemoteDevice(harness.Conn(), op, nullptr), ScanDialog::Choice{});
}

TEST_F(ScanDialogTest, EscapeOrTheClosingBoxReturnsNothing) {
  WhenModalShows<ScanDialog>([](ScanDialog* dialog) {
    Search(dialog);
    ClickRow(dialog, 1);
    QTest::keyClick(dialog, Qt::Key_Escape);
  });
  EXPECT_EQ(ScanDialog::ChooseRemoteDevice(harness.Conn(), op, nullptr), std::nullopt);

  WhenModalShows<ScanDialog>([](ScanDialog* dialog) {
    Search(dialog);
    ClickRow(dialog, 1);
    dialog->close();
  });
  EXPECT_EQ(ScanDialog::ChooseRemoteDevice(harness.Conn(), op, nullptr), std::nullopt);
}

TEST_F(ScanDialogTest, ARowThatLosesTheSelectionKeepsItsAddress) {
  ScanDialog dialog(harness.Conn(), op);
  dialog.show();
  Search(&dialog);
  ClickRow(&dialog, 3);
  EXPECT_EQ(dialog.SelectedAddress(), nodes[3].euiAddress);
  List(&dialog)->clearSelection();
  EXPECT_EQ(dialog.SelectedAddress(), nodes[3].euiAddress);
  // Any change of a row's state names that row: the focus moving to row 1 too.
  List(&dialog)->setCurrentCell(1, 0, QItemSelectionModel::NoUpdate);
  EXPECT_EQ(dialog.SelectedAddress(), nodes[1].euiAddress);
}

// The columns follow what they hold, the last one takes the rest: an empty list
// shows no scroll bar, and a listed address is never cut.
TEST_F(ScanDialogTest, TheColumnsFitTheirContentAndAnEmptyListHasNoScrollBar) {
  ScanDialog dialog(harness.Conn(), op);
  dialog.show();
  QTableWidget* list = List(&dialog);
  ASSERT_TRUE(Settle(&dialog));
  EXPECT_FALSE(list->horizontalScrollBar()->isVisible());
  EXPECT_FALSE(list->verticalScrollBar()->isVisible());
  EXPECT_EQ(dialog.FoundText(), "") << "nothing searched yet";
  Search(&dialog);
  ASSERT_EQ(list->rowCount(), 4);
  for (int row = 0; row < 4; ++row)
    for (int column = 0; column < 5; ++column)
      EXPECT_GE(list->columnWidth(column),
                list->fontMetrics().horizontalAdvance(list->item(row, column)->text()))
          << row << "," << column;
  EXPECT_EQ(dialog.FoundText(), "4 devices found.");
  EXPECT_FALSE(list->wordWrap());
}

// The module answered, with no remote device: the dialog says so.
TEST(ScanDialogEmpty, AScanThatFindsNothingSaysSo) {
  SimHarness harness(sim::Options{}, 0.1);
  ASSERT_TRUE(harness.Connect(9600));
  FakeOperator op;
  ScanDialog dialog(harness.Conn(), op);
  dialog.show();
  FindControl<QPushButton>(&dialog, kSearch)->click();
  ASSERT_TRUE(Settle(&dialog));
  EXPECT_EQ(FindControl<QTableWidget>(&dialog, kList)->rowCount(), 0);
  EXPECT_EQ(dialog.FoundText(), "No remote device was found in this network.");
  EXPECT_THAT(op.Messages(), IsEmpty());
  EXPECT_FALSE(FindControl<QTableWidget>(&dialog, kList)->horizontalScrollBar()->isVisible());
}

TEST_F(ScanDialogTest, AFailedScanSaysSoAndLeavesTheListEmpty) {
  harness.Sim().SetFaults(sim::Faults{.scanError = true});
  ScanDialog dialog(harness.Conn(), op);
  dialog.show();
  Search(&dialog);
  EXPECT_EQ(List(&dialog)->rowCount(), 0);
  EXPECT_THAT(op.Messages(), ElementsAre(kScanFailed));
  EXPECT_EQ(dialog.FoundText(), "") << "the box said why; no count";
}

TEST_F(ScanDialogTest, ClosingTheDialogStopsARunningScanAtOnce) {
  harness.Sim().SetFaults(sim::Faults{.scanSilent = true});  // it would wait 1.5 s
  const auto start = std::chrono::steady_clock::now();
  {
    ScanDialog dialog(harness.Conn(), op);
    dialog.show();
    FindControl<QPushButton>(&dialog, kSearch)->click();
    ASSERT_TRUE(dialog.Tasks().Busy());
    ASSERT_TRUE(harness.Sim().WaitForLine("at+ds", std::chrono::seconds(5)));
  }
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1200));
  EXPECT_THAT(op.Messages(), IsEmpty());
  EXPECT_FALSE(harness.Conn().Gate().Leased()) << "the scan gave the line back";
}

}  // namespace
}  // namespace zendra::test
