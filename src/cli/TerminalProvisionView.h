#pragma once
// What the operator sees of a production run on the terminal: one line per port,
// "PORT  EUI  step" ("/dev/ttyUSB3  000D6F0000A1B2C7  update 37 % 10.8 kB/s"),
// redrawn in place when standard output is a terminal (at most ten times a
// second, and at once when a port changes step or ends); plain lines when it is
// not — a line when a port changes step and one when it ends; with --json one
// object per port as it ends and nothing else on standard output.

#include <chrono>
#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

#include "production/PortStatusText.h"
#include "production/ProvisionEvents.h"

namespace zendra::cli {

class TerminalProvisionView : public ProvisionEvents {
 public:
  enum class Mode { kLive, kLines, kJson };

  TerminalProvisionView(Mode mode, bool watch, std::FILE* out = stdout);

  // The ports in the order their lines are shown (before the run starts).
  void AddPorts(const std::vector<std::string>& ports);

  void Started(const std::string& port) override;
  void Progress(const std::string& port, const ProvisionProgress& progress) override;
  void Identified(const std::string& port, const DeviceInfo& device) override;
  void Finished(const ProvisionResult& result) override;
  void Unplugged(const std::string& port) override;

  // Draws the lines a last time (live mode).
  void Flush();
  // A line for the operator on stderr (Ctrl+C's answer). In live mode the block of
  // ports is drawn anew below it, not over it.
  void Note(const std::string& text);

  // The JSON object of one port's result, on one line.
  static std::string JsonLine(const ProvisionResult& result);

 private:
  PortStatus& Line(const std::string& port);
  std::string Text(const PortStatus& status) const;
  // Draws the block of lines again (live), or prints `status` (plain lines).
  void Changed(const PortStatus& status, bool stepChanged);
  void Redraw();

  const Mode mode_;
  const bool watch_;
  std::FILE* out_;
  std::mutex mutex_;
  std::vector<PortStatus> lines_;
  std::size_t drawn_ = 0;  // lines of the block on the screen
  std::size_t portWidth_ = 12;
  std::chrono::steady_clock::time_point lastDraw_{};
};

}  // namespace zendra::cli
