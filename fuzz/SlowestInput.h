#pragma once

#include <chrono>

// Times every input a target runs. With VELMORA_FUZZ_SLOW_MS set (the replay of a corpus), an
// input slower than that aborts with its time, and the slowest time is printed at exit.
class SlowestInput
{
public:
    SlowestInput();
    ~SlowestInput();
    SlowestInput(const SlowestInput &) = delete;
    SlowestInput &operator=(const SlowestInput &) = delete;

private:
    std::chrono::steady_clock::time_point m_start;
};
