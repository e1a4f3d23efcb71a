// The terrain stages of the fetch: terrain tiles from the national terrain model, and terrain,
// water and contours from the LiDAR point clouds of the frame.

#include "import/FetchRun.h"

void ImportController::fetchTerrain(FetchRun& run) {
    run.notYetSupported("terenu z NMT");
}

void ImportController::fetchCloudTerrain(FetchRun& run) {
    run.notYetSupported("terenu, wody i poziomic z chmury punktow");
}
