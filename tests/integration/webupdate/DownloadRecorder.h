#pragma once
// What the tests watch a download run through: a view and an operator that write
// into one log in the order things happened ("message:...", "file:...",
// "range:0..5", "position:3", "close", "box:..."), and a runner that does what the
// command line will do: run a DownloadWorker with that view and wait for its end.

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "support/FakeOperator.h"
#include "webupdate/DownloadRunner.h"
#include "webupdate/DownloadView.h"
#include "webupdate/DownloadWorker.h"

namespace zendra::test {

class EventLog {
 public:
  void Add(std::string event) {
    std::lock_guard lock(mutex_);
    events_.push_back(std::move(event));
    changed_.notify_all();
  }
  std::vector<std::string> Events() const {
    std::lock_guard lock(mutex_);
    return events_;
  }
  // The events starting with `prefix`, the prefix cut off.
  std::vector<std::string> With(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const auto& e : Events())
      if (e.rfind(prefix, 0) == 0) found.push_back(e.substr(prefix.size()));
    return found;
  }
  bool WaitFor(const std::function<bool(const std::vector<std::string>&)>& done,
               std::chrono::milliseconds timeout = std::chrono::seconds(10)) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return done(events_); });
  }

 private:
  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<std::string> events_;
};

class RecordingView : public DownloadView {
 public:
  explicit RecordingView(EventLog& log) : log_(log) {}
  void SetMessage(const std::string& text) override { log_.Add("message:" + text); }
  void SetFileName(const std::string& text) override { log_.Add("file:" + text); }
  void SetRange(int lower, int upper) override {
    log_.Add("range:" + std::to_string(lower) + ".." + std::to_string(upper));
  }
  void SetPosition(int position) override { log_.Add("position:" + std::to_string(position)); }
  void Close() override { log_.Add("close"); }

 private:
  EventLog& log_;
};

class LoggingOperator : public FakeOperator {
 public:
  explicit LoggingOperator(EventLog& log) : log_(log) {}
  void ShowMessage(const std::string& text) override {
    log_.Add("box:" + text);
    FakeOperator::ShowMessage(text);
  }
  void ShowDetailedMessage(const std::string& text, const std::string& detail) override {
    log_.Add("box:" + text);
    FakeOperator::ShowDetailedMessage(text, detail);
  }

 private:
  EventLog& log_;
};

class WorkerRunner : public DownloadRunner {
 public:
  WorkerRunner(DownloadView& view, Operator& op, DownloadWorker::Options options = {})
      : view_(view), op_(op), options_(options) {}
  std::vector<DownloadResult> RunDownloads(const std::string& url,
                                           const std::vector<DownloadEntry>& entries) override {
    runs.push_back(entries);
    DownloadWorker worker(url, entries, view_, op_, HttpClient(), options_);
    worker.Start();
    worker.Join();
    return worker.Results();
  }
  std::vector<std::vector<DownloadEntry>> runs;

 private:
  DownloadView& view_;
  Operator& op_;
  DownloadWorker::Options options_;
};

}  // namespace zendra::test
