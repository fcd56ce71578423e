#pragma once
// The right to use the serial line: its receive ring, the transactions' shared
// reply text and the port's writes.
//
// Only one activity may use them at a time — a handshake, a parameter read, a
// scan, a firmware transfer, a clone watch: two of them polling one ring would
// take each other's answers. A LineLease is that right as a value. The gate hands
// out at most one lease; a second activity that asks while the line is leased is
// refused (TryLease gives nothing) and never interleaved. The lease is released
// when it is destroyed, so no path of an activity can forget to give it back.
//
// A lease is not bound to a thread: a window's task takes it and may hand it on
// (moved) to the worker that goes on with the same activity, as a local update
// does from its preparation to its transfer. A lease carries the stop token of
// the activity that holds it: every wait it makes — the transactions' polls, the
// protocol's pauses — ends at once when that activity is asked to stop.

#include <functional>
#include <mutex>
#include <optional>
#include <stop_token>
#include <string>

#include "serial/AtLink.h"
#include "serial/SerialPort.h"

namespace zendra {

class LineLease;

class LineGate {
 public:
  LineGate(SerialPort& port, AtLink& link) : port_(port), link_(link) {}
  LineGate(const LineGate&) = delete;
  LineGate& operator=(const LineGate&) = delete;

  // The lease, or nothing while another activity holds the line. `holder` names
  // the activity (for a refusal's message); `stop` ends the lease's waits.
  std::optional<LineLease> TryLease(std::string holder, std::stop_token stop = {});

  bool Leased() const;
  // The activity holding the line; empty when it is free.
  std::string Holder() const;

  // Told (on the thread that takes or gives back the lease) whenever the line is
  // taken or given back: a window disables the line's other users meanwhile.
  void SetObserver(std::function<void(bool leased)> observer);

 private:
  friend class LineLease;
  void Release();

  SerialPort& port_;
  AtLink& link_;
  mutable std::mutex mutex_;
  bool leased_ = false;
  std::string holder_;
  std::function<void(bool)> observer_;
};

class LineLease {
 public:
  LineLease(LineLease&& other) noexcept;
  LineLease& operator=(LineLease&& other) noexcept;
  LineLease(const LineLease&) = delete;
  LineLease& operator=(const LineLease&) = delete;
  ~LineLease() { Release(); }

  // The transactions, the ring and the reply, for the lease's holder alone.
  AtLink& Link() { return gate_->link_; }
  SerialPort& Port() { return gate_->port_; }
  ReceiveBuffer& Ring() { return gate_->port_.Receive(); }
  std::string& Reply() { return gate_->link_.reply; }

  // The holder's stop token; Stopped() once the holder has been asked to stop.
  std::stop_token StopToken() const { return stop_; }
  bool Stopped() const { return stop_.stop_requested(); }
  // A protocol pause of `ms` (protocol time) that ends early on a stop; false then.
  bool Sleep(int ms) const;

  // The lease goes on under another holder's stop (a worker that takes the
  // activity over from the task that started it).
  void FollowStop(std::stop_token stop);

  // Gives the line back now (the destructor does it otherwise).
  void Release();

 private:
  friend class LineGate;
  LineLease(LineGate& gate, std::stop_token stop);

  LineGate* gate_;
  std::stop_token stop_;
};

}  // namespace zendra
