#pragma once

#include <functional>

namespace quorvel {

// Runs job(0) … job(count − 1) at once: job 0 on the calling thread, the others on threads
// of their own. Every job runs exactly once; one whose thread cannot be started runs on the
// calling thread after its own. Returns when every job has ended and every thread started
// has been joined. An error raised inside any job is carried back and raised here (the
// first one, in job order); the others' work is then still finished, never abandoned
// half-way on a thread that outlives the call.
void RunJobs(unsigned count, const std::function<void(unsigned job)>& job);

// For tests: called on each job's thread just before the job (and, with `starting` true,
// before its thread is started), so a test can make a worker fail or a thread refuse to
// start. Empty to stop.
void SetJobFaultForTests(std::function<void(unsigned job, bool starting)> fault);

} // namespace quorvel
