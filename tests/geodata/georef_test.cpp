#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <string>

#include "HostTestApi.h"
#include "geodata/GeoTransform.h"
#include "geodata/ProjConv.h"

namespace {

constexpr double kTolerance = 1e-9;

void expectPoint(const GisPoint& actual, double x, double y) {
    EXPECT_NEAR(actual.x, x, kTolerance);
    EXPECT_NEAR(actual.y, y, kTolerance);
}

}  // namespace

TEST(GeoTransformMapping, FreshRecordIsIdentity) {
    const GeoTransform fresh;
    EXPECT_FALSE(fresh.hasSurveyPoint);
    expectPoint(fresh.toLocal({7500123.5, 5762899.25}), 7500123.5, 5762899.25);
}

TEST(GeoTransformMapping, ShiftsAndRotatesByMinusTheAngle) {
    GeoTransform shiftOnly;
    shiftOnly.setSurveyPoint(7500000.0, 5760000.0, 0.0);
    EXPECT_TRUE(shiftOnly.hasSurveyPoint);
    expectPoint(shiftOnly.toLocal({7500012.0, 5760003.0}), 12.0, 3.0);

    GeoTransform quarterTurn;
    quarterTurn.setSurveyPoint(7500000.0, 5760000.0, std::numbers::pi / 2);
    quarterTurn.setLocalAnchor(10.0, 20.0);
    expectPoint(quarterTurn.toLocal({7500001.0, 5760000.0}), 10.0, 19.0);
}

TEST(GeoTransformMapping, BackToMapInvertsToLocal) {
    GeoTransform t;
    t.setSurveyPoint(640000.0, 480000.0, 0.7);
    t.setLocalAnchor(-35.0, 120.5);
    for (const GisPoint p : {GisPoint{640000.0, 480000.0}, GisPoint{640250.75, 479800.5},
                             GisPoint{638000.0, 482000.0}}) {
        const GisPoint back = t.toEPSG2180(t.toLocal(p));
        EXPECT_NEAR(back.x, p.x, 1e-8);
        EXPECT_NEAR(back.y, p.y, 1e-8);
    }
    expectPoint(t.toLocal({640000.0, 480000.0}), -35.0, 120.5);
}

namespace {

// Each test starts from an empty project and leaves one behind.
class ProjectGeoreference : public ::testing::Test {
protected:
    void SetUp() override { host::reset(); }
    void TearDown() override { host::reset(); }

    static API_GeoLocation surveyPoint(double easting, double northing, const std::string& name) {
        API_GeoLocation geo{};
        geo.surveyPoint.eastings = easting;
        geo.surveyPoint.northings = northing;
        geo.surveyPoint.position = {12.0, -4.0, 0.0};
        geo.surveyPoint.xAxisAbscissa = 1.0;
        geo.surveyPoint.geoReferenceData.name = name;
        return geo;
    }

    // Loads with outputs preset to other values, so that every one of them is seen to be set.
    int load() {
        message = "stale";
        epsg = 0;
        return loadSurveyPointFromProject(transform, message, epsg);
    }

    GeoTransform transform;
    std::string message;
    int epsg = 0;
};

}  // namespace

TEST_F(ProjectGeoreference, WithoutUsableGeoreferenceLeavesTheTransformAlone) {
    transform.setSurveyPoint(1.0, 2.0, 3.0);

    host::failCalls("ACAPI_GeoLocation_GetGeoLocation", APIERR_GENERAL);
    EXPECT_EQ(load(), kGeoreferenceNone);
    EXPECT_EQ(message, "Nie mozna odczytac georeferencji projektu (GeoLocation).");
    EXPECT_EQ(epsg, 2180);

    EXPECT_EQ(load(), kGeoreferenceNone);  // an empty project
    EXPECT_EQ(message,
              "Projekt nie ma georeferencji. Kliknij \"Ustaw lokalizacje projektu wg mapy\" w "
              "palecie GIS Import (albo ustaw Survey Point: Opcje > Preferencje projektu > "
              "Georeferencja).");
    EXPECT_EQ(epsg, 2180);

    EXPECT_EQ(transform.surveyEasting, 1.0);
    EXPECT_EQ(transform.surveyNorthing, 2.0);
    EXPECT_EQ(transform.angle, 3.0);
}

TEST_F(ProjectGeoreference, ProjectLocationAloneIsApproximate) {
    API_GeoLocation geo{};
    geo.placeInfo.latitude = 50.06;
    geo.placeInfo.longitude = 19.94;
    geo.placeInfo.north = 0.25;
    geo.surveyPoint.position = {3.0, 4.0, 0.0};
    geo.surveyPoint.geoReferenceData.name = "EPSG:2178";  // not read on this path
    host::setGeoLocation(geo);

    EXPECT_EQ(load(), kGeoreferenceApproximate);
    EXPECT_EQ(message, "Georeferencja przyblizona (z lokalizacji projektu, nie Survey Pointu).");
    EXPECT_EQ(epsg, 2180);
    const GisPoint expected = ProjConv::latLonToPl1992(50.06, 19.94);
    EXPECT_TRUE(transform.hasSurveyPoint);
    EXPECT_EQ(transform.surveyEasting, expected.x);
    EXPECT_EQ(transform.surveyNorthing, expected.y);
    EXPECT_EQ(transform.angle, 0.25);
    EXPECT_EQ(transform.anchorX, 3.0);
    EXPECT_EQ(transform.anchorY, 4.0);
}

TEST_F(ProjectGeoreference, SurveyPointTakesItsCodeFromTheSystemName) {
    host::setGeoLocation(surveyPoint(7500100.0, 5762900.0, "ETRF2000-PL / CS2000/21 (EPSG:2178)"));
    EXPECT_EQ(load(), kGeoreferenceSurveyPoint);
    EXPECT_EQ(epsg, 2178);
    EXPECT_EQ(message, "");
    EXPECT_TRUE(transform.hasSurveyPoint);
    EXPECT_EQ(transform.surveyEasting, 7500100.0);
    EXPECT_EQ(transform.surveyNorthing, 5762900.0);
    EXPECT_EQ(transform.anchorX, 12.0);
    EXPECT_EQ(transform.anchorY, -4.0);

    host::setGeoLocation(surveyPoint(640000.0, 480000.0, "EPSG:2180"));
    EXPECT_EQ(load(), kGeoreferenceSurveyPoint);
    EXPECT_EQ(epsg, 2180);
    EXPECT_EQ(message, "");

    host::setGeoLocation(surveyPoint(0.0, 5000000.0, ""));  // only both zero means unset
    EXPECT_EQ(load(), kGeoreferenceSurveyPoint);
    EXPECT_EQ(epsg, 2180);
    EXPECT_EQ(message, "");
    EXPECT_EQ(transform.surveyNorthing, 5000000.0);
}

TEST_F(ProjectGeoreference, UnknownSystemIsTakenAsPl1992WithWarning) {
    host::setGeoLocation(surveyPoint(400000.0, 5500000.0, "ETRS89 / UTM strefa 34N (Łódź)"));
    EXPECT_EQ(load(), kGeoreferenceSurveyPoint);
    EXPECT_EQ(epsg, 2180);
    EXPECT_EQ(message,
              "Uwaga: nieobslugiwany CRS projektu \"ETRS89 / UTM strefa 34N (Łódź)\". Import "
              "zaklada uklad PL-2000/PL-1992 - sprawdz georeferencje.");
}

TEST_F(ProjectGeoreference, RotatedSurveyPointTurnsTheMapIntoTheProject) {
    API_GeoLocation geo = surveyPoint(7500000.0, 5760000.0, "EPSG:2178");
    geo.surveyPoint.xAxisAbscissa = 0.0;
    geo.surveyPoint.xAxisOrdinate = 0.0;
    host::setGeoLocation(geo);
    load();
    EXPECT_EQ(transform.angle, 0.0);

    geo.surveyPoint.xAxisOrdinate = 1.0;
    host::setGeoLocation(geo);
    load();
    EXPECT_NEAR(transform.angle, std::numbers::pi / 2, kTolerance);

    geo.surveyPoint.xAxisAbscissa = std::sqrt(3.0) / 2;
    geo.surveyPoint.xAxisOrdinate = 0.5;
    host::setGeoLocation(geo);
    EXPECT_EQ(load(), kGeoreferenceSurveyPoint);
    EXPECT_NEAR(transform.angle, std::numbers::pi / 6, kTolerance);
    // The survey point lands on its project position; 2 m of map north turns 30 degrees.
    expectPoint(transform.toLocal({7500000.0, 5760000.0}), 12.0, -4.0);
    expectPoint(transform.toLocal({7500000.0, 5760002.0}), 12.0 + 1.0, -4.0 + std::sqrt(3.0));
}
