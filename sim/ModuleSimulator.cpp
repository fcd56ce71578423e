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

namespace zendra::sim {

namespace {

constexpr int kBootloaderBaud = 115200;
constexpr std::size_t kLongestLine = 4096;

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

  explicit Impl(Options opts) : options(std::move(opts)), bootloader(Scale()) {}

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
  void BeginRestart(TimePoint at);
  void EnterBootloader();
  void StartApplication(TimePoint at);
  void Apply(Bootloader::Output& out, TimePoint at);
  bool AsleepAt(TimePoint at) const;
  AtNode* FindRemote(std::string_view eui);
  const AtNode* FindRemote(std::string_view eui) const {
    return const_cast<Impl*>(this)->FindRemote(eui);
  }

  Options options;
  PacedLine line;
  ReceiveLog log;
  std::string lastError;

  mutable std::mutex mutex;
  enum class Mode { Application, Bootloader } mode = Mode::Application;
  std::unique_ptr<AtNode> local;
  std::vector<std::pair<std::string, AtNode>> remotes;  // upper-case EUI, node
  Faults faults;
  Bootloader bootloader;
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
  auto node = std::make_unique<AtNode>(identity, definitions, options.registerValues, false);
  std::vector<std::pair<std::string, AtNode>> remoteNodes;
  for (const auto& remote : options.remotes) {
    std::vector<RegisterDefinition> remoteDefinitions;
    if (!loadDefinitions(remote.definitionsFile, remoteDefinitions)) return false;
    AtNode::Identity remoteIdentity{remote.productName, remote.euiAddress, remote.nodeName,
                                    remote.version, remote.nodeType};
    remoteNodes.emplace_back(
        UpperAscii(remote.euiAddress),
        AtNode(remoteIdentity, remoteDefinitions, remote.registerValues, true));
  }
  if (!options.logFile.empty()) log.OpenFile(options.logFile);

  wakeFd = eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  if (wakeFd < 0 || !line.Open(lastError)) {
    if (lastError.empty()) lastError = "cannot create the wake-up event";
    return false;
  }
  {
    std::lock_guard lock(mutex);
    local = std::move(node);
    remotes = std::move(remoteNodes);
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

AtNode* ModuleSimulator::Impl::FindRemote(std::string_view eui) {
  std::string key = UpperAscii(eui);
  for (auto& [address, node] : remotes) {
    if (address == key) return &node;
  }
  return nullptr;
}

void ModuleSimulator::Impl::RemoteCommand(std::string_view addressAndCommand, TimePoint at) {
  std::size_t comma = addressAndCommand.find(',');
  std::string reply;
  if (comma == std::string_view::npos) {
    Reply(std::string(kReplyError), at);
    return;
  }
  AtNode* node = FindRemote(addressAndCommand.substr(0, comma));
  std::string_view command = addressAndCommand.substr(comma + 1);
  // The remote takes the command as its own line; its line end was this line's.
  reply = (node && !command.empty()) ? node->Execute(command).reply : std::string(kReplyError);
  // The command and the answer cross the radio before the reply comes back.
  timers.emplace(at + Scaled(options.radioDelayMs), [this, reply](TimePoint when) {
    if (mode == Mode::Application && when >= restartUntil) Reply(reply, when);
  });
}

void ModuleSimulator::Impl::BeginRestart(TimePoint at) {
  // The module reboots: deaf for a moment, then back with its registers and echo
  // as they were.
  restartUntil = at + Scaled(options.restartMs);
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
  if (out.runApplication) StartApplication(at);
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

void ModuleSimulator::ClearLog() { impl_->log.Clear(); }

std::vector<std::string> ModuleSimulator::MissedLines() const { return impl_->log.Missed(); }

std::size_t ModuleSimulator::GarbledBytes() const { return impl_->log.Garbled(); }

std::vector<std::vector<std::uint8_t>> ModuleSimulator::ReceivedImages() const {
  return impl_->log.Images();
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
  const AtNode* node = impl_->FindRemote(euiAddress);
  return node ? node->Read(command) : std::string();
}

void ModuleSimulator::SetRemoteRegister(const std::string& euiAddress, const std::string& command,
                                        const std::string& value) {
  std::lock_guard lock(impl_->mutex);
  if (AtNode* node = impl_->FindRemote(euiAddress)) {
    node->Set(command, value);
    return;
  }
  for (auto& remote : impl_->options.remotes) {
    if (UpperAscii(remote.euiAddress) == UpperAscii(euiAddress))
      remote.registerValues.emplace_back(command, value);
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
