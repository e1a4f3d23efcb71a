// Loading the add-on and naming its palettes.

#include "AddOn.h"

#include "ACAPinc.h"
#include "AddOnMain.h"
#include "AddOnResources.h"
#include "HostTestApi.h"
#include "MapPalette.h"
#include "cloud_ui/CloudPalette.h"

namespace twhost {

GSErrCode loadAddOn() {
    host::installResources(addOnResources());
    API_EnvirParams envir{};
    CheckEnvironment(&envir);
    if (const GSErrCode err = RegisterInterface())
        return err;
    return Initialize();
}

const std::map<std::string, GS::Guid>& palettes() {
    static const std::map<std::string, GS::Guid> names = {{"map", MapPalette::Guid()},
                                                          {"cloud", CloudPalette::Guid()}};
    return names;
}

std::string paletteName(const GS::Guid& guid) {
    for (const auto& [name, g] : palettes()) {
        if (g == guid)
            return name;
    }
    return guid.ToUniString().ToUtf8();
}

}  // namespace twhost
