// Contract checks that stay on in every build type. A failed check prints the condition text and
// aborts: callers broke a precondition that no return value could report sensibly.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace qeinteg_detail {

[[noreturn]] inline void AssertionFailed(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "Assertion failed: %s (%s:%d)\n", condition, file, line);
    std::fflush(stderr);
    std::abort();
}

}  // namespace qeinteg_detail

#define QE_ASSERT(condition) \
    ((condition) ? static_cast<void>(0)  \
                 : ::qeinteg_detail::AssertionFailed(#condition, __FILE__, __LINE__))
