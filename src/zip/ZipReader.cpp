#include "zip/ZipReader.h"

#include <zip.h>

#include <algorithm>

#include <utility>

namespace {

// The reason behind a libzip error code, in the user's words.
std::string describe(int code) {
    switch (code) {
        case ZIP_ER_NOENT:
        case ZIP_ER_OPEN:
        case ZIP_ER_READ:
        case ZIP_ER_SEEK:
            return "nie mozna odczytac pliku";
        case ZIP_ER_NOZIP:
            return "plik nie jest archiwum ZIP";
        case ZIP_ER_MULTIDISK:
            return "archiwum wieloczesciowe nie jest obslugiwane";
        case ZIP_ER_MEMORY:
            return "brak pamieci";
        case ZIP_ER_COMPNOTSUPP:
            return "nieobslugiwana metoda kompresji";
        case ZIP_ER_ENCRNOTSUPP:
        case ZIP_ER_NOPASSWD:
        case ZIP_ER_WRONGPASSWD:
            return "wpis jest zaszyfrowany";
        case ZIP_ER_CRC:
            return "niezgodna suma kontrolna";
        default:
            return "archiwum jest uszkodzone";
    }
}

std::string entryLabel(zip* archive, std::uint64_t index) {
    const char* name = zip_get_name(archive, index, ZIP_FL_ENC_RAW);
    return name != nullptr ? std::string(name) : "#" + std::to_string(index);
}

// One entry opened for decompression; closed when it goes out of scope.
class EntryFile {
public:
    EntryFile(zip* archive, std::uint64_t index) : file_(zip_fopen_index(archive, index, 0)) {
        if (!file_)
            openError_ = zip_error_code_zip(zip_get_error(archive));
    }
    EntryFile(const EntryFile&) = delete;
    EntryFile& operator=(const EntryFile&) = delete;
    ~EntryFile() {
        if (file_)
            zip_fclose(file_);
    }

    bool isOpen() const { return file_ != nullptr; }
    int openError() const { return openError_; }

    // Bytes read into buffer, 0 at the end of the data, -1 on a fault (see readError).
    std::int64_t read(char* buffer, std::size_t capacity) {
        return zip_fread(file_, buffer, capacity);
    }
    int readError() const { return zip_error_code_zip(zip_file_get_error(file_)); }

private:
    zip_file_t* file_;
    int openError_ = ZIP_ER_OK;
};

std::string cannotOpenEntry(zip* archive, std::uint64_t index, int code) {
    return "Nie mozna rozpakowac wpisu ZIP " + entryLabel(archive, index) + " (" + describe(code) +
           ").";
}

std::string readFault(zip* archive, std::uint64_t index, int code) {
    return "Blad rozpakowania wpisu ZIP " + entryLabel(archive, index) + " (" + describe(code) +
           ").";
}

std::string sizeMismatch(zip* archive, std::uint64_t index) {
    return "Wpis ZIP " + entryLabel(archive, index) +
           " jest uszkodzony (rozmiar danych niezgodny z naglowkiem).";
}

std::string tooLarge(zip* archive, std::uint64_t index, std::uint64_t size, std::uint64_t limit) {
    return "Wpis ZIP " + entryLabel(archive, index) + " jest za duzy do rozpakowania (" +
           std::to_string(size) + " B, limit " + std::to_string(limit) + " B).";
}

bool isDirectoryEntry(zip* archive, std::uint64_t index, std::string_view name) {
    constexpr std::uint32_t kDosDirectoryBit = 0x10;
    if (!name.empty() && name.back() == '/')
        return true;
    zip_uint8_t system = 0;
    zip_uint32_t attributes = 0;
    if (zip_file_get_external_attributes(archive, index, 0, &system, &attributes) != 0) {
        return false;
    }
    return (attributes & kDosDirectoryBit) != 0;
}

}  // namespace

void ZipReader::Closer::operator()(zip* archive) const {
    zip_discard(archive);
}

ZipReader::ZipReader(zip* archive) : archive_(archive) {}
ZipReader::ZipReader(ZipReader&&) noexcept = default;
ZipReader& ZipReader::operator=(ZipReader&&) noexcept = default;
ZipReader::~ZipReader() = default;

std::optional<ZipReader> ZipReader::open(const std::string& path, std::string& error) {
    int code = ZIP_ER_OK;
    zip* archive = zip_open(path.c_str(), ZIP_RDONLY, &code);
    if (archive == nullptr) {
        error = "Nie mozna otworzyc archiwum ZIP " + path + " (" + describe(code) + ").";
        return std::nullopt;
    }
    return ZipReader(archive);
}

std::uint64_t ZipReader::entryCount() const {
    const zip_int64_t count = zip_get_num_entries(archive_.get(), 0);
    return count > 0 ? static_cast<std::uint64_t>(count) : 0;
}

std::optional<ZipReader::Entry> ZipReader::entry(std::uint64_t index) const {
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(archive_.get(), index, ZIP_FL_ENC_RAW, &st) != 0)
        return std::nullopt;
    constexpr zip_uint64_t kNeeded = ZIP_STAT_NAME | ZIP_STAT_SIZE | ZIP_STAT_COMP_SIZE;
    if ((st.valid & kNeeded) != kNeeded || st.name == nullptr)
        return std::nullopt;
    Entry e;
    e.index = index;
    e.name = st.name;
    e.size = st.size;
    e.compressedSize = st.comp_size;
    e.isDirectory = isDirectoryEntry(archive_.get(), index, e.name);
    return e;
}

std::vector<ZipReader::Entry> ZipReader::entries() const {
    std::vector<Entry> list;
    const std::uint64_t count = entryCount();
    for (std::uint64_t i = 0; i < count; ++i) {
        if (auto e = entry(i))
            list.push_back(std::move(*e));
    }
    return list;
}

std::optional<std::uint64_t> ZipReader::find(std::string_view name, NameMatch match) const {
    if (name.find('\0') != std::string_view::npos)
        return std::nullopt;
    const zip_flags_t flags = ZIP_FL_ENC_RAW | (match == NameMatch::ignoreCase ? ZIP_FL_NOCASE : 0);
    const zip_int64_t index = zip_name_locate(archive_.get(), std::string(name).c_str(), flags);
    if (index < 0)
        return std::nullopt;
    return static_cast<std::uint64_t>(index);
}

std::optional<std::string> ZipReader::readHead(std::uint64_t index, std::size_t maxBytes,
                                               std::string& error) const {
    EntryFile file(archive_.get(), index);
    if (!file.isOpen()) {
        error = cannotOpenEntry(archive_.get(), index, file.openError());
        return std::nullopt;
    }
    std::string head(maxBytes, '\0');
    std::size_t filled = 0;
    while (filled < maxBytes) {
        const std::int64_t got = file.read(head.data() + filled, maxBytes - filled);
        if (got < 0) {
            error = readFault(archive_.get(), index, file.readError());
            return std::nullopt;
        }
        if (got == 0)
            break;
        filled += static_cast<std::size_t>(got);
    }
    head.resize(filled);
    return head;
}

std::optional<std::string> ZipReader::extract(std::uint64_t index, std::string& error,
                                              std::uint64_t limit) const {
    const auto info = entry(index);
    if (!info) {
        error = cannotOpenEntry(archive_.get(), index, ZIP_ER_INCONS);
        return std::nullopt;
    }
    if (info->size > limit) {
        error = tooLarge(archive_.get(), index, info->size, limit);
        return std::nullopt;
    }
    // Memory grows with the data that actually arrives, not with a size that may be forged.
    constexpr std::uint64_t kTrustedReserve = 16ull << 20;
    std::string data;
    data.reserve(static_cast<std::size_t>(std::min(info->size, kTrustedReserve)));
    const bool whole = stream(
        index,
        [&](std::string_view chunk) {
            if (data.size() + chunk.size() > info->size)
                return false;
            data.append(chunk);
            return true;
        },
        error);
    if (!whole || data.size() != info->size) {
        if (error.empty())
            error = sizeMismatch(archive_.get(), index);
        return std::nullopt;
    }
    return data;
}

std::optional<std::string> ZipReader::extract(std::string_view name, NameMatch match,
                                              std::string& error, std::uint64_t limit) const {
    const auto index = find(name, match);
    if (!index) {
        error = "Brak wpisu " + std::string(name) + " w archiwum ZIP.";
        return std::nullopt;
    }
    return extract(*index, error, limit);
}

bool ZipReader::stream(std::uint64_t index, const ChunkSink& sink, std::string& error) const {
    error.clear();
    EntryFile file(archive_.get(), index);
    if (!file.isOpen()) {
        error = cannotOpenEntry(archive_.get(), index, file.openError());
        return false;
    }
    std::string buffer(kChunkBytes, '\0');
    for (;;) {
        const std::int64_t got = file.read(buffer.data(), buffer.size());
        if (got < 0) {
            error = readFault(archive_.get(), index, file.readError());
            return false;
        }
        if (got == 0)
            return true;
        if (!sink(std::string_view(buffer.data(), static_cast<std::size_t>(got))))
            return false;
    }
}
