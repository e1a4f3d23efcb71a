#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "geodata/GmlSplice.h"
#include "tiled_fixtures.h"

using tiled::collection110;
using tiled::collection20;
using tiled::featureIds;
using Ids = std::vector<std::string>;

TEST(GmlSplice, KeepsTheFirstCollectionWholeAndAppendsLaterMembers) {
    GmlSplice splice(false);
    const std::string first = collection20({"a", "b"});
    const auto added = splice.add(first);
    EXPECT_TRUE(added.collection);
    EXPECT_EQ(added.features, 2);
    EXPECT_EQ(splice.document(), first);

    const auto later = splice.add(collection20({"c", "b", "d"}));
    EXPECT_EQ(later.features, 3);
    EXPECT_EQ(later.fresh, 2);
    EXPECT_EQ(featureIds(splice.document()), (Ids{"a", "b", "c", "d"}));
    EXPECT_TRUE(splice.document().starts_with(tiled::kRoot20));
    EXPECT_TRUE(splice.document().ends_with(tiled::kEnd));
}

TEST(GmlSplice, AnswersThatAreNoFeatureCollectionAddNothing) {
    GmlSplice splice(false);
    for (const std::string& bad : std::vector<std::string>{
             "", "<html><body>Service unavailable</body></html>",
             "<?xml version=\"1.0\"?><ows:ExceptionReport><ows:Exception/></ows:ExceptionReport>",
             collection20({"a"}).substr(0, 300),
             "<wfs:FeatureCollection><wfs:member><x gml:id=\"1\">"}) {
        const auto added = splice.add(bad);
        EXPECT_FALSE(added.collection) << bad;
        EXPECT_EQ(splice.document(), "");
    }
    EXPECT_TRUE(splice.add(collection20({})).collection);
    EXPECT_TRUE(splice.add(collection20({"z"})).collection);
    EXPECT_EQ(featureIds(splice.document()), Ids{"z"});
}

TEST(GmlSplice, Wfs110MembersOfBothFormsAreSpliced) {
    GmlSplice lists(true);
    lists.add(collection110({"a", "b"}, true));
    lists.add(collection110({"b", "c"}, false));
    lists.add(collection110({"d"}, true));
    EXPECT_EQ(featureIds(lists.document()), (Ids{"a", "b", "c", "d"}));
    EXPECT_EQ(lists.document().find("<gml:featureMember>"), std::string::npos);

    GmlSplice singles(true);
    singles.add(collection110({"a"}, false));
    singles.add(collection110({"b", "c"}, true));
    EXPECT_EQ(featureIds(singles.document()), (Ids{"a", "b", "c"}));
    EXPECT_EQ(singles.document().find("<gml:featureMembers>"), std::string::npos);
}

TEST(GmlSplice, AnEmptyFirstCollectionWrittenAsOneTagIsOpenedUp) {
    GmlSplice splice(false);
    const std::string empty =
        "<?xml version=\"1.0\"?><wfs:FeatureCollection "
        "xmlns:wfs=\"http://www.opengis.net/wfs/2.0\" "
        "xmlns:gml=\"http://www.opengis.net/gml/3.2\" xmlns:ms=\"urn:ms\" numberReturned=\"0\"/>";
    EXPECT_EQ(splice.add(empty).features, 0);
    splice.add(collection20({"a"}));
    EXPECT_EQ(featureIds(splice.document()), Ids{"a"});
    EXPECT_NE(splice.document().find("<wfs:member><ms:dzialki"), std::string::npos);
}

TEST(GmlSplice, MarkupThatOnlyLooksLikeMembersIsNotTakenForThem) {
    GmlSplice splice(false);
    splice.add(collection20({"a"}));
    const std::string tricky =
        std::string(tiled::kRoot20) +
        "<!-- <wfs:member> in a comment </wfs:member> -->\n"
        "<wfs:boundedBy><gml:Envelope note=\"a>b\"/></wfs:boundedBy>\n"
        "<wfs:member><!-- gml:id=\"no\" --><ms:dzialki gml:id = 'q' note=\"</wfs:member>\">"
        "<ms:opis><![CDATA[</wfs:member><wfs:member>]]></ms:opis>"
        "</ms:dzialki></wfs:member>\n" +
        tiled::kEnd;
    const auto added = splice.add(tricky);
    EXPECT_EQ(added.features, 1);
    EXPECT_EQ(featureIds(splice.document()), (Ids{"a", "q"}));
    EXPECT_EQ(splice.add(collection20({"q"})).fresh, 0);
}

TEST(GmlSplice, FeaturesWithoutIdAreNeverTakenForRepeats) {
    GmlSplice splice(false);
    const std::string anonymous =
        std::string(tiled::kRoot20) +
        "<wfs:member><ms:dzialki><ms:nr>1</ms:nr></ms:dzialki></wfs:member>" + tiled::kEnd;
    splice.add(anonymous);
    EXPECT_EQ(splice.add(anonymous).fresh, 1);
    EXPECT_EQ(featureIds(splice.document()), (Ids{"", ""}));
}
