#pragma once
// What the module received, for tests and for the --log file: every line with its
// line end (bytes that act at once, such as the bootloader's menu choices and the
// "+++" escape, are entries of their own), the lines a sleeping or restarting
// module missed, the images the bootloader took and those relayed to remote nodes.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <fstream>
#include <mutex>
#include <string>
#include <vector>

#include "ModuleSimulator.h"

namespace zendra::sim {

class ReceiveLog {
 public:
  // Also appends every entry to `path` (escaped, one per line) when not empty.
  void OpenFile(const std::string& path);

  void AddLine(const std::string& line);
  void AddMissed(const std::string& line);
  void AddImage(std::vector<std::uint8_t> image);
  void AddRemoteImage(const std::string& euiAddress, std::vector<std::uint8_t> image);
  void AddGarbled(std::size_t count);

  std::vector<std::string> Lines() const;
  std::vector<std::string> Missed() const;
  std::vector<std::vector<std::uint8_t>> Images() const;
  std::vector<RemoteImage> RemoteImages() const;
  std::size_t Garbled() const;
  bool WaitForLine(const std::string& text, std::chrono::milliseconds timeout) const;
  void Clear();

 private:
  void WriteFile(const char* prefix, const std::string& text);

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<std::string> lines_;
  std::vector<std::string> missed_;
  std::vector<std::vector<std::uint8_t>> images_;
  std::vector<RemoteImage> remoteImages_;
  std::size_t garbled_ = 0;
  std::ofstream file_;
};

// "ATE0\r\n" → "ATE0\\r\\n": control and high bytes as C escapes.
std::string Escaped(const std::string& bytes);

}  // namespace zendra::sim
