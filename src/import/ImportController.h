#pragma once
// The import controller: the back end of the map page. One process-wide object that answers the
// page's import messages on the main thread, runs the fetch of the chosen kinds of data on one
// detached worker thread, keeps the record of the last fetch and brings progress and results
// back to the page through the host's main message loop.
//
// Threads: every handler, every posted closure and every call of the host run on the main
// thread. The fetch worker touches only the members marked "worker" below, the cancel flag and
// the HTTP client (which guards itself); the main thread writes the request members only before
// the worker exists. Suggestion threads touch no member. Nothing takes a lock here.

#include <array>
#include <atomic>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "APIdefs.h"
#include "Bridge.h"
#include "DataType.h"
#include "MainThread.h"
#include "Settings.h"
#include "geodata/AscGrid.h"
#include "geodata/GeoTransform.h"
#include "geodata/GisTypes.h"
#include "geodata/LidarResolver.h"
#include "geodata/LocalServices.h"
#include "geodata/ProjConv.h"
#include "geodata/WfsClient.h"
#include "geometry/RoofModel.h"
#include "geometry/TerrainBuilder.h"
#include "geometry/Warstwica.h"
#include "import/fetch/ImportRasterStages.h"
#include "import/fetch/ImportTerrainStages.h"
#include "import/fetch/MunicipalityLookup.h"

class CloudTerrain;
class NdsmModel;

class ImportController {
public:
    using json = nlohmann::json;

    // One downloaded map image.
    struct RasterItem {
        DataType type = DataType::Rastry;  // mpzp, gesut, bdot500 or rastry
        std::string image;                 // the PNG or JPEG file as received
        Bbox bbox;                         // the image's area, in metres of epsg
        int epsg = 2180;                   // the code the image was asked in
    };

    // Everything one fetch produced. The statuses are one-line summaries of their stages; the
    // two height offsets are set by placement.
    struct FetchedData {
        std::vector<GisFeature> features;  // dzialki, budynki, pog and gesut, tagged by kind
        std::vector<RasterItem> rasters;
        std::vector<TerrainTile> terrain;  // from the terrain model
        double terrainZOffset = 0.0;
        std::string terrainStatus;
        std::vector<TerrainTile> cloudTerrain;
        double cloudTerrainZOffset = 0.0;
        std::string cloudTerrainStatus;
        std::vector<TerrainTile> water;
        std::string waterStatus;
        std::vector<Building3D> lod1;  // also the footprints of the roof stages
        bool lod1Requested = false;    // only then are the LoD1 buildings placed as blocks
        std::string lod1Status;
        std::vector<BuildingLod2> lod2;
        std::string lod2Status;
        std::vector<RoofModel> roofsCloud;  // "dachychmura"
        std::string roofsCloudStatus;
        std::vector<RoofModel> roofsRekon;  // "budynkirekon"
        std::string roofsRekonStatus;
        std::vector<RoofModel> roofsNdsm;  // "budynkindsm"
        std::string roofsNdsmStatus;
        std::vector<RoofModel> bridges;
        std::string bridgesStatus;
        std::vector<RoofModel> roads;
        std::string roadsStatus;
        std::vector<Warstwica> contours;  // from the terrain model
        std::string contoursStatus;
        std::vector<Warstwica> cloudContours;
        std::string cloudContoursStatus;
        std::string warning;  // every stage's sentences, or why the fetch failed

        // At least one of the fourteen lists holds something; texts and numbers do not count.
        bool hasData() const;
    };

    // A "fetch" message read whole, before anything of it is kept.
    struct FetchRequest {
        Bbox bbox;  // PL-1992
        std::vector<std::string> keys;
        int rasterScale = 1000;
        int terrainStep = 1;
        double poziomiceCiecie = 1.0;
        bool poziomiceWygladz = false;
        double terenChmuraKrok = 1.0;
        int zoneEpsg = 2180;  // PL-2000 zone of the area
    };

    static ImportController& Instance();

    // Registers "searchAddress", "searchAddressSuggest", "fetch", "place", "setOrigin",
    // "getLayers", "settingsChanged", "getInit" and "cancel", in this order.
    void registerHandlers(Bridge& bridge);

    // The PL-1992 extent of the four corners of a WGS84 box (west, south, east, north, degrees).
    static Bbox bboxFromWgs84(const std::array<double, 4>& wsen);

    // The request of a "fetch" message; nothing, with the sentence for the page in `error`, when
    // its area is not a real area on the globe (a coordinate not finite or out of range, west
    // equal to east or south to north) or lies not wholly within the reach of the Polish
    // coordinate systems (geobounds::frameWithinReach). A member of the wrong type, a negative
    // "terenChmuraKrok", or a grid step ("terrainStep", "terenChmuraKrok") larger than the frame's
    // longer side when a kind that uses it is asked for, throws pagefield::Refusal naming it.
    // Reads the project's geo-location for the zone: main thread only.
    static std::optional<FetchRequest> readFetchRequest(const json& message, std::string& error);

    // The record of the last completed fetch (main thread).
    const FetchedData& lastFetch() const { return fetched_; }

    // The record pipeline() gives, or, when it throws anything at all, an empty record whose
    // warning is "Blad pobierania: " and what is known of the exception.
    static FetchedData fetchOrFailure(const std::function<FetchedData()>& pipeline);

    // ---- What the placement command asks of the controller (main thread) -----------------

    // The height subtracted from building and roof heights: the terrain model's anchor when its
    // terrain was fetched, else that of the point-cloud terrain, else the project's survey-point
    // height, else the stored height anchor, else 0. During a placement all of them give the
    // anchor of that placement.
    double buildingZOffset() const;

    // The layer of a kind: the one the settings name for it (or its default), created when the
    // project has none of that name; 0 when it can be neither found nor made.
    API_AttributeIndex layerForType(DataType type) const;

    // A copy of the features with every point (rings, holes, lines and the own point where there
    // is one) moved into the placement frame; kinds and properties unchanged.
    static std::vector<GisFeature> reprojFeatures(const std::vector<GisFeature>& features,
                                                  const ProjConv::Sim2000& frame);

    // ---- Test seams (main thread) ----------------------------------------------------------

    // Keeps data as the record of a finished fetch of the request, as the fetch's completion
    // does ("fetchDone" included), for kinds whose stages a test does not run.
    void adoptFetchForTest(const FetchRequest& request, FetchedData data);
    // Reads the settings file again, so that a test starts without the anchor of an earlier one.
    void reloadSettingsForTest();
    // Forgets the municipality last found, so that a test's fetch asks its own boundaries
    // service whatever an earlier test's found nearby. Only while no fetch runs.
    void forgetMunicipalityForTest() { municipalities_ = MunicipalityLookup(); }

    ImportController(const ImportController&) = delete;
    ImportController& operator=(const ImportController&) = delete;

private:
    struct FetchRun;
    struct PlacementInputs;
    class PlacementCommand;

    // The answer to a request that must wait for the running fetch.
    static constexpr const char* kBusyMessage = "Trwa pobieranie danych - sprobuj za chwile";

    ImportController();

    // ---- Page handlers (main thread) ------------------------------------------------------
    json onSearchAddress(const json& message);
    json onSearchAddressSuggest(const json& message);
    json onFetch(const json& message);
    json onPlace(const json& message);
    json onSetOrigin(const json& message);
    json onGetLayers(const json& message);
    json onSettingsChanged(const json& message);
    json onGetInit(const json& message);
    json onCancel(const json& message);

    // ---- Address suggestions (own thread, then main thread) -------------------------------
    static void suggestWorker(const std::string& query);
    static void onSuggestResult(const std::string& query, const json& items);

    // ---- The fetch: start, worker, progress and completion --------------------------------
    void startFetch(const FetchRequest& request);
    void fetchWorker(const FetchRequest& request);
    static std::function<void(int, int)> stageProgress(const char* label);
    static void postProgress(int done, int total, const std::string& label);
    static void postReport(const std::string& text);
    void onFetchDone(const Bbox& bbox, std::vector<std::string> keys, FetchedData data,
                     const std::string& preview);

    // ---- The pipeline (worker): the stages in their fixed order ---------------------------
    FetchedData fetchForImport(const Bbox& bbox, const std::vector<std::string>& keys,
                               int rasterScale, int terrainStep, double contourInterval,
                               std::string warning);
    // The municipality at the frame's centre, and whether the boundaries service answered.
    MunicipalityLookup::Found terytForBbox(const Bbox& bbox);

    // Vector sources (ImportVectorStages.cpp). The features of one kind, or nothing when a
    // cancel cut their download short.
    using KindFeatures = std::optional<std::vector<GisFeature>>;
    struct Cadastre;
    void fetchCadastral(FetchRun& run);
    void fetchEgib(FetchRun& run, const std::string& teryt, const std::string& url,
                   Cadastre& cadastre);
    void fetchZoning(FetchRun& run);
    void fetchGeneralPlanZones(FetchRun& run, const std::string& teryt);
    void fetchUtilities(FetchRun& run);
    KindFeatures fetchNewBuildings(FetchRun& run);

    // Map rasters (ImportRasterStages.cpp).
public:
    // The scale denominator the county and municipal images are asked at: the request's from
    // 100 to 10000, 1000 for any other.
    static int usableRasterScale(int requested);
    // The tiles of a box, nx by ny (below 1 counts as 1), row by row from the south, west to
    // east within a row; the last column and row end exactly on the box's edges.
    static std::vector<Bbox> tileBboxes(const Bbox& box, int nx, int ny);
    static std::string joinComma(const std::vector<std::string>& names);
    // The code a WMS is asked for images in: the area's zone when the capabilities name its
    // code ("EPSG:2177", "urn:ogc:def:crs:EPSG::2177"), else 2180.
    static int wmsRequestEpsg(std::string_view capabilities, int zoneEpsg);

private:
    void fetchMpzpRaster(FetchRun& run, const std::string& teryt);
    void fetchGesutRaster(FetchRun& run, const LocalServices::Service& service);
    void fetchBdot500(FetchRun& run);
    void fetchOrthophoto(FetchRun& run);
    // The images of a county or municipal WMS: its capabilities, the layers `choose` picks out
    // of them, the tiles. No tile when the service does not answer or nothing is picked.
    rasterstages::Stored fetchServiceRaster(
        FetchRun& run, const std::string& wmsUrl, DataType type,
        const std::function<std::string(const std::string&)>& choose);
    // The frame's images of the layers at mpp metres a pixel, asked in epsg, in at most 4 x 4
    // tiles; each tile stored becomes a raster of the record.
    rasterstages::Stored fetchWmsRaster(FetchRun& run, const std::string& wmsUrl,
                                        const std::string& layers, double mpp, DataType type,
                                        int epsg);

    // Terrain from the terrain model and from point clouds (ImportTerrainStages.cpp).
public:
    // The height of the terrain model's grid at (x, y).
    static HeightSampler nmtHeightSampler(const FloatGrid& grid);
    // The ground and the water surface of a point-cloud grid.
    static HeightSampler cloudGroundSampler(const CloudTerrain& grid);
    static HeightSampler cloudWaterSampler(const CloudTerrain& grid);

    // The record of the last completed fetch, where tests read what the page is not sent.
    const FetchedData& fetchedForTest() const { return fetched_; }

private:
    void fetchTerrain(FetchRun& run);
    // The terrain model's grid over the frame, or over the part of it that a stage samples when
    // it samples less (its sheets alone are read, and those of the frame left out are told), read
    // one sheet at a time; the sheets that did not come or read are named. Nothing, after the
    // stage's sentence, when the area is too large for the grid (no sheet is asked then), when
    // the index was not reached or lists no sheet, when no sheet came as a grid, or when a cancel
    // came before or while a sheet was downloaded.
    std::optional<FloatGrid> terrainGrid(FetchRun& run, const terrainstages::NmtTexts& texts,
                                         const std::optional<Bbox>& part = std::nullopt);
    void fetchCloudTerrain(FetchRun& run);
    static void cloudTerrainTiles(FetchRun& run, const CloudTerrain& grid, double step,
                                  std::size_t sheets, std::size_t groundPoints);
    static void cloudWater(FetchRun& run, const CloudTerrain& grid, double step);

    // Building packages (ImportBuildingStages.cpp). The LoD1 stage also runs for the roof
    // stages, whose footprints its blocks are.
    void fetchLod1Stage(FetchRun& run);
    void fetchLod2Stage(FetchRun& run);
    // How a package stage ended besides its buildings: whether the county lookup and the
    // package's service answered, and whether the package holds sheets that could not be read,
    // on which the frame may lie.
    struct PackageEnd {
        ServiceReach reach;
        bool sheetsUnread = false;
    };
    // The buildings of the county's package (LoD1: of its newest published year) whose sheets
    // meet the frame. Every failure, a cancel while the sheets are read included, gives warn one
    // sentence and an empty result; status is written only on success, and the damaged
    // buildings left out and the sheets that could not be read, if any, are told in more
    // sentences.
    std::vector<Building3D> fetchBuildings3d(const Bbox& frame, std::string& status,
                                             const std::function<void(const std::string&)>& warn,
                                             PackageEnd& end);
    std::vector<BuildingLod2> fetchBuildingsLod2(
        const Bbox& frame, std::string& status, const std::function<void(const std::string&)>& warn,
        PackageEnd& end);
    // The progress of one package download: its bytes to the page as a cancellable "progress"
    // (throttled), and false, which stops the download, once the fetch is cancelled.
    WfsClient::ByteProgress packageDownloadProgress(const char* prefix);

    // Surface-model buildings, bridges and roads (ImportSurfaceStages.cpp).
    void fetchNdsmBuildings(FetchRun& run);
    void fetchBridgesAndRoads(FetchRun& run);
    // The frame's surface model from every surface-model and terrain sheet listed for it that
    // reads, read at the first call of a fetch (the sheets left out are named in the warning);
    // null when either index lists none, no sheet of a model reads, or a cancel came.
    const NdsmModel* loadNdsmTiles(FetchRun& run);
    // Says, with the stage's prefix, what keeps the two indexes of the frame's surface model from
    // serving it whole; false when either was not reached.
    bool acceptNdsmListings(FetchRun& run, std::string_view prefix);

    // Roofs and reconstruction from point clouds (ImportCloudRoofStages.cpp).
    void fetchCloudRoofs(FetchRun& run);
    void fetchReconstruction(FetchRun& run);

    // Contour lines from the terrain model and from point clouds (ImportContourStages.cpp).
    void fetchContours(FetchRun& run);
    void fetchCloudContours(FetchRun& run, const CloudTerrain& grid, double step);
    // The cancel flag as a tracing polls it.
    std::function<bool()> isCancelled() const;
    // Progress of the terrain-model tracing, one call a level: "Poziomice: liczenie warstwic".
    static void contourProgress(int done, int total);
    // The progress callback of a step the page's cancel can stop.
    static std::function<void(int, int)> cancellableProgress(const char* label);

    // ---- Placement (main thread) -----------------------------------------------------------
    // Fixes the height that becomes project Z = 0 for this placement (the survey point's height,
    // else the stored anchor, else the lowest terrain point fetched, which is then stored), sets
    // both terrain offsets to it and writes the height diagnostics line.
    void anchorHeights();
    // The fetched lists in the placement zone, ready for the step.
    PlacementInputs placementInputs(const GeoTransform& frame, int zoneEpsg) const;
    // The body of the undoable "Import GIS" step: everything fetched into the project. 0 keeps
    // the step; kPlacementRollback makes the host take it back whole.
    int placeFetched(PlacementInputs& inputs) const;

    // ---- Project origin: the height of the survey point (own thread, then main thread) -----
    // surveyPoint is the easting and northing the origin was written with; the height found at
    // (x, y) (PL-1992) is applied only while the project still has that survey point, to the
    // millimetre.
    static void originHeightWorker(double x, double y, GisPoint surveyPoint);
    static void applyOriginHeight(double z, GisPoint surveyPoint);

    // ---- State ----------------------------------------------------------------------------
    WfsClient client_;  // shared by the worker and the main thread's address search
    Settings settings_;
    std::atomic<bool> cancel_{false};
    bool busy_ = false;  // a fetch runs; main thread only
    FetchedData fetched_;
    Bbox fetchedBbox_;
    std::vector<std::string> fetchedKeys_;
    bool hasData_ = false;
    int zoneEpsg_ = 2180;  // of the last accepted fetch; read by the worker
    bool poziomiceWygladz_ = false;
    double terenChmuraKrok_ = 1.0;
    MunicipalityLookup municipalities_;  // worker
};
