#pragma once
// The device list of the Firmware Update page (control 1014): one row per remote
// device the network scan found, with a check box in its first column and, in its
// "Progress" column, a bar that shows how far the update of that device has got.
//
// A row has a bar only once AddRowProgress gave it one; a new scan removes every
// bar first and gives each new row its own. The bars are no windows of their own
// laid over the cells: the list paints them in the "Progress" cells (a delegate),
// so a bar is always in its row's cell however the list is scrolled (bar, wheel or
// keys) and whatever column is resized, and never shows under the header.
//
// After the bar, a "Status" column tells each device's run in words (waiting,
// preparing, sending 37 %, done — v1.11.7, failed — why, cancelled — what it
// needs), its full text also as the cell's tool tip; a run's start clears the bars
// and the statuses of the rows. The texts never wrap: a long one is cut with an
// ellipsis. The list is never lower than its header and four rows.
//
// The remote update's workers set a row's bar from their own thread: SetRowProgress
// takes the value at once and has the cell repainted on the list's thread. Bars are
// added and removed only on the list's thread, while no update runs.

#include <QTableWidget>
#include <map>
#include <mutex>
#include <optional>
#include <string>

#include "discovery/DeviceRecord.h"

namespace zendra {

class DeviceListCtrl : public QTableWidget {
  Q_OBJECT

 public:
  static constexpr int PROGRESS_COLUMN = 6;
  static constexpr int kAddressColumn = 2;
  static constexpr int kVersionColumn = 3;
  static constexpr int kStatusColumn = 7;
  static constexpr int kColumnCount = 8;
  // The rows the list shows at its least height.
  static constexpr int kLeastRows = 4;

  // The columns: title and width in pixels, all left-aligned.
  struct Column {
    const char* title;
    int width;
  };
  static const Column kColumns[kColumnCount];

  explicit DeviceListCtrl(QWidget* parent = nullptr);
  ~DeviceListCtrl() override;

  // A row for a device at the end of the list: its check box (unchecked, no text)
  // and the five texts. Returns its index. The row has no bar yet.
  int AddDevice(const DeviceRecord& device);
  // The IEEE address of a row as the scan listed it (empty for no such row): what
  // the remote operations address the device by.
  std::string IeeeAddress(int row) const;

  // Gives `row` its bar at 0 %; nothing when the row is not below the row count
  // or already has one.
  void AddRowProgress(int row);
  // Removes every bar (the rows stay).
  void RemoveAllRowProgress();
  // Sets the bar of `row` to `percent`, clipped to 0–100; nothing for a row without
  // a bar. Callable from any thread.
  void SetRowProgress(int row, int percent);

  // The status of a row's run (on the list's thread); empty for none.
  void SetRowStatus(int row, const QString& text, const QString& detail = QString());
  QString RowStatus(int row) const;
  // The version a row's device reports now (after its update).
  void SetVersion(int row, const QString& version);
  QString Version(int row) const;
  // A run starts: every bar back to 0 %, every status empty.
  void ClearRuns();

  // The bar of `row`: its percentage, or nothing when the row has none.
  std::optional<int> RowProgress(int row) const;
  int RowProgressCount() const;

 private:
  void RepaintRow(int row);
  void SetText(int row, int column, const QString& text, const QString& tip = QString());
  QString Text(int row, int column) const;

  mutable std::mutex mutex_;  // guards bars_: workers set values
  std::map<int, int> bars_;   // row -> percent
};

}  // namespace zendra
