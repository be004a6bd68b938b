#include "BenchTiming.h"

#include <fstream>
#include <string>

#include <algorithm>
#include <chrono>

namespace quorvel::bench {

double Median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

TTiming Time(int runs, const std::function<void()>& work) {
    work();
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        const auto start = std::chrono::steady_clock::now();
        work();
        ms.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count());
    }
    return {Median(ms), *std::min_element(ms.begin(), ms.end()),
            *std::max_element(ms.begin(), ms.end())};
}

std::vector<TTiming> TimeInTurns(int runs, const std::vector<std::function<void()>>& works,
                                 double* ratio) {
    for (const auto& work : works)
        work();
    std::vector<std::vector<double>> ms(works.size());
    std::vector<double> ratios;
    for (int i = 0; i < runs; ++i) {
        for (std::size_t w = 0; w < works.size(); ++w) {
            const auto start = std::chrono::steady_clock::now();
            works[w]();
            ms[w].push_back(
                std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                    .count());
        }
        if (works.size() >= 2 && ms[1].back() > 0)
            ratios.push_back(ms[0].back() / ms[1].back());
    }
    std::vector<TTiming> timings;
    for (const auto& m : ms)
        timings.push_back({Median(m), *std::min_element(m.begin(), m.end()),
                           *std::max_element(m.begin(), m.end())});
    if (ratio != nullptr)
        *ratio = Median(ratios);
    return timings;
}

long RssKb(int pid) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

} // namespace quorvel::bench
