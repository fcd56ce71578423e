#pragma once
// A simulated module on a pseudo-terminal plus a Connection to it, at a compressed
// time scale, for integration tests of the core.
//
// A test step that talks to the module directly (Link(), Line()) takes the line
// for the harness; Connect() gives it back first, as every activity of the
// program does before another one starts.

#include <memory>
#include <optional>

#include "ModuleSimulator.h"
#include "device/Connection.h"
#include "support/FakeOperator.h"

namespace zendra::test {

class SimHarness {
 public:
  // `timeScale` compresses the protocol's own pauses on both sides of the line.
  explicit SimHarness(sim::Options options = {}, double timeScale = 0.1);
  ~SimHarness();

  // Opens the port only and marks the connection open (no handshake).
  bool OpenPort(int baudRate = 9600, int flowControl = 10);
  // The full connect handshake (on a lease of its own).
  bool Connect(int baudRate = 9600, int flowControl = 10);

  // The harness's lease of the line, taken on first use.
  LineLease& Line();
  AtLink& Link() { return Line().Link(); }
  SerialPort& Port() { return Line().Port(); }
  void ReleaseLine() { line_.reset(); }
  // The harness's lease handed over (to an update that owns the line until its
  // worker ends).
  LineLease TakeLine();

  sim::ModuleSimulator& Sim() { return *sim_; }
  Connection& Conn() { return connection_; }
  FakeOperator& Op() { return op_; }

 private:
  FakeOperator op_;
  std::unique_ptr<sim::ModuleSimulator> sim_;
  Connection connection_{op_};
  std::optional<LineLease> line_;
};

}  // namespace zendra::test
