#pragma once

#include <functional>
#include <vector>

namespace quorvel::bench {

struct TTiming {
    double medianMs = 0;
    double minMs = 0;
    double maxMs = 0;
};

// Runs `work` once to warm up, then `runs` times, and reports the median, fastest and
// slowest wall-clock times in milliseconds.
TTiming Time(int runs, const std::function<void()>& work);

// Runs each of `works` once to warm up, then all of them in turn `runs` times, so that the
// load of a shared machine falls on each alike. `ratio`, when given, receives the median of
// the per-turn ratios of the first work's time to the second's.
std::vector<TTiming> TimeInTurns(int runs, const std::vector<std::function<void()>>& works,
                                 double* ratio = nullptr);

double Median(std::vector<double> values);

// A process's resident memory in kB (VmRSS); -1 when it cannot be read.
long RssKb(int pid);

// The processor time a process has used so far, user and system, in seconds; 0 when it
// cannot be read.
double CpuSeconds(int pid);

} // namespace quorvel::bench
