#pragma once
// The local clock as the report decoder reads it: the time of day as a
// fraction of a day, 0 at midnight and 0.5 at noon. The decoder takes the
// clock as a function so that tests can set the time.
namespace monitor {

// Local time of day now, in [0, 1). Any thread.
double LocalTimeOfDay();

}  // namespace monitor
