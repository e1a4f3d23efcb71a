#pragma once
// Block buildings (LoD1) from one CityGML sheet held in memory, and the envelope of a sheet.
// Elements are matched by local name (whatever their namespace prefix); positions are taken as
// written, first number x (easting), second y (northing), third z, with no axis swap.

#include <pugixml.hpp>

#include <cstddef>
#include <cstdint>
#include <limits>
#include <string_view>
#include <vector>

#include "geodata/GisTypes.h"

// Pieces shared by the CityGML readers.
namespace citygml {

// What reading one sheet came to besides its buildings: whether the document parsed at all, and
// how many of its buildings were left out as damaged.
struct SheetTally {
    bool parsed = true;
    int damaged = 0;
};

struct P3 {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

// The part of the element's name after its last ':' (the whole name when it has none).
std::string_view localName(pugi::xml_node element);

// Visits the element descendants of root (not root itself) in pre-order, without recursion so
// that deeply nested documents cannot exhaust the stack. visit(element) returns whether to go
// on into the element's children.
template <class Visit>
void walkElements(pugi::xml_node root, Visit&& visit) {
    pugi::xml_node node = root.first_child();
    while (node) {
        if (node.type() == pugi::node_element && visit(node)) {
            if (const pugi::xml_node child = node.first_child()) {
                node = child;
                continue;
            }
        }
        pugi::xml_node next = node.next_sibling();
        while (!next) {
            node = node.parent();
            if (node == root)
                return;
            next = node.next_sibling();
        }
        node = next;
    }
}

// Every descendant element of root with that local name, in pre-order.
std::vector<pugi::xml_node> findAll(pugi::xml_node root, std::string_view name);

// The first direct child element with that local name; an empty handle when there is none.
pugi::xml_node findChild(pugi::xml_node element, std::string_view name);

// Whitespace-separated decimal numbers read three at a time into positions, at most
// maxPositions of them; reading stops at the first number that cannot be read, so a trailing
// incomplete triple is dropped. A null text gives no position.
std::vector<P3> parsePosList(const char* text,
                             std::size_t maxPositions = std::numeric_limits<std::size_t>::max());

// The whitespace that separates numbers: space, tab, line feed, carriage return, form feed and
// vertical tab.
inline bool isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v';
}

// Reads one finite decimal number after any whitespace (a leading '+' allowed) and moves p past
// it; false, p unmoved, when no such number stands there. Independent of the process locale.
bool readNumber(const char*& p, const char* end, double& value);

// The number at the start of the text (after any whitespace); 0 when there is none.
double leadingNumber(const char* text);

// The decimal integer at the start of the text (after any whitespace); 0 when there is none or
// it does not fit.
std::int32_t leadingInteger(const char* text);

// The plan extent of a non-empty list of points.
Bbox boxOf(const std::vector<GisPoint>& points);

// The smallest box holding both boxes.
Bbox merged(const Bbox& a, const Bbox& b);

// Closed-bounds test of two boxes: touching at an edge or a corner counts as meeting.
bool boxesMeet(const Bbox& a, const Bbox& b);

}  // namespace citygml

class CityGmlReader {
public:
    // The buildings of the sheet whose footprint box meets box, in document order. A document
    // that does not parse gives no building. Of those, a building with a footprint point, a base
    // or a top farther than geobounds::kFarthestFromFrame from box is damaged: it is left out.
    // When tally is given, it tells both.
    static std::vector<Building3D> parseSheet(std::string_view xml, const Bbox& box,
                                              citygml::SheetTally* tally = nullptr);

    // The envelope of a sheet, from its whole text or only its beginning: the part of the tree
    // read before the text stops is enough. out is written only when the result is true.
    static bool parseEnvelope(std::string_view xml, Bbox& out);
};
