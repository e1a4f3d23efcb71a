#include "cloud/PlacementController.h"

#include <filesystem>
#include <system_error>

#include "DG.h"
#include "Platform.h"

namespace {

namespace fs = std::filesystem;

constexpr short kAlertKind = -3;
const char* const kImportPath = "Plik > Interoperacyjnosc > Chmura punktow";
const char* const kWholeHeadline = "Chmura punktow gotowa i zgrana z projektem.";
const char* const kPartialHeadline =
    "Chmura punktow zgrana z projektem, ale niepelna - czesc kadru moze byc bez punktow.";

bool isReadOnly(const fs::path& path) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    return !ec && fs::exists(status) &&
           (status.permissions() & fs::perms::owner_write) == fs::perms::none;
}

// Copies src over dest through a neighbouring part file, so that dest is either the old file
// or the whole new one.
bool replaceWithCopy(const fs::path& src, const fs::path& dest) {
    if (isReadOnly(dest))
        return false;
    fs::path part = dest;
    part += ".part";
    std::error_code ec;
    if (fs::copy_file(src, part, fs::copy_options::overwrite_existing, ec) && !ec) {
        fs::rename(part, dest, ec);
        if (!ec)
            return true;
    }
    fs::remove(part, ec);
    return false;
}

}  // namespace

bool PlacementController::place(const std::string& srcPath, double /*anchorE*/, double /*anchorN*/,
                                int /*placeEpsg*/, std::string& message, const Lacking& lacking) {
    const std::string dir = Platform::cacheDir() + "Tovelmark_Cloud";
    Platform::ensureDir(dir);
    const std::string dest = dir + "/ostatnia_chmura.e57";
    if (!replaceWithCopy(srcPath, dest)) {
        message = "Nie udalo sie zapisac chmury punktow w " + dest + ".";
        return false;
    }
    std::string guide = "Zaimportuj ja: " + std::string(kImportPath) + " -> wskaz plik:\n" + dest;
    if (!lacking.text.empty())
        guide += "\n\n" + std::string(lacking.text);
    DGAlert(kAlertKind, "Tovelmark Cloud", lacking.partial ? kPartialHeadline : kWholeHeadline,
            GS::UniString(guide), "OK");
    message = "Chmura zapisana: " + dest + " - zaimportuj: " + kImportPath + ".";
    return true;
}
