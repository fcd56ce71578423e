#include "production/ProvisionJob.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <set>
#include <vector>

#include "base/Clock.h"
#include "config/ConfigCore.h"
#include "config/ConfigurationDiff.h"
#include "config/ParameterAssignment.h"
#include "firmware/FirmwareUpdate.h"
#include "firmware/ImageCheck.h"
#include "firmware/MenuBootloader.h"
#include "firmware/TransferRate.h"
#include "serial/PortDetect.h"

namespace zendra {

namespace {

// How often a port that waits for its update's worker looks at its stop.
constexpr std::chrono::milliseconds kUpdateLook{100};
// How many differing values a failed verify names.
constexpr std::size_t kNamedDifferences = 3;

bool Answered(const std::string& text) { return !text.empty() && text != "ERROR"; }

// The Firmware Update page's view for one port: the transfer's progress events
// become the port's typed progress with the rate; the status line is kept as a reason; the end
// wakes the port that waits for it.
class UpdateView : public FirmwarePageView {
 public:
  explicit UpdateView(std::function<void(ProvisionProgress)> report) : report_(std::move(report)) {}

  void SetStatus(const std::string& text) override {
    std::lock_guard lock(mutex_);
    status_ = text;
  }
  void SetProgress(int percent) override {
    std::lock_guard lock(mutex_);
    percent_ = percent;
  }
  void EnableButtons(bool) override {}
  void Progress(const DeviceRunEvent& event) override {
    ProvisionProgress progress;
    {
      std::lock_guard lock(mutex_);
      status_ = SendingStatus(event);
      percent_ = event.percent;
      sent_ = event.bytes;
      total_ = event.total;
      progress.step = ProvisionStep::kUpdate;
      progress.bytes = event.bytes;
      progress.totalBytes = event.total;
      progress.percent = event.percent;
      progress.bytesPerSecond = event.bytesPerSecond;
    }
    report_(progress);
  }
  void Finished(FirmwareOutcome) override {
    std::lock_guard lock(mutex_);
    finished_ = true;
    ended_.notify_all();
  }
  void ShowDeviceTexts(const DeviceInfo&) override {}
  void ReloadDefinitions(const std::string&) override {}

  // Until the worker has said it ended, or `timeout`.
  void WaitForEnd(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    ended_.wait_for(lock, timeout, [this] { return finished_; });
  }
  std::string Status() const {
    std::lock_guard lock(mutex_);
    return status_;
  }
  // "12,800 of 204,800 bytes" once bytes have gone.
  std::string BytesSent() const {
    std::lock_guard lock(mutex_);
    if (total_ == 0) return {};
    return TransferRate::Grouped(sent_) + " of " + TransferRate::Grouped(total_) + " bytes";
  }

 private:
  std::function<void(ProvisionProgress)> report_;
  mutable std::mutex mutex_;
  std::condition_variable ended_;
  std::string status_;
  int percent_ = 0;
  std::int64_t sent_ = 0;
  std::int64_t total_ = 0;
  bool finished_ = false;
};

// "parameter k of n" of an import or a read, as the port's progress.
class StepProgress : public TransferProgress {
 public:
  StepProgress(ProvisionStep step, std::function<void(ProvisionProgress)> report)
      : step_(step), report_(std::move(report)) {}
  void Step(int k, int n, const std::string&) override {
    ProvisionProgress progress;
    progress.step = step_;
    progress.k = k;
    progress.n = n;
    report_(progress);
  }

 private:
  ProvisionStep step_;
  std::function<void(ProvisionProgress)> report_;
};

}  // namespace

struct ProvisionJob::RunState {
  std::stop_token stop;
  ProvisionResult result;
  std::optional<LineLease> line;
  std::vector<Assignment> sets;  // resolved against the module's definition file
  bool prepared = false;         // definitions loaded and everything checked
  bool flashing = false;         // the module went into its bootloader for the image
};

ProvisionJob::ProvisionJob(std::string port, const ProvisionPlan& plan, ProvisionEvents& events,
                           int baudRate, int settleMs)
    : port_(std::move(port)),
      plan_(plan),
      events_(events),
      baudRate_(baudRate),
      settleMs_(settleMs),
      op_(plan.acceptOtherVersion) {
  UseForHandshake(connection_, MenuBootloader::Standard());
  // Nothing here has an image to reload a damaged firmware with.
  Connection::Hooks hooks;
  hooks.offerReload = false;
  connection_.SetHooks(hooks);
}

void ProvisionJob::Report(ProvisionProgress progress) { events_.Progress(port_, progress); }

std::string ProvisionJob::Reason(std::size_t mark, const std::string& fallback) const {
  std::string message = op_.FirstSince(mark);
  return message.empty() ? fallback : message;
}

bool ProvisionJob::Fail(RunState& run, ProvisionStep step, std::string message) {
  run.result.outcome =
      run.stop.stop_requested() ? ProvisionOutcome::kCancelled : ProvisionOutcome::kFailed;
  run.result.failedStep = step;
  run.result.message = run.stop.stop_requested() ? "cancelled" : std::move(message);
  return false;
}

ProvisionResult ProvisionJob::Run(std::stop_token stop) {
  const auto started = std::chrono::steady_clock::now();
  RunState run;
  run.stop = stop;
  run.result.port = port_;
  const auto runSteps = [&] {
    if (!Connect(run)) return;
    ConfigCore core(connection_);
    if (plan_.image) {
      const ProvisionPlan::Image& image = *plan_.image;
      if (run.result.product != image.model) {
        run.result.outcome = ProvisionOutcome::kSkipped;
        run.result.failedStep = ProvisionStep::kUpdate;
        run.result.message = MismatchDetail(image.model, run.result.product) + " Not flashed.";
        return;
      }
    }
    const bool update = plan_.image && (plan_.image->force || !plan_.image->version ||
                                        run.result.firmwareBefore != *plan_.image->version);
    // The version the module will run: checked against now, when it is known.
    const std::optional<std::string> versionAfter =
        update ? plan_.image->version : std::optional<std::string>(run.result.firmwareBefore);
    if (plan_.NeedsDefinitions() && versionAfter &&
        !Prepare(run, core, run.result.product + "_" + *versionAfter + ".zmcon"))
      return;
    if (update && !Update(run)) return;
    if (plan_.NeedsDefinitions() && !run.prepared &&
        !Prepare(run, core, connection_.DefinitionFileName()))
      return;
    if (!Configure(run, core)) return;
    if (!Verify(run, core)) return;
    if (!Identify(run)) return;
    run.result.outcome = ProvisionOutcome::kPassed;
  };
  runSteps();
  // A module that was not flashed runs what it ran before; one whose update broke
  // off may run nothing: its version is not known.
  if (run.result.firmwareAfter.empty() && !run.flashing)
    run.result.firmwareAfter = run.result.firmwareBefore;
  run.line.reset();
  connection_.Disconnect();
  run.result.seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  if (run.result.Passed()) Report({.step = ProvisionStep::kDone});
  return std::move(run.result);
}

bool ProvisionJob::Connect(RunState& run) {
  Report({.step = ProvisionStep::kConnect});
  if (settleMs_ > 0 && !Clock::Sleep(settleMs_, run.stop))
    return Fail(run, ProvisionStep::kConnect, "cancelled");
  LineSettings settings = plan_.settings;
  if (baudRate_ > 0) settings.baudRate = baudRate_;
  if (settings.baudRate == 0) {
    // No rate given: the one the module answers at, as detect finds it.
    const DetectedPort found = PortDetect().Probe(port_, run.stop);
    switch (found.state) {
      case DetectedPort::State::kModule:
        settings.baudRate = found.baudRate;
        break;
      case DetectedPort::State::kBootloader:
        return Fail(run, ProvisionStep::kConnect,
                    "the module waits in its bootloader (its firmware may be damaged): reload "
                    "it with zendra-cli reload");
      case DetectedPort::State::kBusy:
        return Fail(run, ProvisionStep::kConnect, "the port is busy: " + found.detail);
      case DetectedPort::State::kNotOpened:
        return Fail(run, ProvisionStep::kConnect, "the port could not be opened: " + found.detail);
      case DetectedPort::State::kNoAnswer:
        return Fail(run, ProvisionStep::kConnect, "no module answered at any baud rate");
    }
  }
  run.line = connection_.TryLease("provision", run.stop);
  const std::size_t mark = op_.Count();
  if (!run.line || !connection_.Connect(*run.line, port_, settings)) {
    if (connection_.LastFailure() == Connection::Failure::kFirmwareDamaged)
      return Fail(run, ProvisionStep::kConnect,
                  "the module's firmware is damaged: it waits in its bootloader");
    return Fail(run, ProvisionStep::kConnect, Reason(mark, "the module did not answer"));
  }
  const DeviceInfo device = connection_.Device();
  run.result.product = Answered(device.productName) ? device.productName : "";
  run.result.euiAddress = Answered(device.euiAddress) ? device.euiAddress : "";
  run.result.nodeName = Answered(device.nodeName) ? device.nodeName : "";
  run.result.firmwareBefore = Answered(device.firmwareVersion) ? device.firmwareVersion : "";
  events_.Identified(port_, device);
  if (run.result.product.empty() || run.result.firmwareBefore.empty())
    return Fail(run, ProvisionStep::kConnect,
                "the module did not tell its product and firmware version");
  return true;
}

bool ProvisionJob::Prepare(RunState& run, ConfigCore& core, const std::string& definitionFile) {
  run.prepared = true;
  if (plan_.definitionsFolder) core.loader.SetProgramFolder(*plan_.definitionsFolder);
  if (plan_.userDefinitionsFolder) core.loader.SetUserFolder(*plan_.userDefinitionsFolder);
  core.loader.LoadParameterFile(LoadMode::kLoad, definitionFile);
  if (core.definitions.parameterCount == 0)
    return Fail(run, ProvisionStep::kConfigure,
                "no definition file for " + definitionFile + ": its values cannot be verified");
  // A file exported from another firmware version may name other parameters, or
  // give them values this version does not take.
  if (plan_.config && plan_.config->plan.version != definitionFile && !plan_.acceptOtherVersion)
    return Fail(run, ProvisionStep::kConfigure,
                "the configuration file is for " + plan_.config->plan.version + ", the module " +
                    (run.result.updated ? "now runs " : "will run ") + definitionFile +
                    " (--yes imports it all the same)");
  run.sets.clear();
  for (const auto& [name, value] : plan_.sets) {
    Assignment assignment = ResolveAssignment(core.definitions, name, value);
    if (assignment.record < 0)
      return Fail(run, ProvisionStep::kConfigure, "--set " + name + ": " + assignment.error);
    run.sets.push_back(std::move(assignment));
  }
  return true;
}

bool ProvisionJob::Update(RunState& run) {
  Report({.step = ProvisionStep::kUpdate});
  const ProvisionPlan::Image& image = *plan_.image;
  UpdateView view([this](ProvisionProgress progress) { Report(progress); });
  FirmwareUpdate update(connection_, view, op_);
  update.SetChosenPath(image.path);
  update.SetFastTransfer(image.fast);
  const std::size_t mark = op_.Count();
  // The update button's checks: the line at the bootloader's rate, the model.
  if (!update.CheckLocal())
    return Fail(run, ProvisionStep::kUpdate, Reason(mark, "the update's checks refused"));
  // The update owns the line until its worker ends.
  LineLease line = std::move(*run.line);
  run.line.reset();
  run.flashing = true;
  if (!update.OnLocalUpdate(std::move(line)))
    return Fail(run, ProvisionStep::kUpdate,
                Reason(mark, "the module did not enter its bootloader"));
  // Cancel, as the button does: the image going out is stopped with CAN. Asked
  // again while the worker runs, since a stop before the first block finds no
  // transfer to cancel yet.
  while (update.Busy()) {
    if (run.stop.stop_requested()) update.CancelUpdate();
    view.WaitForEnd(kUpdateLook);
  }
  update.Join();
  const auto outcome = update.LastOutcome();
  run.line = connection_.TryLease("provision", run.stop);
  if (outcome != FirmwareOutcome::kCompleted) {
    std::string reason = Reason(mark, view.Status());
    if (reason.empty()) reason = outcome ? OutcomeName(*outcome) : "the update did not end";
    const std::string sent = view.BytesSent();
    if (!sent.empty()) reason += " (" + sent + " sent)";
    return Fail(run, ProvisionStep::kUpdate, reason);
  }
  run.result.updated = true;
  const std::string version = connection_.Device().firmwareVersion;
  run.result.firmwareAfter = Answered(version) ? version : "";
  if (image.version && version != *image.version)
    return Fail(run, ProvisionStep::kUpdate,
                "the module reports " + version + " after the update, not " + *image.version);
  if (!run.line) return Fail(run, ProvisionStep::kUpdate, "the line was not given back");
  return true;
}

bool ProvisionJob::Configure(RunState& run, ConfigCore& core) {
  if (!plan_.config && run.sets.empty()) return true;
  Report({.step = ProvisionStep::kConfigure});
  const auto report = [this](ProvisionProgress progress) { Report(progress); };
  const std::size_t mark = op_.Count();
  if (plan_.config) {
    // The failures are the record's, not a log next to the file all ports share.
    core.transfer.SetOpenLog(false);
    core.transfer.SetWriteLog(false);
    StepProgress progress(ProvisionStep::kConfigure, report);
    const ImportResult r =
        core.transfer.SendImport(*run.line, plan_.config->path, plan_.config->plan, {}, &progress);
    if (r.outcome == ImportResult::Outcome::kStopped)
      return Fail(run, ProvisionStep::kConfigure, "cancelled");
    if (!r.failed.empty()) {
      std::string names;
      for (const auto& failure : r.failed) names += (names.empty() ? "" : ", ") + failure.name;
      return Fail(run, ProvisionStep::kConfigure,
                  "the module refused " + std::to_string(r.failed.size()) + " of " +
                      std::to_string(r.sections) + " commands of the file: " + names);
    }
  }
  for (std::size_t i = 0; i < run.sets.size(); ++i) {
    Report({.step = ProvisionStep::kConfigure,
            .k = static_cast<int>(i + 1),
            .n = static_cast<int>(run.sets.size())});
    const Assignment& set = run.sets[i];
    const SaveResult saved = core.editor.SaveValue(*run.line, set.record, set.value);
    if (saved != SaveResult::kSaved)
      return Fail(run, ProvisionStep::kConfigure,
                  "--set " + ParameterPath(core.definitions.Record(set.record)) + ": " +
                      Reason(mark, "the module refused the value"));
  }
  return true;
}

bool ProvisionJob::Verify(RunState& run, ConfigCore& core) {
  if (!plan_.config && run.sets.empty()) return true;
  Report({.step = ProvisionStep::kVerify});
  const auto report = [this](ProvisionProgress progress) { Report(progress); };
  run.result.verified = false;
  if (plan_.config) {
    StepProgress progress(ProvisionStep::kVerify, report);
    const ConfigurationDiff diff = ConfigurationDiff::CompareWithDevice(
        core.transfer, *run.line, plan_.config->plan, &progress);
    if (diff.stopped || run.stop.stop_requested())
      return Fail(run, ProvisionStep::kVerify, "cancelled");
    // A parameter a --set writes after the file holds the --set's value: its
    // read-back below checks it.
    std::set<int> setRecords;
    for (const Assignment& set : run.sets) setRecords.insert(set.record);
    std::string named;
    std::size_t differences = 0;
    for (const auto& e : diff.entries) {
      if (e.kind == ConfigurationDiff::Entry::Kind::kUnchanged || setRecords.count(e.record))
        continue;
      if (differences++ < kNamedDifferences)
        named += (named.empty() ? "" : "; ") + e.group + "/" + e.parameter + ": module " +
                 e.DeviceText() + ", file " + e.FileText();
    }
    if (differences > 0)
      return Fail(run, ProvisionStep::kVerify,
                  std::to_string(differences) + " of " + std::to_string(diff.entries.size()) +
                      " values differ from the file: " + named +
                      (differences > kNamedDifferences ? "; ..." : ""));
  }
  if (!run.sets.empty()) {
    std::vector<int> records;
    for (const Assignment& set : run.sets) records.push_back(set.record);
    StepProgress progress(ProvisionStep::kVerify, report);
    const ReadAllResult read = core.transfer.ReadAllParameters(*run.line, records, &progress);
    if (read.stopped || run.stop.stop_requested())
      return Fail(run, ProvisionStep::kVerify, "cancelled");
    for (std::size_t i = 0; i < run.sets.size() && i < read.readings.size(); ++i) {
      const ParameterReading& reading = read.readings[i];
      if (reading.status != ParameterReading::Status::kRead)
        return Fail(run, ProvisionStep::kVerify, reading.name + ": not read back");
      // A later --set of the same parameter decides what it holds.
      bool overwritten = false;
      for (std::size_t j = i + 1; j < run.sets.size(); ++j)
        overwritten = overwritten || run.sets[j].record == run.sets[i].record;
      if (!overwritten && reading.value != run.sets[i].value)
        return Fail(run, ProvisionStep::kVerify,
                    reading.name + ": module " + reading.value + ", --set " + run.sets[i].value);
    }
  }
  run.result.verified = true;
  return true;
}

bool ProvisionJob::Identify(RunState& run) {
  Report({.step = ProvisionStep::kIdentify});
  connection_.ShowDeviceInfo(*run.line);
  if (run.stop.stop_requested()) return Fail(run, ProvisionStep::kIdentify, "cancelled");
  const DeviceInfo device = connection_.Device();
  events_.Identified(port_, device);
  if (!Answered(device.euiAddress) || !Answered(device.firmwareVersion))
    return Fail(run, ProvisionStep::kIdentify, "the module did not identify itself at the end");
  // Another module than the one that started the run (swapped on a hub): its
  // record would name the wrong address.
  if (!run.result.euiAddress.empty() && device.euiAddress != run.result.euiAddress)
    return Fail(run, ProvisionStep::kIdentify,
                "the module now reports the EUI address " + device.euiAddress + ", not " +
                    run.result.euiAddress);
  run.result.product = device.productName;
  run.result.euiAddress = device.euiAddress;
  run.result.nodeName = Answered(device.nodeName) ? device.nodeName : "";
  run.result.firmwareAfter = device.firmwareVersion;
  return true;
}

}  // namespace zendra
