#pragma once
// Skips a test whose tool or build product is missing, except in CI (CI=true): there the
// setup installs every tool the tests use, so a skip would only make a broken run look green.

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

namespace mhtest {
inline bool InCI() {
    const char* ci = getenv("CI");
    return ci && strcmp(ci, "true") == 0;
}
} // namespace mhtest

#define MH_SKIP_OUTSIDE_CI(why)                                                                    \
    do {                                                                                           \
        if (mhtest::InCI())                                                                        \
            GTEST_FAIL() << why << " (CI=true: everything the tests need must be there)";          \
        else                                                                                       \
            GTEST_SKIP() << why;                                                                   \
    } while (0)
