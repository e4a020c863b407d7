// Worker threads of a batch that start on a processor other than the one their creator runs on.
//
// A new thread is put on its creator's processor, where it may take over at once and leave the creator
// waiting there while another processor idles, until the system balances its processors again, which on
// a quiet machine can take a scheduler tick or more (4 ms at 250 Hz, a tenth of a 200-image batch). A
// worker is therefore started with every allowed processor but the creator's, and is free to move as
// usual from its first step on. Where there is no other processor, or the system refuses the choice,
// the thread starts as any other.
#pragma once

#include <pthread.h>

#include <functional>

namespace tarvex::cli {

class WorkerThread {
public:
    explicit WorkerThread(std::function<void()> work);  // throws std::system_error when no thread can start
    ~WorkerThread();                                     // waits for the work to end
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

private:
    pthread_t thread_{};
};

}  // namespace tarvex::cli
