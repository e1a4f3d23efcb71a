#pragma once
// The process's peak resident memory for the benchmarks: read from /proc/self/status (VmHWM) and
// reset through /proc/self/clear_refs, so that one step's peak can be told from the set-up's.
// Namespace `peakmemory`.

#include <fstream>
#include <string>

namespace peakmemory {

// Peak resident memory since the last reset, in MiB; 0 where the system does not tell.
inline double peakMiB() {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind("VmHWM:", 0) == 0)
            return std::stod(line.substr(6)) / 1024.0;
    }
    return 0.0;
}

// Starts a new peak at the present resident memory.
inline void reset() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

}  // namespace peakmemory
