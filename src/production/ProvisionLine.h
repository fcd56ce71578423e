#pragma once
// The production line: every port a run of its own at the same time, each on its
// own worker with its own connection and line lease (ProvisionJob), so that one
// port's failure — no answer, a refused value, the adapter pulled — never stops or
// slows another. As each port finishes, its record is written in a transaction of
// its own (RecordStore) before the operator is told.
//
// Watch: for the operator who fills a USB hub and swaps it, the line looks at the
// serial ports every half second; a port that appears is a module plugged in and
// gets a run. A finished port waits for its module to be taken away ("done —
// unplug"); a module plugged into that port afterwards is a new run. A port that
// goes away mid-run fails by itself (its line is lost) and counts as taken away
// once it has. Finishing (the first Ctrl+C) starts no port any more and waits for
// those under way; CancelAll (the second) stops them as Cancel does.

#include <condition_variable>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <stop_token>
#include <string>
#include <thread>
#include <vector>

#include "production/ProvisionEvents.h"
#include "production/ProvisionPlan.h"
#include "production/ProvisionRecord.h"
#include "production/ProvisionResult.h"

namespace zendra {

class RecordStore;

class ProvisionLine {
 public:
  // Protocol time between two looks at the ports while watching.
  static constexpr int kWatchPollMs = 500;
  // Protocol time a port that has just appeared is left to its module, which has
  // just been powered and is still starting, before the run's first byte.
  static constexpr int kSettleMs = 1000;

  // `records` may be null: nothing is recorded.
  ProvisionLine(const ProvisionPlan& plan, ProvisionEvents& events, RecordStore* records);
  // Cancels the runs under way and waits for them.
  ~ProvisionLine();
  ProvisionLine(const ProvisionLine&) = delete;
  ProvisionLine& operator=(const ProvisionLine&) = delete;

  // Starts a run on `port` on a worker of its own; `baudRate` 0 is the plan's rate
  // (or the detected one). false while a run on that port has not ended.
  bool Start(const std::string& port, int baudRate = 0, int settleMs = 0);
  // Waits until every run started has ended.
  void WaitAll();
  // Stops every run under way as Cancel does; returns at once.
  void CancelAll();
  // Whether a run on `port` has not ended yet.
  bool Running(const std::string& port) const;

  // The ports a watch looks at: every serial port of the computer, or the named
  // ones that exist (tests name pseudo-terminals, or links to them).
  using PortSource = std::function<std::vector<std::string>()>;
  // Watches `source` until `finish` is asked for, then waits for the runs under
  // way. `cancel` is CancelAll's token: a stop of it while waiting cancels them.
  void Watch(const PortSource& source, std::stop_token finish, std::stop_token cancel = {},
             int pollMs = kWatchPollMs, int settleMs = kSettleMs);

  // Every run that has ended, in the order they ended.
  std::vector<ProvisionResult> Results() const;
  // How many runs ended and how many of them passed.
  int Finished() const;
  int Passed() const;

  // The record of `result` under this plan, written at `time` (RecordTime text).
  ProvisionRecord RecordOf(const ProvisionResult& result, const std::string& time) const;

 private:
  struct Worker;
  void RunPort(Worker& worker, std::stop_token stop);
  // Joins the workers that have ended.
  void Reap();

  const ProvisionPlan& plan_;
  ProvisionEvents& events_;
  RecordStore* records_;
  const std::string station_;

  mutable std::mutex mutex_;
  std::condition_variable ended_;
  std::list<std::unique_ptr<Worker>> workers_;
  std::vector<ProvisionResult> results_;
};

// The ports of the computer, as the port list finds them.
std::vector<std::string> SystemPorts();
// Those of `names` that exist now (a link to a port counts when it leads to one).
std::vector<std::string> ExistingPorts(const std::vector<std::string>& names);

}  // namespace zendra
