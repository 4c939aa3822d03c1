#include "tests/support/LoweredDescriptorLimit.h"

#include <dirent.h>

LoweredDescriptorLimit::LoweredDescriptorLimit(rlim_t soft)
{
    ::getrlimit(RLIMIT_NOFILE, &m_saved);
    rlimit lowered = m_saved;
    lowered.rlim_cur = soft;
    ::setrlimit(RLIMIT_NOFILE, &lowered);
}

void LoweredDescriptorLimit::restore()
{
    ::setrlimit(RLIMIT_NOFILE, &m_saved);
}

int LoweredDescriptorLimit::openNow()
{
    DIR *directory = ::opendir("/proc/self/fd");
    if (!directory)
        return -1;
    int count = 0;
    while (const dirent *entry = ::readdir(directory)) {
        if (entry->d_name[0] != '.')
            ++count;
    }
    ::closedir(directory);
    // The directory's own descriptor was counted too.
    return count - 1;
}
