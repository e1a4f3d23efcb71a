// The point-cloud roof stages of the fetch: flat roofs and LoD2 reconstruction over the LoD1
// footprints from the classified LiDAR points of the frame.

#include "import/FetchRun.h"

void ImportController::fetchCloudRoofs(FetchRun& run) {
    run.notYetSupported("dachow z chmury punktow");
}

void ImportController::fetchReconstruction(FetchRun& run) {
    run.notYetSupported("budynkow LOD2 z rekonstrukcji chmury punktow");
}
