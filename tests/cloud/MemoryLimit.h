#pragma once
// Runs a piece of work in a child process whose memory may grow by a given number of bytes and
// no more, as on a machine with a memory limit: the private writable memory (heap, anonymous
// maps, thread stacks) that the child holds when forked, plus those bytes, is its limit of data
// (RLIMIT_DATA); more makes an allocation fail. A block taken in advance counts whole, whether
// or not its pages are ever touched. The child also measures how far its resident memory rose.
// Header-only; Linux.

#include <malloc.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <string>

#include "support/PeakMemory.h"

namespace memorylimit {

// What the work said (its text) and how far the child's resident memory rose while it ran;
// `finished` false when the child died or could not be started.
struct Outcome {
    bool finished = false;
    std::string text;
    long peakRiseKb = 0;
};

// A field of /proc/self/status in kB ("VmData", "VmRSS"); -1 when it cannot be read.
inline long statusKb(const std::string& field) {
    std::ifstream in("/proc/self/status");
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(field + ":", 0) == 0)
            return std::stol(line.substr(field.size() + 1));
    }
    return -1;
}

// In the child: the limit set, the work done, the text and the rise written to `out`.
[[noreturn]] inline void runChild(int out, long bytes, const std::function<std::string()>& work) {
    mallopt(M_ARENA_MAX, 1);  // no arena reserved ahead for each new thread
    rlimit limit{};
    getrlimit(RLIMIT_DATA, &limit);
    limit.rlim_cur = static_cast<rlim_t>(statusKb("VmData") * 1024 + bytes);
    peakmemory::reset();
    const long before = statusKb("VmRSS");
    std::string text;
    if (setrlimit(RLIMIT_DATA, &limit) != 0) {
        text = "setrlimit failed";
    } else {
        try {
            text = work();
        } catch (const std::exception& e) {
            text = std::string("exception: ") + e.what();
        }
    }
    const auto peakKb = static_cast<long>(peakmemory::peakMiB() * 1024.0);
    const std::string report = std::to_string(peakKb - before) + "\n" + text;
    std::size_t done = 0;
    while (done < report.size()) {
        const ssize_t n = write(out, report.data() + done, report.size() - done);
        if (n <= 0)
            break;
        done += static_cast<std::size_t>(n);
    }
    _exit(0);
}

inline Outcome run(long bytes, const std::function<std::string()>& work) {
    int channel[2];
    if (pipe(channel) != 0)
        return {};
    std::fflush(nullptr);
    const pid_t child = fork();
    if (child == 0) {
        close(channel[0]);
        runChild(channel[1], bytes, work);
    }
    close(channel[1]);
    std::string report;
    char buffer[4096];
    for (ssize_t n; (n = read(channel[0], buffer, sizeof buffer)) > 0;)
        report.append(buffer, static_cast<std::size_t>(n));
    close(channel[0]);
    int status = 0;
    if (child < 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return {};
    const auto cut = report.find('\n');
    if (cut == std::string::npos)
        return {};
    return {true, report.substr(cut + 1), std::stol(report.substr(0, cut))};
}

}  // namespace memorylimit
