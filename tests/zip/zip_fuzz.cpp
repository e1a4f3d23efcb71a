// libFuzzer harness of the archive code: the input is written out as a package and read through
// the ZIP layer and the building package archive (entries, heads, bounded extraction, streaming,
// indexing, sheet reading), then read again as a side index. The tests replay the seeds
// (fuzz_seeds). To fuzz it, from the repository root (tests/support/README.md, "Fuzzing"):
//
//   CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DTW_FUZZ=ON
//   cmake --build build-fuzz --target tw_zip_fuzz_run     # TW_FUZZ_SECONDS, 60 s

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "geodata/B3dArchive.h"
#include "geodata/CityGmlLod2Reader.h"
#include "geodata/CityGmlReader.h"
#include "support/FuzzInputFile.h"
#include "zip/ZipReader.h"

namespace {

constexpr std::uint64_t kFuzzExtractLimit = 1 << 20;

void readThroughZipLayer(const std::string& path) {
    std::string error;
    const auto zip = ZipReader::open(path, error);
    if (!zip)
        return;
    for (const ZipReader::Entry& e : zip->entries()) {
        zip->readHead(e.index, 8192, error);
        zip->extract(e.index, error, kFuzzExtractLimit);
        std::size_t streamed = 0;
        zip->stream(
            e.index,
            [&](std::string_view chunk) {
                streamed += chunk.size();
                return streamed < kFuzzExtractLimit;
            },
            error);
        zip->find(e.name, ZipReader::NameMatch::ignoreCase);
    }
}

void readThroughPackage(const std::string& path) {
    B3dArchive archive;
    std::string error;
    if (!archive.open(path, error) || !archive.buildIndex(error))
        return;
    const Bbox everywhere{-1e300, -1e300, 1e300, 1e300};
    for (const std::string& name : archive.entriesFor(everywhere)) {
        const std::string sheet = archive.readEntry(name);
        CityGmlReader::parseSheet(sheet, everywhere);
        CityGmlLod2Reader::parseSheet(sheet, everywhere);
    }
    const std::string indexPath = B3dArchive::indexPathFor(path);
    if (!archive.saveIndex(indexPath))
        return;
    // An index just written reads back whole and agrees with its package, or every later fetch
    // would index the package again.
    B3dArchive reread;
    if (!reread.open(path, error) || !reread.loadIndex(indexPath) || !reread.indexWhole() ||
        !reread.agreesWithPackage() || reread.sheets().size() != archive.sheets().size() ||
        reread.unreadable() != archive.unreadable())
        std::abort();
}

void readAsSideIndex(const std::string& path) {
    B3dArchive archive;
    if (archive.loadIndex(path))
        archive.entriesFor({0, 0, 1000, 1000});
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The package's side index is written beside it.
    const fuzzsupport::InputFile input(data, size, ".zip", {".idx", ".idx.part"});
    if (!input.written())
        return 0;
    readThroughZipLayer(input.path());
    readThroughPackage(input.path());
    readAsSideIndex(input.path());
    return 0;
}
