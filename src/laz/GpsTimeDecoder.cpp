#include "laz/GpsTimeDecoder.h"

namespace laz {
namespace {

// Multiplier alphabet: 0 .. kMulti steps ahead, then 1 .. -kMultiMinus steps behind (codes up
// to kMultiSteps), then, point-wise only, "unchanged", then "full time" and the switches to the
// three other sequences.
constexpr std::int32_t kMulti = 500;
constexpr std::int32_t kMultiMinus = -10;
constexpr std::int32_t kMultiSteps = kMulti - kMultiMinus + 1;

// Guards against a damaged stream that switches sequences forever.
constexpr int kMaxSwitches = 8;

std::int32_t times(std::int32_t m, std::int32_t step) {
    return static_cast<std::int32_t>(static_cast<std::uint32_t>(m) *
                                     static_cast<std::uint32_t>(step));
}

}  // namespace

GpsTimeDecoder::GpsTimeDecoder(bool unchangedCode)
    : unchanged_(unchangedCode ? 1 : 0),
      codeFull_(kMultiSteps + unchanged_),
      multi_(static_cast<std::uint32_t>(codeFull_ + 4)),
      zeroDiff_(static_cast<std::uint32_t>(unchanged_ + 5)),
      steps_(32, 9) {}

void GpsTimeDecoder::start(std::uint64_t firstBits) {
    multi_.reset();
    zeroDiff_.reset();
    steps_.reset();
    last_ = next_ = 0;
    for (int i = 0; i < 4; ++i) {
        time_[i] = 0;
        step_[i] = 0;
        extremeCount_[i] = 0;
    }
    time_[0] = firstBits;
}

std::uint64_t GpsTimeDecoder::decode(ArithmeticDecoder& dec) {
    for (int i = 0; i < kMaxSwitches; ++i) {
        const bool done = step_[last_] == 0 ? decodeAfterZeroStep(dec) : decodeAfterStep(dec);
        if (done) {
            break;
        }
    }
    return time_[last_];
}

// Returns false when the code switched to another sequence, whose time is then decoded.
bool GpsTimeDecoder::decodeAfterZeroStep(ArithmeticDecoder& dec) {
    // Codes: [unchanged,] 32-bit step, full time, switch by 1 to 3.
    const auto code = static_cast<std::int32_t>(dec.decodeSymbol(zeroDiff_)) - unchanged_;
    if (code == 0) {
        step_[last_] = steps_.decode(dec, 0, 0);
        time_[last_] += static_cast<std::uint64_t>(static_cast<std::int64_t>(step_[last_]));
        extremeCount_[last_] = 0;
    } else if (code == 1) {
        startSequence(dec);
    } else if (code > 1) {
        last_ = (last_ + static_cast<std::uint32_t>(code - 1)) & 3;
        return false;
    }
    return true;
}

bool GpsTimeDecoder::decodeAfterStep(ArithmeticDecoder& dec) {
    auto multi = static_cast<std::int32_t>(dec.decodeSymbol(multi_));
    const std::int32_t step = step_[last_];
    if (multi == 1) {
        time_[last_] +=
            static_cast<std::uint64_t>(static_cast<std::int64_t>(steps_.decode(dec, step, 1)));
        extremeCount_[last_] = 0;
    } else if (multi < kMultiSteps) {
        std::int32_t diff;
        if (multi == 0) {
            diff = steps_.decode(dec, 0, 7);
            noteExtremeStep(diff);
        } else if (multi < kMulti) {
            diff = steps_.decode(dec, times(multi, step), multi < 10 ? 2 : 3);
        } else if (multi == kMulti) {
            diff = steps_.decode(dec, times(kMulti, step), 4);
            noteExtremeStep(diff);
        } else {
            multi = kMulti - multi;
            if (multi > kMultiMinus) {
                diff = steps_.decode(dec, times(multi, step), 5);
            } else {
                diff = steps_.decode(dec, times(kMultiMinus, step), 6);
                noteExtremeStep(diff);
            }
        }
        time_[last_] += static_cast<std::uint64_t>(static_cast<std::int64_t>(diff));
    } else if (multi == codeFull_) {
        startSequence(dec);
    } else if (multi > codeFull_) {
        last_ = (last_ + static_cast<std::uint32_t>(multi - codeFull_)) & 3;
        return false;
    }
    return true;
}

// A time far from every live sequence: its upper half predicted from the current one, its
// lower half raw; it becomes the newest sequence.
void GpsTimeDecoder::startSequence(ArithmeticDecoder& dec) {
    next_ = (next_ + 1) & 3;
    const auto upper = static_cast<std::uint32_t>(
        steps_.decode(dec, static_cast<std::int32_t>(time_[last_] >> 32), 8));
    time_[next_] = (static_cast<std::uint64_t>(upper) << 32) | dec.readInt();
    last_ = next_;
    step_[last_] = 0;
    extremeCount_[last_] = 0;
}

// A step that keeps falling outside the multiplier range becomes the sequence's new step.
void GpsTimeDecoder::noteExtremeStep(std::int32_t step) {
    if (++extremeCount_[last_] > 3) {
        step_[last_] = step;
        extremeCount_[last_] = 0;
    }
}

}  // namespace laz
