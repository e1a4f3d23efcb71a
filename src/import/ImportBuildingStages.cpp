// The building-package stages of the fetch: the county's LoD1 and LoD2 CityGML packages.

#include "import/FetchRun.h"

void ImportController::fetchLod1Stage(FetchRun& run) {
    run.notYetSupported("budynkow 3D (LOD1)");
}

void ImportController::fetchLod2Stage(FetchRun& run) {
    run.notYetSupported("budynkow LOD2");
}
