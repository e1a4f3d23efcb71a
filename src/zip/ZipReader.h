#pragma once
// Read-only access to a ZIP archive on disk (Zip64 included), on libzip. Every operation reports
// failure through its result and a Polish message; nothing here throws on bad input. Extraction
// into memory is bounded, so a forged or huge uncompressed size cannot exhaust memory.
//
// One ZipReader holds the archive open until it is destroyed; it must not be used by two threads
// at once (separate readers of the same file may).

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct zip;

class ZipReader {
public:
    // Default bound of a whole entry extracted into memory.
    static constexpr std::uint64_t kDefaultExtractLimit = 512ull << 20;
    // Size of the pieces in which an entry is decompressed.
    static constexpr std::size_t kChunkBytes = 64 * 1024;

    struct Entry {
        std::uint64_t index = 0;
        std::string name;  // as stored in the archive, folder part included, bytes unconverted
        std::uint64_t size = 0;            // uncompressed, as the archive declares it
        std::uint64_t compressedSize = 0;  // as the archive declares it
        bool isDirectory = false;
    };

    enum class NameMatch { exact, ignoreCase };

    // Receives each decompressed piece in order; returning false stops the extraction.
    using ChunkSink = std::function<bool(std::string_view chunk)>;

    // Opens the archive; on failure returns nothing and sets error.
    static std::optional<ZipReader> open(const std::string& path, std::string& error);

    ZipReader(ZipReader&&) noexcept;
    ZipReader& operator=(ZipReader&&) noexcept;
    ~ZipReader();

    std::uint64_t entryCount() const;
    // The entry's information; nothing when it cannot be read.
    std::optional<Entry> entry(std::uint64_t index) const;
    // Every readable entry, in archive order.
    std::vector<Entry> entries() const;
    // Index of the first entry with that name (ASCII case folded when asked); nothing when absent.
    std::optional<std::uint64_t> find(std::string_view name, NameMatch match) const;

    // Up to maxBytes bytes from the start of the decompressed entry; fewer when the entry is
    // shorter. Nothing (and error set) when the extraction cannot start or the data is corrupt.
    std::optional<std::string> readHead(std::uint64_t index, std::size_t maxBytes,
                                        std::string& error) const;
    // The whole decompressed entry; nothing (and error set) when it cannot be read, when it is
    // larger than limit, or when its data does not match the declared size.
    std::optional<std::string> extract(std::uint64_t index, std::string& error,
                                       std::uint64_t limit = kDefaultExtractLimit) const;
    std::optional<std::string> extract(std::string_view name, NameMatch match, std::string& error,
                                       std::uint64_t limit = kDefaultExtractLimit) const;
    // Decompresses the entry piece by piece into sink. True when the whole entry was delivered;
    // false with error set on a read fault, and false with an empty error when the sink stopped.
    bool stream(std::uint64_t index, const ChunkSink& sink, std::string& error) const;

private:
    struct Closer {
        void operator()(zip* archive) const;
    };
    explicit ZipReader(zip* archive);

    std::unique_ptr<zip, Closer> archive_;
};
