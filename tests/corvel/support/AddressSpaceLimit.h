// Refused allocations for tests of code that must survive them: a limit on
// how far a process's address space may still grow, set in the child of a
// death test so that the test process itself keeps its memory, and the
// sanitizer setting that lets such a child see the refusal (a null pointer,
// std::bad_alloc) instead of being ended by the sanitizer's allocator. No
// state beyond the process's own limit and environment.
#pragma once

#include "tests/corvel/support/ProcessMemory.h"

#include <sys/resource.h>

#include <cstdlib>
#include <optional>
#include <string>

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

// While it lives, programs started from this one (the re-run test binary of a
// death test in the "threadsafe" style) get refused allocations reported to
// them under the address sanitizer too. Restores the environment after.
class RefusedAllocationsReported {
public:
    RefusedAllocationsReported()
    {
        if (const char* options = std::getenv("ASAN_OPTIONS")) saved_ = options;
        const std::string options = saved_ ? *saved_ + ":allocator_may_return_null=1" : "allocator_may_return_null=1";
        setenv("ASAN_OPTIONS", options.c_str(), 1);
    }
    ~RefusedAllocationsReported()
    {
        if (saved_) {
            setenv("ASAN_OPTIONS", saved_->c_str(), 1);
        } else {
            unsetenv("ASAN_OPTIONS");
        }
    }
    RefusedAllocationsReported(const RefusedAllocationsReported&) = delete;
    RefusedAllocationsReported& operator=(const RefusedAllocationsReported&) = delete;

private:
    std::optional<std::string> saved_;
};

}  // namespace corvel::testing
