#include "serial/RemoteAddress.h"

#include "serial/AtLink.h"

namespace zendra {

RemoteAddressCheck CheckRemoteAddress(std::string_view address) {
  if (address.empty()) return RemoteAddressCheck::kEmpty;
  if (address.find(',') != std::string_view::npos || AtLink::HoldsControlByte(address))
    return RemoteAddressCheck::kUnsafe;
  return RemoteAddressCheck::kSendable;
}

const char* RemoteAddressMessage(RemoteAddressCheck check) {
  switch (check) {
    case RemoteAddressCheck::kSendable: return "";
    case RemoteAddressCheck::kEmpty: return kInvalidRemoteAddressMessage;
    case RemoteAddressCheck::kUnsafe: return kUnsafeRemoteAddressMessage;
  }
  return kInvalidRemoteAddressMessage;
}

std::optional<std::string> AddressedLine(std::string_view head, std::string_view address,
                                         std::string_view tail) {
  if (!IsSendableAddress(address)) return std::nullopt;
  std::string line;
  line.reserve(head.size() + address.size() + tail.size());
  line.append(head).append(address).append(tail);
  return line;
}

}  // namespace zendra
