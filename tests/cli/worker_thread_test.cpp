#include "cli/worker_thread.h"

#include <sched.h>

#include <atomic>
#include <chrono>
#include <thread>

#include <gtest/gtest.h>

namespace tarvex::cli {
namespace {

cpu_set_t Allowed() {
    cpu_set_t set;
    CPU_ZERO(&set);
    EXPECT_EQ(::sched_getaffinity(0, sizeof set, &set), 0);
    return set;
}

// The work runs once, the worker is joined before its end is over, and the worker runs with every
// processor its creator may use: it starts away from its creator's, but is not kept from it.
TEST(WorkerThread, RunsItsWorkOnceFreeToUseEveryProcessorAndIsWaitedFor) {
    const cpu_set_t creators = Allowed();
    std::atomic<int> runs{0};
    cpu_set_t workers;
    CPU_ZERO(&workers);
    {
        WorkerThread worker([&] {
            workers = Allowed();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            ++runs;
        });
    }
    EXPECT_EQ(runs.load(), 1);
    EXPECT_TRUE(CPU_EQUAL(&workers, &creators));
}

// A creator held to one processor still starts its workers, there.
TEST(WorkerThread, StartsWhereThereIsNoOtherProcessor) {
    const cpu_set_t before = Allowed();
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(::sched_getcpu(), &one);
    ASSERT_EQ(::sched_setaffinity(0, sizeof one, &one), 0);
    int ranOn = -1;
    cpu_set_t workers;
    CPU_ZERO(&workers);
    {
        WorkerThread worker([&] {
            ranOn = ::sched_getcpu();
            workers = Allowed();
        });
    }
    ASSERT_EQ(::sched_setaffinity(0, sizeof before, &before), 0);
    EXPECT_TRUE(CPU_ISSET(ranOn, &one));
    EXPECT_TRUE(CPU_EQUAL(&workers, &one));
}

}  // namespace
}  // namespace tarvex::cli
