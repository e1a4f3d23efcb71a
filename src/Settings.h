#pragma once
// What the user chooses once and keeps between runs: the layer that receives each kind of
// data, the service token, the base map and an optional height anchor. Kept in one JSON file,
// "settings.json", in the add-on's folder under the user's application-support directory.

#include <map>
#include <string>
#include <vector>

#include "DataType.h"

struct Settings {
    // The user's layer per kind; an absent or empty entry means the kind's default layer.
    std::map<DataType, std::string> layers;
    std::string upgToken;  // sent as a bearer token by the import's HTTP client
    std::string basemap = "osm";
    double zAnchor = 0.0;  // height above the vertical datum that is project Z = 0
    bool hasZAnchor = false;

    // The kind's text key; "inne" for any value outside the 20 kinds.
    static const char* keyOf(DataType type);
    // The default layer name of a kind; empty for a value outside the 20 kinds.
    static const char* defaultLayerOf(DataType type);
    // The 20 kinds in ascending order.
    static const std::vector<DataType>& wszystkieTypy();

    static Settings defaults();
    // <application support>/TERRAWEFT/settings.json; the folder is created on the way.
    static std::string defaultPath();

    // The defaults overlaid with what the file holds. A missing, empty or malformed file
    // gives the defaults; a member of the wrong type leaves its default in place. The file
    // is only read.
    static Settings load();
    static Settings loadFrom(const std::string& path);

    // Writes the file (indent 2, keys in byte order, UTF-8 unescaped, no final newline).
    // The text is serialised first and replaces the old file only once it is complete on
    // disk, so a failure at any step leaves the earlier file as it was. The file is readable
    // by its owner only: it holds the token. Returns whether the file was written.
    bool save() const;
    bool saveTo(const std::string& path) const;

    // The layer that receives a kind: the user's entry, or the default when it is absent or
    // empty.
    std::string layerFor(DataType type) const;
};
