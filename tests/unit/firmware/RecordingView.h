#pragma once
// A window stand-in for the firmware hosts: records what it is told, from any
// thread, and lets a test wait for a status text or the "done" notification.

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "firmware/FirmwarePageView.h"

namespace zendra::test {

class RecordingView : public FirmwarePageView {
 public:
  void SetStatus(const std::string& text) override { Record([&] { statuses.push_back(text); }); }
  void SetProgress(int percent) override { Record([&] { progress.push_back(percent); }); }
  void EnableButtons(bool enable) override { Record([&] { buttons.push_back(enable); }); }
  void Finished(FirmwareOutcome outcome) override { Record([&] { finished.push_back(outcome); }); }
  void ShowDeviceTexts(const DeviceInfo& d) override { Record([&] { texts.push_back(d); }); }
  void ReloadDefinitions(const std::string& f) override { Record([&] { definitions.push_back(f); }); }
  void SetRowProgress(int row, int percent) override {
    Record([&] { rowProgress.emplace_back(row, percent); });
  }

  bool WaitForFinished(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return !finished.empty(); });
  }
  bool WaitForStatus(const std::string& text, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
      return std::find(statuses.begin(), statuses.end(), text) != statuses.end();
    });
  }
  bool WaitForFinishedCount(std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return finished.size() >= count; });
  }
  bool WaitForRowProgress(int row, int atLeast, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
      return std::any_of(rowProgress.begin(), rowProgress.end(),
                         [&](const auto& p) { return p.first == row && p.second >= atLeast; });
    });
  }
  bool WaitForProgress(int atLeast, std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout,
                             [&] { return !progress.empty() && progress.back() >= atLeast; });
  }
  std::size_t StatusCount() {
    std::lock_guard lock(mutex_);
    return statuses.size();
  }

  // Read these once the worker has ended (after a wait above or a join).
  std::vector<std::string> statuses, definitions;
  std::vector<int> progress;
  std::vector<bool> buttons;
  std::vector<FirmwareOutcome> finished;
  std::vector<DeviceInfo> texts;
  std::vector<std::pair<int, int>> rowProgress;  // (row, value)

 private:
  template <typename F>
  void Record(F f) {
    std::lock_guard lock(mutex_);
    f();
    changed_.notify_all();
  }
  std::mutex mutex_;
  std::condition_variable changed_;
};

}  // namespace zendra::test
