#pragma once
// Project layers and surface materials found by name, and created when missing. Names are
// UTF-8 byte strings compared byte for byte (case-sensitive, whole name) with the host's.

#include <string>
#include <vector>

#include "APIdefs.h"

namespace LayerMapper {

// The name as the host stores it: up to a zero byte, at most 255 bytes, never ending inside a
// UTF-8 character.
std::string storedName(const std::string& name);

// Names of the project's layers in the host's order; empty when the host reports an error.
std::vector<std::string> listProjectLayers();

// Index of the first layer of that name, creating it when there is none; 0 when it can be
// neither found nor created. The host keeps at most 255 bytes of a name: a longer name is cut
// on a character boundary and looked up as cut, so asking again finds the same layer.
API_AttributeIndex ensureLayer(const std::string& name);

// The same over surface materials; a new material gets the colour (r, g, b), each 0 to 1. An
// existing material is returned unchanged, whatever its colour.
API_AttributeIndex ensureMaterial(const std::string& name, double r, double g, double b);

}  // namespace LayerMapper
