#include "system/HeapPolicy.h"

#include <malloc.h>

namespace heappolicy {
namespace {
// Far above what the window allocates per event; below the smallest picture worth keeping.
constexpr int kLargeBlockBytes = 1024 * 1024;
} // namespace

void giveBackLargeBlocks()
{
    mallopt(M_MMAP_THRESHOLD, kLargeBlockBytes);
    mallopt(M_TRIM_THRESHOLD, 2 * kLargeBlockBytes);
}

} // namespace heappolicy
