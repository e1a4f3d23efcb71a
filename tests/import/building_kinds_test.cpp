// Every building, roof, bridge and road kind in one fetch through the map page, against the fake
// sources of one scene of buildings whose roofs are known.

#include "ImportPage.h"
#include "geodata/ProjConv.h"
#include "import/ImportController.h"
#include "support/fakes/BuildingScene.h"
#include "support/fakes/Scenario.h"

namespace {

using importtest::json;

class BuildingKinds : public importtest::ImportPage {};

TEST_F(BuildingKinds, EveryKindOfTheSceneArrivesAndTheReconstructedRoofsHaveTheirTypes) {
    const fakes::Scenario demo = fakes::demoScenario();
    fakes::serveBoundaries(hosts, {fakes::municipality(demo.teryt, demo.municipalityArea)});
    const fakes::BuildingScene scene =
        fakes::buildingScene("1465", ProjConv::latLonToPl1992(52.2297, 21.0122));
    const auto lidar = fakes::serveBuildingScene(hosts, scene);

    const json done = fetch(demo.frameWgs84, {"budynki3d", "budynkilod2", "budynkindsm", "mosty",
                                              "drogi", "dachychmura", "budynkirekon"})
                          .back();
    EXPECT_EQ(done.at("counts"), json({{"budynki3d", 4},
                                       {"budynkilod2", 2},
                                       {"dachychmura", 4},
                                       {"budynkindsm", 4},
                                       {"budynkirekon", 4},
                                       {"mosty", 1},
                                       {"drogi", 1}}));
    EXPECT_FALSE(done.contains("warning")) << done;

    const ImportController::FetchedData& data = ImportController::Instance().lastFetch();
    EXPECT_TRUE(data.lod1Requested);
    EXPECT_EQ(data.lod2[0].id, "DACH.0");
    for (const auto* roofs : {&data.roofsCloud, &data.roofsNdsm}) {
        for (const RoofModel& roof : *roofs)
            EXPECT_EQ(roof.flag, 0);
    }
    for (std::size_t i = 0; i < scene.roofs.size(); ++i) {
        const std::string line = "  #" + std::to_string(i) + " " + scene.roofs[i].type + " [";
        EXPECT_NE(data.roofsRekonStatus.find(line), std::string::npos) << line << "\n"
                                                                       << data.roofsRekonStatus;
    }
}

}  // namespace
