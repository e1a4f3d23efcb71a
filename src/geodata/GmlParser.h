#pragma once
// Reads a web feature service's answer (a GML feature collection in memory) into GisFeature
// records in PL-1992 metres, and writes features as a GeoJSON preview in WGS84.
//
// Elements are matched by their local name (after the first ':'); namespaces are ignored. Each
// geometry takes its reference system from the nearest "srsName" on it or its ancestors, else
// from the document's default system, which is kept per thread so that threads may read at the
// same time. PL-2000 positions are converted to PL-1992; the order of the two numbers of a
// position follows from the reference system and, in PL-2000, from the zone digit of the values.
// Numbers are read independently of the process locale.

#include <string>
#include <string_view>
#include <vector>

#include "DataType.h"
#include "geodata/GisTypes.h"

class GmlParser {
public:
    // One feature per "member" or "featureMember" element, in document order, stamped with kind.
    // Polygons and polygon patches, line strings, curves of straight segments and points are
    // read; a position list whose "srsDimension" is 3 holds triples, of which x and y are kept.
    // A document that does not parse gives an empty list; geometry that cannot be read is dropped
    // piece by piece, and a feature left without polygon, line and point is dropped. The text
    // ends at its first zero byte. The features' vectors and texts hold no room beyond their
    // contents, features with the same property names share one list of them, and the list is
    // sized once; the memory used beyond the text and the features is that of one member's tree.
    static std::vector<GisFeature> parseFeatureCollection(const std::string& text, DataType kind);

    // The EPSG code of a reference system name: the last run of digits (of value 1 or more) after
    // the first "EPSG" and before the next ',' or '&', which start the next part of a compound
    // name; 0 when there is none.
    static int epsgFromSrsName(std::string_view srsName);

    // A compact GeoJSON FeatureCollection in WGS84 longitude and latitude, keys in byte order,
    // each feature's properties plus "_kind". Bytes of property texts that are not valid UTF-8
    // are written as U+FFFD, so the preview can always be built.
    static std::string toGeoJSON(const std::vector<GisFeature>& features);
};
