#pragma once
// The one rule for an address that becomes part of a command line: the remote
// prefix "AT+RC=ADDRESS," that reaches a remote module through the local one, and
// the remote bootload commands "AT+BOOTLOAD=1,ADDRESS" and "=2,ADDRESS".
//
// An address is sent only when it holds at least one character, no comma and no
// control byte. A comma would split "AT+RC=ADDRESS,COMMAND" at the wrong place, so
// that the module runs the rest of the address as the command ("1A2B,ATZ" restarts
// a module); a line end would end the line early and run what follows as a
// command of the local module's own; an empty address is no device at all.
//
// Every remote command line is built through AddressedLine, which refuses such an
// address, so no caller can send one whatever it checked before. Callers that
// take an address from the operator check it first with CheckRemoteAddress and
// show the message of its verdict, and send nothing.

#include <optional>
#include <string>
#include <string_view>

namespace zendra {

enum class RemoteAddressCheck {
  kSendable,
  kEmpty,   // nothing at all
  kUnsafe,  // a comma or a control byte
};

inline constexpr const char* kInvalidRemoteAddressMessage = "ERROR: Invalid remote address";
inline constexpr const char* kUnsafeRemoteAddressMessage =
    "ERROR: Invalid remote address: it holds a comma or a control character (such as a line "
    "end), which would break the command line.";

RemoteAddressCheck CheckRemoteAddress(std::string_view address);
inline bool IsSendableAddress(std::string_view address) {
  return CheckRemoteAddress(address) == RemoteAddressCheck::kSendable;
}
// The message for a refused address; the empty text for a sendable one.
const char* RemoteAddressMessage(RemoteAddressCheck check);

// `head` + address + `tail` ("AT+RC=" + address + "," + command), or nullopt when
// the address may not be sent.
std::optional<std::string> AddressedLine(std::string_view head, std::string_view address,
                                         std::string_view tail);

}  // namespace zendra
