#include "widgets/Resources.h"

#include <QtGlobal>

// Q_INIT_RESOURCE must be used outside any namespace.
static void RegisterResources() { Q_INIT_RESOURCE(resources); }

namespace zendra {

void InitResources() {
  static const bool registered = (RegisterResources(), true);
  (void)registered;
}

}  // namespace zendra
