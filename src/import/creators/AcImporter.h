#pragma once
// The element creators: each turns one piece of the program's own geometry into one host element
// of the open project. They run on the main thread inside the placement's undoable command and
// open no undo step of their own.
//
// Every creator returns 0 or the host's error code as the failing host call gave it (kNoHandle
// when a memory handle cannot be had). Input with nothing to create (too few points, an empty
// text or image) also gives 0; where a creator takes `created`, it is set to whether an element
// was made, so that a caller can tell "placed" from "nothing to place". Points and heights that
// are not finite numbers never reach the host: they are left out before anything is counted.
//
// Plan coordinates are the project's local metres (x east, y north), except where a creator
// takes the survey-point frame and converts them itself; heights are project metres.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "APIdefs.h"
#include "Settings.h"
#include "geodata/GeoTransform.h"
#include "geodata/GisTypes.h"
#include "geometry/TerrainBuilder.h"
#include "geometry/Warstwica.h"
#include "import/creators/AttributeCache.h"
#include "import/creators/ImportResult.h"

namespace AcImporter {

// A memory handle for an element's memo could not be had.
inline constexpr GSErrCode kNoHandle = static_cast<GSErrCode>(0x81060002u);
// Drawing data was closed without giving any back (nothing was drawn into it).
inline constexpr GSErrCode kNoDrawingData = static_cast<GSErrCode>(0x81060001u);
// A morph was asked for without any face it could build.
inline constexpr GSErrCode kNoFaces = static_cast<GSErrCode>(0x81060068u);

// ---- Plan elements ------------------------------------------------------------------------------

// An open polyline through the points (at least 2), with the contour pen.
GSErrCode createPolyLine(const std::vector<GisPoint>& points, API_AttributeIndex layer, short pen,
                         bool* created = nullptr);

// A hatch of the polygon (outline of at least 3 distinct points; holes with fewer are left out)
// drawn with the pen. Its fill is the first vector fill of the project whose lower-cased name
// contains `fill` (lower-case text; null or empty: the first vector fill), or the default fill
// when the project has no vector fill. With r, g, b all 0..255 the fill takes that colour; any of
// them negative means no colour of its own.
GSErrCode createHatchArea(const GisPolygon& polygon, API_AttributeIndex layer, short pen,
                          const char* fill, int r, int g, int b, bool* created = nullptr);

// A hatch of the polygon with the contour pen. With a colour (r, g, b as above) it takes the
// project's first solid fill in that colour; without one it keeps the default fill.
GSErrCode createFill(const GisPolygon& polygon, API_AttributeIndex layer, short pen, int r, int g,
                     int b, bool* created = nullptr);

// A slab standing on baseZ, `height` thick, over the ring (at least 3 distinct points), in the
// project's first building material; a non-empty id becomes the element's ID text.
GSErrCode createSlabBox(const std::vector<GisPoint>& ring, double baseZ, double height,
                        API_AttributeIndex layer, const std::string& id, bool* created = nullptr);

// A text (UTF-8; not empty) whose left middle stands at the position, with the pen, the size and
// the angle in radians (not a finite number: the default angle).
GSErrCode createText(const GisPoint& position, const std::string& text, API_AttributeIndex layer,
                     short pen, double size, double angle, bool* created = nullptr);

// A picture of one map image (PNG or JPEG bytes; anything else gives APIERR_BADPARS) covering the
// box. The box is in the system of boxEpsg (2180, or a PL-2000 zone 2176..2179); it is brought
// into the project's zone projectEpsg and through the survey-point frame into the project, where
// the picture keeps its true size in metres and turns with the frame. A code the conversion does
// not know gives APIERR_BADPARS.
GSErrCode createPicture(const std::string& image, const Bbox& box, int boxEpsg,
                        const GeoTransform& frame, int projectEpsg, API_AttributeIndex layer,
                        bool* created = nullptr);

// A drawing named "GIS rastr" holding a picture of one map image (PNG or JPEG bytes; anything
// else gives APIERR_BADPARS) as large as the box, which is in the survey-point frame's system.
// The drawing stands unturned at the box's lower-left corner in the project and shows its
// drawing data's whole extent. Nothing is made for an empty image or a box without area;
// kNoDrawingData when the drawing data comes back empty (the picture could not be made in it).
GSErrCode createDrawingRaster(const std::string& image, const Bbox& box, const GeoTransform& frame,
                              API_AttributeIndex layer);

// ---- Terrain meshes -----------------------------------------------------------------------------

// The four corners of a mesh's outline, (minx, miny), (maxx, miny), (maxx, maxy), (minx, maxy) of
// a box, in the project's map system (before the survey-point frame).
using MeshCorners = std::array<GisPoint, 4>;

// A mesh over the corners whose level points are the tile's points, each a level line of its own,
// at their heights minus zOffset; each corner takes the height of the tile point nearest to it.
// Points are in the project's map system and go through the frame. Appends one line to the
// terrain diagnostics file for every mesh tried (not for a tile without points).
GSErrCode createMesh(const TerrainTile& tile, const GeoTransform& frame, double zOffset,
                     API_AttributeIndex layer, const MeshCorners& corners, bool* created = nullptr);

// A mesh over the fetch frame whose level lines are the contour lines (each at its height minus
// zOffset); lines shorter than 1 m are left out. Nothing is made for fewer than 3 points in all
// or a frame without area. Appends one diagnostics line as createMesh does.
GSErrCode createMeshFromContours(const std::vector<Warstwica>& contours, const GeoTransform& frame,
                                 double zOffset, API_AttributeIndex layer,
                                 const MeshCorners& corners, bool* created = nullptr);

// ---- Morphs -------------------------------------------------------------------------------------

// What the morph builder did with the faces it was given, summed over the morphs it built.
struct TriDiag {
    std::int32_t facesTaken = 0;             // faces with at least 3 points
    std::int32_t whole = 0;                  // planar convex faces added as one polygon
    std::int32_t triangulatedConcave = 0;    // triangulated on request or for not being convex
    std::int32_t triangulatedNonPlanar = 0;  // triangulated for not being planar
    std::int32_t earClipped = 0;             // triangulations by ear clipping
    std::int32_t fanned = 0;                 // ear clipping failed: fanned from the first point
    std::int32_t fanLike = 0;                // ear clippings whose triangles crowd around one point
    std::int32_t fanLikeAfterFlips = 0;      // faces of 7 or more points still so after edge flips
    std::int32_t largestFanned = 0;          // most points of a fanned face
    std::int32_t largestFanLike = 0;         // most points of a fan-like ear-clipped face
};

// A morph of the faces (each a ring of local points with their heights, open or closed). With
// weld, points on the same millimetre become one vertex and neighbouring faces share their
// edges. Planar convex faces go whole unless triangulate is set; the others are triangulated,
// every triangle turned as its face runs. Every polygon gets the material; a non-empty id becomes
// the element's ID text; diag (may be null) counts what was done. Faces that are degenerate or
// hold a coordinate that is not a number are left out; with no polygon left the result is
// kNoFaces and nothing is created.
GSErrCode createMorph(const std::vector<Lod2Face>& faces, API_AttributeIndex layer,
                      bool triangulate, bool weld, API_AttributeIndex material, TriDiag* diag,
                      const std::string& id);

// One morph of a roof, surface or solid, tried as a welded body of whole faces, then welded and
// triangulated, then as loose triangulated faces: the first that the host accepts is kept (0);
// otherwise the error of the last try.
GSErrCode createRoofMorph(const std::vector<Lod2Face>& faces, API_AttributeIndex layer,
                          API_AttributeIndex material);

// ---- Vector features ----------------------------------------------------------------------------

// Draws parcels, buildings, local-plan and general-plan zones and utility lines (points in the
// project's map system) on the layers the settings name for their kinds, with outlines, fills,
// zone colours and labels. A feature counts under its kind's key when it was drawn, or in
// `skipped` when a drawing call failed. A layer that can be neither found nor created ends the
// import with the message.
ImportResult importFeatures(const std::vector<GisFeature>& features, const GeoTransform& frame,
                            const Settings& settings);

}  // namespace AcImporter
