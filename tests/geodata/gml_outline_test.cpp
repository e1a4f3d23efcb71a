// GmlOutline::scan and the reading of members one tree at a time: member spans and the start
// tags that name their reference systems, markup that hides or resembles tags, broken markup
// (judged as the tree reader judges it), nested members and the tree memory of a large document.

#include <gtest/gtest.h>

#include <pugixml.hpp>

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <string>
#include <vector>

#include "geodata/GmlOutline.h"
#include "geodata/GmlParser.h"
#include "geodata/ProjConv.h"
#include "gml_fixtures.h"

namespace {

using gmlfix::collection;
using gmlfix::member;
using gmlfix::parcel;
using gmlfix::polygon;

constexpr const char* kSquare = "500100 250200 500110 250200 500110 250210 500100 250200";

std::vector<GisFeature> parse(const std::string& text) {
    return GmlParser::parseFeatureCollection(text, DataType::Dzialki);
}

bool treeReaderAccepts(const std::string& text) {
    pugi::xml_document document;
    return static_cast<bool>(document.load_string(text.c_str()));
}

TEST(GmlOutline, MembersAndTheStartTagsNamingTheirSystems) {
    const std::string envelope =
        "<gml:Envelope srsName=\"EPSG:2177\"><gml:lowerCorner>0 0</gml:lowerCorner>"
        "</gml:Envelope>";
    const std::string inner = "<wfs:SimpleFeatureCollection srsName=\"EPSG:2180\" n='1'>";
    const std::string first = member(parcel("a", polygon(kSquare)));
    const std::string second = member(parcel("b", polygon(kSquare)));
    const std::string empty = "<gml:featureMember />";
    const std::string text = collection("<gml:boundedBy>" + envelope + "</gml:boundedBy>" + first +
                                        "<wfs:additionalObjects>" + inner + second + empty +
                                        "</wfs:SimpleFeatureCollection></wfs:additionalObjects>");
    const auto outline = GmlOutline::scan(text);
    ASSERT_TRUE(outline.has_value());
    EXPECT_EQ(outline->firstSrsCarrier, envelope.substr(0, envelope.find('>') + 1));
    ASSERT_EQ(outline->members.size(), 3u);
    EXPECT_EQ(outline->members[0].element, first);
    EXPECT_TRUE(outline->members[0].srsCarrier.empty()) << "the envelope is no ancestor";
    EXPECT_EQ(outline->members[1].element, second);
    EXPECT_EQ(outline->members[1].srsCarrier, inner);
    EXPECT_EQ(outline->members[2].element, empty);
    EXPECT_FALSE(outline->members[1].holdsMembers);
}

TEST(GmlOutline, MarkupThatHidesOrResemblesTagsReadsLikeTheTree) {
    // Each piece stands inside a property of the first feature or between the members; the
    // answer reads as the plain one does: two parcels with their properties.
    const std::string pieces[] = {
        "<!-- <wfs:member><ms:x>1</ms:x></wfs:member> -->",
        "<ms:note><![CDATA[</wfs:member><wfs:member>]]></ms:note>",
        "<ms:note a=\"</wfs:member>\" b='>' c=\"'\"/>",
        "<?pi </wfs:member> ?>",
        "<ms:note>a > b &amp; &lt;wfs:member&gt;</ms:note>",
    };
    const std::string plain = collection(member(parcel("a", polygon(kSquare), "<ms:n>1</ms:n>")) +
                                         member(parcel("b", polygon(kSquare))));
    const auto expected = parse(plain);
    ASSERT_EQ(expected.size(), 2u);
    for (const std::string& piece : pieces) {
        SCOPED_TRACE(piece);
        const std::string text =
            collection(member(parcel("a", polygon(kSquare), "<ms:n>1</ms:n>" + piece)) + piece +
                       member(parcel("b", polygon(kSquare))));
        ASSERT_TRUE(treeReaderAccepts(text));
        const auto features = parse(text);
        ASSERT_EQ(features.size(), 2u);
        EXPECT_EQ(features[0].props.at("n"), "1");
        EXPECT_EQ(features[1].props.at("gml_id"), "b");
    }
    // A byte order mark, a document type with an internal subset, end tags with blanks.
    const std::string framed =
        "\xEF\xBB\xBF<?xml version=\"1.0\"?>\n"
        "<!DOCTYPE c [<!ENTITY e \"x>y\"> <!-- ] > -->]>" +
        collection(member(parcel("a", polygon(kSquare)), "wfs:member "));
    ASSERT_TRUE(treeReaderAccepts(framed));
    EXPECT_EQ(parse(framed).size(), 1u);
}

TEST(GmlOutline, BrokenMarkupIsRejectedAsTheTreeReaderRejectsIt) {
    const std::string good = member(parcel("a", polygon(kSquare)));
    const std::string broken[] = {
        collection("<gml:boundedBy></gml:bounded>" + good),
        collection(good).substr(0, collection(good).size() - 3),
        collection(good + "<ms:x a=1/>"),
        collection(good + "<ms:x a=\"1\"b=\"2\"/>"),
        collection(good + "<ms:x a=\"1/>"),
        collection(good + "<!-- open"),
        collection(good + "<![CDATA[ open"),
        collection(good + "<?pi open"),
        collection(good + "<? pi ?>"),
        collection(good + "<!DOCTYPE c>"),
        collection(good + "<!ELEMENT c>"),
        collection(good + "a < b"),
        collection(good + "<ms:x/ >"),
        collection(member("<ms:a><gml:Polygon></ms:a>")),
        collection(member(parcel("a", polygon(kSquare), "<ms:n>a < b</ms:n>"))),
        "</a>" + collection(good),
        "<!-- only a comment -->",
        collection(good) + "<",
        "<!DOCTYPE c [ <!ENTITY e \"x\"> " + collection(good),
        collection(good) + "<b>",
    };
    for (const std::string& text : broken) {
        SCOPED_TRACE(text);
        ASSERT_FALSE(treeReaderAccepts(text)) << "the case itself is not broken";
        EXPECT_TRUE(parse(text).empty());
    }
}

TEST(GmlMembers, SystemNamedAroundAMemberOrAfterIt) {
    // An encoded name on the collection around the member: PL-1992 named, northing first.
    auto features = parse(collection(member(parcel("a", polygon("250200 500100 250210 500110"))),
                                     " srsName=\"EPSG&#x3A;2180\""));
    ASSERT_EQ(features.size(), 1u);
    EXPECT_DOUBLE_EQ(features[0].polygons.at(0).outer.at(0).x, 500100);

    // The first name of the document stands in a later member: it is the default of the
    // members before it, which name no system of their own.
    const std::string zone6 = "5800000 6500000 5800010 6500000";
    features = parse(collection(member(parcel("a", polygon(zone6))) +
                                member(parcel("b", polygon(zone6, "EPSG:2177")))));
    ASSERT_EQ(features.size(), 2u);
    const GisPoint expected = ProjConv::pl2000toPl1992(6500000, 5800000, 2177);
    for (const GisFeature& feature : features) {
        EXPECT_NEAR(feature.polygons.at(0).outer.at(0).x, expected.x, 1e-6);
        EXPECT_NEAR(feature.polygons.at(0).outer.at(0).y, expected.y, 1e-6);
    }
}

TEST(GmlMembers, MembersInsideMembersAreReadToo) {
    // A collection inside a member (a join's answer): the outer member's feature is the inner
    // collection with all its geometry, then each inner member gives its own feature.
    const std::string inner = "<wfs:FeatureCollection>" + member(parcel("a", polygon(kSquare))) +
                              member(parcel("b", polygon(kSquare))) + "</wfs:FeatureCollection>";
    const std::string text = collection(member(inner) + member(parcel("c", polygon(kSquare))));
    const auto outline = GmlOutline::scan(text);
    ASSERT_TRUE(outline.has_value());
    ASSERT_EQ(outline->members.size(), 2u);
    EXPECT_TRUE(outline->members[0].holdsMembers);
    EXPECT_EQ(outline->memberElements, 4u);
    const auto features = parse(text);
    ASSERT_EQ(features.size(), 4u);
    EXPECT_EQ(features[0].polygons.size(), 2u);
    EXPECT_EQ(features[1].props.at("gml_id"), "a");
    EXPECT_EQ(features[2].props.at("gml_id"), "b");
    EXPECT_EQ(features[3].props.at("gml_id"), "c");
}

// Counts the bytes that the tree reader holds, from the installation of the counter until it is
// removed.
class TreeMemoryCounter {
public:
    TreeMemoryCounter()
        : allocate_(pugi::get_memory_allocation_function()),
          deallocate_(pugi::get_memory_deallocation_function()) {
        live_ = 0;
        peak_ = 0;
        pugi::set_memory_management_functions(&counted, &released);
    }
    ~TreeMemoryCounter() { pugi::set_memory_management_functions(allocate_, deallocate_); }
    TreeMemoryCounter(const TreeMemoryCounter&) = delete;
    TreeMemoryCounter& operator=(const TreeMemoryCounter&) = delete;

    static std::size_t peak() { return peak_; }

private:
    // Each block carries its size in front of it.
    static void* counted(std::size_t size) {
        auto* block = static_cast<std::max_align_t*>(std::malloc(size + sizeof(std::max_align_t)));
        if (block == nullptr)
            return nullptr;
        *reinterpret_cast<std::size_t*>(block) = size;
        live_ += size;
        peak_ = std::max(peak_, live_);
        return block + 1;
    }
    static void released(void* pointer) {
        auto* block = static_cast<std::max_align_t*>(pointer) - 1;
        live_ -= *reinterpret_cast<std::size_t*>(block);
        std::free(block);
    }

    static inline std::size_t live_ = 0;
    static inline std::size_t peak_ = 0;
    const pugi::allocation_function allocate_;
    const pugi::deallocation_function deallocate_;
};

TEST(GmlMemory, TreeMemoryIsThatOfOneMemberWhateverTheDocumentsSize) {
    std::string members;
    for (int i = 0; i < 4000; ++i)
        members += member(
            parcel(std::to_string(i), polygon(kSquare), "<ms:n>" + std::to_string(i) + "</ms:n>"));
    const std::string text = collection(members);
    ASSERT_GT(text.size(), 1000000u);
    const TreeMemoryCounter counter;
    EXPECT_EQ(parse(text).size(), 4000u);
    EXPECT_LT(TreeMemoryCounter::peak(), 100000u) << "a tree of the whole document was built";
}

}  // namespace
