#pragma once
// What the production line keeps of one module's run: one row of the records
// database (RecordStore) per port that finished, passed or not, so that a module
// can be traced by its EUI address to the station, the day, the firmware and the
// configuration it got, and a failed one says where it stopped.

#include <cstdint>
#include <string>

namespace zendra {

struct ProvisionRecord {
  std::int64_t id = 0;         // given by the database; 0 before the record is written
  std::string time;            // when the run ended, UTC: "2025-03-14T09:26:53.589Z"
  std::string station;         // the host name of the computer that ran it
  std::string port;            // the serial port
  std::string product;         // the module's product name (model code)
  std::string euiAddress;      // its EUI address; empty when it never answered
  std::string firmwareBefore;  // the version it reported at the start
  std::string firmwareAfter;   // the version it reported at the end
  std::string imageSha256;     // of the image it was to get; empty without one
  std::string configSha256;    // of the configuration file; empty without one
  std::string verify;          // "passed", "failed", or empty when nothing was verified
  double seconds = 0;          // how long the run took
  std::string outcome;         // "passed", "failed", "skipped", "cancelled"
  std::string failedStep;      // where a run that did not pass stopped; empty otherwise
  std::string message;         // why, in the words the operator saw

  bool operator==(const ProvisionRecord&) const = default;
};

}  // namespace zendra
