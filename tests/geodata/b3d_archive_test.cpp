#include "geodata/B3dArchive.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <tuple>

#include "builders/CityGmlBuilder.h"
#include "builders/ZipBuilder.h"
#include "geodata/Sha1.h"
#include "loopback/TempDir.h"

namespace {

using namespace citygmltest;

std::string readText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeText(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

// A side index of the current form over its lines, with their checksum.
std::string signedIndex(const std::string& lines) {
    return "B3DIDX1 3 " + sha1Hex(lines) + "\n" + lines;
}

std::string sheetAt(double x, double y, const std::string& id, std::size_t filler = 0) {
    return sheet(member(boxBuilding(id, x + 10, y + 10, x + 20, y + 20, 100, 106)),
                 {x, y, x + 1000, y + 1000}, filler);
}

class B3dArchiveTest : public ::testing::Test {
protected:
    loopback::TempDir dir;
    std::string package = dir.file("1465.zip");

    // Two sheets side by side, a folder, a readme, a sheet whose envelope stands after the first
    // 8192 bytes, an XML file that is no sheet, and a sheet that is no CityGML.
    void writePackage() {
        ASSERT_TRUE(ziptest::writeZip(
            package, {{"1465/", "", true},
                      {"1465/README.txt", "Budynki 3D, powiat 1465"},
                      {"1465/N-34-1.gml", sheetAt(0, 0, "a")},
                      {"1465/N-34-2.gml", sheetAt(1000, 0, "b")},
                      {"1465/late.gml", sheetAt(0, 1000, "c", 9000)},
                      {"1465/metadata.xml", "<metadata><title>LOD1</title></metadata>"},
                      {"1465/N-34-3.GML", "<html>Przerwa techniczna</html>"}}));
    }

    B3dArchive indexed() {
        writePackage();
        B3dArchive archive;
        std::string error;
        EXPECT_TRUE(archive.open(package, error)) << error;
        EXPECT_TRUE(archive.buildIndex(error)) << error;
        return archive;
    }
};

TEST_F(B3dArchiveTest, IndexPathKeepsThePackageNameAndAddsIdx) {
    EXPECT_EQ(B3dArchive::indexPathFor("/cache/ab12.zip"), "/cache/ab12.zip.idx");
    EXPECT_EQ(B3dArchive::indexPathFor("paczka"), "paczka.idx");
}

TEST_F(B3dArchiveTest, OpenChecksThePackageAndKeepsStateOnFailure) {
    const B3dArchive good = indexed();
    B3dArchive archive = good;
    std::string error;
    EXPECT_FALSE(archive.open(dir.file("brak.zip"), error));
    EXPECT_EQ(error, "Nie mozna otworzyc paczki modeli 3D: " + dir.file("brak.zip"));
    EXPECT_EQ(archive.zipPath(), package);
    EXPECT_EQ(archive.sheets().size(), 3u);

    writeText(dir.file("text.zip"), "<html>blad serwera</html>");
    EXPECT_FALSE(archive.open(dir.file("text.zip"), error));
    EXPECT_TRUE(archive.open(package, error));
    EXPECT_TRUE(archive.sheets().empty());
}

TEST_F(B3dArchiveTest, BuildIndexReadsEnvelopesOfSheetsOnly) {
    const B3dArchive archive = indexed();
    const auto& sheets = archive.sheets();
    ASSERT_EQ(sheets.size(), 3u);
    EXPECT_EQ(sheets[0].name, "1465/N-34-1.gml");
    EXPECT_EQ(sheets[1].name, "1465/N-34-2.gml");
    EXPECT_DOUBLE_EQ(sheets[1].minx, 1000.0);
    EXPECT_DOUBLE_EQ(sheets[1].maxx, 2000.0);
    EXPECT_EQ(sheets[2].name, "1465/late.gml");  // read whole: envelope after the first bytes
    EXPECT_DOUBLE_EQ(sheets[2].miny, 1000.0);
    EXPECT_EQ(archive.unreadable(), std::vector<std::string>{"1465/N-34-3.GML"});
}

TEST_F(B3dArchiveTest, BuildIndexFailures) {
    B3dArchive archive;
    std::string error;
    ASSERT_TRUE(ziptest::writeZip(package, {{"a/", "", true}, {"readme.txt", "tekst"}}));
    ASSERT_TRUE(archive.open(package, error));
    EXPECT_FALSE(archive.buildIndex(error));
    EXPECT_EQ(error, "Paczka modeli 3D nie zawiera czytelnych arkuszy.");

    writeText(package, "PK\x03\x04 urwane");  // damaged after open
    EXPECT_FALSE(archive.buildIndex(error));
    EXPECT_EQ(error, "Nie mozna otworzyc paczki modeli 3D: " + package);
}

TEST_F(B3dArchiveTest, SideIndexRoundTripsInItsTextForm) {
    const B3dArchive archive = indexed();
    const std::string idx = B3dArchive::indexPathFor(package);
    ASSERT_TRUE(archive.saveIndex(idx));
    EXPECT_EQ(readText(idx), signedIndex("1465/N-34-1.gml\t0.000\t0.000\t1000.000\t1000.000\n"
                                         "1465/N-34-2.gml\t1000.000\t0.000\t2000.000\t1000.000\n"
                                         "1465/late.gml\t0.000\t1000.000\t1000.000\t2000.000\n"
                                         "1465/N-34-3.GML\t-\n"));
    EXPECT_FALSE(std::filesystem::exists(idx + ".part"));

    B3dArchive reopened;
    std::string error;
    ASSERT_TRUE(reopened.open(package, error));
    ASSERT_TRUE(reopened.loadIndex(idx));
    ASSERT_EQ(reopened.sheets().size(), 3u);
    EXPECT_EQ(reopened.sheets()[2].name, "1465/late.gml");
    EXPECT_DOUBLE_EQ(reopened.sheets()[2].maxy, 2000.0);
    EXPECT_EQ(reopened.unreadable(), std::vector<std::string>{"1465/N-34-3.GML"});
    EXPECT_TRUE(reopened.indexWhole());
    EXPECT_TRUE(reopened.agreesWithPackage());

    B3dArchive empty;
    EXPECT_TRUE(empty.saveIndex(dir.file("empty.idx")));
    EXPECT_EQ(readText(dir.file("empty.idx")), signedIndex(""));
    EXPECT_FALSE(empty.saveIndex(dir.file("brak/folderu.idx")));
}

TEST_F(B3dArchiveTest, IndexHeaderAndLineRules) {
    const B3dArchive original = indexed();
    const auto loads = [&](const std::string& text) {
        writeText(dir.file("t.idx"), text);
        B3dArchive archive = original;
        const bool loaded = archive.loadIndex(dir.file("t.idx"));
        return std::make_pair(loaded, archive.sheets());
    };
    const std::string line = "s.gml\t1\t2\t3\t4\n";
    EXPECT_TRUE(loads("B3DIDX1 2\n" + line).first);
    EXPECT_TRUE(loads("B3DIDX1 wersja\n" + line).first);
    EXPECT_FALSE(loads("B3DIDX\n" + line).first);
    EXPECT_FALSE(loads("b3didx1 2\n" + line).first);
    EXPECT_FALSE(loads("").first);
    // Older forms may have left an unreadable sheet out, and any index may have lost lines or
    // numbers: it loads, but only an index whose every line reads and whose checksum agrees is
    // whole; the package is otherwise worth indexing again.
    const std::string cut = "v.gml\t100\t200\t300\t22\nt.gml\t1\t2\t3";
    const std::pair<std::string, bool> forms[] = {
        {"B3DIDX1\n" + line, false},
        {"B3DIDX1 2\n" + line, false},
        {signedIndex(line), true},
        {signedIndex(line + "u.gml\t-\n\n"), true},
        {signedIndex(line) + "u.gml\t-\n", false},  // a line after the checksum was taken
        {signedIndex(line).substr(0, 40) + "\n" + line, false},  // the checksum cut short
        {signedIndex(line + cut), false},  // a box upside down, a number missing
        {signedIndex(line + "bez tabulatora\n"), false},
    };
    for (const auto& [text, whole] : forms) {
        writeText(dir.file("t.idx"), text);
        B3dArchive archive;
        ASSERT_TRUE(archive.loadIndex(dir.file("t.idx"))) << text;
        EXPECT_EQ(archive.indexWhole(), whole) << text;
        EXPECT_EQ(archive.sheets().size(), 1u) << text;
    }

    const auto headerOnly = loads("B3DIDX1 2\n");
    EXPECT_FALSE(headerOnly.first);
    EXPECT_EQ(headerOnly.second.size(), 3u);  // the previous list stays
    // A file longer than any index is damaged, and is not read.
    writeText(dir.file("t.idx"), signedIndex(line));
    std::filesystem::resize_file(dir.file("t.idx"), B3dArchive::kMaxIndexBytes + 1);
    EXPECT_FALSE(B3dArchive(original).loadIndex(dir.file("t.idx")));

    const auto mixed = loads(
        "B3DIDX1 2\n\nbez tabulatora 1 2 3 4\ntrzy.gml\t1\t2\t3\n"
        "arkusz ze spacjami.gml\t10 20\t30\t40\r\nplus.gml\t+1\t2\t3\t4");
    ASSERT_TRUE(mixed.first);
    ASSERT_EQ(mixed.second.size(), 2u);
    EXPECT_EQ(mixed.second[0].name, "arkusz ze spacjami.gml");
    EXPECT_DOUBLE_EQ(mixed.second[0].miny, 20.0);
    EXPECT_DOUBLE_EQ(mixed.second[0].maxy, 40.0);
    EXPECT_EQ(mixed.second[1].name, "plus.gml");

    B3dArchive archive;
    EXPECT_FALSE(archive.loadIndex(dir.file("brak.idx")));
}

// The index is written whole or not at all, and never with a name it cannot carry.
TEST_F(B3dArchiveTest, SavingNeverLeavesABrokenIndex) {
    const std::string idx = dir.file("pkg.zip.idx");
    writeText(idx, "B3DIDX1\nstary.gml\t1\t2\t3\t4\n");
    ASSERT_TRUE(ziptest::writeZip(
        package, {{"z\ttab.gml", sheetAt(0, 0, "t")}, {"z\nlinia.gml", sheetAt(0, 0, "n")}}));
    B3dArchive archive;
    std::string error;
    ASSERT_TRUE(archive.open(package, error));
    ASSERT_TRUE(archive.buildIndex(error));
    ASSERT_EQ(archive.sheets().size(), 2u);
    EXPECT_FALSE(archive.saveIndex(idx));
    EXPECT_EQ(readText(idx), "B3DIDX1\nstary.gml\t1\t2\t3\t4\n");
    EXPECT_FALSE(std::filesystem::exists(idx + ".part"));
    EXPECT_EQ(archive.entriesFor({0, 0, 1, 1}).size(), 2u);  // still read from the package
    EXPECT_FALSE(archive.readEntry("z\ttab.gml").empty());
}

TEST_F(B3dArchiveTest, EntriesForUsesClosedBounds) {
    const B3dArchive archive = indexed();
    EXPECT_EQ(archive.entriesFor({100, 100, 200, 200}),
              std::vector<std::string>{"1465/N-34-1.gml"});
    EXPECT_EQ(archive.entriesFor({1000, 500, 1100, 600}),  // along the shared edge
              (std::vector<std::string>{"1465/N-34-1.gml", "1465/N-34-2.gml"}));
    EXPECT_EQ(archive.entriesFor({1000, 1000, 1000, 1000}).size(), 3u);  // the common corner
    EXPECT_TRUE(archive.entriesFor({2000.001, 0, 3000, 100}).empty());
}

TEST_F(B3dArchiveTest, ReadEntryByExactName) {
    const B3dArchive archive = indexed();
    EXPECT_EQ(archive.readEntry("1465/N-34-2.gml"), sheetAt(1000, 0, "b"));
    EXPECT_EQ(archive.readEntry("1465/n-34-2.GML"), "");
    EXPECT_EQ(archive.readEntry("brak.gml"), "");
    std::filesystem::remove(package);
    EXPECT_EQ(archive.readEntry("1465/N-34-2.gml"), "");
    EXPECT_EQ(B3dArchive().readEntry("1465/N-34-2.gml"), "");
}

// Whether the lists of an index describe the package: the package's own index does, in any
// order; one that names a folder, repeats a sheet or leaves out an unreadable GML sheet does not,
// whatever its checksum says. (The stage tests damage a package's index in the other ways.)
TEST_F(B3dArchiveTest, AnIndexAgreesWithThePackageOnlyWhenItNamesItsSheets) {
    const std::string idx = B3dArchive::indexPathFor(package);
    ASSERT_TRUE(indexed().saveIndex(idx));
    const std::string own = readText(idx);
    const std::string lines = own.substr(own.find('\n') + 1);
    const std::string first = "1465/N-34-1.gml\t0.000\t0.000\t1000.000\t1000.000\n";
    const auto without = [&](const std::string& line) {
        std::string text = lines;
        return text.erase(text.find(line), line.size());
    };
    const std::tuple<const char*, std::string, bool> cases[] = {
        {"the package's own lines", lines, true},
        {"the same lines in another order", without(first) + first, true},
        {"the folder as a sheet", lines + "1465/\t0\t0\t1\t1\n", false},
        {"an unreadable GML sheet left out", without("1465/N-34-3.GML\t-\n"), false},
        {"a sheet listed twice", lines + first, false},
    };
    for (const auto& [name, text, agrees] : cases) {
        SCOPED_TRACE(name);
        writeText(idx, signedIndex(text));
        B3dArchive archive;
        std::string error;
        ASSERT_TRUE(archive.open(package, error));
        ASSERT_TRUE(archive.loadIndex(idx));
        EXPECT_TRUE(archive.indexWhole());
        EXPECT_EQ(archive.agreesWithPackage(), agrees);
    }
}

// A second use of a package trusts the side index: entries whose headers no longer hold an
// envelope are still named, so nothing was read from them.
TEST_F(B3dArchiveTest, SecondOpenUsesTheSideIndexWithoutReadingSheets) {
    const std::string idx = B3dArchive::indexPathFor(package);
    ASSERT_TRUE(indexed().saveIndex(idx));
    ASSERT_TRUE(ziptest::writeZip(package, {{"1465/N-34-1.gml", "<CityModel/>"},
                                            {"1465/N-34-2.gml", "<CityModel/>"},
                                            {"1465/late.gml", "<CityModel/>"}}));
    B3dArchive archive;
    std::string error;
    ASSERT_TRUE(archive.open(package, error));
    ASSERT_TRUE(archive.loadIndex(idx));
    EXPECT_EQ(archive.entriesFor({1500, 500, 1600, 600}),
              std::vector<std::string>{"1465/N-34-2.gml"});
    EXPECT_EQ(archive.readEntry("1465/N-34-2.gml"), "<CityModel/>");
}

}  // namespace
