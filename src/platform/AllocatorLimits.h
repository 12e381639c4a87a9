#pragma once

namespace tarnwick::platform {

// Call first in main(), before any thread starts. Recording frames are
// megabytes each, made and freed on many threads: with glibc's defaults the
// freed space stays behind in per-thread arenas and the program's memory grows
// with every recording. Blocks of 1 MiB and more go straight back to the
// system, and at most four arenas are made.
void limitAllocatorGrowth();

} // namespace tarnwick::platform
