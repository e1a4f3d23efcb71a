#include "geodata/ServiceConfig.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

namespace {

std::vector<std::string> publicServices(const services::Endpoints& e) {
    return {e.geoportalMaps, e.openData, e.planningRegister, e.overpass, e.photon, e.nominatim};
}

// Leaves the process-wide addresses and the environment as it found them.
class ServiceConfig : public ::testing::Test {
protected:
    void TearDown() override {
        for (const char* variable : {"TERRAWEFT_PHOTON_URL", "TERRAWEFT_OVERPASS_URL"}) {
            unsetenv(variable);
        }
        services::resetEndpoints();
    }
};

}  // namespace

TEST_F(ServiceConfig, DefaultsArePublicHttpsHostsWithoutTrailingSlash) {
    const services::Endpoints e;
    for (const std::string& address : publicServices(e)) {
        SCOPED_TRACE(address);
        EXPECT_EQ(address.rfind("https://", 0), 0u);
        EXPECT_GT(address.size(), std::string("https://").size());
        EXPECT_NE(address.back(), '/');
    }
    EXPECT_TRUE(e.countyOverride.empty());
}

TEST_F(ServiceConfig, EnvironmentPointsAServiceAtLoopback) {
    setenv("TERRAWEFT_PHOTON_URL", "http://127.0.0.1:8123//", 1);
    setenv("TERRAWEFT_OVERPASS_URL", "", 1);  // empty: the default stays
    services::resetEndpoints();

    const services::Endpoints e = services::endpoints();
    EXPECT_EQ(e.photon, "http://127.0.0.1:8123");
    EXPECT_EQ(e.overpass, services::Endpoints{}.overpass);
}

TEST_F(ServiceConfig, SetEndpointsReplacesAllUntilReset) {
    services::Endpoints loopback;
    loopback.photon = "http://127.0.0.1:9000/";
    loopback.countyOverride = "http://127.0.0.1:9001";
    services::setEndpoints(loopback);

    EXPECT_EQ(services::endpoints().photon, "http://127.0.0.1:9000");
    EXPECT_EQ(services::endpoints().countyOverride, "http://127.0.0.1:9001");

    services::resetEndpoints();
    EXPECT_EQ(services::endpoints().photon, services::Endpoints{}.photon);
    EXPECT_TRUE(services::endpoints().countyOverride.empty());
}
