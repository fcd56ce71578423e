#pragma once
// The update work of the Firmware Update page (FirmwarePage): the local update,
// and the update of remote modules over the air, by image or by cloning the local
// module's firmware, one device after the other. Every update starts through
// StartUpdate; UpdateWorker sends an image, CloneMonitor watches a clone.
//
// Local update. StartUpdate runs on the caller's thread (the page's module task,
// off the window's thread) for about seven seconds: it disables the page's five
// buttons, has the running firmware enter its bootloader (Bootloader::EnterLocal:
// "AT+BOOTLOAD\n" and the menu's "1" for the modules' bootloader) and starts
// UpdateWorker. The worker sends the image through the bootloader, starts the new
// firmware ("2"), waits for it to answer, reads the device information again and
// has the page show it and load the definitions of the new version.
//
// Remote update. OnRemoteUpdate (the remote "Update" button) checks the line, the
// local module and every ticked row (the remote's product against the image's
// model, or against the local product for a clone) and marks the chosen rows.
// The page's timer then calls OnUpdateTimer: 100 ms after the press, every
// 5000 ms after that (RemoteSequence). A look starts the next chosen row when no
// worker runs: StartUpdate asks the local module to open the path to the remote's
// bootloader (Bootloader::EnterRemote: "AT+BOOTLOAD=1,<address>" for an image,
// "=2," for a clone) and
// starts UpdateWorker, which sends the image through the local module to the
// remote bootloader, or CloneMonitor in its own slot (`cloneThread`), which waits
// for the module to report the clone's outcome. Progress goes to the device's row.
//
// Each device's run reaches the view as typed events (FirmwarePageView::DeviceRun,
// DeviceRunEvent): waiting for every chosen row at the press, preparing at its
// start, sending with the percentage and bytes, and its end: done with the version
// the device reports once its update has completed (asked through the local
// module), failed with the reason, or cancelled.
//
// Cancel stops a remote device during its preparation (the pauses and the
// bootload query end at once) as well as during its transfer; the rows still
// waiting are not started and are reported cancelled.
//
// The line. An update owns the line while it prepares and runs. A local update
// takes the caller's lease and gives it back as the worker's last act. A remote
// sequence holds one lease from the press that passed its checks to the end of
// its last worker: every device's preparation and worker use it, and between two
// devices nothing else can take the line, though the five buttons come back as
// each device ends. It is given back when no chosen row is left to start and no
// worker runs, or when the sequence is stopped.
//
// One worker at a time. A clone's monitor and a relayed transfer would both read
// the one receive ring (and a bootload command would land in the middle of a
// transfer), so a device starts only while neither worker runs, whichever kind it
// is.
//
// The workers never outlive this object: the destructor (the page closing)
// requests a stop and joins them; a stopped transfer cancels with CAN and no
// stopped worker calls the view again.

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

class FirmwareUpdate : public FirmwareHost {
 public:
  // How long the new firmware has, once started, to say "OK".
  static constexpr int kRestartWaitMs = 10000;

  // `op` takes the messages and the file dialog, also those of the workers (a
  // window gives its OperatorRelay); `bootloader` is the modules'. A remote update
  // needs the line at the bootloader's rate.
  FirmwareUpdate(Connection& connection, FirmwarePageView& view, Operator& op,
                 const Bootloader& bootloader = MenuBootloader::Standard());
  ~FirmwareUpdate();

  // "Choose file in local PC" is FirmwareHost::OnChooseFile; the file location
  // shows the path.

  // The checks of the local "Update" button, on the window's thread: the
  // line, the image, the model. false after the message of the failing one.
  bool CheckLocal();
  // The rest of the button, on a task with the line: progress 0, localMode true,
  // StartUpdate(true, false, ""). true when UpdateWorker was started.
  bool OnLocalUpdate(LineLease line);

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
  // Ends a remote sequence now (the window closing): the running worker is
  // stopped (a transfer cancelled with CAN) and joined, no row is started any
  // more, the line is given back. Call it once no look runs.
  void StopRemoteUpdate();
  // Cancel: the image going out is stopped as CancelTransfer says, a remote
  // device's preparation is stopped, and in a remote sequence the devices not
  // started yet are not started any more (each reported cancelled). false when
  // neither an image was going out nor a device was being prepared.
  bool CancelUpdate();
  // A remote sequence holds the line.
  bool RemoteUpdateRunning() const { return sequenceHoldsLine_.load(); }

  // "Clone local firmware" (1038) as the page shows it now. The press and every
  // start read it, so flipping it changes the kind for rows not started yet.
  void SetCloneChecked(bool checked) { cloneChecked_ = checked; }
  bool CloneChecked() const { return cloneChecked_.load(); }

  // The chosen rows, the counts and how each device ended.
  const RemoteSequence& Sequence() const { return sequence_; }

  // Prepares one device and starts its worker. `local`: the module on the line;
  // otherwise the remote module at `address`, by image or (`clone`) by cloning
  // the local module's firmware. The worker takes over `line`. true when a worker
  // was started; false when the start ended on this thread (its message has been
  // shown, the buttons restored, the line given back).
  bool StartUpdate(LineLease line, bool local, bool clone, const std::string& address);

  // A worker (transfer or clone) runs. Hides FirmwareHost::Busy, which knows the
  // transfer's slot only.
  bool Busy() const { return transferThread_.Running() || cloneThread_.Running(); }
  // An image goes out (local or remote): what Cancel can stop.
  bool TransferRunning() const { return transferThread_.Running(); }
  // Waits until the running workers have ended by themselves.
  void Join();

  // The version a remote device runs, asked through the local module. `settle`:
  // the relay may still be sending its closing text across the radio, and until it
  // has the module answers "ERROR" to anything: the line is let go quiet first, and
  // an "ERROR" is asked again once it is quiet.
  static std::string ReadRemoteVersion(AtLink& link, const std::string& address, bool settle);

  // The model code of the image last examined (the checks rewrite it).
  const std::string& ImageModel() const { return imageModel_; }

  // true for a local update, false for a remote one (set by the buttons; each
  // worker's kind is the one StartUpdate was called with).
  std::atomic<bool> localMode{true};

 private:
  // What the press checked the rows against; a start of another kind or image
  // checks its row again first.
  struct Checked {
    bool clone = false;
    std::string path;
  };

  bool TakeLine(std::stop_token stop);
  // The row's device may take what is to be sent: the remote's product against
  // the local product (clone) or the image's model. false after its message.
  bool CheckRemoteDevice(int row, const std::string& address, bool clone);
  bool CheckRemoteProduct(const std::string& address, bool clone);
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
  // A remote device's update completed: the version it runs now, before the line goes.
  std::string NewVersion(int row);
  // A remote device's worker has ended: its outcome recorded, its version read when
  // it completed, the line given back when no row waits, its end reported (unless
  // the host is going away). Whether every chosen row has been started.
  bool EndRemoteDevice(int row, FirmwareOutcome outcome, std::stop_token stop);
  bool StartOnLine(bool local, bool clone, const std::string& address, int row);
  bool StartLocalBranch();
  bool StartRemoteBranch(bool clone, const std::string& address, int row);
  void UpdateWorker(std::stop_token stop, std::string path, bool local, int row);
  void FinishLocal(std::stop_token stop);
  void FinishRemoteTransfer(TransferResult result, int row, std::stop_token stop);
  void CloneWorker(std::stop_token stop, int row);
  // The local worker's ending: the line goes back before the window hears of the end.
  void End(FirmwareOutcome outcome, std::stop_token stop);
  // A remote device has ended (or failed to start): the line goes back once no
  // chosen row is left and no other worker runs.
  void GiveLineBackIfDone();

  FirmwarePageView& pageView_;  // the page's own calls beyond the transfer's
  std::string imageModel_;
  // The line while an update owns it: from StartUpdate (or a remote press) to the
  // end of the (last) worker.
  std::optional<LineLease> line_;
  std::atomic<bool> sequenceHoldsLine_{false};
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
