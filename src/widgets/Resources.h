#pragma once
// The icons are compiled into the GUI library, a static library: its resource
// table must be registered by hand before the first icon is loaded.

namespace zendra {

// Registers the resources once; harmless to call again.
void InitResources();

}  // namespace zendra
