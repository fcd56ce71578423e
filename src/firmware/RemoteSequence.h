#pragma once
// The remote update's sequence: which rows of the device list were chosen, how
// many of them have been started, and the look the page's timer takes at them.
//
// The operator ticks rows of the device list and presses the remote "Update"; the
// chosen devices are then updated one after the other. The page's timer looks at
// the sequence 100 ms after the press and every 5000 ms after that. A look starts
// the next chosen row once no worker runs; a start that fails (the remote's
// bootloader does not answer) counts as started, and the next chosen row starts
// in the same look. A device that fails does not stop the sequence. The clone box
// is read at each start, so flipping it changes the kind of update for the rows
// not started yet.
//
// The table of marks is as large as the list (no fixed number of rows). The
// object knows no timer and no thread: the page runs Tick when its timer fires
// (as a module task: a start blocks for seconds), the command line program in a
// loop. The workers read the counts for their endings, so every member may be
// used from any thread; no lock is held while a start runs.
//
// The sequence owns the line from the press that passed its checks to the end of
// its last worker: the press, each look that prepares a device and each worker
// that sends to one use the one lease in turn, each on its own thread, and the
// window may end the sequence at any moment. The lease is kept under the table's
// lock: a user holds a LineUse while it talks on the line (one user at a time),
// and the line goes back when the sequence is done and no use is out (at once, or
// as the use ends).
// Whether the line may go back ("no chosen row waits") is decided under the same
// lock as the marks, so a Cancel that takes the waiting rows and a worker that
// ends cannot both keep or both lose the line.

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "device/LineLease.h"
#include "firmware/FirmwareOutcome.h"

namespace zendra {

// One row of the device list as the remote "Update" finds it: the address in its
// "IEEE Address" column and whether its check box is ticked.
struct RemoteRow {
  std::string address;
  bool ticked = false;
  // Its "NodeName" column; empty when the row came without one.
  std::string nodeName = {};
};

class RemoteSequence {
 public:
  // The timer's delays: the first look after the press, and every later one.
  static constexpr int kFirstLookMs = 100;
  static constexpr int kNextLookMs = 5000;

  // One device to start.
  struct Start {
    int row;
    std::string address;
    bool clone;
  };

  // A new press: the list's rows as they are now, every mark cleared, no outcome.
  void Reset(std::vector<std::string> addresses);
  // Row `row` is chosen and not started yet.
  void Mark(int row);
  // The press's checks have passed: selectedCount is the number of marks,
  // startedCount 0.
  void Arm();
  // Ends the sequence: every mark cleared (a stop, or a press that refused).
  void ClearMarks();
  // The same, giving the rows that were still waiting for their start.
  std::vector<int> TakePending();

  // One look of the timer. Walks the marked rows in order; for each it reads the
  // clone box (`cloneBox`), and while `workerRunning` says a worker still runs it
  // ends the look and asks for the next one (kNextLookMs). Otherwise the row
  // becomes the current row, loses its mark, counts as started, and `start`
  // prepares it (on this thread, for seconds) and starts its worker or fails.
  // nullopt once every chosen row has been started (the sequence ends with the
  // last worker), and once `stop` is requested (no further row is started).
  std::optional<int> Tick(const std::function<bool()>& cloneBox,
                          const std::function<bool()>& workerRunning,
                          const std::function<void(const Start&)>& start,
                          std::stop_token stop = {});

  // A chosen row still waits for its start.
  bool Pending() const;
  int RowCount() const;
  int SelectedCount() const;
  int StartedCount() const;
  // Every chosen row has been started (the workers' endings depend on it).
  bool AllStarted() const;
  // The row being updated (the target of SetRowProgress).
  int CurrentRow() const;
  std::string Address(int row) const;

  // How each row's device ended; empty for rows not chosen or not ended.
  void RecordOutcome(int row, FirmwareOutcome outcome);
  std::vector<std::optional<FirmwareOutcome>> Outcomes() const;

  // The node name the failure report gives a row's device (its list row's, or the
  // one its device reported).
  void SetNodeName(int row, std::string name);
  std::string NodeName(int row) const;

  // A device of the press that did not end with its update completed: its outcome,
  // or none when it was never started.
  struct Failure {
    int row;
    std::string address;
    std::string nodeName;
    std::optional<FirmwareOutcome> outcome;
  };
  // The chosen rows (those of the last Arm) whose device did not complete, in row order.
  std::vector<Failure> Failures() const;
  // The chosen rows whose device ended failed: started, neither completed nor
  // stopped by the operator (what "Retry failed" starts again), in row order.
  std::vector<int> FailedRows() const;
  // The rows chosen by the last Arm, in row order.
  std::vector<int> ChosenRows() const;

  // One activity's use of the sequence's line (the press, a look, a worker): the
  // lease stays while it is out. Drop it before asking for the line to go back,
  // so that the line goes at once.
  class LineUse {
   public:
    LineUse(LineUse&& other) noexcept;
    LineUse& operator=(LineUse&& other) noexcept;
    LineUse(const LineUse&) = delete;
    ~LineUse();
    LineLease& operator*() const { return *lease_; }
    LineLease* operator->() const { return lease_; }

   private:
    friend class RemoteSequence;
    LineUse(RemoteSequence& owner, LineLease& lease) : owner_(&owner), lease_(&lease) {}
    RemoteSequence* owner_;
    LineLease* lease_;
  };

  // The sequence takes `line` over (a press that found the line free).
  void HoldLine(LineLease line);
  // The sequence holds the line: from HoldLine until it has gone back.
  bool HoldsLine() const;
  // A use of the line, going on under `stop` (the user's own). One use at a time:
  // the line carries one conversation under one stop, so a worker that takes over
  // from the look that started it waits until the look has let go. nullopt when
  // the sequence holds no line, or it goes back meanwhile, or `stop` comes while
  // another use is out.
  std::optional<LineUse> UseLine(std::stop_token stop);
  // The line goes back when no chosen row waits for its start: at once when no use
  // is out, otherwise as the last use ends. true when it goes (or has gone).
  bool GiveLineBackIfDone();
  // The line goes back whatever waits (the sequence is stopped), at once or as the
  // last use ends.
  void GiveLineBack();

 private:
  // Under mutex_: the lease to let go of now, if it is to go and no use is out.
  // The caller destroys it after the lock is released: giving the line back tells
  // the line's observer, which may ask this object again.
  std::optional<LineLease> TakeLineToRelease();
  void EndUse();

  mutable std::mutex mutex_;
  std::condition_variable_any lineFree_;  // a use ended, or the line goes back
  std::optional<LineLease> line_;
  int lineUses_ = 0;
  bool lineGoing_ = false;  // asked to go back; it goes as the last use ends
  std::vector<std::string> addresses_;
  std::vector<char> pendingRows_;  // 1: chosen and not started yet
  std::vector<char> chosenRows_;   // 1: chosen by the last Arm
  std::vector<std::string> nodeNames_;
  std::vector<std::optional<FirmwareOutcome>> outcomes_;
  int selectedCount_ = 0;
  int startedCount_ = 0;
  int currentRow_ = 0;
};

}  // namespace zendra
