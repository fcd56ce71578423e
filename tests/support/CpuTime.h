#pragma once
// CPU time this process has used so far (user and system), for the tests and
// benchmarks that check that an idle program costs nothing.

#include <sys/resource.h>

namespace zendra::test {

inline double ProcessCpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

}  // namespace zendra::test
