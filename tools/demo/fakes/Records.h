#pragma once
// The plain records the fake services serve: features of WFS layers (in PL-1992 metres), acts of
// the planning register and places of the geocoders. Namespace `fakes`.

#include <map>
#include <string>
#include <vector>

#include "geodata/GisTypes.h"

namespace fakes {

using Properties = std::map<std::string, std::string>;

// One feature. An empty id writes no gml:id, as some services do.
struct Feature {
    std::string id;
    std::vector<GisPolygon> polygons;
    std::vector<std::vector<GisPoint>> lines;
    Properties props;
};

// A feature type of a fake WFS: its name as the service lists it ("ms:dzialki") and features.
struct Layer {
    std::string name;
    std::vector<Feature> features;
};

// A closed rectangular ring over the box.
Feature rectangle(std::string id, const Bbox& box, Properties props = {});
// A square of side 2 * half around a centre.
Feature square(std::string id, GisPoint centre, double half, Properties props = {});
Feature polyline(std::string id, std::vector<GisPoint> points, Properties props = {});

// The smallest box holding every point of the feature.
Bbox envelope(const Feature& feature);

// A municipality of the boundaries service: its 7-digit TERYT code over its area.
Feature municipality(const std::string& teryt, const Bbox& area);

// One act of the planning register with its zones.
struct PlanAct {
    std::string id;
    std::string tercCode;  // the commune's 7-digit code
    std::string planType = "MUNICIPAL_GENERAL_PLAN";
    std::string status = "obowiazujacy";
    std::string publishDate = "2025-01-01";
    std::string title;
    std::vector<Feature> zones;
};

// A place of the geocoders, in WGS84 degrees.
struct Place {
    std::string name;
    std::string street;
    std::string housenumber;
    std::string city;
    std::string county;
    double lat = 0.0;
    double lon = 0.0;
};

}  // namespace fakes
