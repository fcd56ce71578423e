#include "support/SimHarness.h"

#include <stdexcept>

#include "base/Clock.h"
#include "firmware/MenuBootloader.h"

namespace zendra::test {

SimHarness::SimHarness(sim::Options options, double timeScale) {
  // The handshake probes the bootloader the modules have, as the program's does.
  UseForHandshake(connection_, MenuBootloader::Standard());
  Clock::SetScale(timeScale);
  options.timeScale = timeScale;
  sim_ = std::make_unique<sim::ModuleSimulator>(std::move(options));
  if (!sim_->Start()) throw std::runtime_error("the simulated module did not start");
}

SimHarness::~SimHarness() {
  line_.reset();
  connection_.Disconnect();
  sim_->Stop();
  Clock::SetScale(1.0);
}

LineLease& SimHarness::Line() {
  if (!line_) line_ = connection_.TryLease("test");
  if (!line_) throw std::runtime_error("the line is held by " + connection_.Gate().Holder());
  return *line_;
}

LineLease SimHarness::TakeLine() {
  Line();
  LineLease line = std::move(*line_);
  line_.reset();
  return line;
}

bool SimHarness::OpenPort(int baudRate, int flowControl) {
  LineSettings s;
  s.baudRate = baudRate;
  s.flowControl = flowControl;
  return connection_.OpenPort(sim_->PortPath(), s);
}

bool SimHarness::Connect(int baudRate, int flowControl) {
  ReleaseLine();
  LineSettings s;
  s.baudRate = baudRate;
  s.flowControl = flowControl;
  return connection_.Connect(sim_->PortPath(), s);
}

}  // namespace zendra::test
