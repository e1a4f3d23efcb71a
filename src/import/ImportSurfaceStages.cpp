// The surface-model stages of the fetch: buildings over the LoD1 footprints, bridges and roads
// shaped from the normalised surface model.

#include "import/FetchRun.h"

void ImportController::fetchNdsmBuildings(FetchRun& run) {
    run.notYetSupported("budynkow z nMPT");
}

void ImportController::fetchBridgesAndRoads(FetchRun& run) {
    run.notYetSupported("mostow i drog");
}
