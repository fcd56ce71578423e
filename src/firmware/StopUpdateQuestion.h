#pragma once
// The question the operator answers before a firmware update is stopped half-way:
// by closing the main window while it runs, or by the Cancel button of the
// Firmware Update page or of the reload dialog. Both say the same about what a
// stop leaves behind; each asks for what its own Yes does. No is the default.

#include <string>

namespace zendra {

inline constexpr const char* kStopUpdateWarning =
    "A firmware update is running. If it is stopped now, the module will need a firmware "
    "reload before it works again.";

// Closing the main window.
inline std::string StopUpdateAndCloseQuestion() {
  return std::string(kStopUpdateWarning) + "\r\n\r\nStop the update and close Zendra Manager?";
}

// A Cancel button.
inline std::string StopUpdateQuestion() {
  return std::string(kStopUpdateWarning) + "\r\n\r\nStop the update?";
}

// A remote sequence stopped half-way: the devices not started yet keep their
// firmware, and an image being relayed is broken off (a clone goes on in the
// module by itself).
inline constexpr const char* kStopRemoteUpdateWarning =
    "A remote firmware update is running. If it is stopped now, the remote devices not "
    "updated yet keep their old firmware, and a device whose image is being sent will need "
    "its update again.";

// Closing the main window during a remote sequence.
inline std::string StopRemoteUpdateAndCloseQuestion() {
  return std::string(kStopRemoteUpdateWarning) +
         "\r\n\r\nStop the update and close Zendra Manager?";
}

// The page's Cancel during a remote sequence.
inline std::string StopRemoteUpdateQuestion() {
  return std::string(kStopRemoteUpdateWarning) + "\r\n\r\nStop the update?";
}

}  // namespace zendra
