#pragma once
// What a benchmark reads about its own process.
namespace bench {

// Resident set size now, in bytes (/proc/self/statm).
long ResidentBytes();

// CPU time (user + system) in seconds: of the whole process, and of the
// calling thread alone (to take a writer thread out of the process's figure).
double ProcessCpuSeconds();
double ThreadCpuSeconds();

// The 1-minute load average, for the record of a noisy machine.
double LoadAverage1();

}  // namespace bench
