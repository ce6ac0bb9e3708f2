#include "monitor/TimeOfDay.h"

#include <time.h>

namespace monitor {

double LocalTimeOfDay() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  // Local time depends on the whole second only; converting it costs more
  // than the rest of a report frame, and frames come many to a second.
  thread_local time_t cachedSecond = -1;
  thread_local double cachedSecondOfDay = 0.0;
  if (now.tv_sec != cachedSecond) {
    tm local{};
    if (localtime_r(&now.tv_sec, &local) == nullptr) return 0.0;
    // A leap second (tm_sec 60) stays within the day.
    cachedSecondOfDay =
        local.tm_hour * 3600.0 + local.tm_min * 60.0 + (local.tm_sec > 59 ? 59 : local.tm_sec);
    cachedSecond = now.tv_sec;
  }
  return (cachedSecondOfDay + now.tv_nsec / 1e9) / 86400.0;
}

}  // namespace monitor
