#include "firmware/Bootloader.h"

namespace zendra {

void UseForHandshake(Connection& connection, const Bootloader& bootloader) {
  connection.SetBootloaderProbe(
      [&connection, &bootloader](LineLease& line) { return bootloader.Probe(connection, line); });
}

}  // namespace zendra
