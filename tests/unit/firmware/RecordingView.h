#pragma once
// A window stand-in for the firmware hosts: records every status text, progress
// value, button change and notification, from any thread, and lets a test wait
// for the "done" notification.

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "firmware/FirmwarePageView.h"

namespace zendra::test {

class RecordingView : public FirmwarePageView {
 public:
  void SetStatus(const std::string& text) override { Record([&] { statuses_.push_back(text); }); }
  void SetProgress(int percent) override { Record([&] { progress_.push_back(percent); }); }
  void EnableButtons(bool enable) override { Record([&] { buttons_.push_back(enable); }); }
  void Finished(FirmwareOutcome outcome) override { Record([&] { finished_.push_back(outcome); }); }
  void ShowDeviceTexts(const DeviceTexts& texts) override { Record([&] { texts_.push_back(texts); }); }
  void ReloadDefinitions(const std::string& fileName) override {
    Record([&] { definitions_.push_back(fileName); });
  }

  std::vector<std::string> Statuses() const { return Locked(statuses_); }
  std::vector<int> Progress() const { return Locked(progress_); }
  std::vector<bool> Buttons() const { return Locked(buttons_); }
  std::vector<FirmwareOutcome> FinishedOutcomes() const { return Locked(finished_); }
  std::vector<DeviceTexts> Texts() const { return Locked(texts_); }
  std::vector<std::string> Definitions() const { return Locked(definitions_); }
  std::string LastStatus() const {
    std::lock_guard lock(mutex_);
    return statuses_.empty() ? std::string() : statuses_.back();
  }
  bool WaitForFinished(std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return !finished_.empty(); });
  }
  bool WaitForStatus(const std::string& text, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] {
      for (const auto& s : statuses_)
        if (s == text) return true;
      return false;
    });
  }

 private:
  template <typename F>
  void Record(F f) {
    {
      std::lock_guard lock(mutex_);
      f();
    }
    changed_.notify_all();
  }
  template <typename T>
  T Locked(const T& value) const {
    std::lock_guard lock(mutex_);
    return value;
  }

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<std::string> statuses_;
  std::vector<int> progress_;
  std::vector<bool> buttons_;
  std::vector<FirmwareOutcome> finished_;
  std::vector<DeviceTexts> texts_;
  std::vector<std::string> definitions_;
};

}  // namespace zendra::test
