#include "io/worker_thread.h"

#include <sched.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace tarvex {
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

cpu_set_t Only(int cpu) {
    cpu_set_t set;
    CPU_ZERO(&set);
    CPU_SET(cpu, &set);
    return set;
}

// Each worker, the creator among them, keeps to one processor, none to another's, as long as the share
// lasts; then the creator has every processor it had before. One worker is put on the creator's
// processor before it asks, so that the one it runs on is taken.
TEST(ProcessorShare, KeepsEachWorkerToAProcessorOfItsOwnAndGivesTheCreatorItsOwnBack) {
    const cpu_set_t before = Allowed();
    const int count = CPU_COUNT(&before);
    if (count < 2) GTEST_SKIP() << "one processor: there is nothing to share";
    const unsigned workers = static_cast<unsigned>(std::min(count, 3));
    std::vector<cpu_set_t> kept(workers);
    {
        ProcessorShare share(workers);
        share.Keep();
        kept[0] = Allowed();
        ASSERT_EQ(CPU_COUNT(&kept[0]), 1);
        const int creators = ::sched_getcpu();
        EXPECT_TRUE(CPU_ISSET(creators, &kept[0]));
        for (unsigned w = 1; w < workers; ++w) {
            WorkerThread worker([&, w] {
                if (w == 1) {
                    const cpu_set_t there = Only(creators);
                    ASSERT_EQ(::sched_setaffinity(0, sizeof there, &there), 0);
                }
                share.Keep();
                kept[w] = Allowed();
                EXPECT_TRUE(CPU_ISSET(::sched_getcpu(), &kept[w]));
            });
        }
        const cpu_set_t still = Allowed();
        EXPECT_TRUE(CPU_EQUAL(&still, &kept[0]));
    }
    const cpu_set_t after = Allowed();
    EXPECT_TRUE(CPU_EQUAL(&after, &before));
    cpu_set_t all;
    CPU_ZERO(&all);
    for (const cpu_set_t& one : kept) {
        EXPECT_EQ(CPU_COUNT(&one), 1);
        cpu_set_t inside;
        CPU_AND(&inside, &one, &before);
        EXPECT_TRUE(CPU_EQUAL(&inside, &one));
        CPU_OR(&all, &all, &one);
    }
    EXPECT_EQ(CPU_COUNT(&all), static_cast<int>(workers));  // no two on one processor
}

// With more workers than processors none is kept anywhere: the share would put two on one.
TEST(ProcessorShare, KeepsNoneWhereThereAreMoreWorkersThanProcessors) {
    const cpu_set_t before = Allowed();
    {
        ProcessorShare share(static_cast<unsigned>(CPU_COUNT(&before)) + 1);
        share.Keep();
        const cpu_set_t creators = Allowed();
        EXPECT_TRUE(CPU_EQUAL(&creators, &before));
        cpu_set_t workers;
        CPU_ZERO(&workers);
        { WorkerThread worker([&] { share.Keep(); workers = Allowed(); }); }
        EXPECT_TRUE(CPU_EQUAL(&workers, &before));
    }
    const cpu_set_t after = Allowed();
    EXPECT_TRUE(CPU_EQUAL(&after, &before));
}

}  // namespace
}  // namespace tarvex
