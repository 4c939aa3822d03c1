#include "bench/PairedTiming.h"

#include "bench/CpuClock.h"

#include <algorithm>
#include <chrono>
#include <ctime>

namespace {

using Clock = std::chrono::steady_clock;

// Processor time shows the cost apart from waiting on a loaded machine (the X server's share of
// a capture is not in it).
template <typename Sample> Sample measure(const std::function<void()> &work)
{
    const double cpuStart = cpu_clock::callingThreadSeconds();
    const Clock::time_point start = Clock::now();
    work();
    return {std::chrono::duration<double>(Clock::now() - start).count(),
            cpu_clock::callingThreadSeconds() - cpuStart};
}

// Medians, because a shared machine adds the odd slow outlier to either side.
template <typename Sample> double median(const std::vector<Sample> &samples, double Sample::*field)
{
    if (samples.empty())
        return 0;
    std::vector<double> values;
    for (const Sample &sample : samples)
        values.push_back(sample.*field);
    std::nth_element(values.begin(), values.begin() + values.size() / 2, values.end());
    return values[values.size() / 2];
}

} // namespace

void PairedTiming::run(benchmark::State &state, const std::function<void()> &ours,
                       const std::function<void()> &reference)
{
    if (m_ours.size() % 2 == 0) {
        m_ours.push_back(measure<Sample>(ours));
        m_reference.push_back(measure<Sample>(reference));
    } else {
        m_reference.push_back(measure<Sample>(reference));
        m_ours.push_back(measure<Sample>(ours));
    }
    state.SetIterationTime(m_ours.back().wall);
}

void PairedTiming::report(benchmark::State &state) const
{
    const double ours = median(m_ours, &Sample::wall);
    const double reference = median(m_reference, &Sample::wall);
    state.counters["ours_ms"] = ours * 1e3;
    state.counters["ref_ms"] = reference * 1e3;
    state.counters["ratio"] = reference > 0 ? ours / reference : 0;
    state.counters["ours_cpu_ms"] = median(m_ours, &Sample::cpu) * 1e3;
    state.counters["ref_cpu_ms"] = median(m_reference, &Sample::cpu) * 1e3;
}
