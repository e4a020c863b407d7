// The LZHUF encoder: the match finder's literals and matches coded with the adaptive Huffman code and
// the position code. A large input has its matches found on a second thread while the calling thread
// codes them, and may have those of its second half found on a third.
#include <algorithm>
#include <exception>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include "lzh/bit_writer.h"
#include "lzh/encoder_threads.h"
#include "lzh/lzh.h"
#include "lzh/lzh_constants.h"
#include "lzh/match_finder.h"
#include "lzh/position_code.h"
#include "lzh/symbol_coder.h"

namespace tarvex {

namespace lzh {
namespace {

class LzhEncoder {
public:
    LzhEncoder(Bytes& out, LzhEncodeStats& stats) : bits_(out), stats_(stats), symbols_(bits_, stats) {}

    void Encode(ByteSpan input, bool threads) {
        if (input.empty()) return;
        bits_.Reserve(input.size() + input.size() / 8);
        finder_.StartAtBeginning(input);
        literals_ = matches_ = 0;
        if (!threads || input.size() < kPipelineMinimum || !EncodePipelined(input)) {
            tokens_.reserve(kTokenBatch + 2);
            batch_ = &tokens_;
            finder_.Run(*this);
            CodeTokens(tokens_.data(), tokens_.size());
            literals_ = finder_.Literals();
            matches_ = finder_.Matches();
        }
        bits_.Flush();
        symbols_.Finish();
        stats_.literals = literals_;
        stats_.matches = matches_;
    }

    // As the finder's sink. The literals and matches are found first and coded afterwards, in
    // pieces, so that each of the two loops keeps its own data and branches warm. A match's symbol
    // and position stay in one batch.
    bool AtToken(size_t position) { return position < nextCheck_ || !TakeOver(position); }
    void Literal(uint8_t c) { Put(c); }
    void Match(unsigned length, unsigned position) {
        batch_->push_back(static_cast<uint16_t>(length + kMatchSymbolBias));
        Put(position);
    }

private:
    // Inputs this large are coded while the next tokens are being found on a second thread. From
    // kSecondFinderMinimum on, a further finder may take the second half: where the first kDecideAt
    // bytes have given fewer than one token (literal or match) for every kFewTokens bytes, finding
    // costs more than coding and is worth sharing out; otherwise the coder is the slower part and
    // a third busy thread would only slow it down.
    static constexpr size_t kPipelineMinimum = 64 * 1024;
    static constexpr size_t kSecondFinderMinimum = 256 * 1024;
    static constexpr size_t kDecideAt = 64 * 1024;
    static constexpr size_t kFewTokens = 3;
    static constexpr size_t kPoll = 1024;  // bytes between looks for the second finder's next save
    // Data that repeats whole 60-byte strings keeps parts of the trees in place for long, and then
    // the two finders may never agree; after this many saves that differ, the second one stops.
    static constexpr size_t kMaxDifferences = 8;

    // Returns false, having done nothing, when no thread can be started.
    bool EncodePipelined(ByteSpan input) {
        input_ = input;
        nextCheck_ = input.size() >= kSecondFinderMinimum ? kDecideAt : SIZE_MAX;
        TokenPipe pipe(kTokenBatch + 2);
        pipe_ = &pipe;
        batch_ = pipe.SlotToFill(0);
        std::thread finder;
        try {
            finder = std::thread([this] {
                try {
                    finder_.Run(*this);
                    if (!coderGone_) pipe_->Publish(batches_ + 1, true);
                } catch (...) {
                    pipe_->Fail(std::current_exception(), batches_);
                }
            });
        } catch (const std::system_error&) {
            pipe_ = nullptr;
            nextCheck_ = SIZE_MAX;
            return false;
        }
        {
            // Should coding fail, the finder is stopped; either way it is joined before leaving.
            struct Joiner {
                TokenPipe& pipe;
                std::thread& thread;
                bool finished = false;
                ~Joiner() {
                    if (!finished) pipe.Stop();
                    thread.join();
                }
            } joiner{pipe, finder};
            for (uint64_t k = 0;; ++k) {
                const std::vector<uint16_t>* batch = pipe.Take(k);
                if (batch == nullptr) break;
                CodeTokens(batch->data(), batch->size());
                pipe.Done(k);
            }
            joiner.finished = true;
        }
        pipe_ = nullptr;
        if (pipe.Error()) std::rethrow_exception(pipe.Error());
        literals_ = finder_.Literals();
        matches_ = finder_.Matches();
        if (takenOver_ != nullptr) {
            SecondFinder* const second = second_.get();
            size_t t = takenOver_->tokens;
            for (;;) {
                const uint64_t published = second->WaitBeyond(t);
                const size_t count = published & ~SecondFinder::kFinished;
                CodeTokens(second->Tokens() + t, count - t);
                t = count;
                if (published & SecondFinder::kFinished) break;
            }
            literals_ += second->Literals() - takenOver_->literals;
            matches_ += second->Matches() - takenOver_->matches;
            stats_.takenOverAt = takenOver_->position;
        } else {
            second_.reset();  // stopped and joined
        }
        return true;
    }

    // On the first finder's thread: decides on a second finder at kDecideAt, then compares states at
    // each of its saves reached; where they are the same, the first finder stops and the second
    // finder's tokens from there on follow its own. True where the first finder stops: there, or
    // once the coder has given up.
    bool TakeOver(size_t position) {
        if (coderGone_) return true;
        if (second_ == nullptr) {
            nextCheck_ = SIZE_MAX;
            if ((finder_.Literals() + finder_.Matches()) * kFewTokens >= position) return false;
            try {
                second_ = std::make_unique<SecondFinder>(input_);
                second_->Start();
            } catch (const std::exception&) {
                second_.reset();  // the first finder does it all
                return false;
            }
            nextCheck_ = position + kPoll;
            return false;
        }
        const size_t saved = second_->Saved();
        for (; checked_ < saved; ++checked_) {
            const MatchFinder::Snapshot& snapshot = second_->Save(checked_);
            if (snapshot.position > position) {
                nextCheck_ = snapshot.position;
                return false;
            }
            if (snapshot.position != position) continue;
            if (finder_.SameAs(snapshot)) {
                takenOver_ = &snapshot;
                return true;
            }
            if (++differences_ == kMaxDifferences) {
                second_->Stop();
                nextCheck_ = SIZE_MAX;
                return false;
            }
        }
        nextCheck_ = position + kPoll;
        return false;
    }

    void Put(unsigned token) {
        batch_->push_back(static_cast<uint16_t>(token));
        if (batch_->size() >= kTokenBatch) PassBatch();
    }
    void PassBatch() {
        if (pipe_ == nullptr) {
            CodeTokens(batch_->data(), batch_->size());
            batch_->clear();
            return;
        }
        pipe_->Publish(++batches_);
        batch_ = pipe_->SlotToFill(batches_);
        if (batch_ == nullptr) {
            // The coder has given up (its own failure is on its way out). The finder hands out no
            // token before its next AtToken, which, with nextCheck_ at 0, asks TakeOver and stops it.
            batch_ = &tokens_;
            coderGone_ = true;
            nextCheck_ = 0;
        }
    }
    void CodeTokens(const uint16_t* tokens, size_t count) {
        for (size_t t = 0; t < count; ++t) {
            const unsigned s = tokens[t];
            symbols_.Put(s);
            if (s >= 256) PutPosition(tokens[++t]);
        }
    }

    void PutPosition(unsigned p) {
        const unsigned u = p >> 6;
        const unsigned len = kPositionCode.length[u];
        bits_.Put(len, kPositionCode.leftAligned[u] >> (8 - len));
        bits_.Put(6, p & 0x3F);
    }

    BitWriter bits_;
    LzhEncodeStats& stats_;
    SymbolCoder symbols_;
    size_t literals_ = 0;
    size_t matches_ = 0;
    static constexpr size_t kTokenBatch = 4096;
    // From here on the first finder's own data, apart from the coder's.
    alignas(64) std::vector<uint16_t> tokens_;  // symbols, each match's followed by its position
    std::vector<uint16_t>* batch_ = nullptr;  // the batch being filled: tokens_ or a slot of pipe_
    TokenPipe* pipe_ = nullptr;
    uint64_t batches_ = 0;  // batches handed over
    ByteSpan input_;
    std::unique_ptr<SecondFinder> second_;  // joined when the encoder goes
    size_t checked_ = 0;  // saves of the second finder passed
    size_t differences_ = 0;  // saves compared and found different
    size_t nextCheck_ = SIZE_MAX;  // the next position at which TakeOver has something to do
    bool coderGone_ = false;       // the pipe's slots are no longer taken: the finder stops
    const MatchFinder::Snapshot* takenOver_ = nullptr;
    MatchFinder finder_;
};

}  // namespace
}  // namespace lzh

void LzhEncode(ByteSpan input, Bytes& output, LzhEncodeStats& stats) {
    stats = LzhEncodeStats{};
    if (input.empty()) return;
    auto encoder = std::make_unique<lzh::LzhEncoder>(output, stats);
    encoder->Encode(input, true);
}

void LzhEncodeOnOneThread(ByteSpan input, Bytes& output, LzhEncodeStats& stats) {
    stats = LzhEncodeStats{};
    if (input.empty()) return;
    auto encoder = std::make_unique<lzh::LzhEncoder>(output, stats);
    encoder->Encode(input, false);
}

void LzhEncode(ByteSpan input, Bytes& output) {
    LzhEncodeStats stats;
    LzhEncode(input, output, stats);
}

void LzhEncodeSymbols(std::span<const uint16_t> symbols, Bytes& output, LzhEncodeStats& stats) {
    stats = LzhEncodeStats{};
    lzh::BitWriter bits(output);
    auto coder = std::make_unique<lzh::SymbolCoder>(bits, stats);
    for (uint16_t s : symbols) coder->Put(s < lzh::kSymbols ? s : 0);
    bits.Flush();
    coder->Finish();
}

}  // namespace tarvex
