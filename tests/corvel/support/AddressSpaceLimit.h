// Refused allocations for tests of code that must survive them: a limit on
// how far a process's address space may still grow, set in the child of a
// death test so that the test process itself keeps its memory. A sanitizer's
// allocator ends the process instead of refusing, so such tests run only in
// builds without one. No state beyond the process's own limit.
#pragma once

#include "tests/corvel/support/ProcessMemory.h"

#include <sys/resource.h>

namespace corvel::testing {

// Lets this process's address space grow by `headroom` bytes past what it
// maps now; false when the limit cannot be set.
inline bool limitAddressSpaceGrowth(size_t headroom)
{
    const size_t mapped = processMemory("VmSize:");
    if (mapped == 0) return false;
    const rlimit limit{mapped + headroom, mapped + headroom};
    return setrlimit(RLIMIT_AS, &limit) == 0;
}

}  // namespace corvel::testing
