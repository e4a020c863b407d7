// Starting a worker away from its creator's processor, and keeping each worker to a processor of its own.
#include "io/worker_thread.h"

#include <sched.h>

#include <cerrno>
#include <memory>
#include <system_error>
#include <utility>

namespace tarvex {

namespace {

struct Start {
    std::function<void()> work;
    cpu_set_t allowed;  // the processors the thread may use once it runs
    bool narrowed = false;
};

// Whether processor cpu (as the system numbered it, or -1 where it could not say) is in the set.
bool Has(const cpu_set_t& set, int cpu) { return cpu >= 0 && cpu < CPU_SETSIZE && CPU_ISSET(cpu, &set); }

void* Run(void* arg) {
    const std::unique_ptr<Start> start(static_cast<Start*>(arg));
    if (start->narrowed) ::pthread_setaffinity_np(::pthread_self(), sizeof start->allowed, &start->allowed);
    start->work();
    return nullptr;
}

}  // namespace

WorkerThread::WorkerThread(std::function<void()> work) {
    auto start = std::make_unique<Start>();
    start->work = std::move(work);
    pthread_attr_t attr;
    if (const int err = ::pthread_attr_init(&attr)) throw std::system_error(err, std::generic_category());
    const int here = ::sched_getcpu();
    if (::sched_getaffinity(0, sizeof start->allowed, &start->allowed) == 0 && Has(start->allowed, here) &&
        CPU_COUNT(&start->allowed) > 1) {
        cpu_set_t elsewhere = start->allowed;
        CPU_CLR(here, &elsewhere);
        start->narrowed = ::pthread_attr_setaffinity_np(&attr, sizeof elsewhere, &elsewhere) == 0;
    }
    int err = ::pthread_create(&thread_, &attr, Run, start.get());
    if (err != 0 && start->narrowed) {  // refused where it was to start: start it anywhere
        ::pthread_attr_destroy(&attr);
        ::pthread_attr_init(&attr);
        start->narrowed = false;
        err = ::pthread_create(&thread_, &attr, Run, start.get());
    }
    ::pthread_attr_destroy(&attr);
    if (err != 0) throw std::system_error(err, std::generic_category(), "cannot start a worker");
    start.release();  // now the thread's
}

WorkerThread::~WorkerThread() { ::pthread_join(thread_, nullptr); }

ProcessorShare::ProcessorShare(unsigned workers) : creator_(::pthread_self()) {
    CPU_ZERO(&allowed_);
    CPU_ZERO(&taken_);
    sharing_ = workers > 1 && ::sched_getaffinity(0, sizeof allowed_, &allowed_) == 0 &&
               static_cast<unsigned>(CPU_COUNT(&allowed_)) >= workers;
}

ProcessorShare::~ProcessorShare() {
    if (creatorKept_) ::sched_setaffinity(0, sizeof allowed_, &allowed_);
}

void ProcessorShare::Keep() {
    if (!sharing_) return;
    int cpu = ::sched_getcpu();
    {
        std::lock_guard lock(mutex_);
        if (!Has(allowed_, cpu) || Has(taken_, cpu)) {
            cpu = -1;
            for (int c = 0; c < CPU_SETSIZE && cpu < 0; ++c)
                if (Has(allowed_, c) && !Has(taken_, c)) cpu = c;
            if (cpu < 0) return;  // more callers than workers: this one moves as usual
        }
        CPU_SET(cpu, &taken_);
    }
    cpu_set_t one;
    CPU_ZERO(&one);
    CPU_SET(cpu, &one);
    if (::sched_setaffinity(0, sizeof one, &one) == 0 && ::pthread_equal(::pthread_self(), creator_))
        creatorKept_ = true;
}

}  // namespace tarvex
