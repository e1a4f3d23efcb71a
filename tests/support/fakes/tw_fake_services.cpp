// tw-fake-services: the fake outside services of the built-in scenario on 127.0.0.1, for running
// terraweft-host against them (the browser test, demonstrations).
//
//   tw-fake-services [--no-buildings]
//
// The first line of the output holds the environment assignments that point terraweft-host at
// the fakes ("TERRAWEFT_GEOPORTAL_URL=http://127.0.0.1:PORT ..."), the second one the scenario
// as JSON: the frame to fetch ("bboxWgs84": west, south, east, north), the municipality's
// "teryt", an "address" the geocoders know, the frame's "centre" [latitude, longitude] with the
// terrain model's "centreHeight" there, the number of points in the LiDAR sheets ("lidarPoints")
// and the "rasterPlaces" elsewhere whose county or commune publishes map images (with their
// frames and the kinds to fetch there). Then the fakes serve until SIGINT or SIGTERM. The sheet
// files go out slowly (1000 bytes every 20 ms), so that a download can be cancelled while a sheet
// arrives.
// With --no-buildings the county lists no buildings layer, so the national fallback runs.

#include <pthread.h>

#include <csignal>
#include <iostream>
#include <nlohmann/json.hpp>
#include <string>

#include "Settings.h"
#include "fakes/Hosts.h"
#include "fakes/Services.h"
#include "support/fakes/Scenario.h"

namespace {

int usage() {
    std::cerr << "uzycie: tw-fake-services [--no-buildings]\n";
    return 2;
}

std::string joined(const std::vector<std::string>& words) {
    std::string line;
    for (const std::string& word : words)
        line += (line.empty() ? "" : " ") + word;
    return line;
}

}  // namespace

int main(int argc, char** argv) {
    fakes::ScenarioOptions options;
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) != "--no-buildings")
            return usage();
        options.countyBuildings = false;
    }
    // Blocked before the servers start their threads, so that only the wait below takes them.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);

    const fakes::Scenario scenario = fakes::demoScenario();
    fakes::Hosts hosts;
    fakes::serveScenario(hosts, scenario, options);
    const fakes::LidarSheets lidar(
        scenario.lidar.sheets, {.chunkSize = 1000, .chunkDelay = std::chrono::milliseconds(20)});
    lidar.mount(hosts.geoportal);

    nlohmann::json about = {{"bboxWgs84", scenario.frameWgs84},
                            {"teryt", scenario.teryt},
                            {"address", fakes::labelOf(scenario.places.front())},
                            {"centre", {scenario.centre.y, scenario.centre.x}},
                            {"centreHeight", scenario.centreHeight},
                            {"lidarPoints", scenario.lidar.points}};
    for (const fakes::RasterPlace& place : scenario.rasterPlaces) {
        std::vector<std::string> kinds;
        for (const DataType kind : place.kinds)
            kinds.emplace_back(Settings::keyOf(kind));
        about["rasterPlaces"].push_back(
            {{"teryt", place.teryt}, {"bboxWgs84", place.frameWgs84}, {"layers", kinds}});
    }
    std::cout << joined(hosts.environment()) << '\n' << about.dump() << std::endl;

    int received = 0;
    sigwait(&stop, &received);
    return 0;
}
