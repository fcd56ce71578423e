#include "serial/SerialPort.h"
// What the serial port does alike on every system; the system's own part is in
// SerialPortPosix.cpp or SerialPortWin32.cpp.

namespace zendra {

SerialPort::~SerialPort() { Close(); }

std::string SerialPort::OpenFailureDetail() const {
  const std::string reason = openErrorText_.empty() ? "" : " (" + openErrorText_ + ")";
  switch (openError_) {
    case OpenError::kNone:
      return {};
    case OpenError::kBusy:
      return devicePath_ + " is in use by another program.";
    case OpenError::kPermission:
      return devicePath_ +
             ": permission denied. The user must be allowed to use serial ports "
             "(on most systems: be a member of the \"dialout\" group).";
    case OpenError::kNotFound:
      return devicePath_ + ": there is no such serial port" + reason + ".";
    case OpenError::kSettings:
      return devicePath_ + ": the port does not take these line settings" + reason + ".";
    case OpenError::kOther:
      return devicePath_ + ": the port could not be opened" + reason + ".";
  }
  return {};
}

bool SerialPort::Open(const std::string& portName, int baudRate, int parity, int dataBits,
                      int stopBits, int flowControl) {
  std::lock_guard guard(openClose_);
  // A reader still running on the former port waits for a byte: wake it before
  // taking the port whole, or the join below waits for the next byte.
  WakeReader();
  std::unique_lock lock(lifecycle_);
  ReleaseLocked();
  vanished_ = false;
  openError_ = OpenError::kNone;
  openErrorText_.clear();

  devicePath_ = ResolvePortName(portName);
  if (!IsSupportedBaudRate(baudRate)) return FailOpen(OpenError::kSettings, 0);
  return OpenSystemPort(baudRate, parity, dataBits, stopBits, flowControl);
}

bool SerialPort::StartReader(int baudRate) {
  baudRate_ = baudRate;
  running_ = true;
  readerRunning_ = true;
  receive_.SetLineLost(false);
  if (tap_.load() != nullptr)
    Tell(LineTap::Event::kOpened, devicePath_ + ", " + std::to_string(baudRate) + " baud");
  try {
    reader_ = std::jthread([this](std::stop_token stop) { ReaderThread(stop); });
  } catch (...) {
    readerRunning_ = false;
    ReleaseLocked();
    return RecordOpenFailure(OpenError::kOther, "");
  }
  return true;
}

bool SerialPort::RecordOpenFailure(OpenError error, std::string systemText) {
  openError_ = error;
  openErrorText_ = std::move(systemText);
  if (tap_.load() != nullptr) Tell(LineTap::Event::kNote, "open failed: " + OpenFailureDetail());
  return false;
}

void SerialPort::Close() {
  std::lock_guard guard(openClose_);
  WakeReader();
  std::unique_lock lock(lifecycle_);
  ReleaseLocked();
}

void SerialPort::SetTap(LineTap* tap) {
  std::unique_lock lock(tapMutex_);
  tap_.store(tap, std::memory_order_release);
}

void SerialPort::TellTap(LineTap::Event event, const void* bytes, std::size_t length) {
  std::shared_lock lock(tapMutex_);
  if (LineTap* tap = tap_.load(std::memory_order_acquire))
    tap->Record(event, static_cast<const std::uint8_t*>(bytes), length);
}

int SerialPort::Write(const void* bytes, int length) {
  if (length <= 0) return 0;
  std::shared_lock lock(lifecycle_);
  if (fd_.load() < 0 || !running_) return 0;
  // Told before the bytes go out, so the log shows a write before its answer.
  Tell(LineTap::Event::kSent, bytes, static_cast<std::size_t>(length));
  const int written = WriteBytes(static_cast<const std::uint8_t*>(bytes), length);
  if (written < length && tap_.load() != nullptr) {
    Tell(LineTap::Event::kNote, "only " + std::to_string(written) + " of " +
                                    std::to_string(length) + " bytes were written");
  }
  return written;
}

}  // namespace zendra
