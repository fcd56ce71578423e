#pragma once
// The update work of the Firmware Update page (FirmwarePage): the update of the
// local module (LocalUpdate) and the update of remote modules over the air, one
// chosen device after the other (RemoteUpdate, whose RemoteSequence holds the
// chosen rows and the line). The two share the page's view, its operator, the
// chosen image and the fast-flashing choice; this class hands each call to the
// one it belongs to, so that the page, the command line and a production station
// have one object for the page's work.
//
// What the page sees of either is the same: status texts for the steps, typed
// events for the progress (TransferView::Progress for the local bar,
// FirmwarePageView::DeviceRun for a remote device's row) and Finished with the
// outcome.
//
// One update at a time: a local update and a remote sequence both hold the line
// while they run, and a start of either is refused while the other's worker runs.

#include <atomic>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

#include "firmware/LocalUpdate.h"
#include "firmware/RemoteUpdate.h"

namespace zendra {

class FirmwareUpdate {
 public:
  static constexpr int kRestartWaitMs = LocalUpdate::kRestartWaitMs;

  // `op` takes the messages and the file dialog, also those of the workers (a
  // window gives its OperatorRelay); `bootloader` is the modules'. A remote update
  // needs the line at the bootloader's rate.
  FirmwareUpdate(Connection& connection, FirmwarePageView& view, Operator& op,
                 const Bootloader& bootloader = MenuBootloader::Standard())
      : local_(connection, view, op, bootloader), remote_(connection, view, op, bootloader) {}
  FirmwareUpdate(const FirmwareUpdate&) = delete;
  FirmwareUpdate& operator=(const FirmwareUpdate&) = delete;

  LocalUpdate& Local() { return local_; }
  RemoteUpdate& Remote() { return remote_; }

  // The image both send, and how.
  const std::string& OnChooseFile() {
    SetChosenPath(local_.OnChooseFile());
    return ChosenPath();
  }
  void SetChosenPath(const std::string& path) {
    local_.SetChosenPath(path);
    remote_.SetChosenPath(path);
  }
  const std::string& ChosenPath() const { return local_.ChosenPath(); }
  void SetFastTransfer(bool fast) {
    local_.SetFastTransfer(fast);
    remote_.SetFastTransfer(fast);
  }
  bool FastTransfer() const { return local_.FastTransfer(); }

  // The local update: LocalUpdate's.
  bool CheckLocal() { return local_.CheckLocal(); }
  bool OnLocalUpdate(LineLease line) {
    localMode = true;
    return local_.OnLocalUpdate(std::move(line));
  }

  // The remote sequence: RemoteUpdate's.
  std::optional<int> OnRemoteUpdate(const std::vector<RemoteRow>& rows, std::stop_token stop = {}) {
    if (local_.Busy()) return std::nullopt;
    localMode = false;
    return remote_.OnRemoteUpdate(rows, std::move(stop));
  }
  std::optional<int> OnUpdateTimer(std::stop_token stop = {}) {
    return remote_.OnUpdateTimer(std::move(stop));
  }
  void RunRemoteUpdate(int firstLookMs, std::stop_token stop = {}) {
    remote_.RunRemoteUpdate(firstLookMs, std::move(stop));
  }
  void StopRemoteUpdate() { remote_.StopRemoteUpdate(); }
  bool RemoteUpdateRunning() const { return remote_.RemoteUpdateRunning(); }
  void SetCloneChecked(bool checked) { remote_.SetCloneChecked(checked); }
  bool CloneChecked() const { return remote_.CloneChecked(); }
  const RemoteSequence& Sequence() const { return remote_.Sequence(); }
  static std::string ReadRemoteVersion(AtLink& link, const std::string& address, bool settle) {
    return RemoteUpdate::ReadRemoteVersion(link, address, settle);
  }

  // Prepares one device and starts its worker: the local module (`local`), or the
  // remote module at `address` by image or (`clone`) by cloning.
  bool StartUpdate(LineLease line, bool local, bool clone, const std::string& address) {
    if (Busy()) return false;
    return local ? local_.Start(std::move(line))
                 : remote_.StartUpdate(std::move(line), clone, address);
  }

  // Cancel: the local image going out, or the remote sequence as
  // RemoteUpdate::CancelUpdate says. false when nothing could be stopped.
  bool CancelUpdate() {
    const bool remote = remote_.CancelUpdate();
    const bool local = local_.CancelTransfer();
    return remote || local;
  }

  // A worker of either runs.
  bool Busy() const { return local_.Busy() || remote_.Busy(); }
  // An image goes out (local or remote): what Cancel can stop.
  bool TransferRunning() const { return local_.Busy() || remote_.TransferRunning(); }
  // Waits until the running workers have ended by themselves.
  void Join() {
    local_.Join();
    remote_.Join();
  }
  // How the last worker of the kind last started ended.
  std::optional<FirmwareOutcome> LastOutcome() const {
    return localMode ? local_.LastOutcome() : remote_.LastOutcome();
  }

  // true for a local update, false for a remote one (set by the buttons).
  std::atomic<bool> localMode{true};

 private:
  LocalUpdate local_;
  RemoteUpdate remote_;
};

}  // namespace zendra
