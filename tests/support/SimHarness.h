#pragma once
// A simulated module on a pseudo-terminal plus a Connection to it, at a compressed
// time scale, for integration tests of the core.

#include <memory>

#include "ModuleSimulator.h"
#include "app/Connection.h"
#include "support/FakeOperator.h"

namespace zendra::test {

class SimHarness {
 public:
  // `timeScale` compresses the protocol's own pauses on both sides of the line.
  explicit SimHarness(sim::Options options = {}, double timeScale = 0.1);
  ~SimHarness();

  // Opens the port only and marks the connection open (no handshake).
  bool OpenPort(int baudRate = 9600, int flowControl = 10);
  // The full connect handshake.
  bool Connect(int baudRate = 9600, int flowControl = 10);

  sim::ModuleSimulator& Sim() { return *sim_; }
  Connection& Conn() { return connection_; }
  AtLink& Link() { return connection_.link; }
  FakeOperator& Op() { return op_; }

 private:
  FakeOperator op_;
  std::unique_ptr<sim::ModuleSimulator> sim_;
  Connection connection_{op_};
};

}  // namespace zendra::test
