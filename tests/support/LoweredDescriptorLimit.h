#pragma once

#include <sys/resource.h>

// Lowers this process's soft descriptor limit for one test and puts it back afterwards.
class LoweredDescriptorLimit
{
public:
    explicit LoweredDescriptorLimit(rlim_t soft);
    ~LoweredDescriptorLimit() { restore(); }
    LoweredDescriptorLimit(const LoweredDescriptorLimit &) = delete;
    LoweredDescriptorLimit &operator=(const LoweredDescriptorLimit &) = delete;

    void restore();
    // Descriptors this process holds now.
    static int openNow();

private:
    rlimit m_saved{};
};
