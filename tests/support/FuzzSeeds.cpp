// Runs a libFuzzer harness (its LLVMFuzzerTestOneInput) once over every file of the folders or
// files named on the command line, in name order, so that the test build and the sanitizer build
// replay the seeds without libFuzzer. Fails when an argument cannot be read or holds no file.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);

namespace {

namespace fs = std::filesystem;

// The files an argument names: itself, or the regular files of the folder, by name.
std::vector<fs::path> filesOf(const fs::path& argument) {
    if (!fs::is_directory(argument))
        return {argument};
    std::vector<fs::path> files;
    for (const fs::directory_entry& entry : fs::directory_iterator(argument)) {
        if (entry.is_regular_file())
            files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    return files;
}

}  // namespace

int main(int argc, char** argv) {
    std::size_t run = 0;
    for (int k = 1; k < argc; ++k) {
        for (const fs::path& file : filesOf(argv[k])) {
            std::ifstream in(file, std::ios::binary);
            if (!in) {
                std::cerr << "cannot read " << file << '\n';
                return 1;
            }
            const std::string bytes{std::istreambuf_iterator<char>(in),
                                    std::istreambuf_iterator<char>()};
            std::cout << file.filename().string() << std::endl;
            LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                   bytes.size());
            ++run;
        }
    }
    std::cout << run << " inputs\n";
    return run > 0 ? 0 : 1;
}
