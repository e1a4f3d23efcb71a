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

// The number of every chunk's first piece, and after the last chunk the number of pieces.
std::vector<std::uint64_t> firstPieces(const std::vector<Chunk>& chunks) {
    std::vector<std::uint64_t> first(chunks.size() + 1, 0);
    for (std::size_t i = 0; i < chunks.size(); ++i) {
        first[i + 1] = first[i] + (chunks[i].points + kPieceRecords - 1) / kPieceRecords;
    }
    return first;
}

// Decodes chunks piece by piece on one thread.
class PieceMaker {
public:
    explicit PieceMaker(const Reader& reader)
        : cursor_(reader), length_(static_cast<std::size_t>(reader.header().recordLength)) {}

    // Hands every piece of chunk i, numbered from firstPiece, to emit(piece, records, error),
    // which returns false to stop. Returns false when emit stopped or the chunk is damaged
    // (its last piece then carries the message).
    template <typename Emit>
    bool make(std::size_t i, std::uint64_t firstPiece, Emit emit) {
        if (!cursor_.open(i)) {
            emit(firstPiece, std::span<const std::uint8_t>{}, cursor_.error());
            return false;
        }
        for (std::uint64_t piece = firstPiece; cursor_.left() > 0; ++piece) {
            const auto n =
                static_cast<std::size_t>(std::min<std::uint64_t>(kPieceRecords, cursor_.left()));
            records_.resize(n * length_);
            const std::size_t got = cursor_.read(records_.data(), n);
            if (!emit(piece, std::span<const std::uint8_t>(records_.data(), got * length_),
                      cursor_.error()) ||
                cursor_.failed()) {
                return false;
            }
        }
        return true;
    }

private:
    ChunkCursor cursor_;
    std::size_t length_;
    std::vector<std::uint8_t> records_;
};

std::string readOnThisThread(const Reader& reader, const PieceHandlers& handlers) {
    PieceMaker maker(reader);
    const auto length = static_cast<std::uint64_t>(reader.header().recordLength);
    std::uint64_t delivered = 0;
    std::string error;
    for (std::size_t i = 0; i < reader.chunks().size(); ++i) {
        const bool whole = maker.make(
            i, 0, [&](std::uint64_t, std::span<const std::uint8_t> records, const std::string& e) {
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
    Pipeline(const Reader& reader, const PieceHandlers& handlers, unsigned threads)
        : reader_(reader),
          handlers_(handlers),
          first_(firstPieces(reader.chunks())),
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
        changed_.notify_all();
    }

    void work() {
        PieceMaker maker(reader_);
        const auto length = static_cast<std::uint64_t>(reader_.header().recordLength);
        for (;;) {
            std::size_t i = 0;
            {
                const std::lock_guard lock(mutex_);
                if (stop_ || nextChunk_ >= reader_.chunks().size()) {
                    return;
                }
                i = nextChunk_++;
            }
            const bool whole = maker.make(
                i, first_[i],
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
            changed_.wait(lock, [&] { return stop_ || number < taken_ + slots_.size(); });
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
        changed_.notify_all();
        return fine;
    }

    std::string takeInOrder() {
        std::uint64_t delivered = 0;
        const std::uint64_t total = first_.back();
        for (std::uint64_t number = 0; number < total; ++number) {
            const std::size_t slot = number % slots_.size();
            Piece piece;
            {
                std::unique_lock lock(mutex_);
                changed_.wait(lock, [&] { return slots_[slot].number == number; });
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
            changed_.notify_all();
            if (!piece.error.empty()) {
                return piece.error;
            }
        }
        return reader_.shortfall(delivered);
    }

    const Reader& reader_;
    const PieceHandlers& handlers_;
    const std::vector<std::uint64_t> first_;
    std::vector<Piece> slots_;
    const unsigned threads_;

    std::mutex mutex_;
    std::condition_variable changed_;
    std::uint64_t taken_ = 0;
    std::size_t nextChunk_ = 0;
    bool stop_ = false;
};

}  // namespace

std::size_t slotCount(unsigned threads) {
    return 2 * static_cast<std::size_t>(std::max(threads, 1u));
}

std::string readChunksInOrder(const Reader& reader, unsigned threads,
                              const PieceHandlers& handlers) {
    if (!reader.ok()) {
        return reader.error();
    }
    const auto workers =
        static_cast<unsigned>(std::min<std::size_t>(threads, reader.chunks().size()));
    if (workers < 2) {
        return readOnThisThread(reader, handlers);
    }
    return Pipeline(reader, handlers, workers).run();
}

}  // namespace laz
