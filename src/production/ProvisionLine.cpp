#include "production/ProvisionLine.h"

#include <atomic>
#include <filesystem>
#include <map>
#include <set>

#include "base/Clock.h"
#include "production/HostName.h"
#include "production/ProvisionJob.h"
#include "production/RecordStore.h"
#include "production/RecordTime.h"
#include "serial/PortList.h"

namespace zendra {

struct ProvisionLine::Worker {
  std::string port;
  std::atomic<bool> done{false};
  std::jthread thread;
};

ProvisionLine::ProvisionLine(const ProvisionPlan& plan, ProvisionEvents& events,
                             RecordStore* records)
    : plan_(plan), events_(events), records_(records), station_(HostName()) {}

ProvisionLine::~ProvisionLine() {
  CancelAll();
  WaitAll();
}

bool ProvisionLine::Start(const std::string& port, int baudRate, int settleMs) {
  std::lock_guard lock(mutex_);
  for (const auto& worker : workers_)
    if (worker->port == port && !worker->done) return false;
  auto worker = std::make_unique<Worker>();
  worker->port = port;
  Worker& started = *worker;
  workers_.push_back(std::move(worker));
  started.thread = std::jthread([this, &started, baudRate, settleMs](std::stop_token stop) {
    events_.Started(started.port);
    ProvisionJob job(started.port, plan_, events_, baudRate, settleMs);
    ProvisionResult result = job.Run(stop);
    if (records_) {
      std::string error;
      if (const auto id = records_->Append(RecordOf(result, RecordTime::Now()), error))
        result.recordId = *id;
      else
        result.recordError = error;
    }
    events_.Finished(result);
    std::lock_guard done(mutex_);
    results_.push_back(std::move(result));
    started.done = true;
    ended_.notify_all();
  });
  return true;
}

void ProvisionLine::WaitAll() {
  {
    std::unique_lock lock(mutex_);
    ended_.wait(lock, [this] {
      for (const auto& worker : workers_)
        if (!worker->done) return false;
      return true;
    });
  }
  Reap();
}

void ProvisionLine::Reap() {
  std::list<std::unique_ptr<Worker>> ended;
  {
    std::lock_guard lock(mutex_);
    for (auto it = workers_.begin(); it != workers_.end();) {
      if ((*it)->done) {
        ended.push_back(std::move(*it));
        it = workers_.erase(it);
      } else {
        ++it;
      }
    }
  }
  // Joined outside the lock: a worker's last act takes it.
  ended.clear();
}

void ProvisionLine::CancelAll() {
  std::lock_guard lock(mutex_);
  for (auto& worker : workers_) worker->thread.request_stop();
}

bool ProvisionLine::Running(const std::string& port) const {
  std::lock_guard lock(mutex_);
  for (const auto& worker : workers_)
    if (worker->port == port && !worker->done) return true;
  return false;
}

void ProvisionLine::Watch(const PortSource& source, std::stop_token finish, std::stop_token cancel,
                          int pollMs, int settleMs) {
  // The ports of this watch that have had a run, each with whether it has been
  // seen gone since (its module taken away, perhaps already plugged in again).
  std::map<std::string, bool> served;
  const std::stop_callback cancelAll(cancel, [this] { CancelAll(); });
  while (!finish.stop_requested()) {
    const std::vector<std::string> ports = source();
    const std::set<std::string> present(ports.begin(), ports.end());
    for (auto it = served.begin(); it != served.end();) {
      it->second = it->second || !present.count(it->first);
      if (it->second && !Running(it->first)) {
        events_.Unplugged(it->first);
        it = served.erase(it);
      } else {
        ++it;
      }
    }
    for (const std::string& port : ports) {
      if (served.count(port)) continue;
      if (Start(port, 0, settleMs)) served.emplace(port, false);
    }
    Reap();
    if (!Clock::Sleep(pollMs, finish)) break;
  }
  WaitAll();
}

std::vector<ProvisionResult> ProvisionLine::Results() const {
  std::lock_guard lock(mutex_);
  return results_;
}

int ProvisionLine::Finished() const {
  std::lock_guard lock(mutex_);
  return static_cast<int>(results_.size());
}

int ProvisionLine::Passed() const {
  std::lock_guard lock(mutex_);
  int passed = 0;
  for (const auto& result : results_) passed += result.Passed() ? 1 : 0;
  return passed;
}

ProvisionRecord ProvisionLine::RecordOf(const ProvisionResult& result,
                                        const std::string& time) const {
  ProvisionRecord record;
  record.time = time;
  record.station = station_;
  record.port = result.port;
  record.product = result.product;
  record.euiAddress = result.euiAddress;
  record.firmwareBefore = result.firmwareBefore;
  record.firmwareAfter = result.firmwareAfter;
  if (plan_.image) record.imageSha256 = plan_.image->sha256;
  if (plan_.config) record.configSha256 = plan_.config->sha256;
  if (result.verified) record.verify = *result.verified ? "passed" : "failed";
  record.seconds = result.seconds;
  record.outcome = OutcomeName(result.outcome);
  if (result.failedStep) record.failedStep = StepName(*result.failedStep);
  record.message = result.message;
  return record;
}

std::vector<std::string> SystemPorts() {
  PortList list;
  list.EnumeratePorts();
  std::vector<std::string> ports;
  for (const auto& entry : list.Entries()) ports.push_back(entry.name);
  return ports;
}

std::vector<std::string> ExistingPorts(const std::vector<std::string>& names) {
  std::vector<std::string> ports;
  for (const std::string& name : names) {
    std::error_code ec;
    if (std::filesystem::exists(name, ec)) ports.push_back(name);
  }
  return ports;
}

}  // namespace zendra
