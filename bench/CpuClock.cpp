#include "bench/CpuClock.h"

#include <ctime>

namespace cpu_clock {
namespace {
double seconds(clockid_t clock)
{
    timespec now{};
    if (clock_gettime(clock, &now) != 0)
        return 0;
    return double(now.tv_sec) + double(now.tv_nsec) / 1e9;
}
} // namespace

double wallSeconds()
{
    return seconds(CLOCK_MONOTONIC);
}

double processSeconds()
{
    return seconds(CLOCK_PROCESS_CPUTIME_ID);
}

double callingThreadSeconds()
{
    return seconds(CLOCK_THREAD_CPUTIME_ID);
}

double threadSeconds(pthread_t thread)
{
    clockid_t clock{};
    return pthread_getcpuclockid(thread, &clock) == 0 ? seconds(clock) : 0;
}

} // namespace cpu_clock
