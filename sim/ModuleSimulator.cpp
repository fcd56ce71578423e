#include "ModuleSimulator.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <mutex>
#include <thread>

#include "AtNode.h"
#include "Bootloader.h"
#include "PacedLine.h"
#include "ReceiveLog.h"
#include "RegisterDefinitions.h"
#include "RemoteNetwork.h"
#include "XmodemReceiver.h"

namespace zendra::sim {

namespace {

constexpr int kBootloaderBaud = 115200;
constexpr std::size_t kLongestLine = 4096;

// The local module's texts around remote updates: "Start" for the host's query, and
// never "OK", "ERROR" or a capital C (which the host's sender would take for the
// remote's start request) until the outcome.
constexpr std::string_view kRelayStart = "\r\nStart remote bootloader, waiting for .ebl\r\n";
constexpr std::string_view kRelayComplete = "\r\nRemote upload complete\r\n";
constexpr std::string_view kRelayAborted = "\r\nremote upload aborted\r\n";
// The remote keeps the image apart and installs it only once it has checked it.
constexpr std::string_view kRelayRefused = "\r\nRemote upload aborted: not an ebl image\r\n";
constexpr std::string_view kRelayNoUpload = "\r\nno remote upload\r\n";
constexpr std::string_view kRelayTimedOut = "\r\nremote upload timed out\r\n";
constexpr std::string_view kCloneStart = "\r\nStart cloning firmware to remote\r\n";
constexpr std::string_view kCloneComplete = "\r\nClone complete\r\n";
// A relay whose sender went quiet for this long is given up.
constexpr int kRelayIdleMs = 60000;

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && UpperAscii(text.substr(0, prefix.size())) == prefix;
}

}  // namespace

// The module thread owns the module: it polls the line, takes each byte at its
// arrival time and runs the module's own timers (restart, radio delay, bootloader
// deadlines) in time order. All module state below `mutex` is touched only with it
// held, so that the public accessors can read it from any thread.
struct ModuleSimulator::Impl {
  using TimePoint = SimClock::time_point;

  explicit Impl(Options opts) : options(std::move(opts)), bootloader(Scale()), relay(Scale()) {}

  double Scale() const { return std::max(options.timeScale, 0.001); }
  SimClock::duration Scaled(int ms) const {
    return std::chrono::duration_cast<SimClock::duration>(
        std::chrono::duration<double, std::milli>(ms * Scale()));
  }

  bool Start();
  void Stop();
  void Run();
  void Wake() const {
    int fd = wakeFd.load();
    if (fd >= 0) {
      std::uint64_t one = 1;
      [[maybe_unused]] ssize_t n = ::write(fd, &one, sizeof one);
    }
  }

  // --- everything below runs with `mutex` held ---
  int ModuleBaud() const { return mode == Mode::Bootloader ? kBootloaderBaud : options.baudRate; }
  // A restart, the bootloader or a relay ends what the application had under way:
  // replies that were still to come are dropped.
  void NewEpoch() { ++epoch; }
  // Sends `text` at `at` unless the application has been interrupted by then.
  void ReplyAt(std::string text, TimePoint at) {
    timers.emplace(at, [this, text = std::move(text), sent = epoch](TimePoint when) {
      if (epoch == sent && mode == Mode::Application) Reply(text, when);
    });
  }
  void Send(const std::string& text) { line.Send(text, PacedLine::Sender{ModuleBaud(), false}); }
  void Reply(const std::string& text, TimePoint at) {
    Send(text);
    lastActivity = std::max(lastActivity, at);
  }
  void OnArrival(const PacedLine::Arrival& arrival);
  void ApplicationByte(std::uint8_t byte, TimePoint at);
  void Miss(std::uint8_t byte);
  void FlushMissed();
  void ExecuteLine(const std::string& received, TimePoint at);
  void RemoteCommand(std::string_view addressAndCommand, TimePoint at);
  void Scan(TimePoint at);
  void ScanLine(std::shared_ptr<const std::vector<std::string>> lines, std::size_t index,
                TimePoint at, std::uint64_t started);
  void RemoteBootload(std::string_view request, TimePoint at);
  void StartRelay(const std::string& target, TimePoint at);
  void PassOnRelay(XmodemReceiver::Step& step, TimePoint at);
  void StartClone(const std::string& target, TimePoint at);
  XmodemReceiver::Settings RelaySettings(const RemoteFaults& remoteFaults) const;
  void BeginRestart(TimePoint at);
  void EnterBootloader();
  void StartApplication(TimePoint at);
  void Apply(Bootloader::Output& out, TimePoint at);
  bool AsleepAt(TimePoint at) const;

  Options options;
  PacedLine line;
  ReceiveLog log;
  std::string lastError;

  mutable std::mutex mutex;
  enum class Mode { Application, Bootloader, Relay } mode = Mode::Application;
  std::unique_ptr<AtNode> local;
  RemoteNetwork network;
  Faults faults;
  Bootloader bootloader;
  std::uint64_t epoch = 0;
  // A remote update under way: its bootloader being reached, an upload relayed to
  // it (Mode::Relay) or the local firmware being copied to it.
  enum class RemoteJob { None, Preparing, Relaying, Cloning } remoteJob = RemoteJob::None;
  std::string jobTarget;  // the remote's EUI address as configured
  XmodemReceiver relay;
  bool echo = true;
  bool dataMode = false;
  std::string lineBuffer;
  std::size_t commandStart = 0;  // where the command after the last CR starts in lineBuffer
  std::string restartLine;       // the line of a restart, waiting for its LF
  std::string missedBuffer;
  bool wakingUp = false;     // a sleeping module discards up to the next "\n"
  int nodeTypeInEffect = 1;  // a new node type counts from the next start
  TimePoint restartUntil{};
  TimePoint lastActivity{};
  std::multimap<TimePoint, std::function<void(TimePoint)>> timers;
  bool running = false;

  // Module thread only.
  std::deque<PacedLine::Arrival> input;

  std::atomic<int> wakeFd{-1};
  std::atomic<bool> stopping{false};
  std::jthread thread;
};

bool ModuleSimulator::Impl::Start() {
  std::vector<RegisterDefinition> definitions;
  auto loadDefinitions = [this](const std::string& path, std::vector<RegisterDefinition>& out) {
    if (path.empty()) {
      out = ParseDefinitions(BuiltInDefinitions());
      return true;
    }
    return LoadDefinitionFile(path, out, lastError);
  };
  if (!loadDefinitions(options.definitionsFile, definitions)) return false;
  AtNode::Identity identity{options.productName, options.euiAddress, options.nodeName,
                            options.version, options.nodeType};
  auto node = std::make_unique<AtNode>(identity, definitions, options.registerValues, false,
                                       options.replyForm);
  RemoteNetwork remoteNodes;
  // A generated network has hundreds of nodes and a handful of definition files.
  std::map<std::string, std::vector<RegisterDefinition>> loaded;
  for (const auto& remote : options.remotes) {
    auto found = loaded.find(remote.definitionsFile);
    if (found == loaded.end()) {
      std::vector<RegisterDefinition> remoteDefinitions;
      if (!loadDefinitions(remote.definitionsFile, remoteDefinitions)) return false;
      found = loaded.emplace(remote.definitionsFile, std::move(remoteDefinitions)).first;
    }
    AtNode::Identity remoteIdentity{remote.productName, remote.euiAddress, remote.nodeName,
                                    remote.version, remote.nodeType};
    remoteNodes.Add(remote, AtNode(remoteIdentity, found->second, remote.registerValues, true,
                                   options.replyForm));
  }
  if (!options.logFile.empty()) log.OpenFile(options.logFile);
  line.RecordWire(options.recordWire);

  wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wakeFd < 0 || !line.Open(lastError)) {
    if (lastError.empty()) lastError = "cannot create the wake-up event";
    return false;
  }
  {
    std::lock_guard lock(mutex);
    local = std::move(node);
    network = std::move(remoteNodes);
    faults = options.faults;
    bootloader.SetFaults(faults);
    bootloader.SetFirmwareVersion(local->Version());
    bootloader.SetDamaged(options.damaged);
    dataMode = options.dataMode;
    nodeTypeInEffect = local->NodeType();
    lastActivity = SimClock::now();
    if (options.damaged) {
      // A damaged firmware never starts: the module sits in its bootloader menu.
      mode = Mode::Bootloader;
      bootloader.Enter();
    }
    running = true;
  }
  stopping = false;
  thread = std::jthread([this] { Run(); });
  return true;
}

void ModuleSimulator::Impl::Stop() {
  stopping = true;
  Wake();
  if (thread.joinable()) thread.join();
  line.Close();
  if (int fd = wakeFd.exchange(-1); fd >= 0) ::close(fd);
  std::lock_guard lock(mutex);
  running = false;
}

void ModuleSimulator::Impl::Run() {
  // The module acts on bytes one character time apart; keep its wake-ups sharp.
  prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
  constexpr TimePoint kNever = TimePoint::max();
  for (;;) {
    TimePoint next = kNever;
    {
      std::lock_guard lock(mutex);
      if (stopping) return;
      // Handle every event that is due, the earliest first.
      for (;;) {
        TimePoint now = SimClock::now();
        TimePoint byteDue = input.empty() ? kNever : input.front().at;
        TimePoint timerDue = timers.empty() ? kNever : timers.begin()->first;
        TimePoint bootDue = kNever;
        if (mode == Mode::Bootloader) bootDue = bootloader.NextDeadline().value_or(kNever);
        if (mode == Mode::Relay) bootDue = relay.NextDeadline().value_or(kNever);
        TimePoint first = std::min({byteDue, timerDue, bootDue});
        if (first > now) {
          next = first;
          break;
        }
        if (first == byteDue) {
          PacedLine::Arrival arrival = input.front();
          input.pop_front();
          OnArrival(arrival);
        } else if (first == timerDue) {
          auto timer = timers.extract(timers.begin());
          timer.mapped()(timer.key());
        } else if (mode == Mode::Relay) {
          XmodemReceiver::Step step;
          relay.OnTime(bootDue, step);
          PassOnRelay(step, bootDue);
        } else {
          Bootloader::Output out;
          bootloader.OnTime(bootDue, out);
          Apply(out, bootDue);
        }
      }
    }
    pollfd fds[2] = {{wakeFd.load(), POLLIN, 0}, {line.InputFd(), POLLIN, 0}};
    timespec timeout{};
    timespec* timeoutPtr = nullptr;
    if (next != kNever) {
      auto wait = std::max(next - SimClock::now(), SimClock::duration::zero());
      auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(wait).count();
      timeout.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
      timeout.tv_nsec = static_cast<long>(ns % 1'000'000'000);
      timeoutPtr = &timeout;
    }
    int ready = ppoll(fds, 2, timeoutPtr, nullptr);
    if (ready <= 0) continue;
    if (fds[0].revents & POLLIN) {
      std::uint64_t count;
      [[maybe_unused]] ssize_t n = ::read(fds[0].fd, &count, sizeof count);
    }
    if (fds[1].revents & POLLIN) line.ReadInput(input);
  }
}

void ModuleSimulator::Impl::OnArrival(const PacedLine::Arrival& arrival) {
  std::uint8_t byte = arrival.byte;
  if (LineMismatch(arrival.host, ModuleBaud())) {
    // Sampled at the wrong rate: what the UART makes of it is noise.
    byte = Garble(byte);
    log.AddGarbled(1);
  }
  if (mode == Mode::Bootloader) {
    Bootloader::Output out;
    bootloader.OnByte(byte, arrival.at, out);
    Apply(out, arrival.at);
  } else if (mode == Mode::Relay) {
    XmodemReceiver::Step step;
    relay.OnByte(byte, arrival.at, step);
    PassOnRelay(step, arrival.at);
  } else {
    ApplicationByte(byte, arrival.at);
  }
}

bool ModuleSimulator::Impl::AsleepAt(TimePoint at) const {
  if (mode != Mode::Application || nodeTypeInEffect != 4) return false;
  if (at < restartUntil) return false;
  return wakingUp || at - lastActivity >= Scaled(options.sleepAfterMs);
}

void ModuleSimulator::Impl::Miss(std::uint8_t byte) {
  missedBuffer += static_cast<char>(byte);
  if (byte == '\n' || missedBuffer.size() >= kLongestLine) FlushMissed();
}

void ModuleSimulator::Impl::FlushMissed() {
  if (missedBuffer.empty()) return;
  log.AddMissed(missedBuffer);
  missedBuffer.clear();
}

void ModuleSimulator::Impl::ApplicationByte(std::uint8_t byte, TimePoint at) {
  if (!restartLine.empty()) {
    // The line of the ATZ ran at its CR; its LF reaches a module that is already
    // restarting and is lost, but it belongs to that line in the log.
    std::string restarted = std::move(restartLine);
    restartLine.clear();
    if (byte == '\n') {
      log.AddLine(restarted + "\n");
      return;
    }
    log.AddLine(restarted);
  }
  if (at < restartUntil) {
    Miss(byte);
    return;
  }
  if (AsleepAt(at)) {
    // A sleeping end device wakes on the byte but loses everything up to the end
    // of the line: the command was not heard.
    wakingUp = true;
    Miss(byte);
    if (byte == '\n') {
      wakingUp = false;
      lastActivity = at;
    }
    return;
  }
  lastActivity = at;
  bool quiet = faults.silent;
  if (echo && !dataMode && !quiet) Send(std::string(1, static_cast<char>(byte)));
  lineBuffer += static_cast<char>(byte);
  // The escape from transparent mode, also right after data that did not end in a
  // line end; in command mode it is simply acknowledged.
  bool escape = dataMode ? lineBuffer.ends_with("+++") : lineBuffer == "+++";
  if (escape) {
    if (lineBuffer.size() > 3) log.AddLine(lineBuffer.substr(0, lineBuffer.size() - 3));
    log.AddLine("+++");
    lineBuffer.clear();
    commandStart = 0;
    dataMode = false;
    if (!quiet) Reply(std::string(kReplyOk), at);
    return;
  }
  if (byte == '\r') {
    // A command runs at its CR: the reply is queued before the echo of the LF
    // that follows, which therefore arrives after the reply's "OK".
    std::string command = lineBuffer.substr(commandStart, lineBuffer.size() - 1 - commandStart);
    commandStart = lineBuffer.size();
    ExecuteLine(command, at);
  } else if (byte == '\n') {
    // The LF of a CR LF only ends the line; a lone LF ends and runs it.
    std::string command = lineBuffer.substr(commandStart, lineBuffer.size() - 1 - commandStart);
    std::string received = std::move(lineBuffer);
    lineBuffer.clear();
    commandStart = 0;
    log.AddLine(received);
    ExecuteLine(command, at);
  } else if (lineBuffer.size() >= kLongestLine) {
    // An endless line overflows the command buffer and is dropped.
    log.AddLine(lineBuffer);
    lineBuffer.clear();
    commandStart = 0;
  }
}

void ModuleSimulator::Impl::ExecuteLine(const std::string& received, TimePoint at) {
  std::string_view command(received);
  if (command.empty() || dataMode || faults.silent || mode != Mode::Application ||
      at < restartUntil)
    return;
  if (StartsWithNoCase(command, "AT+RC=")) {
    RemoteCommand(command.substr(6), at);
    return;
  }
  const std::string_view name = command.substr(0, command.find('='));
  for (const auto& refused : faults.errorCommands) {
    if (UpperAscii(refused) == UpperAscii(name)) {
      Reply(std::string(kReplyError), at);
      return;
    }
  }
  if (UpperAscii(command) == "AT+DS") {
    Scan(at);
    return;
  }
  if (StartsWithNoCase(command, "AT+BOOTLOAD=")) {
    RemoteBootload(command.substr(12), at);
    return;
  }
  AtNode::Outcome outcome = local->Execute(command);
  Reply(outcome.reply, at);
  switch (outcome.action) {
    case AtNode::Action::EchoOff:
      echo = false;
      break;
    case AtNode::Action::EchoOn:
      echo = true;
      break;
    case AtNode::Action::Restart:
      BeginRestart(at);
      break;
    case AtNode::Action::EnterBootloader:
      EnterBootloader();
      break;
    case AtNode::Action::None:
      break;
  }
}

void ModuleSimulator::Impl::RemoteCommand(std::string_view addressAndCommand, TimePoint at) {
  std::size_t comma = addressAndCommand.find(',');
  if (comma == std::string_view::npos) {
    Reply(std::string(kReplyError), at);
    return;
  }
  RemoteNetwork::Remote* remote = network.Find(addressAndCommand.substr(0, comma));
  std::string_view command = addressAndCommand.substr(comma + 1);
  // The command and the answer cross the radio before the reply comes back.
  const TimePoint answered = at + Scaled(options.radioDelayMs);
  if (!remote || command.empty()) {
    ReplyAt(std::string(kReplyError), answered);
    return;
  }
  if (remote->faults.reach == RemoteFaults::Reach::Silent) return;
  bool beingCloned = remoteJob == RemoteJob::Cloning && jobTarget == remote->euiAddress;
  if (remote->faults.reach == RemoteFaults::Reach::Unreachable || beingCloned) {
    // The local module retries over the air, then gives up.
    ReplyAt(std::string(kReplyError), at + Scaled(options.unreachableMs));
    return;
  }
  const std::string name = UpperAscii(command.substr(0, command.find('=')));
  for (const auto& refused : remote->faults.errorCommands) {
    if (UpperAscii(refused) == name) {
      ReplyAt(std::string(kReplyError), answered);
      return;
    }
  }
  // The remote takes the command as its own line; its line end was this line's.
  ReplyAt(remote->node.Execute(command).reply, answered);
}

void ModuleSimulator::Impl::Scan(TimePoint at) {
  if (faults.scanSilent) return;
  const TimePoint first = at + Scaled(options.scan.scanMs);
  if (faults.scanError) {
    ReplyAt(std::string(kReplyError), first);
    return;
  }
  timers.emplace(first, [this, started = epoch](TimePoint when) {
    if (epoch != started || mode != Mode::Application) return;
    // The table as it stands when the scan reports it.
    auto lines = network.ScanLines(*local, options.scan);
    lines.emplace_back("OK\r\n");
    if (options.scan.lineGapMs <= 0) {
      std::string all;
      for (const auto& piece : lines) all += piece;
      Reply(all, when);
      return;
    }
    ScanLine(std::make_shared<const std::vector<std::string>>(std::move(lines)), 0, when, started);
  });
}

void ModuleSimulator::Impl::ScanLine(std::shared_ptr<const std::vector<std::string>> lines,
                                     std::size_t index, TimePoint at, std::uint64_t started) {
  if (epoch != started || mode != Mode::Application) return;
  // One line per node as the module comes to it, with a pause before the next.
  Reply((*lines)[index], at);
  if (index + 1 < lines->size()) {
    timers.emplace(at + Scaled(options.scan.lineGapMs),
                   [this, lines, index, started](TimePoint when) {
                     ScanLine(lines, index + 1, when, started);
                   });
  }
}

void ModuleSimulator::Impl::RemoteBootload(std::string_view request, TimePoint at) {
  // "1,EUI": relay an upload to the remote's bootloader; "2,EUI": copy the local
  // firmware to it.
  std::size_t comma = request.find(',');
  std::string_view kind = request.substr(0, comma);
  std::string_view eui =
      comma == std::string_view::npos ? std::string_view() : request.substr(comma + 1);
  if ((kind != "1" && kind != "2") || eui.empty() || remoteJob != RemoteJob::None) {
    Reply(std::string(kReplyError), at);
    return;
  }
  RemoteNetwork::Remote* remote = network.Find(eui);
  if (!remote) {
    ReplyAt(std::string(kReplyError), at + Scaled(options.radioDelayMs));
    return;
  }
  const RemoteFaults& remoteFaults = remote->faults;
  if (remoteFaults.reach == RemoteFaults::Reach::Silent ||
      remoteFaults.bootload == RemoteFaults::Bootload::Silent)
    return;
  if (remoteFaults.reach == RemoteFaults::Reach::Unreachable ||
      remoteFaults.bootload == RemoteFaults::Bootload::Error) {
    ReplyAt(std::string(kReplyError), at + Scaled(options.unreachableMs));
    return;
  }
  remoteJob = RemoteJob::Preparing;
  jobTarget = remote->euiAddress;
  const bool clone = kind == "2";
  timers.emplace(at + Scaled(options.remoteBootloadMs),
                 [this, clone, started = epoch, target = jobTarget](TimePoint when) {
                   if (epoch != started || mode != Mode::Application) return;
                   if (clone) {
                     StartClone(target, when);
                   } else {
                     StartRelay(target, when);
                   }
                 });
}

XmodemReceiver::Settings ModuleSimulator::Impl::RelaySettings(
    const RemoteFaults& remoteFaults) const {
  XmodemReceiver::Settings settings;
  settings.refuseBlock = remoteFaults.refuseBlock;
  settings.refuseTimes = remoteFaults.refuseTimes;
  settings.refuseEveryBlock = remoteFaults.refuseEveryBlock;
  settings.silentAfterBlock = remoteFaults.silentAfterBlock;
  settings.idleLimitMs = kRelayIdleMs;
  return settings;
}

void ModuleSimulator::Impl::StartRelay(const std::string& target, TimePoint at) {
  RemoteNetwork::Remote* remote = network.Find(target);
  if (!remote) {
    remoteJob = RemoteJob::None;
    return;
  }
  Reply(std::string(kRelayStart), at);
  // From here the line belongs to the remote's bootloader: no echo, no commands.
  NewEpoch();
  mode = Mode::Relay;
  remoteJob = RemoteJob::Relaying;
  if (!lineBuffer.empty()) log.AddLine(lineBuffer);
  lineBuffer.clear();
  commandStart = 0;
  relay.SetSettings(RelaySettings(remote->faults));
  XmodemReceiver::Step step;
  relay.Begin(at, step);
  PassOnRelay(step, at);
}

void ModuleSimulator::Impl::PassOnRelay(XmodemReceiver::Step& step, TimePoint at) {
  for (auto& entry : step.entries) log.AddLine(entry);
  if (step.text.empty() && step.ending == XmodemReceiver::Ending::None) return;
  // Whatever the remote's bootloader says crosses the radio first.
  timers.emplace(at + Scaled(options.relayBlockMs),
                 [this, text = std::move(step.text), ending = step.ending,
                  image = std::move(step.image)](TimePoint when) mutable {
                   Send(text);
                   if (ending == XmodemReceiver::Ending::None || mode != Mode::Relay) return;
                   switch (ending) {
                     case XmodemReceiver::Ending::Completed:
                       if (!IsEblImage(image)) {
                         // The remote runs its firmware as before.
                         log.AddRefusedImage(jobTarget, std::move(image));
                         Send(std::string(kRelayRefused));
                         break;
                       }
                       if (RemoteNetwork::Remote* remote = network.Find(jobTarget)) {
                         std::string version = VersionInImage(image);
                         if (!version.empty()) remote->node.SetFirmwareVersion(version);
                       }
                       log.AddRemoteImage(jobTarget, std::move(image));
                       Send(std::string(kRelayComplete));
                       break;
                     case XmodemReceiver::Ending::Cancelled:
                       Send(std::string(kRelayAborted));
                       break;
                     case XmodemReceiver::Ending::NoUpload:
                       Send(std::string(kRelayNoUpload));
                       break;
                     case XmodemReceiver::Ending::TimedOut:
                       Send(std::string(kRelayTimedOut));
                       break;
                     case XmodemReceiver::Ending::None:
                       break;
                   }
                   // Back to the AT application, echo as it was.
                   mode = Mode::Application;
                   remoteJob = RemoteJob::None;
                   lineBuffer.clear();
                   commandStart = 0;
                   lastActivity = std::max(lastActivity, when);
                 });
}

void ModuleSimulator::Impl::StartClone(const std::string& target, TimePoint at) {
  RemoteNetwork::Remote* remote = network.Find(target);
  if (!remote) {
    remoteJob = RemoteJob::None;
    return;
  }
  Reply(std::string(kCloneStart), at);
  remoteJob = RemoteJob::Cloning;
  // The module keeps taking commands while it copies its firmware over the air.
  switch (remote->faults.clone) {
    case RemoteFaults::Clone::NeverEnds:
      // Stuck until the local module restarts.
      return;
    case RemoteFaults::Clone::Error:
      timers.emplace(at + Scaled(options.cloneMs / 2), [this, started = epoch](TimePoint when) {
        if (epoch != started || mode != Mode::Application) return;
        remoteJob = RemoteJob::None;
        Reply(std::string(kReplyError), when);
      });
      return;
    case RemoteFaults::Clone::Completes:
      timers.emplace(at + Scaled(options.cloneMs), [this, started = epoch](TimePoint when) {
        if (epoch != started || mode != Mode::Application) return;
        if (RemoteNetwork::Remote* cloned = network.Find(jobTarget))
          cloned->node.SetFirmwareVersion(local->Version());
        remoteJob = RemoteJob::None;
        Reply(std::string(kCloneComplete), when);
      });
      return;
  }
}

void ModuleSimulator::Impl::BeginRestart(TimePoint at) {
  // The module reboots: deaf for a moment, then back with its registers and echo
  // as they were.
  restartUntil = at + Scaled(options.restartMs);
  NewEpoch();
  remoteJob = RemoteJob::None;
  // The line that ran ATZ is logged once its LF has come (or not).
  restartLine = std::move(lineBuffer);
  lineBuffer.clear();
  commandStart = 0;
  wakingUp = false;
  timers.emplace(restartUntil, [this](TimePoint when) {
    if (!restartLine.empty()) {
      log.AddLine(restartLine);
      restartLine.clear();
    }
    FlushMissed();
    nodeTypeInEffect = local->NodeType();
    lastActivity = std::max(lastActivity, when);
    // A module powers up with its echo on.
    if (!options.echoKeptOverRestart) echo = true;
  });
}

void ModuleSimulator::Impl::EnterBootloader() {
  NewEpoch();
  remoteJob = RemoteJob::None;
  mode = Mode::Bootloader;
  // The line that asked for the bootloader is logged as far as it came.
  if (!lineBuffer.empty()) log.AddLine(lineBuffer);
  lineBuffer.clear();
  commandStart = 0;
  bootloader.Enter();
}

void ModuleSimulator::Impl::StartApplication(TimePoint at) {
  mode = Mode::Application;
  lineBuffer.clear();
  commandStart = 0;
  wakingUp = false;
  restartUntil = {};
  // The firmware starts as after power-up: echo on.
  if (!options.echoKeptOverRestart) echo = true;
  lastActivity = at;
  nodeTypeInEffect = local->NodeType();
  if (!faults.silent && !faults.quietStart)
    Reply("\r\nZendra " + local->ProductName() + " " + local->Version() + "\r\nOK\r\n", at);
}

void ModuleSimulator::Impl::Apply(Bootloader::Output& out, TimePoint at) {
  for (auto& entry : out.entries) log.AddLine(entry);
  Send(out.text);
  if (out.imageComplete) {
    std::string version = VersionInImage(out.image);
    if (!version.empty()) {
      local->SetFirmwareVersion(version);
      bootloader.SetFirmwareVersion(version);
    }
    log.AddImage(std::move(out.image));
  }
  if (out.imageRefused) log.AddRefusedImage("", std::move(out.image));
  if (out.runApplication) StartApplication(at);
  // The adapter pulled half-way through an upload: the host's port hangs up.
  if (faults.vanishAfterBlock > 0 && bootloader.BlocksAccepted() >= faults.vanishAfterBlock)
    line.Vanish();
}

// --- ModuleSimulator ---

ModuleSimulator::ModuleSimulator(Options options)
    : impl_(std::make_unique<Impl>(std::move(options))) {}

ModuleSimulator::~ModuleSimulator() { Stop(); }

bool ModuleSimulator::Start() {
  {
    std::lock_guard lock(impl_->mutex);
    if (impl_->running) return true;
  }
  impl_->lastError.clear();
  return impl_->Start();
}

void ModuleSimulator::Stop() { impl_->Stop(); }

std::string ModuleSimulator::PortPath() const { return impl_->line.SlavePath(); }

std::vector<std::string> ModuleSimulator::ReceivedLines() const { return impl_->log.Lines(); }

bool ModuleSimulator::WaitForLine(const std::string& text,
                                  std::chrono::milliseconds timeout) const {
  return impl_->log.WaitForLine(text, timeout);
}

void ModuleSimulator::ClearLog() {
  impl_->log.Clear();
  impl_->line.ClearWireRecord();
}

std::vector<WireByte> ModuleSimulator::WireRecord() const { return impl_->line.WireRecord(); }

std::vector<std::string> ModuleSimulator::MissedLines() const { return impl_->log.Missed(); }

std::size_t ModuleSimulator::GarbledBytes() const { return impl_->log.Garbled(); }

std::vector<std::vector<std::uint8_t>> ModuleSimulator::ReceivedImages() const {
  return impl_->log.Images();
}

std::vector<RemoteImage> ModuleSimulator::RefusedImages() const {
  return impl_->log.RefusedImages();
}

std::vector<RemoteImage> ModuleSimulator::ReceivedRemoteImages() const {
  return impl_->log.RemoteImages();
}

std::chrono::steady_clock::time_point ModuleSimulator::LastByteSentAt() const {
  return impl_->line.LastWriteAt();
}

std::string ModuleSimulator::Version() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->local ? impl_->local->Version() : impl_->options.version;
}

bool ModuleSimulator::InBootloader() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->mode == Impl::Mode::Bootloader;
}

bool ModuleSimulator::Relaying() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->mode == Impl::Mode::Relay;
}

int ModuleSimulator::LineRate() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->ModuleBaud();
}

bool ModuleSimulator::Asleep() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->local && impl_->AsleepAt(SimClock::now());
}

std::string ModuleSimulator::Register(const std::string& command) const {
  std::lock_guard lock(impl_->mutex);
  return impl_->local ? impl_->local->Read(command) : std::string();
}

void ModuleSimulator::SetRegister(const std::string& command, const std::string& value) {
  std::lock_guard lock(impl_->mutex);
  if (impl_->local) {
    impl_->local->Set(command, value);
    std::string name = UpperAscii(command);
    if (name == "AT+VERSION") impl_->bootloader.SetFirmwareVersion(value);
    if (name == "AT+NODETYPE") impl_->nodeTypeInEffect = impl_->local->NodeType();
  } else {
    impl_->options.registerValues.emplace_back(command, value);
  }
}

std::string ModuleSimulator::RemoteRegister(const std::string& euiAddress,
                                            const std::string& command) const {
  std::lock_guard lock(impl_->mutex);
  const RemoteNetwork::Remote* remote = impl_->network.Find(euiAddress);
  return remote ? remote->node.Read(command) : std::string();
}

void ModuleSimulator::SetRemoteRegister(const std::string& euiAddress, const std::string& command,
                                        const std::string& value) {
  std::lock_guard lock(impl_->mutex);
  if (RemoteNetwork::Remote* remote = impl_->network.Find(euiAddress)) {
    remote->node.Set(command, value);
    return;
  }
  for (auto& remote : impl_->options.remotes) {
    if (UpperAscii(remote.euiAddress) == UpperAscii(euiAddress))
      remote.registerValues.emplace_back(command, value);
  }
}

std::string ModuleSimulator::RemoteVersion(const std::string& euiAddress) const {
  std::lock_guard lock(impl_->mutex);
  if (const RemoteNetwork::Remote* remote = impl_->network.Find(euiAddress))
    return remote->node.Version();
  for (const auto& remote : impl_->options.remotes) {
    if (UpperAscii(remote.euiAddress) == UpperAscii(euiAddress)) return remote.version;
  }
  return {};
}

void ModuleSimulator::SetRemoteFaults(const std::string& euiAddress, const RemoteFaults& faults) {
  std::lock_guard lock(impl_->mutex);
  if (RemoteNetwork::Remote* remote = impl_->network.Find(euiAddress)) {
    remote->faults = faults;
    // A relay under way to this node changes its ways at once.
    if (impl_->mode == Impl::Mode::Relay && impl_->jobTarget == remote->euiAddress)
      impl_->relay.SetSettings(impl_->RelaySettings(faults));
    return;
  }
  for (auto& remote : impl_->options.remotes) {
    if (UpperAscii(remote.euiAddress) == UpperAscii(euiAddress)) remote.faults = faults;
  }
}

void ModuleSimulator::SetFaults(const Faults& faults) {
  std::lock_guard lock(impl_->mutex);
  impl_->faults = faults;
  impl_->options.faults = faults;
  impl_->bootloader.SetFaults(faults);
}

std::string ModuleSimulator::LastError() const { return impl_->lastError; }

void ModuleSimulator::Inject(const std::string& bytes) {
  impl_->line.Send(bytes, PacedLine::Sender{0, true});
}

void ModuleSimulator::Vanish() {
  impl_->line.Vanish();
  impl_->Wake();
}

}  // namespace zendra::sim
