#include "harness/ProcessStats.h"

#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>

namespace bench {
namespace {

double Cpu(int who) {
  rusage u{};
  ::getrusage(who, &u);
  auto seconds = [](const timeval& t) {
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_usec) * 1e-6;
  };
  return seconds(u.ru_utime) + seconds(u.ru_stime);
}

}  // namespace

long ResidentBytes() {
  long size = 0;
  long resident = 0;
  std::ifstream statm("/proc/self/statm");
  statm >> size >> resident;
  return resident * ::sysconf(_SC_PAGESIZE);
}

double ProcessCpuSeconds() { return Cpu(RUSAGE_SELF); }
double ThreadCpuSeconds() { return Cpu(RUSAGE_THREAD); }

double LoadAverage1() {
  double load[1] = {0};
  return ::getloadavg(load, 1) == 1 ? load[0] : -1.0;
}

}  // namespace bench
