// libFuzzer harness of the LAS/LAZ reader: each input is written to a file, opened and read to
// the end record by record, then once more chunk by chunk on two threads; both readings must
// deliver the same records and end with the same message. The tests replay the seeds
// (fuzz_seeds). To fuzz it, from the repository root (tests/support/README.md, "Fuzzing"):
//
//   CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DTW_FUZZ=ON
//   cmake --build build-fuzz --target tw_laz_fuzz_run     # TW_FUZZ_SECONDS, 60 s
//
// A reader that allocates without bound runs into libFuzzer's memory limit (2 GiB).

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

#include "laz/OrderedChunks.h"
#include "laz/Reader.h"
#include "support/FuzzInputFile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fuzzsupport::InputFile input(data, size, ".laz");
    if (!input.written())
        return 0;
    laz::Reader reader(input.path());
    std::vector<std::uint8_t> record(
        static_cast<std::size_t>(std::max(reader.header().recordLength, 1)));
    std::uint64_t n = 0;
    std::uint64_t sum = 0;
    while (n < 5'000'000 && reader.readPoint(record.data())) {
        ++n;
        sum += record[0];
    }
    if (!reader.ok() || n == 5'000'000) {
        return 0;
    }
    // Records and byte sums of the pieces, counted when taken, in file order.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> slots(laz::slotCount(2));
    std::uint64_t chunked = 0;
    std::uint64_t chunkedSum = 0;
    const auto length = static_cast<std::size_t>(reader.header().recordLength);
    const laz::PieceHandlers handlers{[&](std::span<const std::uint8_t> records, std::size_t slot) {
                                          std::uint64_t s = 0;
                                          for (std::size_t i = 0; i < records.size(); i += length) {
                                              s += records[i];
                                          }
                                          slots[slot] = {records.size() / length, s};
                                      },
                                      [&](std::size_t slot) {
                                          chunked += slots[slot].first;
                                          chunkedSum += slots[slot].second;
                                          return true;
                                      }};
    const std::string error = laz::readChunksInOrder(reader, 2, handlers);
    if (chunked != n || chunkedSum != sum || error != reader.error()) {
        std::abort();  // the two readings disagree
    }
    return 0;
}
