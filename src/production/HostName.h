#pragma once
// The name of this computer, which a production record keeps as its station: the
// line's records of several stations can be told apart when they are put together.

#include <string>

namespace zendra {

// The host name; "unknown" when the system gives none.
std::string HostName();

}  // namespace zendra
