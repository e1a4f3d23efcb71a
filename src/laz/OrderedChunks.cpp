#include "laz/OrderedChunks.h"

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <limits>
#include <mutex>
#include <thread>
#include <vector>

namespace laz {
namespace {

constexpr std::uint64_t kNoPiece = std::numeric_limits<std::uint64_t>::max();

// Decodes runs of chunks piece by piece on one thread.
class PieceMaker {
public:
    explicit PieceMaker(const Reader& reader)
        : cursor_(reader), length_(static_cast<std::size_t>(reader.header().recordLength)) {}

    // Hands every piece of the run, numbered from its first, to emit(piece, records, error),
    // which returns false to stop. Returns false when emit stopped or a chunk is damaged (the
    // piece of the damage then carries the message, with the records before it).
    template <typename Emit>
    bool make(const Run& run, Emit emit) {
        const auto most =
            static_cast<std::size_t>(std::min<std::uint64_t>(kPieceRecords, run.records));
        records_.resize(std::max(records_.size(), most * length_));
        std::uint64_t piece = run.firstPiece;
        std::size_t held = 0;
        const auto hand = [&](const std::string& error) {
            return emit(piece++, std::span<const std::uint8_t>(records_.data(), held * length_),
                        error);
        };
        for (std::size_t i = run.firstChunk; i < run.endChunk; ++i) {
            if (!cursor_.open(i)) {
                hand(cursor_.error());
                return false;
            }
            while (cursor_.left() > 0) {
                const auto n = static_cast<std::size_t>(
                    std::min<std::uint64_t>(kPieceRecords - held, cursor_.left()));
                held += cursor_.read(records_.data() + held * length_, n);
                if (cursor_.failed()) {
                    hand(cursor_.error());
                    return false;
                }
                if (held == kPieceRecords) {
                    if (!hand({})) {
                        return false;
                    }
                    held = 0;
                }
            }
        }
        return held == 0 || hand({});
    }

private:
    ChunkCursor cursor_;
    std::size_t length_;
    std::vector<std::uint8_t> records_;
};

std::string readOnThisThread(const Reader& reader, const std::vector<Run>& runs,
                             const PieceHandlers& handlers) {
    PieceMaker maker(reader);
    const auto length = static_cast<std::uint64_t>(reader.header().recordLength);
    std::uint64_t delivered = 0;
    std::string error;
    for (std::size_t r = 0; r + 1 < runs.size(); ++r) {
        const bool whole = maker.make(
            runs[r],
            [&](std::uint64_t, std::span<const std::uint8_t> records, const std::string& e) {
                error = e;
                if (records.empty()) {
                    return true;
                }
                handlers.prepare(records, 0);
                delivered += records.size() / length;
                return handlers.take(0);
            });
        if (!whole) {
            return error;
        }
    }
    return reader.shortfall(delivered);
}

// A piece handed from a worker to the calling thread.
struct Piece {
    std::uint64_t number = kNoPiece;
    std::uint64_t records = 0;
    std::string error;
    std::exception_ptr thrown;
};

class Pipeline {
public:
    Pipeline(const Reader& reader, std::vector<Run> runs, const PieceHandlers& handlers,
             unsigned threads)
        : reader_(reader),
          handlers_(handlers),
          runs_(std::move(runs)),
          slots_(slotCount(threads)),
          threads_(threads) {}

    std::string run() {
        std::vector<std::jthread> workers;
        const StopOnExit stopFirst{*this};  // destroyed before the workers are joined
        for (unsigned t = 0; t < threads_; ++t) {
            workers.emplace_back([this] { work(); });
        }
        return takeInOrder();
    }

private:
    struct StopOnExit {
        Pipeline& p;
        ~StopOnExit() { p.stopAll(); }
    };

    void stopAll() {
        {
            const std::lock_guard lock(mutex_);
            stop_ = true;
        }
        slotFreed_.notify_all();
    }

    void work() {
        PieceMaker maker(reader_);
        const auto length = static_cast<std::uint64_t>(reader_.header().recordLength);
        for (;;) {
            std::size_t r = 0;
            {
                const std::lock_guard lock(mutex_);
                if (stop_ || nextRun_ + 1 >= runs_.size()) {
                    return;
                }
                r = nextRun_++;
            }
            const bool whole = maker.make(
                runs_[r],
                [&](std::uint64_t number, std::span<const std::uint8_t> records,
                    const std::string& error) { return hand(number, records, length, error); });
            if (!whole) {
                return;  // nothing after a damaged chunk is taken
            }
        }
    }

    // Waits for the piece's slot to be free, prepares the piece into it and tells the caller.
    bool hand(std::uint64_t number, std::span<const std::uint8_t> records, std::uint64_t length,
              const std::string& error) {
        {
            std::unique_lock lock(mutex_);
            slotFreed_.wait(lock, [&] { return stop_ || number < taken_ + slots_.size(); });
            if (stop_) {
                return false;
            }
        }
        Piece piece{number, records.size() / length, error, nullptr};
        try {
            if (!records.empty()) {
                handlers_.prepare(records, number % slots_.size());
            }
        } catch (...) {
            piece.thrown = std::current_exception();
        }
        const bool fine = !piece.thrown;
        {
            const std::lock_guard lock(mutex_);
            slots_[number % slots_.size()] = std::move(piece);
        }
        pieceReady_.notify_one();
        return fine;
    }

    std::string takeInOrder() {
        std::uint64_t delivered = 0;
        const std::uint64_t total = runs_.back().firstPiece;
        for (std::uint64_t number = 0; number < total; ++number) {
            const std::size_t slot = number % slots_.size();
            Piece piece;
            {
                std::unique_lock lock(mutex_);
                pieceReady_.wait(lock, [&] { return slots_[slot].number == number; });
                piece = std::move(slots_[slot]);
            }
            if (piece.thrown) {
                std::rethrow_exception(piece.thrown);
            }
            if (piece.records > 0 && !handlers_.take(slot)) {
                return {};
            }
            delivered += piece.records;
            {
                const std::lock_guard lock(mutex_);
                taken_ = number + 1;
            }
            slotFreed_.notify_all();
            if (!piece.error.empty()) {
                return piece.error;
            }
        }
        return reader_.shortfall(delivered);
    }

    const Reader& reader_;
    const PieceHandlers& handlers_;
    const std::vector<Run> runs_;
    std::vector<Piece> slots_;
    const unsigned threads_;

    std::mutex mutex_;
    std::condition_variable pieceReady_;  // the calling thread waits for its next piece
    std::condition_variable slotFreed_;   // workers wait for the slot of their piece
    std::uint64_t taken_ = 0;
    std::size_t nextRun_ = 0;
    bool stop_ = false;
};

}  // namespace

std::size_t slotCount(unsigned threads) {
    return 2 * static_cast<std::size_t>(std::max(threads, 1u));
}

std::vector<Run> runsOf(const std::vector<Chunk>& chunks) {
    std::vector<Run> runs;
    Run run;
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        run.records += chunks[i].points;
        if (run.records >= kRunRecords || i + 1 == chunks.size()) {
            run.endChunk = i + 1;
            runs.push_back(run);
            run = {i + 1, i + 1, 0,
                   run.firstPiece + (run.records + kPieceRecords - 1) / kPieceRecords};
        }
    }
    runs.push_back(run);
    return runs;
}

std::string readChunksInOrder(const Reader& reader, unsigned threads,
                              const PieceHandlers& handlers) {
    if (!reader.ok()) {
        return reader.error();
    }
    std::vector<Run> runs = runsOf(reader.chunks());
    const auto workers = static_cast<unsigned>(std::min<std::size_t>(threads, runs.size() - 1));
    if (workers < 2) {
        return readOnThisThread(reader, runs, handlers);
    }
    return Pipeline(reader, std::move(runs), handlers, workers).run();
}

}  // namespace laz
