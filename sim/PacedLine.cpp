#include "PacedLine.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/prctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace zendra::sim {

namespace {

int BaudOf(speed_t speed) {
  switch (speed) {
    case B50:
      return 50;
    case B75:
      return 75;
    case B110:
      return 110;
    case B134:
      return 134;
    case B150:
      return 150;
    case B200:
      return 200;
    case B300:
      return 300;
    case B600:
      return 600;
    case B1200:
      return 1200;
    case B1800:
      return 1800;
    case B2400:
      return 2400;
    case B4800:
      return 4800;
    case B9600:
      return 9600;
    case B19200:
      return 19200;
    case B38400:
      return 38400;
    case B57600:
      return 57600;
    case B115200:
      return 115200;
    case B230400:
      return 230400;
    case B460800:
      return 460800;
    case B500000:
      return 500000;
    case B576000:
      return 576000;
    case B921600:
      return 921600;
    case B1000000:
      return 1000000;
    case B1152000:
      return 1152000;
    case B1500000:
      return 1500000;
    case B2000000:
      return 2000000;
    default:
      return 0;  // B0 (hang-up) or unknown: treated as the power-on 9600
  }
}

void SleepUntil(SimClock::time_point when) {
  // steady_clock is CLOCK_MONOTONIC; an absolute wake-up keeps the schedule exact
  // however late the previous wake-up was.
  auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(when.time_since_epoch()).count();
  timespec ts{};
  ts.tv_sec = static_cast<time_t>(ns / 1'000'000'000);
  ts.tv_nsec = static_cast<long>(ns % 1'000'000'000);
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
  }
}

}  // namespace

std::chrono::nanoseconds HostLine::CharacterTime() const {
  int rate = baud > 0 ? baud : 9600;
  return std::chrono::nanoseconds(static_cast<std::int64_t>(BitsPerCharacter()) * 1'000'000'000 /
                                  rate);
}

bool LineMismatch(const HostLine& host, int moduleBaud) {
  if (host.dataBits != 8 || host.parity) return true;
  return moduleBaud != 0 && moduleBaud != host.baud;
}

std::uint8_t Garble(std::uint8_t byte) {
  return static_cast<std::uint8_t>(0x80 | ((byte * 0x9D + 0x3B) & 0x7F));
}

PacedLine::~PacedLine() { Close(); }

bool PacedLine::Open(std::string& error) {
  int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) {
    error = std::string("cannot open a pseudo-terminal: ") + std::strerror(errno);
    if (master >= 0) ::close(master);
    return false;
  }
  char name[128] = {};
  if (ptsname_r(master, name, sizeof name) != 0) {
    error = "cannot name the pseudo-terminal";
    ::close(master);
    return false;
  }
  int slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) {
    error = std::string("cannot open ") + name + ": " + std::strerror(errno);
    ::close(master);
    return false;
  }
  termios tio{};
  tcgetattr(slave, &tio);
  cfmakeraw(&tio);
  cfsetispeed(&tio, B9600);
  cfsetospeed(&tio, B9600);
  tcsetattr(slave, TCSANOW, &tio);
  fcntl(master, F_SETFL, fcntl(master, F_GETFL) | O_NONBLOCK);
  {
    std::lock_guard lock(fdMutex_);
    master_ = master;
    slave_ = slave;
    slavePath_ = name;
  }
  {
    std::lock_guard lock(queueMutex_);
    stopWriter_ = false;
  }
  writer_ = std::jthread([this] { WriterLoop(); });
  return true;
}

void PacedLine::Close() {
  {
    std::lock_guard lock(queueMutex_);
    stopWriter_ = true;
    queue_.clear();
  }
  queueChanged_.notify_all();
  if (writer_.joinable()) writer_.join();
  Vanish();
}

void PacedLine::Vanish() {
  std::lock_guard lock(fdMutex_);
  if (master_ >= 0) ::close(master_);
  if (slave_ >= 0) ::close(slave_);
  master_ = slave_ = -1;
}

int PacedLine::InputFd() const {
  std::lock_guard lock(fdMutex_);
  return master_;
}

HostLine PacedLine::HostLineLocked() const {
  HostLine line;
  termios tio{};
  if (master_ < 0 || tcgetattr(master_, &tio) != 0) return line;
  int baud = BaudOf(cfgetospeed(&tio));
  line.baud = baud > 0 ? baud : 9600;
  switch (tio.c_cflag & CSIZE) {
    case CS5:
      line.dataBits = 5;
      break;
    case CS6:
      line.dataBits = 6;
      break;
    case CS7:
      line.dataBits = 7;
      break;
    default:
      line.dataBits = 8;
      break;
  }
  line.parity = (tio.c_cflag & PARENB) != 0;
  line.twoStopBits = (tio.c_cflag & CSTOPB) != 0;
  return line;
}

HostLine PacedLine::CurrentHostLine() const {
  std::lock_guard lock(fdMutex_);
  return HostLineLocked();
}

bool PacedLine::ReadInput(std::deque<Arrival>& into) {
  std::uint8_t buffer[512];
  ssize_t n;
  HostLine host;
  {
    std::lock_guard lock(fdMutex_);
    if (master_ < 0) return false;
    n = ::read(master_, buffer, sizeof buffer);
    if (n <= 0) return false;
    host = HostLineLocked();
  }
  auto now = SimClock::now();
  auto charTime = host.CharacterTime();
  for (ssize_t i = 0; i < n; ++i) {
    lastArrival_ = std::max(now, lastArrival_) + charTime;
    into.push_back(Arrival{buffer[i], lastArrival_, host});
    Record(WireByte{buffer[i], true, lastArrival_, charTime});
  }
  return true;
}

void PacedLine::Send(const std::string& bytes, Sender sender) {
  if (bytes.empty()) return;
  auto now = SimClock::now();
  {
    std::lock_guard lock(queueMutex_);
    if (stopWriter_) return;
    for (char c : bytes) queue_.push_back(Outgoing{static_cast<std::uint8_t>(c), sender, now});
  }
  queueChanged_.notify_one();
}

void PacedLine::WriterLoop() {
  // Character times at 115200 are under 100 us; the default 50 us timer slack
  // would make the pace visibly uneven.
  prctl(PR_SET_TIMERSLACK, 1UL, 0, 0, 0);
  SimClock::time_point previousEnd{};
  for (;;) {
    Outgoing out;
    {
      std::unique_lock lock(queueMutex_);
      queueChanged_.wait(lock, [this] { return stopWriter_ || !queue_.empty(); });
      if (stopWriter_) return;
      out = queue_.front();
      queue_.pop_front();
    }
    HostLine host = CurrentHostLine();
    // A byte queued while the previous one was still on the line starts right
    // after it, so a reply goes out back to back at the exact line rate.
    auto start = std::max(out.queuedAt, previousEnd);
    auto end = start + host.CharacterTime();
    SleepUntil(end);
    previousEnd = end;
    std::uint8_t byte = out.byte;
    if (!out.sender.raw && LineMismatch(host, out.sender.baud)) byte = Garble(byte);
    std::lock_guard lock(fdMutex_);
    if (master_ >= 0) {
      // Non-blocking: with nobody reading and the buffer full, the byte is lost,
      // as on a real line.
      [[maybe_unused]] ssize_t written = ::write(master_, &byte, 1);
      lastWrite_ = SimClock::now().time_since_epoch().count();
      Record(WireByte{byte, false, end, host.CharacterTime()});
    }
  }
}

void PacedLine::RecordWire(bool on) {
  std::lock_guard lock(wireMutex_);
  recordWire_ = on;
}

void PacedLine::Record(const WireByte& byte) {
  // A bound on what a forgotten record can cost: a few megabytes of line.
  constexpr std::size_t kMostBytes = 4u << 20;
  std::lock_guard lock(wireMutex_);
  if (recordWire_ && wire_.size() < kMostBytes) wire_.push_back(byte);
}

std::vector<WireByte> PacedLine::WireRecord() const {
  std::vector<WireByte> record;
  {
    std::lock_guard lock(wireMutex_);
    record = wire_;
  }
  // The two directions are recorded by two threads; the line's order is the times'.
  std::stable_sort(record.begin(), record.end(),
                   [](const WireByte& a, const WireByte& b) { return a.at < b.at; });
  return record;
}

void PacedLine::ClearWireRecord() {
  std::lock_guard lock(wireMutex_);
  wire_.clear();
}

}  // namespace zendra::sim
