// The in-memory project: elements with memos, undoable commands, selection, attributes,
// geo-location, injected failures.

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <map>

#include "ACAPinc.h"
#include "HostTestApi.h"

namespace {

class Project : public ::testing::Test {
protected:
    void SetUp() override { host::reset(); }
    void TearDown() override { EXPECT_EQ(host::liveHandles(), handlesAtStart_); }

    std::size_t handlesAtStart_ = host::liveHandles();
};

// A polyline through the points, created as add-on code does it.
GSErrCode createPolyline(const std::vector<API_Coord>& points, API_AttributeIndex layer,
                         API_Guid* guid = nullptr) {
    API_Element element{};
    element.header.type = API_PolyLineID;
    if (const GSErrCode err = ACAPI_Element_GetDefaults(&element, nullptr))
        return err;
    element.header.layer = layer;
    element.polyLine.poly.nCoords = static_cast<Int32>(points.size());
    API_ElementMemo memo{};
    memo.coords = BMAllocateTypedHandle<API_Coord>(static_cast<GSSize>(points.size()) + 1);
    for (std::size_t i = 0; i < points.size(); ++i)
        (*memo.coords)[i + 1] = points[i];
    const GSErrCode err = ACAPI_Element_Create(&element, &memo);
    ACAPI_DisposeElemMemoHdls(&memo);
    if (guid != nullptr)
        *guid = element.header.guid;
    return err;
}

TEST_F(Project, ElementsAreChangedOnlyInsideAnUndoableCommand) {
    EXPECT_EQ(createPolyline({{0, 0}, {1, 0}}, 1), APIERR_NEEDSUNDOSCOPE);
    const GS::Array<API_Guid> none;
    EXPECT_EQ(ACAPI_Element_Delete(none), APIERR_NEEDSUNDOSCOPE);
    API_Attribute layer{};
    layer.header.typeID = API_LayerID;
    std::snprintf(layer.header.name, sizeof layer.header.name, "X");
    EXPECT_EQ(ACAPI_Attribute_Create(&layer, nullptr), APIERR_NEEDSUNDOSCOPE);
    EXPECT_EQ(host::elementCount(), 0u);
}

TEST_F(Project, AFailedCommandRestoresTheProjectAndUndoRevertsASuccessfulOne) {
    const API_AttributeIndex gis = host::addLayer("GIS");
    ASSERT_EQ(ACAPI_CallUndoableCommand("first",
                                        [&] {
                                            return createPolyline({{0, 0}, {1, 1}}, gis);
                                        }),
              NoError);
    const GSErrCode failed = ACAPI_CallUndoableCommand("second", [&] {
        EXPECT_EQ(createPolyline({{5, 5}, {6, 6}}, gis), NoError);
        API_Attribute material{};
        material.header.typeID = API_MaterialID;
        std::snprintf(material.header.name, sizeof material.header.name, "M");
        EXPECT_EQ(ACAPI_Attribute_Create(&material, nullptr), NoError);
        return GSErrCode(0x81060001);
    });
    EXPECT_EQ(failed, GSErrCode(0x81060001));
    EXPECT_EQ(host::elementCount(), 1u);
    EXPECT_TRUE(host::attributes(API_MaterialID).empty());
    EXPECT_EQ(host::undoNames(), std::vector<std::string>{"first"});

    EXPECT_THROW(ACAPI_CallUndoableCommand("throws",
                                           [&]() -> GSErrCode {
                                               createPolyline({{7, 7}, {8, 8}}, gis);
                                               throw std::runtime_error("x");
                                           }),
                 std::runtime_error);
    EXPECT_EQ(host::elementCount(), 1u);
    EXPECT_EQ(ACAPI_CallUndoableCommand("again",
                                        [&] {
                                            return createPolyline({{0, 0}, {1, 1}}, 1);
                                        }),
              NoError);  // the scope was left properly after the exception

    EXPECT_TRUE(host::undo());
    EXPECT_TRUE(host::undo());
    EXPECT_EQ(host::elementCount(), 0u);
    EXPECT_FALSE(host::undo());
}

// The views of the project reload on every revision: a change without one would leave them
// stale, a revision without a change (a failed command) would reload for nothing.
TEST_F(Project, TheRevisionGrowsWithEveryChangeAndOnlyThen) {
    std::vector<std::uint64_t> told;
    host::setProjectListener([&](std::uint64_t revision) { told.push_back(revision); });
    const std::uint64_t start = host::projectRevision();
    const auto polyline = [] { return createPolyline({{0, 0}, {1, 1}}, 1); };

    ASSERT_EQ(ACAPI_CallUndoableCommand("outer",
                                        [&] {
                                            // A nested command is part of the outer step.
                                            EXPECT_EQ(ACAPI_CallUndoableCommand("inner", polyline),
                                                      NoError);
                                            return polyline();
                                        }),
              NoError);
    EXPECT_EQ(told, std::vector<std::uint64_t>{start + 1});
    EXPECT_EQ(ACAPI_CallUndoableCommand("failed", [] { return GSErrCode(APIERR_GENERAL); }),
              APIERR_GENERAL);
    EXPECT_THROW(
        ACAPI_CallUndoableCommand("throws", []() -> GSErrCode { throw std::runtime_error("x"); }),
        std::runtime_error);
    EXPECT_EQ(ACAPI_CallUndoableCommand("no body", nullptr), APIERR_BADPARS);
    EXPECT_EQ(host::projectRevision(), start + 1);

    EXPECT_TRUE(host::undo());
    EXPECT_FALSE(host::undo());  // nothing left to undo: no change
    host::addText({0, 0}, "A");
    host::reset();  // a new project: never taken for one seen before
    EXPECT_EQ(told, (std::vector<std::uint64_t>{start + 1, start + 2, start + 3, start + 4}));
    EXPECT_EQ(host::projectRevision(), start + 4);

    host::setProjectListener({});
    host::addText({0, 0}, "B");
    EXPECT_EQ(told.size(), 4u);
    EXPECT_EQ(host::projectRevision(), start + 5);
}

// The geo-location is a project setting: undoing a command that ran before it was written keeps
// the newer location.
TEST_F(Project, UndoKeepsTheGeoLocationAsLastWritten) {
    ASSERT_EQ(ACAPI_CallUndoableCommand("import",
                                        [&] {
                                            return createPolyline({{0, 0}, {1, 1}}, 1);
                                        }),
              NoError);
    API_GeoLocation geo{};
    ASSERT_EQ(ACAPI_GeoLocation_GetGeoLocation(&geo), NoError);
    geo.surveyPoint.eastings = 7500000.0;
    geo.surveyPoint.orthogonalHeight = 100.0;
    ASSERT_EQ(ACAPI_GeoLocation_SetGeoLocation(&geo), NoError);

    EXPECT_TRUE(host::undo());
    EXPECT_EQ(host::elementCount(), 0u);
    EXPECT_EQ(host::geoLocation().surveyPoint.eastings, 7500000.0);
    EXPECT_EQ(host::geoLocation().surveyPoint.orthogonalHeight, 100.0);
}

TEST_F(Project, MemosComeBackAsTheyWereWrittenAndAreFreedByDispose) {
    API_Guid guid{};
    ASSERT_EQ(
        ACAPI_CallUndoableCommand("c",
                                  [&] {
                                      return createPolyline({{0, 0}, {3, 0}, {3, 4}}, 1, &guid);
                                  }),
        NoError);
    API_Element element{};
    element.header.guid = guid;
    ASSERT_EQ(ACAPI_Element_Get(&element), NoError);
    EXPECT_EQ(element.header.type.typeID, API_PolyLineID);
    EXPECT_TRUE(element.header.hasMemo);

    API_ElementMemo memo{};
    ASSERT_EQ(ACAPI_Element_GetMemo(guid, &memo, APIMemoMask_Polygon), NoError);
    ASSERT_EQ(BMGetTypedCount(memo.coords), 4);  // entry 0 unused
    EXPECT_EQ((*memo.coords)[3], (API_Coord{3, 4}));
    EXPECT_EQ(memo.textContent, nullptr);
    ACAPI_DisposeElemMemoHdls(&memo);
    EXPECT_EQ(memo.coords, nullptr);

    ASSERT_EQ(ACAPI_Element_GetMemo(guid, &memo, APIMemoMask_TextContent), NoError);
    EXPECT_EQ(memo.coords, nullptr);  // the mask chooses the parts

    const auto snapshot = host::element(guid);
    ASSERT_TRUE(snapshot.has_value());
    EXPECT_EQ(snapshot->coords, (std::vector<API_Coord>{{0, 0}, {3, 0}, {3, 4}}));
    EXPECT_EQ(ACAPI_Element_GetMemo(APINULLGuid, &memo), APIERR_BADID);
}

TEST_F(Project, CreationRefusesWhatTheHostRefuses) {
    const API_AttributeIndex locked = host::addLayer("ZABLOKOWANA", true);
    ACAPI_CallUndoableCommand("c", [&] {
        EXPECT_EQ(createPolyline({{0, 0}}, 1), APIERR_BADPOLY);
        EXPECT_EQ(createPolyline({{0, 0}, {1, 1}}, 99), APIERR_BADINDEX);
        EXPECT_EQ(createPolyline({{0, 0}, {1, 1}}, locked), APIERR_LAYERLOCKED);

        // A hatch with an outer ring and a hole: rings end where pends says, each closed.
        API_Element hatch{};
        hatch.header.type = API_HatchID;
        ACAPI_Element_GetDefaults(&hatch, nullptr);
        hatch.hatch.poly = {10, 2, 0};
        API_ElementMemo memo{};
        memo.coords = BMAllocateTypedHandle<API_Coord>(11);
        const API_Coord outer[] = {{0, 0}, {4, 0}, {4, 4}, {0, 4}, {0, 0}};
        const API_Coord hole[] = {{1, 1}, {2, 1}, {2, 2}, {1, 2}, {1, 1}};
        for (int i = 0; i < 5; ++i) {
            (*memo.coords)[1 + i] = outer[i];
            (*memo.coords)[6 + i] = hole[i];
        }
        EXPECT_EQ(ACAPI_Element_Create(&hatch, &memo), APIERR_BADPOLY);  // no ring ends
        memo.pends = BMAllocateTypedHandle<Int32>(3);
        (*memo.pends)[1] = 5;
        (*memo.pends)[2] = 10;
        (*memo.coords)[10] = {1, 1.5};  // the hole left open
        EXPECT_EQ(ACAPI_Element_Create(&hatch, &memo), APIERR_BADPOLY);
        (*memo.coords)[10] = {1, 1};
        (*memo.pends)[2] = 9;  // rings that do not end at the last coordinate
        EXPECT_EQ(ACAPI_Element_Create(&hatch, &memo), APIERR_BADPOLY);
        (*memo.pends)[2] = 10;
        EXPECT_EQ(ACAPI_Element_Create(&hatch, &memo), NoError);

        // The same outline as a mesh needs a height per outline coordinate.
        API_Element mesh{};
        mesh.header.type = API_MeshID;
        ACAPI_Element_GetDefaults(&mesh, nullptr);
        mesh.mesh.poly = {5, 1, 0};
        (*memo.pends)[1] = 5;
        EXPECT_EQ(ACAPI_Element_Create(&mesh, &memo), APIERR_BADPARS);
        memo.meshPolyZ = BMAllocateTypedHandle<double>(6);
        EXPECT_EQ(ACAPI_Element_Create(&mesh, &memo), NoError);
        ACAPI_DisposeElemMemoHdls(&memo);

        API_Element text{};
        text.header.type = API_TextID;
        ACAPI_Element_GetDefaults(&text, nullptr);
        EXPECT_EQ(ACAPI_Element_Create(&text, nullptr), APIERR_BADPARS);
        return NoError;
    });
    EXPECT_EQ(host::elementCount(), 2u);
    EXPECT_EQ(host::elements()[0].pends, (std::vector<Int32>{5, 10}));
}

TEST_F(Project, DeletionIsAllOrNothing) {
    const API_AttributeIndex locked = host::addLayer("L", true);
    const API_Guid a = host::addPolyline({{0, 0}, {1, 0}});
    const API_Guid b = host::addPolyline({{0, 0}, {2, 0}}, locked);
    host::setSelection({a});
    EXPECT_EQ(ACAPI_CallUndoableCommand("d",
                                        [&] {
                                            return ACAPI_Element_Delete({a, b});
                                        }),
              APIERR_LAYERLOCKED);
    EXPECT_EQ(ACAPI_CallUndoableCommand("d",
                                        [&] {
                                            return ACAPI_Element_Delete({a, APINULLGuid});
                                        }),
              APIERR_BADID);
    EXPECT_EQ(host::elementCount(), 2u);
    EXPECT_EQ(ACAPI_CallUndoableCommand("d", [&] { return ACAPI_Element_Delete({a}); }), NoError);
    EXPECT_EQ(host::elementCount(), 1u);
    EXPECT_TRUE(host::selection().empty());
    host::undo();
    EXPECT_EQ(host::elementCount(), 2u);
}

TEST_F(Project, ListsFilterByTypeAndActiveFloorInCreationOrder) {
    host::addFloor(1);
    const API_Guid p0 = host::addPolyline({{0, 0}, {1, 0}}, 1, 0);
    const API_Guid t0 = host::addText({1, 2}, "a", 1, 0);
    const API_Guid p1 = host::addPolyline({{0, 0}, {1, 0}}, 1, 1);
    const API_Guid p2 = host::addPolyline({{0, 0}, {3, 0}}, 1, 0);
    GS::Array<API_Guid> list;
    ASSERT_EQ(ACAPI_Element_GetElemList(API_PolyLineID, &list, APIFilt_OnActFloor), NoError);
    EXPECT_EQ(list, (GS::Array<API_Guid>{p0, p2}));
    host::setActiveFloor(1);
    ACAPI_Element_GetElemList(API_PolyLineID, &list, APIFilt_OnActFloor);
    EXPECT_EQ(list, (GS::Array<API_Guid>{p1}));
    ACAPI_Element_GetElemList(API_ZombieElemID, &list);
    EXPECT_EQ(list, (GS::Array<API_Guid>{p0, t0, p1, p2}));

    API_ElementMemo memo{};
    ASSERT_EQ(ACAPI_Element_GetMemo(t0, &memo, APIMemoMask_TextContent), NoError);
    EXPECT_STREQ(*memo.textContent, "a");
    ACAPI_DisposeElemMemoHdls(&memo);
}

TEST_F(Project, SelectionReportsEmptyAndListsTheSelectedInOrder) {
    API_SelectionInfo info{};
    GS::Array<API_Neig> neigs;
    EXPECT_EQ(ACAPI_Selection_Get(&info, &neigs, false, true, API_InsidePartially), APIERR_NOSEL);
    EXPECT_EQ(info.typeID, API_SelEmpty);
    const API_Guid wall = host::addElement(API_WallID);
    const API_Guid text = host::addText({0, 0}, "x");
    host::setSelection({text, wall});
    ASSERT_EQ(ACAPI_Selection_Get(&info, &neigs, false, true, API_InsidePartially), NoError);
    EXPECT_EQ(info.typeID, API_SelElems);
    EXPECT_EQ(info.sel_nElem, 2);
    ASSERT_EQ(neigs.GetSize(), 2u);
    EXPECT_EQ(neigs[0].guid, text);
    EXPECT_EQ(neigs[1].guid, wall);
}

TEST_F(Project, AttributesKeepTheirNamesIndicesAndFields) {
    API_Attribute material{};
    material.header.typeID = API_MaterialID;
    std::snprintf(material.header.name, sizeof material.header.name, "Dach");
    material.material.mtype = APIMater_MatteID;
    material.material.ambientPc = 70;
    material.material.surfaceRGB = {0.5, 0.25, 0.125};
    ACAPI_CallUndoableCommand("a", [&] {
        EXPECT_EQ(ACAPI_Attribute_Create(&material, nullptr), NoError);
        EXPECT_EQ(material.header.index, 1);
        API_Attribute again = material;
        EXPECT_EQ(ACAPI_Attribute_Create(&again, nullptr), APIERR_NAMEALREADYUSED);
        std::snprintf(again.header.name, sizeof again.header.name, "dach");  // case matters
        EXPECT_EQ(ACAPI_Attribute_Create(&again, nullptr), NoError);
        EXPECT_EQ(again.header.index, 2);
        return NoError;
    });
    GS::Array<API_Attribute> all;
    ASSERT_EQ(ACAPI_Attribute_GetAttributesByType(API_MaterialID, all), NoError);
    ASSERT_EQ(all.GetSize(), 2u);
    EXPECT_STREQ(all[0].header.name, "Dach");
    EXPECT_EQ(all[0].material.ambientPc, 70);
    EXPECT_EQ(all[0].material.surfaceRGB.f_green, 0.25);
    ASSERT_EQ(ACAPI_Attribute_GetAttributesByType(API_LayerID, all), NoError);
    EXPECT_STREQ(all[0].header.name, "Warstwa podstawowa");
}

TEST_F(Project, GeoLocationIsWrittenAndReadWhole) {
    API_GeoLocation geo{};
    ASSERT_EQ(ACAPI_GeoLocation_GetGeoLocation(&geo), NoError);
    EXPECT_EQ(geo, API_GeoLocation{});
    geo.placeInfo.latitude = 52.2;
    geo.placeInfo.timeZoneInMinutes = 60;
    geo.surveyPoint.eastings = 7500000.5;
    geo.surveyPoint.geoReferenceData.name = "EPSG:2178";
    geo.surveyPoint.geoReferenceData.mapZone = "7";
    ASSERT_EQ(ACAPI_GeoLocation_SetGeoLocation(&geo), NoError);
    API_GeoLocation read{};
    ACAPI_GeoLocation_GetGeoLocation(&read);
    EXPECT_EQ(read, geo);
    EXPECT_EQ(host::geoLocation().surveyPoint.geoReferenceData.name.ToUtf8(), "EPSG:2178");
}

TEST_F(Project, InjectedFailuresSkipThenFailTheGivenNumberOfCalls) {
    host::failCalls("ACAPI_GeoLocation_SetGeoLocation", APIERR_BADPARS, 2, 1);
    const API_GeoLocation geo{};
    EXPECT_EQ(ACAPI_GeoLocation_SetGeoLocation(&geo), NoError);
    EXPECT_EQ(ACAPI_GeoLocation_SetGeoLocation(&geo), APIERR_BADPARS);
    EXPECT_EQ(ACAPI_GeoLocation_SetGeoLocation(&geo), APIERR_BADPARS);
    EXPECT_EQ(ACAPI_GeoLocation_SetGeoLocation(&geo), NoError);
    EXPECT_EQ(host::callCount("ACAPI_GeoLocation_SetGeoLocation"), 4);

    host::failCalls("BMAllocateHandle", APIERR_MEMFULL, -1);
    EXPECT_EQ(BMAllocateHandle(8), nullptr);
    EXPECT_EQ(BMAllocateHandle(8), nullptr);
    host::clearFailures();
    GSHandle h = BMAllocateHandle(8);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(BMGetHandleSize(h), 8);
    h = BMReallocHandle(h, 64);
    EXPECT_EQ(BMGetHandleSize(h), 64);
    EXPECT_EQ((*h)[63], 0);
    BMKillHandle(&h);
    EXPECT_EQ(h, nullptr);
}

}  // namespace

namespace {

// A morph of the given faces (vertex triples of a closed solid), edges shared where a face runs
// an edge backwards.
GSErrCode createMorph(const std::vector<API_Coord3D>& points,
                      const std::vector<std::vector<UInt32>>& faces) {
    API_BodyBuilder* body = nullptr;
    EXPECT_EQ(ACAPI_Body_Create(nullptr, nullptr, &body), NoError);
    for (const auto& p : points) {
        UInt32 index = 0;
        ACAPI_Body_AddVertex(body, p, index);
    }
    std::map<std::pair<UInt32, UInt32>, Int32> edges;
    const API_OverriddenAttribute material{true, 3};
    for (const auto& face : faces) {
        GS::Array<Int32> ring;
        for (std::size_t i = 0; i < face.size(); ++i) {
            const UInt32 a = face[i], b = face[(i + 1) % face.size()];
            if (const auto back = edges.find({b, a}); back != edges.end()) {
                ring.Push(-back->second);
                continue;
            }
            Int32 e = 0;
            ACAPI_Body_AddEdge(body, a, b, e);
            edges[{a, b}] = e;
            ring.Push(e);
        }
        UInt32 polygon = 0;
        ACAPI_Body_AddPolygon(body, ring, 0, material, polygon);
    }
    API_Element element{};
    element.header.type = API_MorphID;
    ACAPI_Element_GetDefaults(&element, nullptr);
    API_ElementMemo memo{};
    ACAPI_Body_Finish(body, &memo.morphBody, &memo.morphMaterialMap);
    ACAPI_Body_Dispose(&body);
    EXPECT_EQ(body, nullptr);
    const GSErrCode err = ACAPI_Element_Create(&element, &memo);
    ACAPI_DisposeElemMemoHdls(&memo);
    return err;
}

const std::vector<API_Coord3D> kTetra = {{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 0, 1}};

TEST_F(Project, MorphBodiesAreStoredWholeAndOpenRingsAreRefused) {
    ACAPI_CallUndoableCommand("m", [&] {
        EXPECT_EQ(createMorph(kTetra, {{1, 3, 2}, {1, 2, 4}, {2, 3, 4}, {3, 1, 4}}), NoError);
        EXPECT_EQ(createMorph(kTetra, {}), APIERR_BADPOLY);  // no polygon
        return NoError;
    });
    const auto all = host::elements();
    ASSERT_EQ(all.size(), 1u);
    ASSERT_TRUE(all[0].body.has_value());
    const host::MorphBody& body = *all[0].body;
    EXPECT_EQ(body.vertices.size(), 4u);
    EXPECT_EQ(body.edges.size(), 6u);  // each edge shared by two faces
    ASSERT_EQ(body.polygons.size(), 4u);
    EXPECT_EQ(body.polygons[1].edges, (std::vector<Int32>{-3, 4, 5}));
    EXPECT_EQ(body.polygons[0].material, 3);

    // A polygon whose edges do not join up end to end.
    API_BodyBuilder* open = nullptr;
    ACAPI_Body_Create(nullptr, nullptr, &open);
    UInt32 v = 0;
    for (const auto& p : kTetra)
        ACAPI_Body_AddVertex(open, p, v);
    Int32 e1 = 0, e2 = 0, e3 = 0, bad = 0;
    ACAPI_Body_AddEdge(open, 1, 2, e1);
    ACAPI_Body_AddEdge(open, 2, 3, e2);
    ACAPI_Body_AddEdge(open, 4, 1, e3);
    EXPECT_EQ(ACAPI_Body_AddEdge(open, 1, 9, bad), APIERR_BADINDEX);
    UInt32 polygon = 0;
    EXPECT_EQ(ACAPI_Body_AddPolygon(open, {e1, e2}, 0, {}, polygon), APIERR_BADPOLY);
    EXPECT_EQ(ACAPI_Body_AddPolygon(open, {e1, e2, 7}, 0, {}, polygon), APIERR_BADINDEX);
    ASSERT_EQ(ACAPI_Body_AddPolygon(open, {e1, e2, e3}, 0, {}, polygon), NoError);
    API_Element morph{};
    morph.header.type = API_MorphID;
    ACAPI_Element_GetDefaults(&morph, nullptr);
    API_ElementMemo memo{};
    ACAPI_Body_Finish(open, &memo.morphBody, nullptr);
    ACAPI_Body_Dispose(&open);
    ACAPI_CallUndoableCommand("m", [&] {
        EXPECT_EQ(ACAPI_Element_Create(&morph, &memo), APIERR_BADPOLY);
        EXPECT_EQ(ACAPI_Element_Create(&morph, nullptr), APIERR_BADPARS);
        return NoError;
    });
    ACAPI_DisposeElemMemoHdls(&memo);
}

}  // namespace

namespace {

// An element of the type from the defaults, with the memo the test fills.
struct Draft {
    explicit Draft(API_ElemTypeID type) {
        element.header.type = type;
        ACAPI_Element_GetDefaults(&element, nullptr);
    }
    ~Draft() { ACAPI_DisposeElemMemoHdls(&memo); }
    Draft(const Draft&) = delete;
    Draft& operator=(const Draft&) = delete;

    GSErrCode create() {
        GSErrCode err = NoError;
        ACAPI_CallUndoableCommand("c", [&] {
            err = ACAPI_Element_Create(&element, &memo);
            return NoError;
        });
        return err;
    }

    // One closed ring over the points (the first one repeated at the end).
    void ring(std::vector<API_Coord> points) {
        points.push_back(points.front());
        memo.coords = BMAllocateTypedHandle<API_Coord>(static_cast<GSSize>(points.size()) + 1);
        memo.pends = BMAllocateTypedHandle<Int32>(2);
        for (std::size_t i = 0; i < points.size(); ++i)
            (*memo.coords)[i + 1] = points[i];
        (*memo.pends)[1] = static_cast<Int32>(points.size());
    }

    API_Element element{};
    API_ElementMemo memo{};
};

const std::vector<API_Coord> kSquare = {{0, 0}, {1, 0}, {1, 1}, {0, 1}};
constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

TEST_F(Project, CoordinatesHeightsAndAnchorsMustBeNumbers) {
    Draft hatch(API_HatchID);
    hatch.ring({{0, 0}, {1, kNaN}, {1, 1}});
    hatch.element.hatch.poly = {5, 1, 0};
    EXPECT_EQ(hatch.create(), APIERR_BADPOLY);

    Draft mesh(API_MeshID);
    mesh.ring(kSquare);
    mesh.element.mesh.poly = {5, 1, 0};
    mesh.memo.meshPolyZ = BMAllocateTypedHandle<double>(6);
    (*mesh.memo.meshPolyZ)[3] = kNaN;
    EXPECT_EQ(mesh.create(), APIERR_BADPARS);
    (*mesh.memo.meshPolyZ)[3] = 1.0;
    mesh.memo.meshLevelCoords = BMAllocateTypedHandle<API_MeshLevelCoord>(2);
    mesh.memo.meshLevelEnds = BMAllocateTypedHandle<Int32>(2);
    (*mesh.memo.meshLevelCoords)[1] = {{0.5, 0.5, kNaN}, 0};
    (*mesh.memo.meshLevelEnds)[0] = 1;
    (*mesh.memo.meshLevelEnds)[1] = 2;
    EXPECT_EQ(mesh.create(), APIERR_BADPARS) << "a level point that is no number";
    (*mesh.memo.meshLevelCoords)[1].c.z = 2.0;
    (*mesh.memo.meshLevelEnds)[1] = 3;
    EXPECT_EQ(mesh.create(), APIERR_BADPARS) << "a level line ending past the level points";
    (*mesh.memo.meshLevelEnds)[0] = 2;
    (*mesh.memo.meshLevelEnds)[1] = 1;
    EXPECT_EQ(mesh.create(), APIERR_BADPARS) << "level line ends that fall back";
    (*mesh.memo.meshLevelEnds)[1] = 2;
    EXPECT_EQ(mesh.create(), NoError);

    Draft text(API_TextID);
    text.memo.textContent = BMAllocateTypedHandle<char>(2);
    (*text.memo.textContent)[0] = 'A';
    text.element.text.loc = {kNaN, 0};
    EXPECT_EQ(text.create(), APIERR_BADPARS);
    text.element.text.loc = {0, 0};
    EXPECT_EQ(text.create(), NoError);
    EXPECT_EQ(host::elementCount(), 2u);
}

TEST_F(Project, FillsAndBuildingMaterialsMustExist) {
    Draft hatch(API_HatchID);
    hatch.ring(kSquare);
    hatch.element.hatch.poly = {5, 1, 0};
    hatch.element.hatch.fillInd = 9;
    EXPECT_EQ(hatch.create(), APIERR_BADINDEX);
    hatch.element.hatch.fillInd = 4;
    EXPECT_EQ(hatch.create(), NoError);

    Draft slab(API_SlabID);
    slab.ring(kSquare);
    slab.element.slab.poly = {5, 1, 0};
    slab.element.slab.buildingMaterial = 3;
    EXPECT_EQ(slab.create(), APIERR_BADINDEX);
    slab.element.slab.buildingMaterial = 0;  // none
    EXPECT_EQ(slab.create(), NoError);
}

TEST_F(Project, PicturesMustHoldAnImageOfTheirTypeInABoxWithArea) {
    const std::string png = std::string("\x89PNG\r\n\x1a\n", 8) + "data";
    Draft picture(API_PictureID);
    picture.element.picture.destBox = {0, 0, 2, 1};
    std::snprintf(picture.element.picture.mimeType, sizeof picture.element.picture.mimeType,
                  "image/png");
    EXPECT_EQ(picture.create(), APIERR_BADPARS) << "no image";
    picture.memo.pictHdl = BMAllocateHandle(static_cast<GSSize>(png.size()));
    std::memcpy(*picture.memo.pictHdl, png.data(), png.size());
    std::snprintf(picture.element.picture.mimeType, sizeof picture.element.picture.mimeType,
                  "image/jpeg");
    EXPECT_EQ(picture.create(), APIERR_BADPARS) << "PNG bytes called JPEG";
    std::snprintf(picture.element.picture.mimeType, sizeof picture.element.picture.mimeType,
                  "image/png");
    picture.element.picture.destBox = {0, 0, 0, 1};
    EXPECT_EQ(picture.create(), APIERR_BADPARS) << "a box without width";
    picture.element.picture.destBox = {0, 0, 2, 1};
    ASSERT_EQ(picture.create(), NoError);
    EXPECT_EQ(host::elements()[0].picture, png);
    EXPECT_EQ(host::elements()[0].pictureBytes, png.size());
}

TEST_F(Project, BodiesCanBeRefusedOnPurposeAndBuildersAreCounted) {
    host::refuseBodies([](const host::MorphBody& body) { return body.polygons.size() > 3; });
    ACAPI_CallUndoableCommand("m", [&] {
        EXPECT_EQ(createMorph(kTetra, {{1, 3, 2}, {1, 2, 4}, {2, 3, 4}, {3, 1, 4}}),
                  APIERR_BADPOLY);
        host::refuseBodies({});
        EXPECT_EQ(createMorph(kTetra, {{1, 3, 2}, {1, 2, 4}, {2, 3, 4}, {3, 1, 4}}), NoError);
        return NoError;
    });
    host::refuseBodies([](const host::MorphBody&) { return true; });
    host::reset();
    ACAPI_CallUndoableCommand("m", [&] {
        EXPECT_EQ(createMorph(kTetra, {{1, 3, 2}, {1, 2, 4}, {2, 3, 4}, {3, 1, 4}}), NoError)
            << "reset() ends the refusal";
        return NoError;
    });

    API_BodyBuilder* body = nullptr;
    ACAPI_Body_Create(nullptr, nullptr, &body);
    EXPECT_EQ(host::liveBodyBuilders(), 1u);
    ACAPI_Body_Dispose(&body);
    EXPECT_EQ(host::liveBodyBuilders(), 0u);
}

std::array<double, 4> corners(const API_Box& box) {
    return {box.xMin, box.yMin, box.xMax, box.yMax};
}

const std::string kPng = std::string("\x89PNG\r\n\x1a\n", 8) + "data";

// A picture of 2 x 1 at the origin, turned a quarter turn about its lower-left corner.
void turnedPicture(Draft& picture) {
    picture.element.picture.destBox = {0, 0, 2, 1};
    picture.element.picture.rotAngle = std::acos(0.0);
    std::snprintf(picture.element.picture.mimeType, sizeof picture.element.picture.mimeType,
                  "image/png");
    picture.memo.pictHdl = BMAllocateHandle(static_cast<GSSize>(kPng.size()));
    std::memcpy(*picture.memo.pictHdl, kPng.data(), kPng.size());
}

// Drawing data opened and stopped inside a command, with what `draw` creates in between.
GSErrCode drawingData(double scale, const std::function<void()>& draw, GSHandle* data,
                      API_Box* box) {
    GSErrCode stopped = APIERR_GENERAL;
    ACAPI_CallUndoableCommand("drawing data", [&] {
        EXPECT_EQ(ACAPI_Drawing_StartDrawingData(scale, nullptr), NoError);
        EXPECT_TRUE(host::drawingDataOpen());
        draw();
        stopped = ACAPI_Drawing_StopDrawingData(data, box);
        return NoError;
    });
    return stopped;
}

TEST_F(Project, DrawingDataIsOneAtATimeAndWithoutElementsGivesNoData) {
    EXPECT_EQ(ACAPI_Drawing_StartDrawingData(0.0, nullptr), APIERR_BADPARS);
    EXPECT_EQ(ACAPI_Drawing_StartDrawingData(kNaN, nullptr), APIERR_BADPARS);
    GSHandle data = nullptr;
    API_Box box{1, 1, 2, 2};
    EXPECT_EQ(ACAPI_Drawing_StopDrawingData(&data, &box), APIERR_REFUSEDCMD) << "none open";

    const auto again = [] {
        EXPECT_EQ(ACAPI_Drawing_StartDrawingData(1.0, nullptr), APIERR_REFUSEDCMD);
    };
    EXPECT_EQ(drawingData(1.0, again, &data, &box), NoError);
    EXPECT_EQ(data, nullptr) << "nothing drawn, no data";
    EXPECT_EQ(corners(box), (std::array<double, 4>{0, 0, 0, 0}));
    EXPECT_FALSE(host::drawingDataOpen());
}

// Elements created while drawing data is open go into it, not into the project; a drawing
// element holding the data brings them into the project, where they stay with the drawing.
TEST_F(Project, DrawingDataHoldsItsElementsUntilADrawingBringsThemIn) {
    Draft picture(API_PictureID);
    turnedPicture(picture);
    GSHandle data = nullptr;
    API_Box box{};
    const auto draw = [&] {
        EXPECT_EQ(createPolyline({{3, 4}, {5, -1}}, 1), NoError);
        EXPECT_EQ(ACAPI_Element_Create(&picture.element, &picture.memo), NoError);
    };
    ASSERT_EQ(drawingData(0.5, draw, &data, &box), NoError);
    EXPECT_EQ(host::elementCount(), 0u) << "the project holds none of them";
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(corners(box), (std::array<double, 4>{-1, -1, 5, 4}))
        << "the line's ends and the turned picture's corners";

    Draft drawing(API_DrawingID);
    drawing.ring({{-1, -1}, {5, -1}, {5, 4}, {-1, 4}});
    drawing.element.drawing.poly = {5, 1, 0};
    drawing.element.drawing.pos = {100, 200};
    std::memset(drawing.element.drawing.name, 'x', sizeof drawing.element.drawing.name);
    EXPECT_EQ(drawing.create(), APIERR_BADPARS) << "no drawing data";
    drawing.memo.drawingData = BMAllocateHandle(3);
    EXPECT_EQ(drawing.create(), APIERR_BADPARS) << "bytes that are no drawing data";
    BMKillHandle(&drawing.memo.drawingData);
    drawing.memo.drawingData = data;
    EXPECT_EQ(drawing.create(), APIERR_BADPARS) << "a name without its end";
    std::snprintf(drawing.element.drawing.name, sizeof drawing.element.drawing.name, "Rysunek");
    (*drawing.memo.coords)[5] = {-1, 0};
    EXPECT_EQ(drawing.create(), APIERR_BADPOLY) << "a clip polygon left open";
    (*drawing.memo.coords)[5] = {-1, -1};
    ASSERT_EQ(drawing.create(), NoError);

    const auto all = host::elements();
    ASSERT_EQ(all.size(), 1u);
    const host::ElementSnapshot& made = all[0];
    EXPECT_STREQ(made.element.drawing.name, "Rysunek");
    EXPECT_EQ(made.drawingScale, 0.5);
    ASSERT_EQ(made.drawing.size(), 2u);
    EXPECT_EQ(made.drawing[0].coords, (std::vector<API_Coord>{{3, 4}, {5, -1}}));
    EXPECT_EQ(made.drawing[1].picture, kPng);
    EXPECT_NE(made.drawing[0].element.header.guid, made.drawing[1].element.header.guid);

    API_ElementMemo memo{};
    ASSERT_EQ(ACAPI_Element_GetMemo(made.element.header.guid, &memo, APIMemoMask_DrawingData),
              NoError);
    EXPECT_EQ(memo.coords, nullptr);
    EXPECT_EQ(BMGetHandleSize(memo.drawingData), BMGetHandleSize(data));
    ACAPI_DisposeElemMemoHdls(&memo);
    EXPECT_TRUE(host::undo());
    EXPECT_EQ(host::elementCount(), 0u);
}

}  // namespace
