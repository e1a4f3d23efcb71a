#include "geodata/B3dArchive.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <unordered_map>

#include "geodata/CityGmlReader.h"
#include "geodata/NameMatch.h"
#include "geodata/NumberText.h"
#include "geodata/Sha1.h"
#include "zip/ZipReader.h"

namespace {

// What the first line of an index begins with; anything after it on the line is free.
constexpr std::string_view kIndexMagic = "B3DIDX1";
// The first line this build writes begins with this, followed by the SHA-1 of every byte after
// that line. The older forms still load but are not whole: "B3DIDX1" alone was written before
// the unreadable sheets were kept, so it may have left a damaged sheet out without a word;
// "B3DIDX1 2" kept them but carried no checksum, so nothing showed lines it had lost. Readers of
// the first form read this one too and skip its unreadable sheets' lines.
constexpr std::string_view kIndexForm = "B3DIDX1 3 ";
constexpr std::size_t kDigestLength = 40;
// An unreadable sheet's line holds this after its name and TAB instead of the four numbers.
constexpr std::string_view kNoEnvelope = "-";
constexpr std::string_view kCannotOpen = "Nie mozna otworzyc paczki modeli 3D: ";

// The first bytes of an entry; nothing when its data does not decompress.
std::optional<std::string> headOf(const ZipReader& zip, const ZipReader::Entry& entry) {
    std::string unused;
    return zip.readHead(entry.index, B3dArchive::kHeadBytes, unused);
}

// The envelope of one entry whose first bytes are head: from them, or from the whole entry when
// the envelope stands further in. Nothing when the entry is not a readable CityGML sheet.
std::optional<Bbox> envelopeOf(const ZipReader& zip, const ZipReader::Entry& entry,
                               const std::optional<std::string>& head) {
    if (!head)
        return std::nullopt;
    Bbox box;
    bool found = CityGmlReader::parseEnvelope(*head, box);
    if (!found && head->size() == B3dArchive::kHeadBytes) {
        std::string unused;
        const auto whole = zip.extract(entry.index, unused, B3dArchive::kMaxSheetBytes);
        found = whole && CityGmlReader::parseEnvelope(*whole, box);
    }
    if (!found)
        return std::nullopt;
    // Corners given the wrong way round still bound the sheet.
    return Bbox{std::min(box.minx, box.maxx), std::min(box.miny, box.maxy),
                std::max(box.minx, box.maxx), std::max(box.miny, box.maxy)};
}

bool isGmlName(const std::string& name) {
    return namematch::asciiLower(name).ends_with(".gml");
}

// Whether an entry that gave no envelope was meant as a sheet: a GML entry always, an XML entry
// unless it reads and holds no city model (then it is another document, as the metadata).
bool meantAsSheet(const std::string& name, const std::optional<std::string>& head) {
    if (isGmlName(name))
        return true;
    return namematch::asciiLower(name).ends_with(".xml") &&
           (!head || head->find("CityModel") != std::string::npos);
}

std::string indexText(const std::vector<B3dArchive::Sheet>& sheets,
                      const std::vector<std::string>& unreadable) {
    std::string text;
    for (const B3dArchive::Sheet& s : sheets) {
        text += s.name;
        for (const double v : {s.minx, s.miny, s.maxx, s.maxy}) {
            text += '\t';
            text += numbertext::fixed(v, 3);
        }
        text += '\n';
    }
    for (const std::string& name : unreadable) {
        text += name;
        text += '\t';
        text += kNoEnvelope;
        text += '\n';
    }
    return std::string(kIndexForm) + sha1Hex(text) + '\n' + text;
}

// Whether the first line of an index is of the current form and its checksum is that of the
// lines after it.
bool checksumAgrees(std::string_view header, std::string_view lines) {
    if (!header.starts_with(kIndexForm))
        return false;
    const std::string_view digest = header.substr(kIndexForm.size());
    return digest.size() == kDigestLength && digest == sha1Hex(lines);
}

bool fitsIndex(const std::string& name) {
    return name.find_first_of("\t\n") == std::string::npos;
}

bool writeFile(const std::string& path, const std::string& text) {
    const std::unique_ptr<std::FILE, int (*)(std::FILE*)> file(std::fopen(path.c_str(), "wb"),
                                                               &std::fclose);
    if (!file)
        return false;
    const bool written = std::fwrite(text.data(), 1, text.size(), file.get()) == text.size();
    return std::fflush(file.get()) == 0 && written;
}

// One index line: a name, a TAB, four numbers separated by whitespace, the minimum of each axis
// not beyond its maximum.
std::optional<B3dArchive::Sheet> parseIndexLine(std::string_view line) {
    const std::size_t tab = line.find('\t');
    if (tab == std::string_view::npos)
        return std::nullopt;
    B3dArchive::Sheet sheet{std::string(line.substr(0, tab))};
    const char* p = line.data() + tab + 1;
    const char* const end = line.data() + line.size();
    for (double* v : {&sheet.minx, &sheet.miny, &sheet.maxx, &sheet.maxy}) {
        if (!citygml::readNumber(p, end, *v))
            return std::nullopt;
    }
    if (sheet.minx > sheet.maxx || sheet.miny > sheet.maxy)
        return std::nullopt;
    return sheet;
}

// The name on an unreadable sheet's line; nothing for any other line.
std::optional<std::string> unreadableOf(std::string_view line) {
    const std::size_t tab = line.find('\t');
    if (tab == std::string_view::npos || line.substr(tab + 1) != kNoEnvelope)
        return std::nullopt;
    return std::string(line.substr(0, tab));
}

// The file's text; nothing when it cannot be read or is longer than maxBytes.
std::optional<std::string> readFile(const std::string& path, std::uintmax_t maxBytes) {
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec || size > maxBytes)
        return std::nullopt;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream text;
    text << in.rdbuf();
    return std::move(text).str();
}

}  // namespace

std::string B3dArchive::indexPathFor(const std::string& zipPath) {
    return zipPath + ".idx";
}

bool B3dArchive::open(const std::string& zipPath, std::string& error) {
    std::string zipError;
    if (!ZipReader::open(zipPath, zipError)) {
        error = std::string(kCannotOpen) + zipPath;
        return false;
    }
    zipPath_ = zipPath;
    sheets_.clear();
    unreadable_.clear();
    indexWhole_ = false;
    return true;
}

bool B3dArchive::buildIndex(std::string& error) {
    std::string zipError;
    const auto zip = ZipReader::open(zipPath_, zipError);
    if (!zip) {
        error = std::string(kCannotOpen) + zipPath_;
        return false;
    }
    sheets_.clear();
    unreadable_.clear();
    indexWhole_ = true;
    const std::uint64_t count = zip->entryCount();
    for (std::uint64_t i = 0; i < count; ++i) {
        const auto entry = zip->entry(i);
        if (!entry || entry->isDirectory)
            continue;
        const auto head = headOf(*zip, *entry);
        const auto box = envelopeOf(*zip, *entry, head);
        if (box)
            sheets_.push_back({entry->name, box->minx, box->miny, box->maxx, box->maxy});
        else if (meantAsSheet(entry->name, head))
            unreadable_.push_back(entry->name);
    }
    if (sheets_.empty()) {
        error = "Paczka modeli 3D nie zawiera czytelnych arkuszy.";
        return false;
    }
    return true;
}

bool B3dArchive::saveIndex(const std::string& indexPath) const {
    const auto fits = [](const Sheet& sheet) { return fitsIndex(sheet.name); };
    if (!std::ranges::all_of(sheets_, fits) || !std::ranges::all_of(unreadable_, fitsIndex))
        return false;
    // ".part" like the cache's own partial files, so a left-over one is swept away.
    const std::string partPath = indexPath + ".part";
    std::error_code ec;
    if (!writeFile(partPath, indexText(sheets_, unreadable_))) {
        std::filesystem::remove(partPath, ec);
        return false;
    }
    std::filesystem::rename(partPath, indexPath, ec);
    if (!ec)
        return true;
    std::filesystem::remove(partPath, ec);
    return false;
}

bool B3dArchive::loadIndex(const std::string& indexPath) {
    const auto text = readFile(indexPath, kMaxIndexBytes);
    if (!text || !text->starts_with(kIndexMagic))
        return false;
    std::vector<Sheet> loaded;
    std::vector<std::string> unreadable;
    std::string_view rest(*text);
    const std::string_view header = rest.substr(0, rest.find('\n'));
    rest.remove_prefix(header.size());
    const std::string_view lines = rest.empty() ? rest : rest.substr(1);
    bool everyLineRead = true;
    while (!rest.empty()) {
        rest.remove_prefix(1);  // the LF ending the previous line
        const std::string_view line = rest.substr(0, rest.find('\n'));
        rest.remove_prefix(line.size());
        if (auto name = unreadableOf(line))
            unreadable.push_back(std::move(*name));
        else if (auto sheet = parseIndexLine(line))
            loaded.push_back(std::move(*sheet));
        else if (!line.empty())
            everyLineRead = false;
    }
    if (loaded.empty())
        return false;
    sheets_ = std::move(loaded);
    unreadable_ = std::move(unreadable);
    indexWhole_ = everyLineRead && checksumAgrees(header, lines);
    return true;
}

bool B3dArchive::agreesWithPackage() const {
    std::string error;
    const auto zip = ZipReader::open(zipPath_, error);
    if (!zip)
        return false;
    // A package may hold several entries of one name: names are counted, not only found.
    std::vector<ZipReader::Entry> files = zip->entries();
    std::erase_if(files, [](const ZipReader::Entry& entry) { return entry.isDirectory; });
    // The file entries by name, and how many of each the lists have not named yet.
    std::unordered_map<std::string, int> unnamed;
    for (const ZipReader::Entry& entry : files)
        ++unnamed[entry.name];
    const auto name = [&unnamed](const std::string& listed) {
        const auto found = unnamed.find(listed);
        return found != unnamed.end() && found->second-- > 0;
    };
    const auto sheetName = [&name](const Sheet& sheet) { return name(sheet.name); };
    if (!std::ranges::all_of(sheets_, sheetName) || !std::ranges::all_of(unreadable_, name))
        return false;
    for (const auto& [entryName, left] : unnamed) {
        if (left > 0 && isGmlName(entryName))
            return false;
    }
    // The entries listed as unreadable by name, and how many of each are still to be found
    // giving no envelope.
    std::unordered_map<std::string, int> marked;
    for (const std::string& listed : unreadable_)
        ++marked[listed];
    for (const ZipReader::Entry& entry : files) {
        const auto left = marked.find(entry.name);
        if (left != marked.end() && left->second > 0 &&
            !envelopeOf(*zip, entry, headOf(*zip, entry)))
            --left->second;
    }
    return std::ranges::all_of(marked, [](const auto& left) { return left.second == 0; });
}

std::vector<std::string> B3dArchive::entriesFor(const Bbox& box) const {
    std::vector<std::string> names;
    for (const Sheet& sheet : sheets_) {
        if (citygml::boxesMeet({sheet.minx, sheet.miny, sheet.maxx, sheet.maxy}, box)) {
            names.push_back(sheet.name);
        }
    }
    return names;
}

std::string B3dArchive::readEntry(const std::string& name) const {
    std::string error;
    const auto zip = ZipReader::open(zipPath_, error);
    if (!zip)
        return {};
    auto text = zip->extract(name, ZipReader::NameMatch::exact, error, kMaxSheetBytes);
    return text ? std::move(*text) : std::string();
}
