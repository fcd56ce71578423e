#include "support/SimHarness.h"

#include <stdexcept>

#include "base/Clock.h"

namespace zendra::test {

SimHarness::SimHarness(sim::Options options, double timeScale) {
  Clock::SetScale(timeScale);
  options.timeScale = timeScale;
  sim_ = std::make_unique<sim::ModuleSimulator>(std::move(options));
  if (!sim_->Start()) throw std::runtime_error("the simulated module did not start");
}

SimHarness::~SimHarness() {
  connection_.port.Close();
  sim_->Stop();
  Clock::SetScale(1.0);
}

bool SimHarness::OpenPort(int baudRate, int flowControl) {
  LineSettings s;
  s.baudRate = baudRate;
  s.flowControl = flowControl;
  connection_.portName = sim_->PortPath();
  connection_.settings = s;
  if (!connection_.port.Open(sim_->PortPath(), baudRate, s.parity, s.dataBits, s.stopBits,
                             flowControl))
    return false;
  connection_.link.portOpen = true;
  return true;
}

bool SimHarness::Connect(int baudRate, int flowControl) {
  LineSettings s;
  s.baudRate = baudRate;
  s.flowControl = flowControl;
  return connection_.Connect(sim_->PortPath(), s);
}

}  // namespace zendra::test
