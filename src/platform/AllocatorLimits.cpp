#include "platform/AllocatorLimits.h"

#include <malloc.h>

namespace tarnwick::platform {

void limitAllocatorGrowth()
{
    // A fixed threshold also stops glibc raising it to the size of the last
    // freed frame, after which frames would come from the arenas again.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    mallopt(M_ARENA_MAX, 4);
}

} // namespace tarnwick::platform
