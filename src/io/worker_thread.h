// Worker threads of a batch that start on a processor other than the one their creator runs on.
//
// A new thread is put on its creator's processor, where it may take over at once and leave the creator
// waiting there while another processor idles, until the system balances its processors again, which on
// a quiet machine can take a scheduler tick or more (4 ms at 250 Hz, a tenth of a 200-image batch). A
// worker is therefore started with every allowed processor but the creator's, and is free to move as
// usual from its first step on. Where there is no other processor, or the system refuses the choice,
// the thread starts as any other.
#pragma once

#ifndef _WIN32
#include <pthread.h>
#include <sched.h>
#endif

#include <cstdint>
#include <functional>
#include <mutex>

namespace tarvex {

class WorkerThread {
public:
    explicit WorkerThread(std::function<void()> work);  // throws std::system_error when no thread can start
    ~WorkerThread();                                     // waits for the work to end
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

private:
#ifdef _WIN32
    void* thread_ = nullptr;  // the thread's HANDLE
#else
    pthread_t thread_{};
#endif
};

// A processor of its own for each worker of one run. A scheduler that packs threads onto few processors
// (some virtual machines run one, so that the others can idle) puts a worker that another has woken (a
// lock released, a page read in) beside the one that woke it, and the two then share a processor while
// the other idles until the next balancing, up to a scheduler tick (4 ms) each time. So where at least
// as many processors are allowed as there are workers, each worker is kept, for the run, to the one it
// runs on when it calls Keep, or to the first no other worker has if another has that one already.
// Where there are fewer, or the system refuses, the workers move as usual.
class ProcessorShare {
public:
    explicit ProcessorShare(unsigned workers);
    ~ProcessorShare();  // gives the thread that made the share back the processors it had
    ProcessorShare(const ProcessorShare&) = delete;
    ProcessorShare& operator=(const ProcessorShare&) = delete;

    void Keep();  // keeps the calling thread to a processor of its own from now on

private:
    bool sharing_ = false;
#ifdef _WIN32
    unsigned long creator_ = 0;  // thread id
    uint64_t allowed_ = 0;       // processor masks (the processors of one group)
    std::mutex mutex_;
    uint64_t taken_ = 0;
#else
    pthread_t creator_;
    cpu_set_t allowed_;
    std::mutex mutex_;
    cpu_set_t taken_;
#endif
    bool creatorKept_ = false;
};

}  // namespace tarvex
