#pragma once
// zendra-cli's --trace FILE: the traffic log of the command's serial line, written
// to a file as it happens (the same lines the desktop program's console shows), so
// that a failed run on a production line leaves a record of every byte.

#include <cstdio>
#include <memory>
#include <string>

#include "serial/TrafficLog.h"

namespace zendra::cli {

class TraceFile {
 public:
  TraceFile() = default;
  // Ends the log (every line written) and closes the file.
  ~TraceFile();
  TraceFile(const TraceFile&) = delete;
  TraceFile& operator=(const TraceFile&) = delete;

  // Makes the file (an existing one is replaced) and starts the log. false, with
  // the system's reason in `error`, when the file cannot be made.
  bool Open(const std::string& path, std::string& error);
  TrafficLog& Log() { return *log_; }

  // Ends the log and closes the file; false when not all of it could be written.
  bool Close();

 private:
  std::FILE* file_ = nullptr;
  std::unique_ptr<TrafficLog> log_;
};

}  // namespace zendra::cli
