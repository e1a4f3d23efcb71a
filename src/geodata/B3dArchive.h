#pragma once
// A downloaded 3D building package (a ZIP of CityGML sheets) and its side index: the envelope of
// every sheet, found once and kept in a small text file beside the package, so that later
// fetches read only the sheets that meet their area. The entries that by their names are sheets
// but could not be read are kept by name in both, so that every fetch over the package can tell
// them. The index carries a checksum of its lines, and is compared with the package's entries
// before it is used (a disk or a person may have damaged it). No ZIP handle lives on between
// calls: every operation that reads the package opens it, does its work and closes it.

#include <cstdint>
#include <string>
#include <vector>

#include "geodata/GisTypes.h"

class B3dArchive {
public:
    struct Sheet {
        std::string name;  // the ZIP entry name as stored, folder part included
        double minx = 0.0;
        double miny = 0.0;
        double maxx = 0.0;
        double maxy = 0.0;
    };

    // Decompressed bytes of a sheet's beginning read while indexing; a well-formed sheet holds
    // its envelope there.
    static constexpr std::size_t kHeadBytes = 8192;
    // Largest sheet extracted into memory.
    static constexpr std::uint64_t kMaxSheetBytes = 512ull << 20;
    // Largest side index read: some 800 000 lines, far beyond any county's sheets. A larger file
    // is damaged, and is not read into memory.
    static constexpr std::uintmax_t kMaxIndexBytes = 64ull << 20;

    // The side index path of a package: the package path with ".idx" appended.
    static std::string indexPathFor(const std::string& zipPath);

    // Checks that the file opens as a ZIP archive. Success remembers the path and empties the
    // sheet lists; failure leaves them as they were and sets error.
    bool open(const std::string& zipPath, std::string& error);

    // The sheet list from the envelopes of the package's entries, in entry order, and the entries
    // named as sheets (".gml", ".xml") that give none: their data does not decompress or is no
    // CityGML sheet. An XML entry that reads and holds no city model is another document of the
    // package, as its metadata, and no sheet. False with error set when the package cannot be
    // opened or no entry gives an envelope.
    bool buildIndex(std::string& error);

    // Writes the side index, complete or not at all: under a temporary name renamed when done.
    // False when it cannot be written, or when a sheet name holds a tab or a line break, which
    // the file cannot carry (the package is then indexed again at its next use). The unreadable
    // sheets are kept in it too, and its first line carries the SHA-1 of the lines after it.
    bool saveIndex(const std::string& indexPath) const;

    // Reads a side index (its first line begins with "B3DIDX1", at most kMaxIndexBytes long).
    // True when it gave at least one sheet; its sheets and unreadable sheets then replace both
    // lists; otherwise they stay as they were. A line that gives no sheet (no TAB, fewer than four
    // numbers, a box whose minimum lies beyond its maximum) is skipped.
    bool loadIndex(const std::string& indexPath);

    // Whether the lists are whole as far as the index can tell: the package was indexed by
    // buildIndex, or the side index loaded is of the current form, its checksum agrees with its
    // lines and every line of it gave a sheet or an unreadable sheet. An index of an older form
    // may leave a damaged sheet out without a word, and a damaged one may leave out any sheet:
    // the package is then worth indexing again.
    bool indexWhole() const { return indexWhole_; }

    // Whether the lists describe the package: every name listed is a file entry of it, every
    // entry that is a GML sheet by its name is listed (as a sheet or unreadable) as often as the
    // package holds it, and every sheet listed as unreadable still gives no envelope. Reads the
    // package's entry list, and the sheets listed as unreadable again: a damaged sheet fails at
    // once, a sound one that a wrong line marks is found. False when the package cannot be read.
    bool agreesWithPackage() const;

    // Names of the sheets whose box meets box (touching counts), in sheet-list order.
    std::vector<std::string> entriesFor(const Bbox& box) const;

    // The whole decompressed sheet; "" when the package cannot be opened or the entry cannot be
    // found (the name compared exactly) or extracted.
    std::string readEntry(const std::string& name) const;

    const std::string& zipPath() const { return zipPath_; }
    const std::vector<Sheet>& sheets() const { return sheets_; }
    // The entries named as sheets that gave no envelope, in entry order when built.
    const std::vector<std::string>& unreadable() const { return unreadable_; }

private:
    std::string zipPath_;
    std::vector<Sheet> sheets_;
    std::vector<std::string> unreadable_;
    bool indexWhole_ = false;
};
