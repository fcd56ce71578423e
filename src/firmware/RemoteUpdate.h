#pragma once
// The update of remote modules over the air (the remote "Update" of the Firmware
// Update page, `zendra-cli update --remote` and `clone`), by image or by cloning
// the local module's firmware, one chosen device after the other. The chosen rows,
// their outcomes and the line are the RemoteSequence's; this class drives it.
//
// OnRemoteUpdate (the remote "Update" button) checks the line, the local module and
// every ticked row (the remote's product against the image's model, or against the
// local product for a clone) and marks the chosen rows. The page's timer then calls
// OnUpdateTimer: 100 ms after the press, every 5000 ms after that. A look starts
// the next chosen row when no worker runs: it asks the local module to open the
// path to the remote's bootloader (Bootloader::EnterRemote: "AT+BOOTLOAD=1,<address>"
// for an image, "=2," for a clone) and starts UpdateWorker, which sends the image through the local
// module to the remote bootloader, or CloneWorker in its own slot (`cloneThread`),
// which waits for the module to report the clone's outcome.
//
// Each device's run reaches the view as typed events (FirmwarePageView::DeviceRun,
// DeviceRunEvent): waiting for every chosen row at the press, preparing at its
// start, sending with the percentage, bytes, rate and time left (a clone: the
// seconds it has waited), and its end: done with the version the device reports
// once its update has completed (asked through the local module), failed with the
// reason, or cancelled.
//
// Cancel stops a remote device during its preparation (the pauses and the
// bootload query end at once) as well as during its transfer; the rows still
// waiting are not started and are reported cancelled.
//
// The line. The sequence holds one lease from the press that passed its checks to
// the end of its last worker: the press, every device's preparation and worker
// use it in turn, each through a use of the sequence's lease taken on its own
// thread, and between two devices nothing else can take the line, though the five
// buttons come back as each device ends. It is given back when no chosen row is
// left to start and no worker runs, or when the sequence is stopped, which may
// happen while a look prepares a device.
//
// One worker at a time. A clone's monitor and a relayed transfer would both read
// the one receive ring (and a bootload command would land in the middle of a
// transfer), so a device starts only while neither worker runs, whichever kind it
// is.
//
// The workers never outlive this object: the destructor requests a stop and joins
// them; a stopped transfer cancels with CAN and no stopped worker calls the view
// again.

#include <atomic>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "firmware/DeviceRunEvent.h"
#include "firmware/FirmwareHost.h"
#include "firmware/FirmwarePageView.h"
#include "firmware/MenuBootloader.h"
#include "firmware/RemoteSequence.h"

namespace zendra {

class RemoteUpdate : public FirmwareHost {
 public:
  // `bootloader` is the modules'; the remote update needs the line at its rate.
  RemoteUpdate(Connection& connection, FirmwarePageView& view, Operator& op,
               const Bootloader& bootloader = MenuBootloader::Standard());
  ~RemoteUpdate();

  // The remote "Update" button (1036), on a module task (the checks ask every
  // ticked remote for its product, 5 s each at most). `rows` are the device list's
  // rows in order. On success the chosen rows are marked, the line is held for the
  // sequence, and the result is the delay before the timer's first look (100 ms);
  // nullopt when a check refused (its message has been shown, nothing is started)
  // or the line is held by another activity.
  std::optional<int> OnRemoteUpdate(const std::vector<RemoteRow>& rows, std::stop_token stop = {});
  // Timer 1001: one look at the sequence, on a module task (a start blocks for
  // about nine seconds and its query for up to 20 s more). The delay before the
  // next look, or nullopt when every chosen row has been started (the sequence
  // then ends with the last worker).
  std::optional<int> OnUpdateTimer(std::stop_token stop = {});
  // The sequence from the press's first look to its last worker's end, driven on
  // this thread as the page's timer drives it: the command line program's loop. A
  // stop ends it as StopRemoteUpdate does.
  void RunRemoteUpdate(int firstLookMs, std::stop_token stop = {});
  // Ends the sequence now (the window closing), from any thread: a look preparing
  // a device is stopped, the running worker is stopped (a transfer cancelled with
  // CAN) and joined, no row is started any more, the line goes back (at once, or
  // as the look lets go of it).
  void StopRemoteUpdate();
  // Cancel: the image going out is stopped as CancelTransfer says, a device's
  // preparation is stopped, and the devices not started yet are not started any
  // more (each reported cancelled). false when neither an image was going out nor
  // a device was being prepared.
  bool CancelUpdate();
  // The sequence holds the line.
  bool RemoteUpdateRunning() const { return sequence_.HoldsLine(); }

  // "Clone local firmware" (1038) as the page shows it now. The press and every
  // start read it, so flipping it changes the kind for rows not started yet.
  void SetCloneChecked(bool checked) { cloneChecked_ = checked; }
  bool CloneChecked() const { return cloneChecked_.load(); }

  // The chosen rows, the counts, how each device ended, and the line.
  const RemoteSequence& Sequence() const { return sequence_; }

  // Prepares the remote module at `address` on `line` and starts its worker, by
  // image or (`clone`) by cloning the local module's firmware, as a look does for
  // the current row. true when a worker was started; false when the start ended on
  // this thread (its message has been shown, the buttons restored, the line given
  // back unless chosen rows still wait) or a worker still runs.
  bool StartUpdate(LineLease line, bool clone, const std::string& address);

  // A worker (transfer or clone) runs. Hides FirmwareHost::Busy, which knows the
  // transfer's slot only.
  bool Busy() const { return transferThread_.Running() || cloneThread_.Running(); }
  // An image goes out: what Cancel can stop.
  bool TransferRunning() const { return transferThread_.Running(); }
  // Waits until the running workers have ended by themselves.
  void Join();

  // The version a remote device runs, asked through the local module. `settle`:
  // the relay may still be sending its closing text across the radio, and until it
  // has the module answers "ERROR" to anything: the line is let go quiet first, and
  // an "ERROR" is asked again once it is quiet.
  static std::string ReadRemoteVersion(AtLink& link, const std::string& address, bool settle);

 private:
  using LineUse = RemoteSequence::LineUse;

  // What the press checked the rows against; a start of another kind or image
  // checks its row again first.
  struct Checked {
    bool clone = false;
    std::string path;
  };

  // A use of the sequence's line, the line taken first when the sequence holds none.
  std::optional<LineUse> TakeLine(std::stop_token stop);
  // The row's device may take what is to be sent: the remote's product against
  // the local product (clone) or the image's model. false after its message.
  bool CheckRemoteDevice(LineLease& line, int row, const std::string& address, bool clone);
  bool CheckRemoteProduct(LineLease& line, const std::string& address, bool clone);
  // The last chosen device has ended (or failed to start): "completed
  // successfully" only when every chosen device completed; otherwise the status
  // counts the failures and a box names each device (address, node name) and why.
  // `clone`: the last device's kind, whose success text is shown.
  void CloseSequence(bool clone);
  // `prepare`: the look's own stop, which Cancel requests too; `stop`: the look's.
  void StartRemoteDevice(const RemoteSequence::Start& start, std::stop_token prepare,
                         std::stop_token stop);
  // A remote device's run changed: the view hears of it unless the host is going away.
  void Report(int row, const DeviceRunEvent& event, std::stop_token stop);
  // A remote device's worker has ended: its outcome recorded, its version read when
  // it completed, the worker's use of the line dropped and the line given back when
  // no row waits, its end reported (unless the host is going away). Whether every
  // chosen row has been started.
  bool EndRemoteDevice(std::optional<LineUse>& use, int row, FirmwareOutcome outcome,
                       std::stop_token stop);
  // The start of one device on the look's use of the line; a start that fails
  // drops the use and gives the line back unless chosen rows still wait.
  bool StartOnLine(std::optional<LineUse>& use, bool clone, const std::string& address, int row);
  bool StartRemoteBranch(LineLease& line, bool clone, const std::string& address, int row);
  void UpdateWorker(std::stop_token stop, std::string path, int row);
  void FinishRemoteTransfer(std::optional<LineUse>& use, TransferResult result, int row,
                            std::stop_token stop);
  void CloneWorker(std::stop_token stop, int row);

  FirmwarePageView& pageView_;  // the page's own calls beyond the transfer's
  std::string imageModel_;
  std::atomic<bool> cloneChecked_{false};
  RemoteSequence sequence_;
  Checked checked_;
  // The running look's preparation stop, while a look runs (Cancel requests it).
  std::mutex prepareMutex_;
  std::stop_source* prepare_ = nullptr;
  // The operator cancelled the sequence; a worker that starts now sends nothing.
  std::atomic<bool> cancelled_{false};
  // The device being prepared has been asked for its bootloader: stopped now, it
  // needs its firmware again.
  std::atomic<bool> bootloadSent_{false};
  WorkerSlot cloneThread_;
};

}  // namespace zendra
