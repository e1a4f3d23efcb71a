// The hand-over of the E57 file: the kept copy and the alert, and copies that cannot be made.

#include "cloud/PlacementController.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "FileSizeLimit.h"
#include "HostTestApi.h"
#include "builders/LasBuilder.h"
#include "loopback/TempDir.h"

namespace {

namespace fs = std::filesystem;

class Placement : public ::testing::Test {
protected:
    void SetUp() override { host::reset(); }

    loopback::TempDir dir;
    loopback::ScopedEnv data{"XDG_DATA_HOME", dir.path().c_str()};
    const std::string dest = dir.path() + "/Tovelmark_Cloud/ostatnia_chmura.e57";

    std::string source(const std::string& name, const std::string& bytes) const {
        fixtures::writeBytes(dir.file(name), bytes);
        return dir.file(name);
    }
};

TEST_F(Placement, KeepsACopyAndTellsTheUserHowToImportIt) {
    std::string message;
    ASSERT_TRUE(PlacementController::place(source("a.e57", "pierwsza"), 1.0, 2.0, 2178, message));
    EXPECT_EQ(fixtures::readBytes(dest), "pierwsza");
    EXPECT_EQ(message, "Chmura zapisana: " + dest +
                           " - zaimportuj: Plik > Interoperacyjnosc > Chmura punktow.");
    const auto alerts = host::alerts();
    ASSERT_EQ(alerts.size(), 1u);
    EXPECT_EQ(alerts[0].type, -3);
    EXPECT_EQ(alerts[0].title, "Tovelmark Cloud");
    EXPECT_EQ(alerts[0].largeText, "Chmura punktow gotowa i zgrana z projektem.");
    EXPECT_EQ(alerts[0].smallText,
              "Zaimportuj ja: Plik > Interoperacyjnosc > Chmura punktow -> wskaz plik:\n" + dest);
    EXPECT_EQ(alerts[0].buttons, std::vector<std::string>{"OK"});

    ASSERT_TRUE(PlacementController::place(source("b.e57", "druga"), 0, 0, 2177, message));
    EXPECT_EQ(fixtures::readBytes(dest), "druga") << "each download replaces the last";
    EXPECT_EQ(fs::directory_entry(dest).path().parent_path(), dir.path() + "/Tovelmark_Cloud");
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry :
         fs::directory_iterator(dir.path() + "/Tovelmark_Cloud"))
        ++files;
    EXPECT_EQ(files, 1u) << "no part file left over";
}

TEST_F(Placement, AReadOnlyCopyOrAMissingSourceIsReportedWithoutAnAlert) {
    std::string message;
    EXPECT_FALSE(PlacementController::place(dir.file("brak.e57"), 0, 0, 2178, message));
    EXPECT_EQ(message, "Nie udalo sie zapisac chmury punktow w " + dest + ".");

    ASSERT_TRUE(PlacementController::place(source("a.e57", "stara"), 0, 0, 2178, message));
    fs::permissions(dest, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    message.clear();
    EXPECT_FALSE(PlacementController::place(source("b.e57", "nowa"), 0, 0, 2178, message));
    EXPECT_EQ(message, "Nie udalo sie zapisac chmury punktow w " + dest + ".");
    EXPECT_EQ(fixtures::readBytes(dest), "stara");
    EXPECT_EQ(host::alerts().size(), 1u) << "only the first copy's";
}

TEST_F(Placement, ACopyThatFailsHalfWayLeavesThePreviousCloudWhole) {
    std::string message;
    ASSERT_TRUE(PlacementController::place(source("a.e57", "stara chmura"), 0, 0, 2178, message));
    const std::string big = source("b.e57", std::string(256 * 1024, 'x'));
    {
        const FileSizeLimit limit(64 * 1024);
        EXPECT_FALSE(PlacementController::place(big, 0, 0, 2178, message));
    }
    EXPECT_EQ(fixtures::readBytes(dest), "stara chmura");
    EXPECT_FALSE(fs::exists(dest + ".part"));
}

}  // namespace
