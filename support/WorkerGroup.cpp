#include "support/WorkerGroup.h"

#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace quorvel {

namespace {

std::mutex faultLock;
std::function<void(unsigned, bool)> faultForTests;

void InjectFault(unsigned job, bool starting) {
    std::function<void(unsigned, bool)> fault;
    {
        std::lock_guard lock(faultLock);
        fault = faultForTests;
    }
    if (fault)
        fault(job, starting);
}

} // namespace

void SetJobFaultForTests(std::function<void(unsigned job, bool starting)> fault) {
    std::lock_guard lock(faultLock);
    faultForTests = std::move(fault);
}

void RunJobs(unsigned count, const std::function<void(unsigned job)>& job) {
    if (count == 0)
        return;
    std::vector<std::exception_ptr> errors(count);
    const auto run = [&](unsigned j) {
        try {
            InjectFault(j, false);
            job(j);
        } catch (...) {
            errors[j] = std::current_exception();
        }
    };

    std::vector<std::thread> threads;
    std::vector<unsigned> notStarted;
    try {
        threads.reserve(count - 1);
        notStarted.reserve(count - 1);
    } catch (...) {
        // Not even room to keep the threads: every job on this thread.
        for (unsigned j = 0; j < count; ++j)
            run(j);
        for (const std::exception_ptr& e : errors)
            if (e)
                std::rethrow_exception(e);
        return;
    }
    for (unsigned j = 1; j < count; ++j) {
        try {
            InjectFault(j, true);
            threads.emplace_back(run, j);
        } catch (...) {
            notStarted.push_back(j); // reserved above: cannot throw
        }
    }
    run(0);
    for (unsigned j : notStarted)
        run(j);
    for (std::thread& t : threads)
        t.join();
    for (const std::exception_ptr& e : errors)
        if (e)
            std::rethrow_exception(e);
}

} // namespace quorvel
