#pragma once
// The desktop program's update server setting. The value in force is the first
// given of: `--update-server` of this run, the environment variable
// ZENDRA_UPDATE_SERVER, the stored setting (QSettings key "updateServer", under
// the organisation and application names the program sets), the build's host
// (UpdateServerUrl).
//
// `--update-server URL` is also remembered: the operator's choice is the stored
// setting for later runs (an empty value forgets it).

#include <optional>
#include <string>

#include "webupdate/UpdateServerUrl.h"

namespace zendra {

class UpdateServerSetting {
 public:
  static constexpr const char* kKey = "updateServer";

  // The stored value; nothing when none is stored.
  static std::optional<std::string> Stored();
  // Stores `value`; an empty one removes the stored setting.
  static void Store(const std::string& value);

  // The value `--update-server` gave this run (nothing: not given).
  static void SetForThisRun(std::optional<std::string> value);
  static std::optional<std::string> ForThisRun();

  // The value in force, and the URL it stands for (empty when it is not usable;
  // UpdateServerUrl::UnusableMessage says so).
  static UpdateServerUrl::Choice Current();
};

}  // namespace zendra
