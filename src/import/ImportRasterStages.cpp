// The raster stages of the fetch: the local plan drawing, the utility map, the county 1:500 map
// and the orthophoto, as WMS images.

#include "import/FetchRun.h"

void ImportController::fetchMpzpRaster(FetchRun& run, const std::string& /*teryt*/) {
    run.notYetSupported("rysunku MPZP (rastr)");
}

void ImportController::fetchGesutRaster(FetchRun& run, const LocalServices::Service& /*service*/) {
    run.notYetSupported("mapy GESUT jako rastra");
}

void ImportController::fetchBdot500(FetchRun& run) {
    run.notYetSupported("mapy BDOT500 (rastr)");
}

void ImportController::fetchOrthophoto(FetchRun& run) {
    run.notYetSupported("ortofotomapy");
}
