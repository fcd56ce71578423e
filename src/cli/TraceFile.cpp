#include "cli/TraceFile.h"

#include <cerrno>
#include <cstring>

namespace zendra::cli {

TraceFile::~TraceFile() { Close(); }

bool TraceFile::Open(const std::string& path, std::string& error) {
  Close();
  file_ = std::fopen(path.c_str(), "w");
  if (!file_) {
    error = std::strerror(errno);
    return false;
  }
  std::fputs("# zendra-cli " ZENDRA_VERSION
             " traffic log: ms since the port opened, TX sent, RX received, -- notes\n",
             file_);
  // The log calls this on its own thread, one batch at a time; each batch is on
  // disk before the next, so a run that is killed leaves all but its last moments.
  log_ = std::make_unique<TrafficLog>([file = file_](std::vector<TrafficEntry>& entries) {
    for (const auto& entry : entries) {
      const std::string line = TrafficFormatter::Line(entry);
      std::fwrite(line.data(), 1, line.size(), file);
      std::fputc('\n', file);
    }
    std::fflush(file);
  });
  return true;
}

bool TraceFile::Close() {
  log_.reset();
  if (!file_) return true;
  const bool written = std::ferror(file_) == 0;
  const bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  return written && closed;
}

}  // namespace zendra::cli
