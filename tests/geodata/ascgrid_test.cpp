#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <tuple>

#include "geodata/AscGrid.h"

namespace {

// A 2 x 2 grid with 1 m cells from (0, 0): row north (10, 20) above row south (30, 40).
const std::string kGrid2x2 =
    "ncols 2\nnrows 2\nxllcorner 0\nyllcorner 0\ncellsize 1\nnodata_value -9999\n"
    "10 20\n30 40\n";

AscGrid parsed(const std::string& text) {
    AscGrid g;
    EXPECT_TRUE(g.parse(text)) << text;
    return g;
}

bool parses(const std::string& text) {
    AscGrid g;
    return g.parse(text);
}

TEST(AscGridParse, ReadsHeaderAndValuesInFileOrder) {
    const AscGrid g = parsed(kGrid2x2);
    EXPECT_EQ(g.ncols, 2);
    EXPECT_EQ(g.nrows, 2);
    EXPECT_EQ(g.cellsize, 1.0);
    EXPECT_EQ(g.nodata, -9999.0);
    EXPECT_EQ(g.z, (std::vector<double>{10, 20, 30, 40}));
}

TEST(AscGridParse, KeywordsIgnoreCaseAndOrder) {
    const AscGrid g = parsed(
        "NODATA_value -1\r\nCELLSIZE 1\tNROWS 1 NCOLS 1\nYLLCENTER 600.5\nXllCenter 500.5\n7");
    EXPECT_EQ(g.xll, 500.0);
    EXPECT_EQ(g.yll, 600.0);
    const AscGrid h = parsed(
        "xllcenter 500.5 yllcenter 600.5 cellsize 1 "
        "ncols 1 nrows 1 nodata_value -1 7");
    EXPECT_EQ(h.xll, 500.0);
    EXPECT_EQ(h.yll, 600.0);
}

TEST(AscGridParse, NumbersTakeSignsAndExponents) {
    const AscGrid g = parsed(
        "ncols 3 nrows 1 xllcorner -1.5e2 yllcorner +2 cellsize 0.5 "
        "nodata_value -9999 1e1 -2.5 +3");
    EXPECT_EQ(g.xll, -150.0);
    EXPECT_EQ(g.yll, 2.0);
    EXPECT_EQ(g.z, (std::vector<double>{10.0, -2.5, 3.0}));
}

TEST(AscGridParse, ExtraValuesAreIgnoredMissingOnesFail) {
    EXPECT_TRUE(parses(kGrid2x2 + " 50 trailing words"));
    EXPECT_FALSE(
        parses("ncols 2 nrows 2 xllcorner 0 yllcorner 0 cellsize 1 nodata_value -9999 10 20 30"));
    EXPECT_FALSE(parses(
        "ncols 2 nrows 2 xllcorner 0 yllcorner 0 cellsize 1 nodata_value -9999 10 20 3x 40"));
}

TEST(AscGridParse, RefusesBadHeaders) {
    // Five pairs: the values that follow do not make up for the missing no-data keyword.
    EXPECT_FALSE(parses("ncols 1 nrows 1 xllcorner 0 yllcorner 0 cellsize 1 5"));
    // Unknown spellings and prefixes.
    EXPECT_FALSE(parses("ncols 1 nrows 1 xllcentre 0 yllcorner 0 cellsize 1 nodata_value 0 5"));
    EXPECT_FALSE(parses("ncols 1 nrows 1 my_xllcorner 0 yllcorner 0 cellsize 1 nodata_value 0 5"));
    // A keyword without its number.
    EXPECT_FALSE(parses("ncols 1 nrows 1 xllcorner yllcorner 0 cellsize 1 nodata_value 0 5"));
    EXPECT_FALSE(parses(""));
    EXPECT_FALSE(parses("ncols"));
}

TEST(AscGridParse, RefusesImpossibleSizes) {
    const auto header = [](const std::string& cols, const std::string& rows,
                           const std::string& size) {
        return "ncols " + cols + " nrows " + rows + " xllcorner 0 yllcorner 0 cellsize " + size +
               " nodata_value -9999 1 2 3 4";
    };
    EXPECT_TRUE(parses(header("2", "2", "1")));
    EXPECT_FALSE(parses(header("0", "2", "1")));
    EXPECT_FALSE(parses(header("2", "-2", "1")));
    EXPECT_FALSE(parses(header("2", "2", "0")));
    EXPECT_FALSE(parses(header("2", "2", "-1")));
    EXPECT_FALSE(parses(header("2", "2", "nan")));
    EXPECT_FALSE(parses(header("2", "2", "inf")));
    EXPECT_FALSE(parses(header("nan", "2", "1")));
    EXPECT_FALSE(parses(header("1e10", "2", "1")));
    // Counts that multiply past 64 bits or far past the text are refused without allocating.
    EXPECT_FALSE(parses(header("2147483647", "2147483647", "1")));
    EXPECT_FALSE(parses(header("100000", "100000", "1")));
    EXPECT_FALSE(parses("ncols 1 nrows 1 xllcorner nan yllcorner 0 cellsize 1 nodata_value 0 5"));
}

TEST(AscGridParse, RepeatedKeywordKeepsItsLaterValue) {
    const AscGrid g = parsed("ncols 5 ncols 1 nrows 1 xllcorner 3 yllcorner 4 cellsize 2 9");
    EXPECT_EQ(g.ncols, 1);
    EXPECT_EQ(g.xll, 3.0);
    EXPECT_EQ(g.nodata, AscGrid{}.nodata);
}

// 10 x 8 cells of 1 m from (100, 200), each holding 10 * column + row (row from the south).
std::string numberedGrid() {
    std::string text =
        "ncols 10\nnrows 8\nxllcorner 100\nyllcorner 200\ncellsize 1\nnodata_value -9999\n";
    for (int row = 7; row >= 0; --row) {
        for (int col = 0; col < 10; ++col)
            text += std::to_string(10 * col + row) + (col < 9 ? " " : "\n");
    }
    return text;
}

TEST(AscGridParse, AWindowKeepsTheCellsMeetingItAndTheRingAroundThem) {
    const std::string text = numberedGrid();
    FloatGrid whole;
    ASSERT_TRUE(whole.parse(text));
    FloatGrid cut;
    ASSERT_TRUE(cut.parse(text, Bbox{103.5, 203.2, 105.5, 204.9}));
    // Columns 3 to 5 and rows 3 and 4 meet the window; with the ring, columns 2 to 6, rows 2 to 5.
    EXPECT_EQ(std::tie(cut.ncols, cut.nrows, cut.xll, cut.yll),
              std::make_tuple(5, 4, 102.0, 202.0));
    EXPECT_EQ(cut.z.front(), 25.0f) << "north-west: column 2, row 5";
    // Anywhere in the window the cut samples as the whole grid does.
    for (double x = 103.5; x <= 105.5; x += 0.25) {
        for (double y = 203.2; y <= 204.9; y += 0.1) {
            double a = -1.0;
            double b = -2.0;
            ASSERT_TRUE(whole.sampleZ(x, y, a));
            ASSERT_TRUE(cut.sampleZ(x, y, b));
            EXPECT_EQ(a, b) << x << " " << y;
        }
    }

    FloatGrid edge;
    ASSERT_TRUE(edge.parse(text, Bbox{95, 195, 100.5, 200.5}));
    EXPECT_EQ(std::tie(edge.ncols, edge.nrows, edge.xll, edge.yll),
              std::make_tuple(2, 2, 100.0, 200.0));
    FloatGrid away;
    EXPECT_TRUE(away.parse(text, Bbox{500, 500, 600, 600})) << "it reads, it only keeps nothing";
    EXPECT_TRUE(away.z.empty());
    double z = 0.0;
    EXPECT_FALSE(away.sampleZ(550, 550, z));
    // Values outside the window are checked all the same.
    EXPECT_FALSE(
        FloatGrid().parse(text.substr(0, text.size() - 3), Bbox{103.5, 203.2, 105.5, 204.9}));
}

TEST(AscGridParse, AFloatGridHoldsHeightsToAFractionOfAMillimetreAndNoDataAsNaN) {
    // A no-data value that a float cannot hold exactly, and a value beyond any float.
    FloatGrid g;
    ASSERT_TRUE(
        g.parse("ncols 3 nrows 1 xllcorner 0 yllcorner 0 cellsize 1 nodata_value -9999.99 "
                "2499.123 -9999.99 1e300"));
    double z = 0.0;
    ASSERT_TRUE(g.sampleZ(0.5, 0.5, z));
    EXPECT_NEAR(z, 2499.123, 1e-4);
    EXPECT_FALSE(g.sampleZ(1.5, 0.5, z));
    EXPECT_FALSE(g.sampleZ(2.5, 0.5, z));
}

TEST(AscGridSample, BilinearInsideAndEdgeBands) {
    const AscGrid g = parsed(kGrid2x2);
    double z = 0.0;
    // Centre of the grid: mean of the four cells.
    ASSERT_TRUE(g.sampleZ(1.0, 1.0, z));
    EXPECT_DOUBLE_EQ(z, 25.0);
    // Cell centres give the cell values (south-west is 30, north-east 20).
    ASSERT_TRUE(g.sampleZ(0.5, 0.5, z));
    EXPECT_DOUBLE_EQ(z, 30.0);
    ASSERT_TRUE(g.sampleZ(1.5, 1.5, z));
    EXPECT_DOUBLE_EQ(z, 20.0);
    // Along the south edge band only the two southern cells take part.
    ASSERT_TRUE(g.sampleZ(1.0, 0.1, z));
    EXPECT_DOUBLE_EQ(z, 35.0);
    // West and south edges sample, east and north edges are outside.
    EXPECT_TRUE(g.sampleZ(0.0, 0.0, z));
    EXPECT_DOUBLE_EQ(z, 30.0);
    z = -1.0;
    EXPECT_FALSE(g.sampleZ(2.0, 1.0, z));
    EXPECT_FALSE(g.sampleZ(1.0, 2.0, z));
    EXPECT_FALSE(g.sampleZ(-0.001, 1.0, z));
    EXPECT_EQ(z, -1.0);
}

TEST(AscGridSample, FallsBackToContainingCellBesideNoData) {
    AscGrid g = parsed(kGrid2x2);
    g.z[1] = g.nodata;  // north-east cell
    double z = 0.0;
    ASSERT_TRUE(g.sampleZ(0.9, 0.9, z));  // in the south-west cell
    EXPECT_EQ(z, 30.0);
    EXPECT_FALSE(g.sampleZ(1.1, 1.1, z));  // in the no-data cell itself
}

TEST(AscGridSample, NonFiniteValuesAndPointsHaveNoData) {
    AscGrid g = parsed(
        "ncols 2 nrows 1 xllcorner 0 yllcorner 0 cellsize 1 nodata_value -9999 "
        "nan 5");
    double z = -1.0;
    EXPECT_FALSE(g.sampleZ(0.5, 0.5, z));
    ASSERT_TRUE(g.sampleZ(1.5, 0.5, z));
    EXPECT_EQ(z, 5.0);
    const double inf = std::numeric_limits<double>::infinity();
    g.z[0] = inf;
    EXPECT_FALSE(g.sampleZ(0.5, 0.5, z));
    EXPECT_FALSE(g.sampleZ(std::nan(""), 0.5, z));
    EXPECT_FALSE(g.sampleZ(1.5, inf, z));
    EXPECT_FALSE(g.sampleZ(1e300, 0.5, z));
    EXPECT_FALSE(AscGrid{}.sampleZ(0.0, 0.0, z));
}

}  // namespace
