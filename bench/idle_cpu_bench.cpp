// CPU used by an open port that receives nothing: its reader must be blocked in
// poll(), not polling. The figure includes this program's own wake-ups to measure.
//
//   idle_cpu_bench [seconds per measurement, default 5]

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "serial/SerialPort.h"
#include "support/CpuTime.h"

int main(int argc, char** argv) {
  const int seconds = argc > 1 ? std::atoi(argv[1]) : 5;
  const int master = posix_openpt(O_RDWR | O_NOCTTY);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return 1;
  zendra::SerialPort port;
  if (!port.Open(ptsname(master), 115200, 0, 8, 0, 10)) return 1;

  for (int run = 1; run <= 3; ++run) {
    const double before = zendra::test::ProcessCpuSeconds();
    std::this_thread::sleep_for(std::chrono::seconds(seconds));
    const double used = zendra::test::ProcessCpuSeconds() - before;
    std::printf("run %d: %.1f us of CPU per second with the port open and idle (%.4f %% of a core)\n", run,
                used * 1e6 / seconds, used * 100.0 / seconds);
  }
  port.Close();
  ::close(master);
  return 0;
}
