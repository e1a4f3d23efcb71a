// Vector features drawn kind by kind: parcel labels, zone colours and styles, counts, failures
// and the extent of what was drawn.

#include <cmath>
#include <limits>

#include "CreatorFixture.h"
#include "import/creators/AcImporter.h"
#include "import/creators/PogColors.h"

namespace {

using AcImporter::importFeatures;

GisFeature feature(DataType kind, std::vector<GisPolygon> polygons = {},
                   std::vector<std::vector<GisPoint>> lines = {}) {
    GisFeature f;
    f.kind = static_cast<std::int32_t>(kind);
    f.polygons = std::move(polygons);
    f.lines = std::move(lines);
    return f;
}

GisFeature labelled(GisFeature f, PropertyMap props, GisPoint point = {5, 5}) {
    f.props = std::move(props);
    f.point = point;
    f.hasPoint = true;
    return f;
}

// Runs the import inside one undoable command that keeps what was drawn.
ImportResult imported(const std::vector<GisFeature>& features,
                      const Settings& settings = Settings::defaults()) {
    ImportResult result;
    ACAPI_CallUndoableCommand("test", [&] {
        result = importFeatures(features, GeoTransform{}, settings);
        return NoError;
    });
    return result;
}

std::vector<host::ElementSnapshot> ofType(API_ElemTypeID type) {
    std::vector<host::ElementSnapshot> found;
    for (auto& e : host::elements()) {
        if (e.element.header.type.typeID == type)
            found.push_back(e);
    }
    return found;
}

std::string layerName(API_AttributeIndex index) {
    for (const auto& a : host::attributes(API_LayerID)) {
        if (a.header.index == index)
            return a.header.name;
    }
    return {};
}

TEST(PogColours, ZoneCodesStandAloneInTheSymbol) {
    struct Case {
        const char* symbol;
        bool found;
        int r, g, b;
    };
    const Case cases[] = {
        {"SW", true, 140, 123, 107},
        {"1SW2", true, 140, 123, 107},
        {"sw", true, 140, 123, 107},
        {"SK", true, 244, 244, 244},
        {"B/SN", true, 183, 217, 143},
        {"SWA", false, 0, 0, 0},
        {"ASW", false, 0, 0, 0},
        {"SJSW", false, 0, 0, 0},    // SW follows a capital and SJ is
                                     // followed by one
        {"SWA SW", false, 0, 0, 0},  // only the first place a code stands is looked at
        {"", false, 0, 0, 0},
    };
    for (const Case& c : cases) {
        const auto colour = PogColors::forSymbol(c.symbol);
        ASSERT_EQ(colour.has_value(), c.found) << c.symbol;
        if (colour) {
            EXPECT_EQ(colour->r, c.r) << c.symbol;
            EXPECT_EQ(colour->g, c.g) << c.symbol;
            EXPECT_EQ(colour->b, c.b) << c.symbol;
        }
    }
}

using FeatureImport = CreatorTest;

TEST_F(FeatureImport, ParcelsAreLabelledByTheirNumberProperty) {
    struct Case {
        PropertyMap props;
        const char* label;  // empty: no text
    };
    const Case cases[] = {
        {{{"numer_dzialki", "146518_8.0003.123/4"}}, "123/4"},
        {{{"idDzialki", "146518_8.0003.77"}, {"numer_obrebu", "0003"}}, "77"},
        {{{"numer_obrebu", "0003"}}, ""},
        {{{"NUMER_DZIALKI", "12."}}, "12."},                    // nothing follows the last dot
        {{{"nr_dzialki", ""}, {"identyfikator", "X.5"}}, "5"},  // an empty value does not count
        {{{"a_numer", "9"}, {"b_nr_dzialki", "8"}}, "8"},       // the first test first
        {{{"numer_arkusza", "1"}, {"numer", "4"}}, "4"},
    };
    for (const Case& c : cases) {
        host::reset();
        const auto result =
            imported({labelled(feature(DataType::Dzialki, {{square(0, 0, 10), {}}}), c.props)});
        EXPECT_EQ(result.counts.at("dzialki"), 1) << "a parcel without a label still counts";
        const auto texts = ofType(API_TextID);
        if (std::string(c.label).empty()) {
            EXPECT_TRUE(texts.empty()) << c.props.begin()->first;
            continue;
        }
        ASSERT_EQ(texts.size(), 1u) << c.label;
        EXPECT_EQ(texts[0].textContent, c.label);
        EXPECT_EQ(texts[0].element.text.pen, 10);
        EXPECT_DOUBLE_EQ(texts[0].element.text.size, 1.5);
        EXPECT_EQ(texts[0].element.text.loc, (API_Coord{5, 5}));
    }
}

TEST_F(FeatureImport, EachKindIsDrawnWithItsOwnPensStylesAndLayer) {
    const GisPolygon withHole{square(0, 0, 10), {square(2, 2, 2)}};
    const std::vector<GisFeature> features = {
        feature(DataType::Dzialki, {withHole}, {{{20, 0}, {30, 0}}}),
        feature(DataType::Budynki, {withHole}),
        labelled(feature(DataType::Mpzp, {withHole}), {{"symbol", "MN"}}),
        labelled(feature(DataType::Pog, {withHole}), {{"oznaczenie", "1SW"}, {"_typ", "Strefa"}}),
        feature(DataType::Gesut, {withHole}, {{{0, 0}, {5, 5}}, {{1, 1}}}),
        feature(DataType::Bdot500, {withHole}),
    };
    const ImportResult result = imported(features);
    EXPECT_EQ(result.counts, (std::map<std::string, int>{{"dzialki", 1},
                                                         {"budynki", 1},
                                                         {"mpzp", 1},
                                                         {"pog", 1},
                                                         {"gesut", 1},
                                                         {"bdot500", 1}}));
    EXPECT_EQ(result.skipped, 0);
    EXPECT_TRUE(result.message.empty());

    // Pens, fills, colours and labels of each kind show in the placement's dump test; here the
    // parts of a feature that are drawn and the layers.
    const auto all = host::elements();
    ASSERT_EQ(all.size(), 9u);
    EXPECT_EQ(layerName(all[0].element.header.layer), "GIS_DZIALKI");
    EXPECT_EQ(all[1].coords.size(), 5u) << "the parcel's hole, closed";
    EXPECT_EQ(all[2].coords.size(), 2u) << "the parcel's line as it is";
    EXPECT_EQ(layerName(all[3].element.header.layer), "GIS_BUDYNKI");
    EXPECT_EQ(all[3].pends, (std::vector<Int32>{5, 10})) << "the building's fill with its hole";
    EXPECT_EQ(all[5].textContent, "MN") << "a local-plan zone is labelled with its symbol";
    EXPECT_EQ(all[7].textContent, "1SW") << "a designation wins over the symbol";
    EXPECT_EQ(all[8].element.header.type.typeID, API_PolyLineID)
        << "one utility line: a one-point line makes nothing, polygons are not drawn";
    EXPECT_EQ(layerName(all[8].element.header.layer), "GIS_GESUT");

    // The extent of every drawn outline, hole and line point.
    ASSERT_TRUE(result.hasLocalExtent);
    EXPECT_DOUBLE_EQ(result.localExtent.minx, 0);
    EXPECT_DOUBLE_EQ(result.localExtent.maxx, 30);
    EXPECT_DOUBLE_EQ(result.localExtent.maxy, 10);
}

TEST_F(FeatureImport, GeneralPlanZoneTypesHaveTheirOwnDrawing) {
    const GisPolygon withHole{square(0, 0, 10), {square(2, 2, 2)}};
    const auto zone = [&](const char* type) {
        return labelled(feature(DataType::Pog, {withHole, {square(20, 0, 5), {}}}),
                        {{"symbol", "SW"}, {"_typ", type}}, {50, 50});
    };
    imported({zone("ObszarZabudowySrodmiejskiej")});
    const auto outlines = host::elements();
    ASSERT_EQ(outlines.size(), 3u) << "one outline per polygon and the label";
    EXPECT_EQ(outlines[0].element.header.type.typeID, API_PolyLineID);
    EXPECT_EQ(outlines[0].element.polyLine.contPen, 8);
    EXPECT_EQ(outlines[0].coords.size(), 5u) << "the outer ring only, closed";
    EXPECT_EQ(outlines[1].element.header.type.typeID, API_PolyLineID);

    host::reset();
    imported({zone("ObszarUzupelnieniaZabudowy"),
              zone("ObszarStandardowDostepnosciInfrastrukturySpolecznej")});
    const auto hatches = ofType(API_HatchID);
    ASSERT_EQ(hatches.size(), 4u);
    for (const auto& h : hatches) {
        EXPECT_EQ(h.element.hatch.contPen, 8);
        EXPECT_EQ(h.element.hatch.fillInd, 3) << "no fill named pion or ukos: the first vector one";
        EXPECT_DOUBLE_EQ(h.element.hatch.ownColor.f_red, 90 / 255.0);
    }
}

TEST_F(FeatureImport, FailedFeaturesAreSkippedAndTheOthersCounted) {
    const GisPolygon area{square(0, 0, 10), {}};
    Settings settings = Settings::defaults();
    settings.layers[DataType::Budynki] = "ZABLOKOWANA";
    host::addLayer("ZABLOKOWANA", true);
    const ImportResult result =
        imported({labelled(feature(DataType::Dzialki, {area}), {{"nr_dzialki", "1"}}),
                  feature(DataType::Budynki, {area}), feature(DataType::Dzialki, {area})},
                 settings);
    EXPECT_EQ(result.counts, (std::map<std::string, int>{{"dzialki", 2}}));
    EXPECT_EQ(result.skipped, 1);
    EXPECT_TRUE(result.message.empty());
    EXPECT_EQ(host::elementCount(API_TextID), 1u);

    // A parcel whose last hole fails is skipped and gets no label.
    host::reset();
    host::failCalls("ACAPI_Element_Create", APIERR_GENERAL, 1, 1);
    const ImportResult holeFailed =
        imported({labelled(feature(DataType::Dzialki, {{square(0, 0, 10), {square(1, 1, 1)}}}),
                           {{"nr_dzialki", "1"}})});
    EXPECT_EQ(holeFailed.skipped, 1);
    EXPECT_EQ(host::elementCount(API_TextID), 0u);
}

TEST_F(FeatureImport, ALayerThatCannotBeMadeEndsTheImport) {
    host::failCalls("ACAPI_Attribute_Create", APIERR_GENERAL, -1);
    const ImportResult result = imported({feature(DataType::Dzialki, {{square(0, 0, 1), {}}}),
                                          feature(DataType::Budynki, {{square(0, 0, 1), {}}})});
    EXPECT_TRUE(result.counts.empty());
    EXPECT_EQ(result.message, "Nie mozna utworzyc/odnalezc warstwy dla typu: dzialki");
    EXPECT_EQ(host::elementCount(), 0u);
    EXPECT_FALSE(result.hasLocalExtent);
}

TEST_F(FeatureImport, PointsThatAreNoNumbersStayOutOfTheDrawingAndTheExtent) {
    constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
    const ImportResult result = imported(
        {feature(DataType::Gesut, {}, {{{0, 0}, {kNaN, 3}, {4, 4}}, {{kNaN, 0}, {1, kNaN}}})});
    EXPECT_EQ(result.counts.at("gesut"), 1);
    EXPECT_EQ(only(host::elements()).coords, (std::vector<API_Coord>{{0, 0}, {4, 4}}));
    EXPECT_DOUBLE_EQ(result.localExtent.maxx, 4);
    EXPECT_FALSE(std::isnan(result.localExtent.minx));
}

}  // namespace
