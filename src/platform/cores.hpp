// How many processors the process may run its threads on: on Linux the
// CPUs of its affinity mask (a process pinned with taskset, or placed on a
// few CPUs by its container, counts those only), elsewhere every processor
// the standard library reports.
#pragma once

#include <thread>

#if defined(__linux__)
#include <sched.h>
#endif

namespace mnemo::platform {

inline unsigned available_cores() {
#if defined(__linux__) && defined(CPU_COUNT)
    cpu_set_t set;
    if (sched_getaffinity(0, sizeof set, &set) == 0) return static_cast<unsigned>(CPU_COUNT(&set));
#endif
    const unsigned cores = std::thread::hardware_concurrency();
    return cores == 0 ? 1 : cores;
}

}  // namespace mnemo::platform
