#pragma once

#include <pthread.h>

// Processor and wall clocks in seconds, for benchmarks that compare threads of one process.
namespace cpu_clock {

// One moment as seen by one side: when, and the processor time that side had used by then.
struct Mark
{
    double wall;
    double cpu;
};

double wallSeconds();
double processSeconds();
double callingThreadSeconds();
// Another thread of this process, while it runs.
double threadSeconds(pthread_t thread);

} // namespace cpu_clock
