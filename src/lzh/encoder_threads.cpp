// The second finder's life on its own thread: taking all its memory before it starts, running the
// match finder from its starting point, and being stopped and joined.
#include "lzh/encoder_threads.h"

namespace tarvex::lzh {

SecondFinder::SecondFinder(ByteSpan input)
    : tokens_(input.size() - StartOf(input) + 2), snapshots_((input.size() - StartOf(input)) / kSpacing + 1) {
    const size_t from = StartOf(input);
    finder_.StartAt(input, from);
    nextSave_ = from + kWindowSize;
}

SecondFinder::~SecondFinder() {
    if (thread_.joinable()) {
        stop_.store(true, std::memory_order_relaxed);
        thread_.join();
    }
}

void SecondFinder::Start() {
    thread_ = std::thread([this] {
        finder_.Run(*this);
        Publish(count_ | kFinished);
    });
}

}  // namespace tarvex::lzh
