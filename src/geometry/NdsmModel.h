#pragma once
// The normalised surface model of an area: the surface model (tops of roofs and trees) and the
// terrain model (bare ground) over the same area. What stands on the ground is surface minus
// terrain. Both grids span a whole frame, so their heights are kept as floats.

#include <string_view>

#include "geodata/AscGrid.h"

class NdsmModel {
public:
    FloatGrid surface;
    FloatGrid terrain;

    // Reads the surface grid and, only when that succeeds, the terrain grid; true when both
    // read. After false the model must not be used.
    bool parse(std::string_view surfaceText, std::string_view terrainText);

    // Surface minus terrain at (x, y), negative where the surface dips below the terrain. False,
    // with out untouched, where either grid has no value.
    bool heightAbove(double x, double y, double& out) const;
};
