#pragma once
// PROJ's exact transverse Mercator (Poder/Engsager) with the parameters of PL-1992 and the
// PL-2000 zones, as the reference against which the series of ProjConv is measured. Plain
// pipelines: no database and no datum shift, like ProjConv itself.

#include <proj.h>

#include <memory>
#include <stdexcept>
#include <string>

#include "geodata/GisTypes.h"

namespace projref {

struct ContextDeleter {
    void operator()(PJ_CONTEXT* c) const { proj_context_destroy(c); }
};
struct PjDeleter {
    void operator()(PJ* p) const { proj_destroy(p); }
};

inline std::string tmercDefinition(int epsg) {
    if (epsg == 2180)
        return "+lon_0=19 +k=0.9993 +x_0=500000 +y_0=-5300000";
    const int zone = epsg - 2171;
    return "+lon_0=" + std::to_string(15 + 3 * (epsg - 2176)) +
           " +k=0.999923 +x_0=" + std::to_string(zone * 1000000 + 500000) + " +y_0=0";
}

// Degrees in, metres out (forward); the inverse direction of the same object gives degrees.
class Projection {
public:
    explicit Projection(int epsg) : context_(proj_context_create()) {
        const std::string pipeline =
            "+proj=pipeline +step +proj=unitconvert +xy_in=deg +xy_out=rad "
            "+step +proj=tmerc +algo=poder_engsager +lat_0=0 +ellps=GRS80 " +
            tmercDefinition(epsg);
        pj_.reset(proj_create(context_.get(), pipeline.c_str()));
        if (!pj_)
            throw std::runtime_error("PROJ rejected " + pipeline);
    }

    GisPoint forward(double lat, double lon) const {
        const PJ_COORD out = proj_trans(pj_.get(), PJ_FWD, proj_coord(lon, lat, 0, 0));
        return {out.xy.x, out.xy.y};
    }

    // (latitude, longitude) of a projected point.
    GisPoint inverse(double easting, double northing) const {
        const PJ_COORD out = proj_trans(pj_.get(), PJ_INV, proj_coord(easting, northing, 0, 0));
        return {out.lp.phi, out.lp.lam};
    }

private:
    std::unique_ptr<PJ_CONTEXT, ContextDeleter> context_;
    std::unique_ptr<PJ, PjDeleter> pj_;
};

}  // namespace projref
