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

double Median(std::vector<double> values);

// A process's resident memory in kB (VmRSS); -1 when it cannot be read.
long RssKb(int pid);

} // namespace quorvel::bench
