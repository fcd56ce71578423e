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
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ModuleSimulator.h"

namespace zendra::sim {

class ReceiveLog {
 public:
  // Also appends every entry to `path` when not empty: one JSON object per line,
  // {"line": ...}, {"missed": ...}, {"image": size}, {"remoteImage": size, "eui": ...},
  // {"refusedImage": size, "eui": ...} (the eui empty for the local bootloader);
  // the received bytes as text, each byte read as Latin-1.
  void OpenFile(const std::string& path);

  void AddLine(const std::string& line);
  void AddMissed(const std::string& line);
  void AddImage(std::vector<std::uint8_t> image);
  void AddRemoteImage(const std::string& euiAddress, std::vector<std::uint8_t> image);
  // An image that came whole and failed the bootloader's check; `euiAddress` is
  // empty for the local bootloader.
  void AddRefusedImage(const std::string& euiAddress, std::vector<std::uint8_t> image);
  void AddGarbled(std::size_t count);

  std::vector<std::string> Lines() const;
  std::vector<std::string> Missed() const;
  std::vector<std::vector<std::uint8_t>> Images() const;
  std::vector<RemoteImage> RemoteImages() const;
  std::vector<RemoteImage> RefusedImages() const;
  std::size_t Garbled() const;
  bool WaitForLine(const std::string& text, std::chrono::milliseconds timeout) const;
  void Clear();

 private:
  // One JSON object per line of the log file.
  void WriteFile(const nlohmann::ordered_json& entry);

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  std::vector<std::string> lines_;
  std::vector<std::string> missed_;
  std::vector<std::vector<std::uint8_t>> images_;
  std::vector<RemoteImage> remoteImages_;
  std::vector<RemoteImage> refusedImages_;
  std::size_t garbled_ = 0;
  std::ofstream file_;
};

}  // namespace zendra::sim
