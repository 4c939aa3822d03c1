#include "fuzz/SlowestInput.h"

#include <cstdio>
#include <cstdlib>

namespace {

double g_slowestMs = 0;
long g_inputs = 0;

double limitMs()
{
    static const double limit = [] {
        const char *text = std::getenv("VELMORA_FUZZ_SLOW_MS");
        if (!text)
            return 0.0;
        std::atexit([] {
            std::fprintf(stderr, "velmora-fuzz: %ld inputs, slowest %.2f ms\n", g_inputs,
                         g_slowestMs);
        });
        return std::atof(text);
    }();
    return limit;
}

} // namespace

SlowestInput::SlowestInput() : m_start(std::chrono::steady_clock::now())
{
    limitMs();
}

SlowestInput::~SlowestInput()
{
    const double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - m_start)
            .count();
    ++g_inputs;
    if (ms > g_slowestMs)
        g_slowestMs = ms;
    const double limit = limitMs();
    if (limit > 0 && ms > limit) {
        std::fprintf(stderr, "velmora-fuzz: input took %.2f ms, over %.0f ms\n", ms, limit);
        std::abort();
    }
}
