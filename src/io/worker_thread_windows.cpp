// The Windows twin of worker_thread.cpp: a worker is created suspended, given every allowed processor but
// its creator's, and let go; it takes the whole set back at its first step. Processors are those of the
// process's group, as affinity masks hold them.
#include <windows.h>

#include <process.h>

#include <bit>
#include <memory>
#include <system_error>
#include <utility>

#include "io/worker_thread.h"

namespace tarvex {

namespace {

struct Start {
    std::function<void()> work;
    DWORD_PTR allowed = 0;  // the processors the thread may use once it runs
    bool narrowed = false;
};

uint64_t Bit(DWORD cpu) { return cpu < 64 ? uint64_t{1} << cpu : 0; }

DWORD_PTR AllowedProcessors() {
    DWORD_PTR process = 0, system = 0;
    return ::GetProcessAffinityMask(::GetCurrentProcess(), &process, &system) ? process : 0;
}

unsigned __stdcall Run(void* arg) {
    const std::unique_ptr<Start> start(static_cast<Start*>(arg));
    if (start->narrowed) ::SetThreadAffinityMask(::GetCurrentThread(), start->allowed);
    start->work();
    return 0;
}

}  // namespace

WorkerThread::WorkerThread(std::function<void()> work) {
    auto start = std::make_unique<Start>();
    start->work = std::move(work);
    start->allowed = AllowedProcessors();
    const uintptr_t handle = ::_beginthreadex(nullptr, 0, Run, start.get(), CREATE_SUSPENDED, nullptr);
    if (handle == 0) throw std::system_error(errno, std::generic_category(), "cannot start a worker");
    thread_ = reinterpret_cast<void*>(handle);
    const DWORD_PTR elsewhere = start->allowed & ~Bit(::GetCurrentProcessorNumber());
    start->narrowed = elsewhere != 0 && elsewhere != start->allowed &&
                      ::SetThreadAffinityMask(static_cast<HANDLE>(thread_), elsewhere) != 0;
    start.release();  // now the thread's
    ::ResumeThread(static_cast<HANDLE>(thread_));
}

WorkerThread::~WorkerThread() {
    ::WaitForSingleObject(static_cast<HANDLE>(thread_), INFINITE);
    ::CloseHandle(static_cast<HANDLE>(thread_));
}

ProcessorShare::ProcessorShare(unsigned workers) : creator_(::GetCurrentThreadId()) {
    allowed_ = AllowedProcessors();
    sharing_ = workers > 1 && static_cast<unsigned>(std::popcount(allowed_)) >= workers;
}

ProcessorShare::~ProcessorShare() {
    if (creatorKept_) ::SetThreadAffinityMask(::GetCurrentThread(), static_cast<DWORD_PTR>(allowed_));
}

void ProcessorShare::Keep() {
    if (!sharing_) return;
    uint64_t cpu = Bit(::GetCurrentProcessorNumber());
    {
        std::lock_guard lock(mutex_);
        if (!(allowed_ & cpu) || (taken_ & cpu)) {
            const uint64_t free = allowed_ & ~taken_;
            if (free == 0) return;  // more callers than workers: this one moves as usual
            cpu = free & (~free + 1);
        }
        taken_ |= cpu;
    }
    if (::SetThreadAffinityMask(::GetCurrentThread(), static_cast<DWORD_PTR>(cpu)) != 0 &&
        ::GetCurrentThreadId() == creator_)
        creatorKept_ = true;
}

}  // namespace tarvex
