#pragma once
// The placement of the last fetch: what the "place" request prepares for the undoable step, and
// the step's body, which turns every list of the fetched record into project elements kind after
// kind, counts them, and writes the report lines and diagnostic files of the building and roof
// kinds. Main thread only, inside ACAPI_CallUndoableCommand.

#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "geodata/GeoTransform.h"
#include "import/ImportController.h"
#include "import/creators/AcImporter.h"
#include "import/creators/ImportResult.h"

// Returned by the step's body when the host must take the whole step back.
inline constexpr GSErrCode kPlacementRollback = static_cast<GSErrCode>(0x81060001u);

// Owned by the "place" request for the length of the step. Plan points are in the placement zone
// (PL-2000), moved there by the placement frame; tile bounds stay in PL-1992; heights are as
// fetched, except the LoD2 ones, raised by 0.15 m.
struct ImportController::PlacementInputs {
    GeoTransform frame;  // the survey point, in the placement zone
    int zoneEpsg = 0;    // the placement zone, 2176..2179
    ImportResult result;
    std::vector<GisFeature> features;
    std::vector<TerrainTile> terrain;
    ProjConv::Sim2000 sim;  // the placement frame: PL-1992 into the zone
    std::vector<TerrainTile> cloudTerrain;
    std::vector<TerrainTile> water;
    std::vector<Building3D> lod1;
    std::set<std::string> lod2Ids;  // upper case; LoD1 blocks with these ids are left out
    std::vector<BuildingLod2> lod2;
    bool ndsmDiagnosticsWritten = false;  // later surface-model stages append to its file
    std::vector<Warstwica> contours;
    std::string warning;  // a sentence for the reply, set by the 3D contour meshes
    std::vector<Warstwica> cloudContours;
};

class ImportController::PlacementCommand {
public:
    PlacementCommand(const ImportController& controller, PlacementInputs& inputs);

    // All stages in their order; kPlacementRollback at the first one that must end the step.
    GSErrCode run();

private:
    // What one stage of morphs made and left out; the error codes of the refused ones.
    struct MorphTally {
        int created = 0;
        int skipped = 0;
        std::map<int, int> errors;  // host error code -> elements refused with it

        void refused(GSErrCode code);
        // "; blad Morph kod <code> x<n>" for every code, in ascending order.
        std::string errorText() const;
    };
    struct RoofStage;
    static const std::vector<RoofStage>& roofStages();

    // Each returns false when the step must be rolled back (the message is set then).
    bool placeRasters();
    bool placeFeatures();
    // One mesh per tile (points in the placement frame, bounds those of the fetched tile). A
    // refused mesh ends the step when refusalEnds (the terrain model's), else it is skipped.
    bool placeMeshes(const std::vector<TerrainTile>& tiles, const std::vector<TerrainTile>& fetched,
                     DataType kind, double zOffset, const char* key, bool refusalEnds);

    // PlacementBuildings.cpp.
    void placeLod1();
    void placeLod2();
    void placeRoofs();
    void placeRoofStage(const RoofStage& stage);
    std::vector<Lod2Face> roofFaces(const RoofModel& model, double zOffset) const;
    void writeRoofDiagnostics(const RoofStage& stage, const std::string& reportLine);

    void placeContours();
    void placeContourLinesAndLabels(const std::vector<Warstwica>& lines);
    void placeCloudContours();
    // The 3D mesh of contour lines; false when none was made (skipped then).
    bool placeContourMesh(const std::vector<Warstwica>& lines, double zOffset, DataType kind);

    GisPoint local(const GisPoint& placementPoint) const;
    // The corners of a PL-1992 box in the placement zone, as the mesh creators take them.
    AcImporter::MeshCorners cornersOf(const Bbox& box) const;
    bool fetchedKey(const std::string& key) const;

    const ImportController& controller_;
    const FetchedData& fetched_;
    PlacementInputs& in_;
    std::map<std::string, int> rasters_;  // pictures placed per counts key
    int rastersSkipped_ = 0;
};

namespace placement {

// Sends one line to the host's report window.
void report(const std::string& line);

// Writes text into the diagnostic file of that name (appending, or replacing what it held);
// false when it cannot be opened, which is reported nowhere.
bool writeDiagnostics(const std::string& name, const std::string& text, bool append);

// A stream for diagnostic and report numbers: six significant digits, a decimal point whatever
// the process locale.
std::ostringstream numberStream();

// The text with every byte upper-cased as the C library does it: how LoD2 ids are compared.
std::string upperCased(const std::string& text);

// Whether the building has a face whose ring holds at least 3 points.
bool hasRing(const BuildingLod2& building);

}  // namespace placement
