// The Firmware Update page's device list: a bar per row in the "Progress" column,
// painted in its row's cell whatever the list's scroll position and column widths,
// never under the header; the bars' rules; and the page's Search, which fills the
// list from the network scan of the simulated module.

#include <gmock/gmock.h>

#include <QHeaderView>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QWheelEvent>
#include <thread>

#include "GuiTestSupport.h"
#include "discovery/ui/DeviceListCtrl.h"
#include "firmware/ui/FirmwarePage.h"
#include "support/FakeOperator.h"
#include "support/SimHarness.h"
#include "widgets/FindControl.h"

namespace zendra::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

// Restated: the "Progress" column; the page's list (1014), Search (1035), local
// progress bar (1034); the message of a failed scan.
constexpr int kProgressColumn = 6;
constexpr int kList = 1014;
constexpr int kSearch = 1035;
constexpr int kLocalProgress = 1034;
constexpr const char* kScanFailed = "ERROR: Could not scan the remote device.";

DeviceRecord Device(int i) {
  return {"RFD", "000D6F00000100" + std::to_string(10 + i), "v1.0", "MA11",
          "Node " + std::to_string(i)};
}

// The bars are drawn in the palette's highlight colour, which these tests make
// magenta (nothing else in an unselected list uses it).
bool IsBarColour(QRgb pixel) {
  return qRed(pixel) > 140 && qBlue(pixel) > 140 && qGreen(pixel) < 110;
}

class DeviceList : public ::testing::Test {
 protected:
  DeviceList() {
    QPalette palette = list.palette();
    palette.setColor(QPalette::Highlight, QColor(255, 0, 255));
    list.setPalette(palette);
    list.resize(500, 240);  // narrower than the columns: it scrolls sideways too
    list.show();
  }

  void Fill(int rows, int percent) {
    for (int i = 0; i < rows; ++i) list.AddRowProgress(list.AddDevice(Device(i)));
    for (int i = 0; i < rows; ++i) list.SetRowProgress(i, percent);
  }

  // The "Progress" cell of `row` in the list's own coordinates.
  QRect Cell(int row) {
    return list.visualRect(list.model()->index(row, kProgressColumn))
        .translated(list.viewport()->pos());
  }

  // Every pixel in the bar colour lies in the visible "Progress" cell of a row with a
  // bar, none in the header; the middle of each such visible cell shows its bar.
  void ExpectEveryBarInItsCell() {
    // The selection and the focus frame share the bars' colour.
    list.clearSelection();
    list.clearFocus();
    QCoreApplication::processEvents();
    const QImage image = list.grab().toImage();
    const QRect viewport = list.viewport()->geometry();
    const QRect header = list.horizontalHeader()->geometry();
    int inCells = 0, outside = 0, underHeader = 0;
    for (int y = 0; y < image.height(); ++y) {
      for (int x = 0; x < image.width(); ++x) {
        if (!IsBarColour(image.pixel(x, y))) continue;
        const QPoint p(x, y);
        if (header.contains(p)) ++underHeader;
        const int row = list.rowAt(y - viewport.top());
        const bool inCell =
            viewport.contains(p) && row >= 0 && list.RowProgress(row) && Cell(row).contains(p);
        (inCell ? inCells : outside)++;
      }
    }
    EXPECT_EQ(underHeader, 0);
    EXPECT_EQ(outside, 0);
    EXPECT_GT(inCells, 0);
    for (int row = 0; row < list.rowCount(); ++row) {
      const QRect cell = Cell(row).intersected(viewport);
      if (cell.height() < 4 || cell.width() < 4 || !list.RowProgress(row)) continue;
      EXPECT_TRUE(IsBarColour(image.pixel(cell.center()))) << "row " << row;
    }
  }

  // The left edge of the bar painted in `row`'s cell, in the list's coordinates.
  int BarLeft(int row) {
    QCoreApplication::processEvents();
    const QImage image = list.grab().toImage();
    const int y = Cell(row).center().y();
    for (int x = 0; x < image.width(); ++x)
      if (IsBarColour(image.pixel(x, y))) return x;
    return -1;
  }

  // How much of the middle line of `row`'s cell the bar's colour fills.
  int BarWidth(int row) {
    QCoreApplication::processEvents();
    const QImage image = list.grab().toImage();
    const QRect cell = Cell(row);
    int width = 0;
    for (int x = cell.left(); x <= cell.right() && x < image.width(); ++x)
      if (IsBarColour(image.pixel(x, cell.center().y()))) ++width;
    return width;
  }

  DeviceListCtrl list;
};

TEST_F(DeviceList, BarsOnlyForExistingRowsAndValuesClippedToTheirRange) {
  list.AddDevice(Device(0));
  list.AddDevice(Device(1));
  list.AddRowProgress(2);  // equal to the row count
  list.AddRowProgress(-1);
  EXPECT_EQ(list.RowProgressCount(), 0);

  list.AddRowProgress(1);
  EXPECT_EQ(list.RowProgress(1), 0);
  list.SetRowProgress(0, 50);  // a row without a bar
  EXPECT_FALSE(list.RowProgress(0));
  list.SetRowProgress(1, 150);
  EXPECT_EQ(list.RowProgress(1), 100);
  list.SetRowProgress(1, -5);
  EXPECT_EQ(list.RowProgress(1), 0);
  list.AddRowProgress(1);  // a second bar for a row is none
  EXPECT_EQ(list.RowProgressCount(), 1);
}

TEST_F(DeviceList, AWorkerSetsABarAndTheCellShowsIt) {
  Fill(3, 0);
  std::thread worker([&] {
    for (int percent = 0; percent <= 100; percent += 5) list.SetRowProgress(1, percent);
  });
  worker.join();
  EXPECT_EQ(list.RowProgress(1), 100);
  // The cell is repainted on the list's thread once its events run.
  ASSERT_TRUE(WaitUntil([&] { return BarWidth(1) > 20; }));
  EXPECT_LT(BarWidth(0), 4) << "rows 0 and 2 stay at 0 %";
  EXPECT_LT(BarWidth(2), 4);
}

TEST_F(DeviceList, BarsStayInTheirCellsWhenTheListScrollsByBarWheelAndKeys) {
  Fill(40, 100);
  ExpectEveryBarInItsCell();

  list.verticalScrollBar()->setValue(2);  // two rows down
  EXPECT_EQ(list.rowAt(0), 2);
  ExpectEveryBarInItsCell();
  EXPECT_EQ(BarLeft(2), Cell(2).left() + 1) << "the new top row's bar sits in its cell";

  const int before = list.verticalScrollBar()->value();
  const QPoint at = list.viewport()->rect().center();
  QWheelEvent wheel(at, list.viewport()->mapToGlobal(at), QPoint(), QPoint(0, -120), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(list.viewport(), &wheel);
  EXPECT_GT(list.verticalScrollBar()->value(), before);
  ExpectEveryBarInItsCell();

  list.setFocus();
  list.setCurrentCell(list.rowAt(0), 1);
  QTest::keyClick(&list, Qt::Key_PageDown);
  QTest::keyClick(&list, Qt::Key_Down);
  ExpectEveryBarInItsCell();
  QTest::keyClick(&list, Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(list.verticalScrollBar()->value(), list.verticalScrollBar()->maximum());
  ExpectEveryBarInItsCell();

  ASSERT_GT(list.horizontalScrollBar()->maximum(), 0);
  list.horizontalScrollBar()->setValue(list.horizontalScrollBar()->maximum());
  ExpectEveryBarInItsCell();
}

TEST_F(DeviceList, WideningTheTypeColumnMovesEveryBarRightByTheSameAmount) {
  Fill(6, 100);
  const int left = BarLeft(0);
  ASSERT_GE(left, 0);
  list.horizontalHeader()->resizeSection(1, 45 + 30);
  EXPECT_EQ(BarLeft(0), left + 30);
  EXPECT_EQ(BarLeft(5), left + 30);
  ExpectEveryBarInItsCell();
}

TEST_F(DeviceList, MoreThanTwoHundredFiftySixRowsEachHaveTheirBar) {
  Fill(300, 100);
  EXPECT_EQ(list.RowProgressCount(), 300);
  list.SetRowProgress(299, 42);
  EXPECT_EQ(list.RowProgress(299), 42);
  list.SetRowProgress(299, 100);
  list.scrollToBottom();
  EXPECT_EQ(list.rowAt(list.viewport()->height() - 1), 299);
  ExpectEveryBarInItsCell();
}

// The page's Search against the simulated module.
class PageSearch : public ::testing::Test {
 protected:
  explicit PageSearch(sim::Options options = Network()) : harness(std::move(options), 0.1) {}
  static sim::Options Network() {
    sim::Options options;
    options.remotes = sim::GeneratedNetwork(3);
    options.scan.markers = true;
    return options;
  }
  void SetUp() override {
    ASSERT_TRUE(harness.Connect(9600));
    page = std::make_unique<FirmwarePage>(harness.Conn(), op);
    page->SetConnected(true);
    list = FindControl<DeviceListCtrl>(page.get(), kList);
    ASSERT_NE(list, nullptr);
  }
  void Search() {
    FindControl<QPushButton>(page.get(), kSearch)->click();
    ASSERT_TRUE(Settle(page.get()));
  }
  std::vector<std::string> Addresses() {
    std::vector<std::string> addresses;
    for (int row = 0; row < list->rowCount(); ++row) addresses.push_back(list->IeeeAddress(row));
    return addresses;
  }

  SimHarness harness;
  FakeOperator op;
  std::unique_ptr<FirmwarePage> page;
  DeviceListCtrl* list = nullptr;
};

TEST_F(PageSearch, FillsARowPerDeviceEachWithItsBarAtZero) {
  page->SetProgress(60);
  Search();
  const auto nodes = sim::GeneratedNetwork(3);
  EXPECT_THAT(Addresses(),
              ElementsAre(nodes[0].euiAddress, nodes[1].euiAddress, nodes[2].euiAddress));
  EXPECT_EQ(FindControl<QProgressBar>(page.get(), kLocalProgress)->value(), 0);
  EXPECT_EQ(list->RowProgressCount(), 3);
  for (int row = 0; row < 3; ++row) {
    EXPECT_EQ(list->RowProgress(row), 0) << row;
    EXPECT_EQ(list->item(row, 0)->text(), "") << "the check box column";
    EXPECT_TRUE(list->item(row, 0)->flags() & Qt::ItemIsUserCheckable);
    EXPECT_EQ(list->item(row, 0)->checkState(), Qt::Unchecked);
    EXPECT_EQ(list->item(row, 5)->text(), QString::fromStdString(nodes[row].nodeName));
  }
  EXPECT_THAT(op.Messages(), IsEmpty());
  EXPECT_EQ(harness.Sim().ReceivedLines().back(), "at+ds\r\n");
}

// At its least height the list shows its header and four whole rows, each on one
// line: a long node name is cut, never wrapped.
TEST_F(PageSearch, TheListShowsFourRowsAtItsLeastHeightAndNeverWraps) {
  Search();
  list->resize(list->width(), list->minimumHeight());
  EXPECT_GE(list->viewport()->height(), DeviceListCtrl::kLeastRows * list->rowHeight(0));
  EXPECT_FALSE(list->wordWrap());
  EXPECT_EQ(list->textElideMode(), Qt::ElideRight);
  // The page's least height keeps the list at its own.
  page->resize(page->minimumSizeHint());
  EXPECT_GE(page->minimumSizeHint().height(), list->minimumHeight());
}

// The module answered, with no remote device in its network: the status line says so.
class PageSearchAlone : public PageSearch {
 protected:
  PageSearchAlone() : PageSearch(sim::Options{}) {}
};

TEST_F(PageSearchAlone, AScanThatFindsNothingSaysSo) {
  Search();
  EXPECT_EQ(list->rowCount(), 0);
  EXPECT_EQ(FindControl<QLabel>(page.get(), 1037)->text(),
            "No remote device was found in this network.");
  EXPECT_THAT(op.Messages(), IsEmpty());
}

TEST_F(PageSearch, ASecondScanReplacesTheRowsAndTheirBars) {
  Search();
  page->SetRowProgress(0, 40);  // as a remote update would
  page->SetRowProgress(2, 90);

  // A scan that fails leaves the list empty.
  harness.Sim().SetFaults(sim::Faults{.scanError = true});
  Search();
  EXPECT_EQ(list->rowCount(), 0);
  EXPECT_EQ(list->RowProgressCount(), 0);
  EXPECT_THAT(op.Messages(), ElementsAre(kScanFailed));

  harness.Sim().SetFaults({});
  Search();
  EXPECT_EQ(list->rowCount(), 3);
  EXPECT_EQ(list->RowProgressCount(), 3);
  for (int row = 0; row < 3; ++row) EXPECT_EQ(list->RowProgress(row), 0) << row;
  EXPECT_EQ(op.Messages().size(), 1u);
}

}  // namespace
}  // namespace zendra::test
