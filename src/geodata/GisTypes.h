#pragma once
// The plain records in which every geodata source hands over its results. Plan coordinates are
// PL-1992 metres (EPSG:2180) unless a producer says otherwise: x is the easting, y the northing.

#include <cstdint>
#include <string>
#include <vector>

#include "geodata/PropertyMap.h"

struct GisPoint {
    double x = 0.0;
    double y = 0.0;
};

// Closed bounds: a point on the edge lies inside.
struct Bbox {
    double minx = 0.0;
    double miny = 0.0;
    double maxx = 0.0;
    double maxy = 0.0;
};

// Rings as read: no orientation imposed; a repeated closing point stays.
struct GisPolygon {
    std::vector<GisPoint> outer;
    std::vector<std::vector<GisPoint>> holes;
};

struct GisFeature {
    std::int32_t kind = 0;  // a DataType value, assigned by the caller of the reader
    std::vector<GisPolygon> polygons;
    std::vector<std::vector<GisPoint>> lines;
    GisPoint point;  // own position of a point feature, else a label point
    bool hasPoint = false;
    PropertyMap props;
};

// A block building (LoD1).
struct Building3D {
    std::string id;
    std::vector<GisPoint> footprint;
    double baseZ = 0.0;
    double height = 0.0;  // above baseZ
};

// One planar face of a LoD2 building: z[i] is the height of xy[i].
struct Lod2Face {
    std::vector<GisPoint> xy;
    std::vector<double> z;
};

struct BuildingLod2 {
    std::string id;
    std::vector<Lod2Face> faces;
    std::int32_t roofType = 0;  // 0 when the sheet gives none
};

// One point-cloud point, in the file's own coordinate system.
struct ClPoint {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    std::uint8_t cls = 0;  // the whole LAS classification byte
};
