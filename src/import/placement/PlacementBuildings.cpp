// Buildings and roofs of the placement: LoD1 blocks as slabs (left out where a LoD2 building of
// the same id stands), LoD2 buildings and roof, surface, bridge and road models as morphs, each
// kind with its report line and diagnostic file.

#include <span>

#include "LayerMapper.h"
#include "import/placement/PlacementCommand.h"

namespace {

constexpr API_AttributeIndex kLod2Material = 1;
constexpr const char* kZDiagnostics = "tovelmark_z_diag.txt";
constexpr const char* kLod2Diagnostics = "tovelmark_lod2_diag.txt";
constexpr std::size_t kLod1DiagnosedBuildings = 6;
// Where a roof that its builder could not shape well is drawn, for the user to correct it.
constexpr const char* kCorrectionSuffix = " - POPRAW";
constexpr double kCorrectionColour[3] = {0.9, 0.1, 0.6};

std::string lod1Diagnostics(const std::vector<Building3D>& buildings, double zOffset) {
    std::ostringstream out = placement::numberStream();
    out << "LOD1: zOff=" << zOffset << " (buildingZOffset) budynkow=" << buildings.size() << '\n';
    for (std::size_t i = 0; i < buildings.size() && i < kLod1DiagnosedBuildings; ++i) {
        const Building3D& b = buildings[i];
        out << "  LOD1 #" << i << " groundZ_npm=" << b.baseZ << " height=" << b.height
            << " bazaLokalna=" << (b.baseZ - zOffset) << '\n';
    }
    return out.str();
}

std::string lod2Diagnostics(std::size_t fetched, const std::string& reportLine,
                            const AcImporter::TriDiag& d) {
    std::ostringstream out = placement::numberStream();
    out << "pobrano(fetch)=" << fetched << '\n'
        << reportLine << '\n'
        << "-- TRIANGULACJA (screen 31 fan) --\n"
        << "scian=" << d.facesTaken << " plaska-wypukla(polygon)=" << d.whole
        << " plaska-wklesla(earClip)=" << d.triangulatedConcave
        << " nieplaska(earClip)=" << d.triangulatedNonPlanar << '\n'
        << "earClip OK=" << d.earClipped << " earClip PUSTO->FALLBACK-FAN=" << d.fanned
        << " (worst n=" << d.largestFanned << ")\n"
        << "quasi-fan(earOk maxDeg>=60%)=" << d.fanLike << " (worst n=" << d.largestFanLike << ")\n"
        << "quasi-fan PO flipie (n>=7)=" << d.fanLikeAfterFlips << " [cel: ~0]\n";
    return out.str();
}

}  // namespace

// One kind of roof, surface or solid models and how it is placed and reported.
struct ImportController::PlacementCommand::RoofStage {
    const std::vector<RoofModel> FetchedData::*models;
    const std::string FetchedData::*status;
    bool onePerLod1;         // placed only with one model per LoD1 building
    DataType kind;           // whose layer receives the morphs ...
    const char* fixedLayer;  // ... unless this one is named
    const char* material;    // made with this colour when the project has none of that name
    double r, g, b;
    const char* key;  // of the counts
    const char* prefix;
    const char* flaggedLabel;
    const char* diagnosticsFile;
    const char* fetchedLabel;  // the file's first words, before the fetched number (or none)
    bool countsLod1;           // that number: the LoD1 buildings, else the models
    bool sharedFile;           // the surface-model file, which every stage of a run adds to
};

const std::vector<ImportController::PlacementCommand::RoofStage>&
ImportController::PlacementCommand::roofStages() {
    static const std::vector<RoofStage> stages = {
        {&FetchedData::roofsCloud, &FetchedData::roofsCloudStatus, true, DataType::BudynkiLod2,
         "GIS_BUDYNKI_LOD2_CHMURA", "GIS Dach z chmury", 0.6, 0.55, 0.5, "dachychmura",
         "TERRAWEFT dachy z chmury: utworzono ",
         " (oznaczono do korekty: ", "tovelmark_roofgen_diag.txt", "budynkow(fetch)=", true, false},
        {&FetchedData::roofsNdsm, &FetchedData::roofsNdsmStatus, true, DataType::BudynkiNdsm,
         nullptr, "GIS Budynek nMPT", 0.6, 0.55, 0.5, "budynkindsm",
         "TERRAWEFT budynki nMPT: utworzono ",
         " (oznaczono do korekty: ", "tovelmark_ndsm_diag.txt", "budynkow(fetch)=", true, true},
        {&FetchedData::roofsRekon, &FetchedData::roofsRekonStatus, false, DataType::BudynkiRekon,
         nullptr, "GIS Budynek LOD2 rekon", 0.62, 0.6, 0.55, "budynkirekon",
         "TERRAWEFT rekonstrukcja LOD2: utworzono ", " (do korekty: ", "tovelmark_rekon_diag.txt",
         nullptr, false, false},
        {&FetchedData::bridges, &FetchedData::bridgesStatus, false, DataType::Mosty, nullptr,
         "GIS Most nMPT", 0.55, 0.55, 0.58, "mosty", "TERRAWEFT mosty: utworzono ",
         " (oznaczono do korekty: ", "tovelmark_ndsm_diag.txt", "mosty(fetch)=", false, true},
        {&FetchedData::roads, &FetchedData::roadsStatus, false, DataType::Drogi, nullptr,
         "GIS Droga", 0.3, 0.3, 0.32, "drogi", "TERRAWEFT drogi: utworzono ",
         " (oznaczono do korekty: ", "tovelmark_ndsm_diag.txt", "drogi(fetch)=", false, true},
    };
    return stages;
}

void ImportController::PlacementCommand::MorphTally::refused(GSErrCode code) {
    ++skipped;
    ++errors[code];
}

std::string ImportController::PlacementCommand::MorphTally::errorText() const {
    std::string text;
    for (const auto& [code, count] : errors)
        text += "; blad Morph kod " + std::to_string(code) + " x" + std::to_string(count);
    return text;
}

// ---- LoD1 ------------------------------------------------------------------------------------

void ImportController::PlacementCommand::placeLod1() {
    if (in_.lod1.empty() || !fetched_.lod1Requested)
        return;
    const double zOffset = controller_.buildingZOffset();
    placement::writeDiagnostics(kZDiagnostics, lod1Diagnostics(in_.lod1, zOffset), true);
    const API_AttributeIndex layer = controller_.layerForType(DataType::Budynki3d);
    int created = 0;
    int failed = 0;
    int duplicates = 0;
    for (const Building3D& building : in_.lod1) {
        if (!in_.lod2Ids.empty() && !building.id.empty() &&
            in_.lod2Ids.count(placement::upperCased(building.id)) > 0) {
            ++duplicates;
            continue;
        }
        std::vector<GisPoint> ring;
        for (const GisPoint& p : building.footprint)
            ring.push_back(local(p));
        bool made = false;
        const GSErrCode err =
            ring.size() >= 3 && building.height > 0.0
                ? AcImporter::createSlabBox(ring, building.baseZ - zOffset, building.height, layer,
                                            building.id, &made)
                : NoError;
        if (err == NoError && made)
            ++created;
        else
            ++failed;
    }
    in_.result.counts["budynki3d"] = created;
    in_.result.skipped += failed;
    if (duplicates > 0) {
        placement::report("TERRAWEFT LOD1: pominieto " + std::to_string(duplicates) +
                          " bryl dublujacych sie z dachami LOD2 (zostawiono LOD2); postawiono LOD1 "
                          "tylko tam, gdzie brak LOD2.");
    }
}

// ---- LoD2 ------------------------------------------------------------------------------------

void ImportController::PlacementCommand::placeLod2() {
    if (in_.lod2.empty())
        return;
    const double zOffset = controller_.buildingZOffset();
    const API_AttributeIndex layer = controller_.layerForType(DataType::BudynkiLod2);
    AcImporter::TriDiag diag;
    MorphTally tally;
    int second = 0;
    int third = 0;
    int degenerate = 0;
    for (const BuildingLod2& building : in_.lod2) {
        if (!placement::hasRing(building)) {
            ++tally.skipped;
            ++degenerate;
            continue;
        }
        std::vector<Lod2Face> faces;
        for (const Lod2Face& face : building.faces) {
            Lod2Face& out = faces.emplace_back();
            for (std::size_t i = 0; i < face.xy.size() && i < face.z.size(); ++i) {
                out.xy.push_back(local(face.xy[i]));
                out.z.push_back(face.z[i] - zOffset);
            }
        }
        const std::string& id = building.id;
        if (AcImporter::createMorph(faces, layer, false, true, kLod2Material, &diag, id) ==
            NoError) {
            ++tally.created;
        } else if (AcImporter::createMorph(faces, layer, true, true, kLod2Material, nullptr, id) ==
                   NoError) {
            ++tally.created;
            ++second;
        } else if (const GSErrCode err = AcImporter::createMorph(faces, layer, true, false,
                                                                 kLod2Material, nullptr, id);
                   err == NoError) {
            ++tally.created;
            ++third;
        } else {
            tally.refused(err);
        }
    }
    in_.result.counts["budynkilod2"] = tally.created;
    in_.result.skipped += tally.skipped;
    const std::string line =
        "TERRAWEFT LOD2: utworzono " + std::to_string(tally.created) +
        " (czyste: " + std::to_string(tally.created - second - third) +
        ", triangulacja: " + std::to_string(second) + ", zupa: " + std::to_string(third) + ")" +
        ", pominieto " + std::to_string(tally.skipped) +
        " (zdegenerowane: " + std::to_string(degenerate) + ")" + tally.errorText();
    placement::report(line);
    placement::writeDiagnostics(kLod2Diagnostics, lod2Diagnostics(in_.lod2.size(), line, diag),
                                false);
}

// ---- Roofs, surfaces, bridges and roads ------------------------------------------------------

void ImportController::PlacementCommand::placeRoofs() {
    for (const RoofStage& stage : roofStages())
        placeRoofStage(stage);
}

void ImportController::PlacementCommand::placeRoofStage(const RoofStage& stage) {
    const std::vector<RoofModel>& models = fetched_.*stage.models;
    if (models.empty() || (stage.onePerLod1 && models.size() != fetched_.lod1.size()))
        return;
    const double zOffset = controller_.buildingZOffset();
    const API_AttributeIndex layer = stage.fixedLayer != nullptr
                                         ? LayerMapper::ensureLayer(stage.fixedLayer)
                                         : controller_.layerForType(stage.kind);
    const API_AttributeIndex plain =
        LayerMapper::ensureMaterial(stage.material, stage.r, stage.g, stage.b);
    const API_AttributeIndex correction = LayerMapper::ensureMaterial(
        std::string(stage.material) + kCorrectionSuffix, kCorrectionColour[0], kCorrectionColour[1],
        kCorrectionColour[2]);
    MorphTally tally;
    int flagged = 0;
    for (const RoofModel& model : models) {
        if (model.empty()) {
            ++tally.skipped;
            continue;
        }
        const GSErrCode err = AcImporter::createRoofMorph(roofFaces(model, zOffset), layer,
                                                          model.flag == 0 ? plain : correction);
        if (err != NoError) {
            tally.refused(err);
            continue;
        }
        ++tally.created;
        if (model.flag == 1)
            ++flagged;
    }
    in_.result.counts[stage.key] = tally.created;
    in_.result.skipped += tally.skipped;
    const std::string line = stage.prefix + std::to_string(tally.created) + stage.flaggedLabel +
                             std::to_string(flagged) + ")" + ", pominieto " +
                             std::to_string(tally.skipped) + tally.errorText();
    placement::report(line);
    writeRoofDiagnostics(stage, line);
}

// The model's faces in project coordinates: each point through the placement frame and the
// survey point, its height less the offset.
std::vector<Lod2Face> ImportController::PlacementCommand::roofFaces(const RoofModel& model,
                                                                    double zOffset) const {
    std::vector<Lod2Face> faces;
    model.forEachFace([&](std::span<const Pt3> corners) {
        Lod2Face& out = faces.emplace_back();
        for (const Pt3& p : corners) {
            out.xy.push_back(local(in_.sim.toPl2000({p.x, p.y})));
            out.z.push_back(p.z - zOffset);
        }
    });
    return faces;
}

void ImportController::PlacementCommand::writeRoofDiagnostics(const RoofStage& stage,
                                                              const std::string& reportLine) {
    std::string text;
    if (stage.fetchedLabel != nullptr) {
        const std::size_t fetched =
            stage.countsLod1 ? fetched_.lod1.size() : (fetched_.*stage.models).size();
        text = stage.fetchedLabel + std::to_string(fetched) + ", ";
    }
    text += fetched_.*stage.status + "\n" + reportLine + "\n";
    const bool append = stage.sharedFile && in_.ndsmDiagnosticsWritten;
    if (placement::writeDiagnostics(stage.diagnosticsFile, text, append) && stage.sharedFile)
        in_.ndsmDiagnosticsWritten = true;
}
