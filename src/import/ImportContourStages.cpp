// The contour stage of the fetch: contour lines traced on the national terrain model.

#include "import/FetchRun.h"

void ImportController::fetchContours(FetchRun& run) {
    run.notYetSupported("poziomic z NMT");
}
