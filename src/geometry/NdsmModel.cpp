#include "geometry/NdsmModel.h"

bool NdsmModel::parse(std::string_view surfaceText, std::string_view terrainText) {
    return surface.parse(surfaceText) && terrain.parse(terrainText);
}

bool NdsmModel::heightAbove(double x, double y, double& out) const {
    double top = 0.0;
    double ground = 0.0;
    if (!surface.sampleZ(x, y, top) || !terrain.sampleZ(x, y, ground)) {
        return false;
    }
    out = top - ground;
    return true;
}
