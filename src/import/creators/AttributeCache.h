#pragma once
// The fills and the building material the creators give their elements, looked up by name and
// kind in the open project's attributes.

#include <map>
#include <optional>
#include <string>

#include "APIdefs.h"

namespace AcImporter {

// While one is alive, each lookup asks the project once and remembers the answer (a failed query
// included); it forgets them all when it ends. A placement holds one for its duration, so that
// the answers never outlive the project they came from. Without one every lookup asks the
// project afresh. A cache made while another is alive defers to the first. Main thread only.
class AttributeCache {
public:
    AttributeCache();
    ~AttributeCache();
    AttributeCache(const AttributeCache&) = delete;
    AttributeCache& operator=(const AttributeCache&) = delete;

    // The first vector fill whose name, lower-cased, contains the key (which should be lower
    // case itself: it is not lower-cased), else the first vector fill (always so for an empty
    // key), else 0.
    static API_AttributeIndex vectorFillIndex(const std::string& key);
    // The first solid fill, else 0.
    static API_AttributeIndex solidFillIndex();
    // The first building material, else 0.
    static API_AttributeIndex buildingMaterialForMasses();

private:
    static AttributeCache* active_;

    bool owner_ = false;
    std::map<std::string, API_AttributeIndex> vectorFills_;
    std::optional<API_AttributeIndex> solidFill_;
    std::optional<API_AttributeIndex> buildingMaterial_;
};

}  // namespace AcImporter
