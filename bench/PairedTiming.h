#pragma once

#include <benchmark/benchmark.h>
#include <functional>
#include <vector>

// Times our code and its reference alternately within one benchmark run, so that both see the
// same machine load, and reports their medians and ratio as counters.
class PairedTiming
{
public:
    // One iteration: both sides run, in an order that alternates; the benchmark's own time is ours.
    void run(benchmark::State &state, const std::function<void()> &ours,
             const std::function<void()> &reference);

    // Adds ours_ms, ref_ms, ratio (ours / reference, wall-clock medians) and the medians of this
    // thread's processor time to the benchmark's output.
    void report(benchmark::State &state) const;

private:
    struct Sample
    {
        double wall;
        double cpu;
    };

    std::vector<Sample> m_ours;
    std::vector<Sample> m_reference;
};
