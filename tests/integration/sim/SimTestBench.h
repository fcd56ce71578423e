#pragma once
// A started simulated module and the host's port on it.

#include <gtest/gtest.h>

#include <memory>

#include "HostPort.h"
#include "ModuleSimulator.h"

namespace zendra::test::modsim {

using namespace zendra::sim;

struct SimTestBench {
  explicit SimTestBench(Options options, int hostBaud = 9600)
      : module(std::make_unique<ModuleSimulator>(std::move(options))) {
    started = module->Start();
    if (started) host = std::make_unique<HostPort>(module->PortPath(), hostBaud);
  }
  bool Ready() const { return started && host && host->IsOpen(); }

  // Sends a line and returns what came back once `until` has arrived.
  std::string Ask(std::string_view line, std::string_view until = "\r\n", Ms timeout = Ms(2000)) {
    host->Take();
    host->Write(line);
    host->ReadUntilContains(until, timeout);
    return host->Take();
  }
  // A command with echo off: everything up to the final "OK" or "ERROR" line.
  std::string Command(std::string_view line, Ms timeout = Ms(2000)) {
    host->Take();
    host->Write(line);
    host->ReadUntil(
        [](const std::string& r) {
          return r.find("OK\r\n") != std::string::npos || r.find("ERROR\r\n") != std::string::npos;
        },
        timeout);
    return host->Take();
  }

  std::unique_ptr<ModuleSimulator> module;
  std::unique_ptr<HostPort> host;
  bool started = false;
};

}  // namespace zendra::test::modsim
