// tw_fake_lidar: the fake LiDAR sheet index and two sheets next to a place (LidarSamples.h),
// served on 127.0.0.1 for tests that drive terraweft-host from outside. Prints the index's base
// address (for TERRAWEFT_GEOPORTAL_URL) as its first line and the number of points in the
// sheets as its second, then serves until SIGINT or SIGTERM. Sheet files go out slowly (1000
// bytes every 20 ms), so that a download can be cancelled while a sheet arrives.
//   tw_fake_lidar [LAT LON]        the place; Warsaw by default

#include <csignal>
#include <cstdlib>
#include <iostream>

#include "support/LidarSamples.h"

int main(int argc, char** argv) {
    const double lat = argc == 3 ? std::atof(argv[1]) : 52.23;
    const double lon = argc == 3 ? std::atof(argv[2]) : 21.01;
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);  // before the servers' threads start

    const fakes::SampleSheets samples = fakes::sampleSheetsAt(lat, lon, TW_SHARED_TESTDATA "/laz");
    fakes::LidarServiceOptions slow;
    slow.chunkSize = 1000;
    slow.chunkDelay = std::chrono::milliseconds(20);
    const fakes::LidarService lidar(samples.sheets, slow);
    std::cout << lidar.indexBase() << '\n' << samples.points << std::endl;
    if (!samples.laz)
        std::cerr << "tw_fake_lidar: no shared LAZ sample, the sheets are LAS files\n";

    int signal = 0;
    sigwait(&stop, &signal);
    return 0;
}
