#include "BenchTiming.h"

#include <algorithm>
#include <chrono>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <unistd.h>

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

double CpuSeconds(int pid) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    const std::string text((std::istreambuf_iterator<char>(stat)),
                           std::istreambuf_iterator<char>());
    // The fields after the command name, which may hold spaces, in parentheses.
    const std::size_t close = text.rfind(')');
    if (close == std::string::npos)
        return 0;
    std::istringstream fields(text.substr(close + 2));
    std::string field;
    long ticks = 0;
    for (int i = 3; i <= 15 && fields >> field; ++i)
        if (i == 14 || i == 15) // utime, stime
            ticks += std::stol(field);
    return static_cast<double>(ticks) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

} // namespace quorvel::bench
