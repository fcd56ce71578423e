#include "serial/SerialPort.h"
// The serial port on Windows: a COM port opened for overlapped I/O, its line
// settings on a DCB (read back: a setting the driver did not take fails the Open),
// and a stop event that the reader and every waiting write wait on beside their
// I/O, so that Close ends them at once.
//
// The port is opened without sharing, which Windows' serial drivers refuse to a
// second program. The stop event has a name made from the port's, so a second
// program of ours is refused also where the system shares a COM port between
// programs (wine maps COM ports onto Linux devices and refuses nothing).
//
// The reader asks for one byte, a read without time-out that ends when a byte
// arrives, then for what the driver holds besides, and hands both over as one
// chunk. (The COMMTIMEOUTS rule "return at the first byte" would do it in one
// read, but wine's serial emulation does not keep it: such a read waits for a
// full buffer. Asking for one byte behaves alike everywhere.)

#include <windows.h>

#include <chrono>

#include "base/WideText.h"
#include "serial/PortName.h"
#include "serial/SerialLineWin32.h"

namespace zendra {

namespace {

constexpr DWORD kQueueSize = 4096;
// Reads that fail while the driver still answers: after this many in a row the
// port counts as gone, so that a driver that fails every read cannot keep the
// reader busy for ever.
constexpr int kFailedReadsBeforeLoss = 20;
constexpr DWORD kFailedReadPauseMs = 50;

constexpr int kBaudRates[] = {300,   600,   1200,   2400,   4800,   9600,  19200,
                              38400, 57600, 115200, 230400, 460800, 921600};

HANDLE AsHandle(std::intptr_t value) { return reinterpret_cast<HANDLE>(value); }
std::intptr_t AsValue(HANDLE handle) { return reinterpret_cast<std::intptr_t>(handle); }

// The name of the event that marks a port as taken by a program of ours.
std::wstring PortMarkName(const std::string& portName) {
  return WideFromUtf8("Global\\ZendraManager.SerialPort." + portName);
}

// Waits for an overlapped operation on `port` or for `stop`. On stop the
// operation is cancelled and waited for, so `overlapped` may go after the return.
// Returns whether it completed (with its count in `transferred`), and sets
// `stopped` when the stop event ended the wait.
bool AwaitIo(HANDLE port, OVERLAPPED& overlapped, HANDLE stop, DWORD& transferred, bool& stopped) {
  stopped = false;
  const HANDLE events[2] = {overlapped.hEvent, stop};
  const DWORD woken = WaitForMultipleObjects(2, events, FALSE, INFINITE);
  if (woken != WAIT_OBJECT_0) {
    stopped = woken == WAIT_OBJECT_0 + 1;
    CancelIoEx(port, &overlapped);
    const BOOL done = GetOverlappedResult(port, &overlapped, &transferred, TRUE);
    return done != FALSE;
  }
  return GetOverlappedResult(port, &overlapped, &transferred, FALSE) != FALSE;
}

// Whether the driver still answers for the port (false once a USB adapter is
// pulled or the far end of a mapped pseudo-terminal has closed).
bool PortAnswers(HANDLE port) {
  DWORD errors = 0;
  COMSTAT status{};
  return ClearCommError(port, &errors, &status) != FALSE;
}

// Waits until the driver's output queue is empty or `bound` has passed; returns
// whether bytes are still waiting.
bool DrainOutput(HANDLE port, std::chrono::milliseconds bound) {
  const auto deadline = std::chrono::steady_clock::now() + bound;
  for (;;) {
    DWORD errors = 0;
    COMSTAT status{};
    if (!ClearCommError(port, &errors, &status)) return false;
    if (status.cbOutQue == 0) return false;
    if (std::chrono::steady_clock::now() >= deadline) return true;
    Sleep(1);
  }
}

}  // namespace

std::string SerialPort::ResolvePortName(const std::string& portName) {
  return Win32PortName(portName);
}

const char* SerialPort::PortNameHelp() { return "Serial port: COMn, such as COM3 or COM12"; }

bool SerialPort::IsSupportedBaudRate(int baudRate) {
  for (const int rate : kBaudRates) {
    if (rate == baudRate) return true;
  }
  return false;
}

bool SerialPort::OpenSystemPort(int baudRate, int parity, int dataBits, int stopBits,
                                int flowControl) {
  DCB wanted{};
  wanted.DCBlength = sizeof wanted;

  // Taken before the port, so that two programs of ours never both hold it.
  SetLastError(ERROR_SUCCESS);
  const HANDLE stopEvent = CreateEventW(nullptr, TRUE, FALSE, PortMarkName(devicePath_).c_str());
  if (stopEvent == nullptr || GetLastError() == ERROR_ALREADY_EXISTS) {
    const DWORD error = GetLastError();
    if (stopEvent != nullptr) CloseHandle(stopEvent);
    return FailOpen(error == ERROR_ALREADY_EXISTS || error == ERROR_ACCESS_DENIED
                        ? OpenError::kBusy
                        : OpenError::kOther,
                    error == ERROR_ALREADY_EXISTS ? 0 : static_cast<int>(error));
  }

  const HANDLE port =
      CreateFileW(WideFromUtf8(Win32DevicePath(devicePath_)).c_str(), GENERIC_READ | GENERIC_WRITE,
                  0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
  if (port == INVALID_HANDLE_VALUE) {
    const DWORD error = GetLastError();
    CloseHandle(stopEvent);
    switch (error) {
      case ERROR_FILE_NOT_FOUND:
      case ERROR_PATH_NOT_FOUND:
      case ERROR_INVALID_NAME:
      case ERROR_BAD_PATHNAME:
      case ERROR_BAD_UNIT:
      case ERROR_DEV_NOT_EXIST:
        return FailOpen(OpenError::kNotFound, static_cast<int>(error));
      case ERROR_ACCESS_DENIED:  // what a COM port held by another program answers
      case ERROR_SHARING_VIOLATION:
      case ERROR_BUSY:
        return FailOpen(OpenError::kBusy, static_cast<int>(error));
      default:
        return FailOpen(OpenError::kOther, static_cast<int>(error));
    }
  }
  auto fail = [&](OpenError kind, DWORD error) {
    CloseHandle(port);
    CloseHandle(stopEvent);
    return FailOpen(kind, static_cast<int>(error));
  };

  if (!SetupComm(port, kQueueSize, kQueueSize)) {
    // Drivers without queues of their own refuse the sizes; that is no error.
  }
  if (!GetCommState(port, &wanted)) return fail(OpenError::kOther, GetLastError());
  if (!win32::FillDcb(wanted, baudRate, parity, dataBits, stopBits, flowControl))
    return fail(OpenError::kSettings, 0);
  if (!SetCommState(port, &wanted)) return fail(OpenError::kSettings, GetLastError());
  DCB taken{};
  taken.DCBlength = sizeof taken;
  if (!GetCommState(port, &taken)) return fail(OpenError::kOther, GetLastError());
  if (const std::string mismatch = win32::DcbMismatch(wanted, taken); !mismatch.empty()) {
    CloseHandle(port);
    CloseHandle(stopEvent);
    return RecordOpenFailure(OpenError::kSettings, "it keeps " + mismatch);
  }
  COMMTIMEOUTS timeouts = win32::LineTimeouts(baudRate);
  if (!SetCommTimeouts(port, &timeouts)) return fail(OpenError::kSettings, GetLastError());
  PurgeComm(port, PURGE_RXABORT | PURGE_RXCLEAR | PURGE_TXABORT | PURGE_TXCLEAR);

  wakeFd_ = AsValue(stopEvent);
  fd_ = AsValue(port);
  return StartReader(baudRate);
}

bool SerialPort::FailOpen(OpenError error, int systemError) {
  return RecordOpenFailure(
      error, systemError != 0 ? win32::ErrorText(static_cast<DWORD>(systemError)) : "");
}

void SerialPort::WakeReader() {
  // Wakes the reader and any writer waiting for its write to go out.
  running_ = false;
  if (wakeFd_ != -1) SetEvent(AsHandle(wakeFd_));
}

void SerialPort::ReleaseLocked() {
  running_ = false;
  if (wakeFd_ != -1) SetEvent(AsHandle(wakeFd_));
  if (reader_.joinable()) {
    reader_.request_stop();
    reader_.join();
  }
  readerRunning_ = false;
  const std::intptr_t value = fd_.exchange(-1);
  if (value != -1) {
    const HANDLE port = AsHandle(value);
    Tell(LineTap::Event::kClosed, nullptr, 0);
    // What was written leaves the driver first (a last CAN, a menu choice); output
    // is thrown away only when a line held up by flow control keeps it waiting.
    const bool stuck = DrainOutput(port, std::chrono::milliseconds(200));
    PurgeComm(port, PURGE_RXABORT | PURGE_RXCLEAR | (stuck ? PURGE_TXABORT | PURGE_TXCLEAR : 0));
    CloseHandle(port);
  }
  if (wakeFd_ != -1) {
    CloseHandle(AsHandle(wakeFd_));
    wakeFd_ = -1;
  }
  receive_.Notify();
}

int SerialPort::WriteBytes(const std::uint8_t* data, int length) {
  const HANDLE port = AsHandle(fd_.load());
  OVERLAPPED overlapped{};
  overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (overlapped.hEvent == nullptr) return 0;
  // One write of the whole; the driver ends it early only when the write time-out
  // of the port runs out (or the port is gone).
  DWORD written = 0;
  if (!WriteFile(port, data, static_cast<DWORD>(length), &written, &overlapped)) {
    written = 0;
    if (GetLastError() == ERROR_IO_PENDING) {
      bool stopped = false;
      if (!AwaitIo(port, overlapped, AsHandle(wakeFd_), written, stopped) && !stopped) written = 0;
    }
  } else if (!GetOverlappedResult(port, &overlapped, &written, FALSE)) {
    written = 0;
  }
  CloseHandle(overlapped.hEvent);
  return static_cast<int>(written);
}

int SerialPort::ReadAvailable(std::uint8_t* buffer, int capacity) {
  // One byte first: the read that waits, and ends with the byte's arrival.
  const HANDLE port = AsHandle(fd_.load());
  const HANDLE stop = AsHandle(wakeFd_);
  OVERLAPPED overlapped{};
  overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (overlapped.hEvent == nullptr) return -1;
  int count = -1;
  DWORD got = 0;
  bool stopped = false;
  bool done = ReadFile(port, buffer, 1, &got, &overlapped) != FALSE;
  if (!done && GetLastError() == ERROR_IO_PENDING) {
    done = AwaitIo(port, overlapped, stop, got, stopped);
  } else if (done) {
    done = GetOverlappedResult(port, &overlapped, &got, FALSE) != FALSE;
  }
  if (stopped) {
    count = static_cast<int>(done ? got : 0);
  } else if (done) {
    count = static_cast<int>(got);
    // Then what the driver holds besides, which that read returns at once.
    DWORD errors = 0;
    COMSTAT status{};
    const DWORD rest = ClearCommError(port, &errors, &status)
                           ? win32::RestOfChunk(status.cbInQue, static_cast<DWORD>(capacity))
                           : 0;
    if (count == 1 && rest > 0) {
      ResetEvent(overlapped.hEvent);
      DWORD more = 0;
      bool moreDone = ReadFile(port, buffer + 1, rest, &more, &overlapped) != FALSE;
      if (!moreDone && GetLastError() == ERROR_IO_PENDING) {
        moreDone = AwaitIo(port, overlapped, stop, more, stopped);
      } else if (moreDone) {
        moreDone = GetOverlappedResult(port, &overlapped, &more, FALSE) != FALSE;
      }
      if (moreDone || stopped) count += static_cast<int>(more);
    }
  }
  CloseHandle(overlapped.hEvent);
  return count;
}

void SerialPort::ReaderThread(std::stop_token stop) {
  std::uint8_t chunk[4096];
  const HANDLE port = AsHandle(fd_.load());
  const HANDLE stopEvent = AsHandle(wakeFd_);
  int failedReads = 0;
  while (running_ && !stop.stop_requested()) {
    const int n = ReadAvailable(chunk, sizeof chunk);
    if (!running_ || stop.stop_requested()) {
      // Close: bytes that came with the stop still belong to the line.
      if (n > 0) {
        Tell(LineTap::Event::kReceived, chunk, static_cast<std::size_t>(n));
        receive_.PutChunk(chunk, static_cast<std::size_t>(n));
      }
      break;
    }
    if (n > 0) {
      failedReads = 0;
      // Told before the ring has them, so the log shows them before any answer.
      Tell(LineTap::Event::kReceived, chunk, static_cast<std::size_t>(n));
      receive_.PutChunk(chunk, static_cast<std::size_t>(n));
      continue;
    }
    // The read failed, or ended without a byte. A port whose driver no longer
    // answers is gone (a USB adapter pulled, the far end of a mapped
    // pseudo-terminal closed): reading again would fail at once for ever, so the
    // reader ends here. A driver that still answers gets a pause and another try.
    if (!PortAnswers(port) || ++failedReads >= kFailedReadsBeforeLoss) {
      vanished_ = true;
      break;
    }
    if (WaitForSingleObject(stopEvent, kFailedReadPauseMs) == WAIT_OBJECT_0) break;
  }
  readerRunning_ = false;
  if (vanished_) Tell(LineTap::Event::kLost, nullptr, 0);
  if (vanished_) receive_.SetLineLost(true);
  receive_.Notify();
}

}  // namespace zendra
