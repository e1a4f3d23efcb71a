#pragma once
// The parts of the building-package stages that work on plain values: what a progress report of
// a package download says, and how often it may go to the page.

#include <chrono>
#include <optional>
#include <string>

namespace buildingstages {

// One progress report of a package download: the whole percent of the announced size (0 when
// the size is unknown) and the label, the prefix followed by the bytes so far and, when the size
// is known, " / " and the size.
struct PackageProgress {
    int percent = 0;
    std::string label;
};
PackageProgress packageProgress(const std::string& prefix, long long done, long long total);

// Lets a report through when it is the first, when its whole percent differs from that of the
// last report let through, or when 100 ms have passed since then; so a fast download sends at
// most one report per percent and a slow one (or one of unknown size) at most ten a second.
class ProgressThrottle {
public:
    using Clock = std::chrono::steady_clock;
    static constexpr Clock::duration kInterval = std::chrono::milliseconds(100);

    bool due(int percent, Clock::time_point now);

private:
    std::optional<int> lastPercent_;
    Clock::time_point lastTime_;
};

}  // namespace buildingstages
