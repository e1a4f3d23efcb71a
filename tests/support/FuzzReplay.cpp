// Runs a libFuzzer harness (LLVMFuzzerTestOneInput) once on every file named, or found in a folder
// named, in name order: the seeds of a fuzz target as a test of every build, without libFuzzer.
// A harness that finds a fault stops the program; otherwise it prints how many inputs it ran
// and exits with 0, or with 1 when there was none.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

std::vector<std::filesystem::path> inputsOf(const std::filesystem::path& named) {
    if (!std::filesystem::is_directory(named))
        return {named};
    std::vector<std::filesystem::path> found;
    for (const auto& entry : std::filesystem::directory_iterator(named)) {
        if (entry.is_regular_file())
            found.push_back(entry.path());
    }
    std::sort(found.begin(), found.end());
    return found;
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t ran = 0;
    for (int i = 1; i < argc; ++i) {
        for (const std::filesystem::path& path : inputsOf(argv[i])) {
            std::ifstream file(path, std::ios::binary);
            const std::string bytes((std::istreambuf_iterator<char>(file)),
                                    std::istreambuf_iterator<char>());
            std::printf("%s\n", path.filename().c_str());
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                   bytes.size());
            ++ran;
        }
    }
    std::printf("%zu inputs replayed\n", ran);
    return ran > 0 ? 0 : 1;
}
