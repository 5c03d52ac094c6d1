#include "app/busy.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <utility>

namespace brix {
namespace {

TEST(BusyTest, OneGuardHoldsTheFlagUntilItEndsOrReleases) {
    CBusyFlag flag;
    {
        CBusyGuard first(flag);
        EXPECT_TRUE(first);
        EXPECT_TRUE(flag.IsSet());
        CBusyGuard second(flag);  // refused: the flag is held
        EXPECT_FALSE(second);
        second.Release();  // a refused guard releases nothing
        EXPECT_TRUE(flag.IsSet());
    }
    EXPECT_FALSE(flag.IsSet());

    // Moved to another owner (a worker), the hold goes with it, once.
    CBusyGuard taken(flag);
    CBusyGuard worker(std::move(taken));
    EXPECT_FALSE(taken);
    taken.Release();
    EXPECT_TRUE(flag.IsSet());
    CBusyGuard assigned;
    assigned = std::move(worker);
    EXPECT_TRUE(flag.IsSet());
    assigned.Release();
    EXPECT_FALSE(flag.IsSet());
    EXPECT_EQ(flag.load(), 0);
}

TEST(BusyTest, AnExceptionNeverLeavesTheFlagSet) {
    CBusyFlag flag;
    const auto command = [&flag] {
        CBusyGuard busy(flag);
        if (!busy) return;
        throw std::runtime_error("the read failed");
    };
    EXPECT_THROW(command(), std::runtime_error);
    EXPECT_FALSE(flag.IsSet());
    CBusyGuard next(flag);
    EXPECT_TRUE(next);
}

}  // namespace
}  // namespace brix
