#pragma once
// The steps of one module's run on the production line, in order, and what a port
// reports while it runs: typed progress, never status texts to match.

#include <cstdint>
#include <optional>
#include <string>

namespace zendra {

enum class ProvisionStep {
  kConnect,    // the rate found (when none is given) and the handshake
  kUpdate,     // the image checked against the model, sent, the new version read
  kConfigure,  // the configuration file imported, then the --set values written
  kVerify,     // the module's values compared with the file's and the --set values
  kIdentify,   // the identity read at the end
  kDone,
};

// "connect", "update", "configure", "verify", "identify", "done".
const char* StepName(ProvisionStep step);

// Where a port is. Only the fields of its step mean something.
struct ProvisionProgress {
  ProvisionStep step = ProvisionStep::kConnect;
  // kUpdate: image bytes acknowledged of the image's length, the percentage the
  // transfer reports and the rate over the last seconds (nullopt until known).
  std::int64_t bytes = 0;
  std::int64_t totalBytes = 0;
  int percent = 0;
  std::optional<double> bytesPerSecond;
  // kConfigure, kVerify: parameter k of n.
  int k = 0;
  int n = 0;
};

}  // namespace zendra
