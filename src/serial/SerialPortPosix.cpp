#include "serial/SerialPort.h"
// The serial port on POSIX termios: a descriptor, an eventfd that wakes the reader,
// TIOCEXCL and flock() to keep the port for this program alone.

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "serial/PortName.h"

namespace zendra {

namespace {

struct BaudEntry {
  int rate;
  speed_t code;
};

constexpr BaudEntry kBaudCodes[] = {
    {300, B300},       {600, B600},       {1200, B1200},     {2400, B2400},   {4800, B4800},
    {9600, B9600},     {19200, B19200},   {38400, B38400},   {57600, B57600}, {115200, B115200},
    {230400, B230400}, {460800, B460800}, {921600, B921600},
};

bool BaudCode(int rate, speed_t& code) {
  for (const auto& entry : kBaudCodes) {
    if (entry.rate == rate) {
      code = entry.code;
      return true;
    }
  }
  return false;
}

// Waits until the driver's output queue is empty or `bound` has passed.
void DrainOutput(int fd, std::chrono::milliseconds bound) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  int pending = 0;
  while (::ioctl(fd, TIOCOUTQ, &pending) == 0 && pending > 0 &&
         std::chrono::steady_clock::now() < deadline) {
    ::usleep(500);
  }
}

}  // namespace

std::string SerialPort::ResolvePortName(const std::string& portName) {
  return ComPortToPosixPath(portName);
}

const char* SerialPort::PortNameHelp() {
  return "Serial port: a device path such as /dev/ttyUSB0, or COMn (= /dev/ttyS(n-1))";
}

bool SerialPort::IsSupportedBaudRate(int baudRate) {
  speed_t code;
  return BaudCode(baudRate, code);
}

bool SerialPort::OpenSystemPort(int baudRate, int parity, int dataBits, int stopBits,
                                int flowControl) {
  speed_t speed;
  if (!BaudCode(baudRate, speed)) return FailOpen(OpenError::kSettings, 0);

  const int fd = ::open(devicePath_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    switch (error) {
      case ENOENT:
      case ENXIO:
      case ENODEV:
      case ENOTDIR:
        return FailOpen(OpenError::kNotFound, error);
      case EACCES:
      case EPERM:
        return FailOpen(OpenError::kPermission, error);
      case EBUSY:  // held exclusively by another program
        return FailOpen(OpenError::kBusy, error);
      default:
        return FailOpen(OpenError::kOther, error);
    }
  }

  // Another program holding the port (or another Zendra Manager) keeps it.
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    ::close(fd);
    return FailOpen(error == EWOULDBLOCK ? OpenError::kBusy : OpenError::kOther, error);
  }
  if (::ioctl(fd, TIOCEXCL) != 0) {
    const int error = errno;
    ::close(fd);
    return FailOpen(OpenError::kOther, error);
  }

  termios tio{};
  if (::tcgetattr(fd, &tio) != 0) {
    const int error = errno;
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
    return FailOpen(OpenError::kOther, error);
  }
  ::cfmakeraw(&tio);
  tio.c_cflag |= CLOCAL | CREAD;
  tio.c_cflag &= ~static_cast<tcflag_t>(CSIZE);
  tio.c_cflag |= (dataBits == 7) ? CS7 : CS8;
  tio.c_cflag &= ~static_cast<tcflag_t>(PARENB | PARODD | CSTOPB);
  if (parity == 1) tio.c_cflag |= PARENB | PARODD;
  if (parity == 2) tio.c_cflag |= PARENB;
  if (stopBits == 2) tio.c_cflag |= CSTOPB;
  switch (flowControl) {
    case kFlowNone:
      tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
      tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
      break;
    case kFlowSoftware:
      tio.c_cflag &= ~static_cast<tcflag_t>(CRTSCTS);
      tio.c_iflag |= IXON | IXOFF;
      tio.c_iflag &= ~static_cast<tcflag_t>(IXANY);
      tio.c_cc[VSTART] = 17;  // XON
      tio.c_cc[VSTOP] = 19;   // XOFF
      break;
    case kFlowHardware:
      tio.c_cflag |= CRTSCTS;
      tio.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY);
      break;
    default:  // unknown code: flow control stays as the driver had it
      break;
  }
  tio.c_cc[VMIN] = 0;
  tio.c_cc[VTIME] = 0;
  ::cfsetispeed(&tio, speed);
  ::cfsetospeed(&tio, speed);
  if (::tcsetattr(fd, TCSANOW, &tio) != 0) {
    const int error = errno;
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
    return FailOpen(OpenError::kSettings, error);
  }
  // A driver may take the call and still drop what it cannot do (7 data bits with
  // parity on a device that knows only 8N1): the line would run at settings nobody
  // chose. Read them back; an open that cannot set them fails as a refused one.
  constexpr tcflag_t kFraming = CSIZE | PARENB | PARODD | CSTOPB;
  termios taken{};
  if (::tcgetattr(fd, &taken) != 0 || (taken.c_cflag & kFraming) != (tio.c_cflag & kFraming) ||
      ::cfgetospeed(&taken) != speed) {
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
    return FailOpen(OpenError::kSettings, 0);
  }
  // DTR and RTS asserted (RTS then follows the handshake under RTS/CTS). A
  // pseudo-terminal has no modem lines; that is not an error.
  int lines = TIOCM_DTR | TIOCM_RTS;
  (void)::ioctl(fd, TIOCMBIS, &lines);
  ::tcflush(fd, TCIOFLUSH);

  wakeFd_ = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (wakeFd_ < 0) {
    const int error = errno;
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
    return FailOpen(OpenError::kOther, error);
  }
  fd_ = fd;
  return StartReader(baudRate);
}

bool SerialPort::FailOpen(OpenError error, int systemError) {
  return RecordOpenFailure(error, systemError != 0 ? std::strerror(systemError) : "");
}

void SerialPort::WakeReader() {
  // Wakes the reader and any writer waiting on a full output queue.
  running_ = false;
  if (wakeFd_ >= 0) {
    const std::uint64_t one = 1;
    (void)!::write(wakeFd_, &one, sizeof one);
  }
}

void SerialPort::ReleaseLocked() {
  running_ = false;
  if (reader_.joinable()) {
    reader_.request_stop();
    reader_.join();
  }
  readerRunning_ = false;
  const int fd = fd_.exchange(-1);
  if (fd >= 0) {
    Tell(LineTap::Event::kClosed, nullptr, 0);
    // Let what was written leave the driver first (a last CAN, a menu choice):
    // a close right after a write must not swallow it. Bounded, so that a line
    // held up by flow control cannot keep the port from closing.
    DrainOutput(fd, std::chrono::milliseconds(200));
    // Output is thrown away only when some is still waiting here (a line held up
    // by flow control). A pseudo-terminal keeps no output queue: its bytes go into
    // the other side's input at once, and flushing its output would take back
    // what the other side has not read yet (the CAN that ends an upload when the
    // window closes).
    int pending = 0;
    const bool stuck = ::ioctl(fd, TIOCOUTQ, &pending) == 0 && pending > 0;
    ::tcflush(fd, stuck ? TCIOFLUSH : TCIFLUSH);
    // The exclusive flag belongs to the terminal, not to this descriptor: left set,
    // it would refuse every later open by an ordinary user for as long as anything
    // else keeps the device open (the module's side of a pseudo-terminal always does).
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);  // also drops the advisory lock
  }
  if (wakeFd_ >= 0) {
    ::close(wakeFd_);
    wakeFd_ = -1;
  }
  receive_.Notify();
}

int SerialPort::WriteBytes(const std::uint8_t* data, int length) {
  const int fd = fd_.load();

  const int perByte = WriteTimeoutMultiplier(baudRate_);
  const bool bounded = perByte > 0;
  const auto deadline = std::chrono::steady_clock::now() +
                        std::chrono::milliseconds(static_cast<long long>(perByte) * length);

  int written = 0;
  while (written < length) {
    const ssize_t n = ::write(fd, data + written, static_cast<std::size_t>(length - written));
    if (n > 0) {
      written += static_cast<int>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN) return written;  // the port is gone
    int waitMs = -1;
    if (bounded) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return written;
      waitMs = static_cast<int>(left.count()) + 1;
    }
    pollfd fds[2] = {{fd, POLLOUT, 0}, {static_cast<int>(wakeFd_), POLLIN, 0}};
    const int r = ::poll(fds, 2, waitMs);
    if (r < 0 && errno != EINTR) return written;
    if (fds[1].revents & POLLIN) return written;  // closing
    if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL)) return written;
  }
  return written;
}

int SerialPort::ReadAvailable(std::uint8_t* buffer, int capacity) {
  for (;;) {
    const ssize_t n = ::read(fd_.load(), buffer, static_cast<std::size_t>(capacity));
    if (n >= 0) return static_cast<int>(n);
    if (errno == EINTR) continue;
    if (errno == EAGAIN) return 0;
    return -1;
  }
}

void SerialPort::ReaderThread(std::stop_token stop) {
  std::uint8_t chunk[4096];
  const int fd = fd_.load();
  while (running_ && !stop.stop_requested()) {
    pollfd fds[2] = {{fd, POLLIN, 0}, {static_cast<int>(wakeFd_), POLLIN, 0}};
    const int r = ::poll(fds, 2, -1);
    if (r < 0) {
      if (errno == EINTR) continue;
      break;
    }
    if (fds[1].revents & POLLIN) break;  // Close
    const bool hungUp = fds[0].revents & (POLLHUP | POLLERR | POLLNVAL);
    if (fds[0].revents & (POLLIN | POLLHUP | POLLERR)) {
      // Take everything the driver holds. With VMIN = VTIME = 0 a read of an
      // empty queue returns 0, so 0 ends this round rather than the port.
      for (;;) {
        const int n = ReadAvailable(chunk, sizeof chunk);
        if (n > 0) {
          // Told before the ring has them, so the log shows them before any answer.
          Tell(LineTap::Event::kReceived, chunk, static_cast<std::size_t>(n));
          receive_.PutChunk(chunk, static_cast<std::size_t>(n));
          continue;
        }
        if (n < 0) vanished_ = true;
        break;
      }
    }
    if (hungUp) {
      // The device went away (the far end of a pseudo-terminal closed, a USB
      // adapter pulled). Polling it again would return at once forever, so the
      // reader ends here; later writes fail.
      vanished_ = true;
    }
    if (vanished_) break;
  }
  readerRunning_ = false;
  if (vanished_) Tell(LineTap::Event::kLost, nullptr, 0);
  if (vanished_) receive_.SetLineLost(true);
  receive_.Notify();
}

}  // namespace zendra
