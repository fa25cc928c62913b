#include "log/StepTrace.h"

#include <cstdio>
#include <cstdlib>
#include <ctime>

bool StepTrace::enabled()
{
    static const bool on = std::getenv("QUILLON_STEP_TRACE") != nullptr;
    return on;
}

void StepTrace::mark(const char* what, double monotonicMs)
{
    if (!enabled())
        return;
    if (monotonicMs < 0) {
        timespec now{};
        clock_gettime(CLOCK_MONOTONIC, &now);
        monotonicMs = double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
    }
    std::fprintf(stderr, "quillon-step %s %.3f\n", what, monotonicMs);
    std::fflush(stderr);
}
