#pragma once
// The hand-over of a downloaded point cloud: the program does not bring the cloud into the model
// itself. It keeps a copy of the E57 file under a fixed name in the user's application-support
// folder, where it outlives the temporary file, and tells the user in an alert how to import it
// with the host's own point-cloud import.

#include <string>
#include <string_view>

class PlacementController {
public:
    // What a cloud lacks: the sentences that say it (empty: nothing), and whether it may lack
    // part of the frame, which the alert's headline then says too. Lacking{} is nothing.
    struct Lacking {
        std::string_view text;
        bool partial;
    };

    // Copies srcPath to Platform::cacheDir() + "Tovelmark_Cloud/ostatnia_chmura.e57", replacing
    // the previous cloud, then shows the alert and waits until the user closes it; the alert
    // ends with what the cloud lacks, when there is any. message gets the text for the page.
    // False (no alert) when the copy fails; a read-only copy is not overwritten, and a copy that
    // fails half-way leaves the previous one whole. The anchor and zone of the cloud are not
    // used. Main thread only.
    static bool place(const std::string& srcPath, double anchorE, double anchorN, int placeEpsg,
                      std::string& message, const Lacking& lacking = {});
};
