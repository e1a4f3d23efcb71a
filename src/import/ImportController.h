#pragma once
// The import controller: answers the map page's import messages. This build carries none of the
// import yet; every message of the import answers that the function is not available.

#include "Bridge.h"

class ImportController {
public:
    // The one controller of the process, built on first use.
    static ImportController& Instance();

    // Registers the handlers of "searchAddress", "searchAddressSuggest", "fetch", "place",
    // "setOrigin", "getLayers", "settingsChanged", "getInit" and "cancel" on the bridge,
    // replacing any registered earlier under those types.
    void registerHandlers(Bridge& bridge);

private:
    ImportController() = default;
};
