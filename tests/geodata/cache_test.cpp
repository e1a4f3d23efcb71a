#include <gtest/gtest.h>
#include <openssl/provider.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <future>
#include <iostream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "geodata/DownloadCache.h"
#include "geodata/Net.h"
#include "geodata/Sha1.h"
#include "geodata/WfsClient.h"
#include "loopback/LoopbackServer.h"
#include "loopback/TempDir.h"
#include "support/ScopedAnswerBound.h"

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using loopback::LoopbackServer;

namespace {

std::string patterned(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>((i * 131 + 7) & 0xFF);
    return s;
}

void writeFile(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

void age(const std::string& path, std::chrono::hours by) {
    fs::last_write_time(path, fs::file_time_type::clock::now() - by);
}

std::vector<std::string> namesIn(const std::string& dir) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The shared cache under a fresh data folder for the scope.
struct CacheScope {
    loopback::TempDir data;
    loopback::ScopedEnv env{"XDG_DATA_HOME", data.path().c_str()};
    std::string dir() const { return data.path() + "/TERRAWEFT/cache"; }
};

struct ProgressLog {
    std::vector<std::pair<long long, long long>> calls;
    int stopAt = -1;
    WfsClient::ByteProgress callback() {
        return [this](long long done, long long total) {
            calls.emplace_back(done, total);
            return static_cast<int>(calls.size()) != stopAt;
        };
    }
};

}  // namespace

TEST(CacheSha1, StandardVectorsAsFortyLowerCaseDigits) {
    EXPECT_EQ(sha1Hex(""), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
    EXPECT_EQ(sha1Hex("abc"), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(sha1Hex("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
              "84983e441c3bd26ebaae4aa1f95129e5e54670f1");
    EXPECT_EQ(sha1Hex(std::string(1000000, 'a')), "34aa973cd4c4daa4f61eeb2bdbad27316534016f");
    EXPECT_EQ(sha1Hex(std::string("a\0b", 3)), "4a3dec2d1f8245280855c42db0ee4239f917fdb8")
        << "bytes after a zero count";
}

TEST(CachePaths, NamesAreTheUrlDigestUnderTheAppFolder) {
    loopback::TempDir root;
    DownloadCache cache([&] { return root.path() + "/"; });
    const std::string url = "https://a.pl/wfs?x=1";
    EXPECT_EQ(cache.dir(), root.path() + "/TERRAWEFT/cache");
    EXPECT_TRUE(fs::is_directory(cache.dir()));
    // The names cached files already carry: the digest of the address's bytes.
    const std::string name = "9d188fb1e0eea687095d8ade3e8d2c237a4b9384";
    EXPECT_EQ(cache.pathFor(url, "gml"), cache.dir() + "/" + name + ".gml");
    cache.setAppName("");
    EXPECT_EQ(cache.dir(), root.path() + "/TERRAWEFT/cache");
    cache.setAppName("Other");
    EXPECT_EQ(cache.dir(), root.path() + "/Other/cache");

    const CacheScope scope;
    EXPECT_EQ(WfsClient::cacheDir(), scope.dir());
    EXPECT_EQ(WfsClient::cachePathFor(url), scope.dir() + "/" + name + ".gml");
    EXPECT_EQ(WfsClient::cacheFilePathFor(url, nullptr), scope.dir() + "/" + name + ".bin");
    EXPECT_EQ(WfsClient::cacheFilePathFor(url, "zip"), scope.dir() + "/" + name + ".zip");
    const auto parts = std::pair(DownloadCache::shared().tempPathFor("/c/f.zip"),
                                 DownloadCache::shared().tempPathFor("/c/f.zip"));
    EXPECT_TRUE(parts.first.starts_with("/c/f.zip.part."));
    EXPECT_NE(parts.first, parts.second);
}

TEST(CacheSweep, RemovesOldAndPartialFilesOnceEvenFromTwoThreads) {
    loopback::TempDir root;
    const std::string dir = root.path() + "/TERRAWEFT/cache";
    fs::create_directories(dir + "/sub");
    for (const char* name :
         {"old.gml", "recent.gml", "a.zip.part.12.3", "fresh.part", "sub/old.gml"}) {
        writeFile(dir + "/" + name, "x");
    }
    age(dir + "/old.gml", 31 * 24h);
    age(dir + "/recent.gml", 29 * 24h);
    age(dir + "/sub/old.gml", 40 * 24h);

    DownloadCache cache([&] { return root.path() + "/"; });
    auto first = std::async(std::launch::async, [&] { return cache.dir(); });
    auto second = std::async(std::launch::async, [&] { return cache.dir(); });
    EXPECT_EQ(first.get(), dir);
    EXPECT_EQ(second.get(), dir);
    EXPECT_EQ(namesIn(dir), (std::vector<std::string>{"recent.gml", "sub"}));
    EXPECT_TRUE(fs::exists(dir + "/sub/old.gml"));

    writeFile(dir + "/late.part", "x");
    cache.dir();
    EXPECT_TRUE(fs::exists(dir + "/late.part"));
}

TEST(CacheStore, FilesAppearOnlyWhenComplete) {
    loopback::TempDir root;
    DownloadCache cache([&] { return root.path() + "/"; });
    const std::string path = cache.pathFor("u", "gml");
    EXPECT_TRUE(cache.store(path, "first"));
    EXPECT_TRUE(cache.store(path, "second"));
    EXPECT_EQ(DownloadCache::read(path), "second");
    EXPECT_EQ(namesIn(cache.dir()).size(), 1u);

    EXPECT_FALSE(cache.store(root.path() + "/missing-folder/x.gml", "data"));
    EXPECT_FALSE(DownloadCache::read(root.path() + "/missing-folder/x.gml"));
    {
        DownloadCache::PartFile abandoned(cache, cache.pathFor("v", "zip"));
        ASSERT_TRUE(abandoned.isOpen());
        EXPECT_TRUE(abandoned.write("half"));
    }
    EXPECT_EQ(namesIn(cache.dir()).size(), 1u);
    EXPECT_FALSE(DownloadCache::holds(cache.pathFor("v", "zip")));
}

TEST(CacheRaw, KeepsGoodAnswersAndNothingElse) {
    const CacheScope scope;
    LoopbackServer server;
    server.on("/grid", loopback::ok("ncols 2\n"));
    server.on("/missing", loopback::status(404, "nope"));
    server.on("/empty", loopback::ok(""));
    const std::string page = "\n<!DOCTYPE HTML><html><body>Przerwa techniczna</body></html>";
    server.on("/page", loopback::ok(page, "text/html"));

    EXPECT_EQ(WfsClient().getCachedRaw(server.url("/grid"), 5000), "ncols 2\n");
    EXPECT_EQ(WfsClient().getCachedRaw(server.url("/grid"), 5000), "ncols 2\n");
    EXPECT_EQ(server.count("/grid"), 1u);
    EXPECT_EQ(DownloadCache::read(WfsClient::cachePathFor(server.url("/grid"))), "ncols 2\n");

    EXPECT_EQ(WfsClient().getCachedRaw(server.url("/missing"), 5000), "");
    EXPECT_EQ(WfsClient().getCachedRaw(server.url("/empty"), 5000), "");
    EXPECT_EQ(WfsClient().getCachedRaw(server.url("/page"), 5000), page);
    EXPECT_EQ(namesIn(scope.dir()).size(), 1u);
}

TEST(CacheRaw, AnAnswerPastTheMemoryBoundIsNotKept) {
    const CacheScope scope;
    const loopback::ScopedAnswerBound bound(64 * 1024);
    LoopbackServer server;
    loopback::Answer endless = loopback::ok(patterned(16 * 1024));
    endless.endlessUpTo = 1 << 20;
    server.on("/endless", endless);

    EXPECT_EQ(WfsClient().getCachedRaw(server.url("/endless"), 5000), "");
    EXPECT_FALSE(DownloadCache::holds(WfsClient::cachePathFor(server.url("/endless"))));
    EXPECT_TRUE(namesIn(scope.dir()).empty());
}

TEST(CacheFile, StreamsIntoTheCacheWithProgressAndServesRepeatsFromDisk) {
    const CacheScope scope;
    LoopbackServer server;
    loopback::Answer tile = loopback::ok(patterned(400000), "application/zip");
    tile.chunkSize = 50000;
    tile.chunkDelay = 5ms;
    server.on("/tile.laz", tile);

    ProgressLog progress;
    std::string error;
    const std::string path =
        WfsClient().getCachedFile(server.url("/tile.laz"), progress.callback(), 5000, error);
    EXPECT_TRUE(error.empty()) << error;
    EXPECT_EQ(path, WfsClient::cacheFilePathFor(server.url("/tile.laz"), "zip"));
    EXPECT_EQ(DownloadCache::read(path), tile.body);
    ASSERT_FALSE(progress.calls.empty());
    EXPECT_EQ(progress.calls.back().first, 400000);
    for (size_t i = 1; i < progress.calls.size(); ++i) {
        EXPECT_GT(progress.calls[i].first, progress.calls[i - 1].first);
    }
    EXPECT_EQ(progress.calls.front().second, 400000);

    ProgressLog none;
    error = "earlier text";
    EXPECT_EQ(WfsClient().getCachedFile(server.url("/tile.laz"), none.callback(), 5000, error),
              path);
    EXPECT_EQ(error, "earlier text");
    EXPECT_TRUE(none.calls.empty());
    EXPECT_EQ(server.count(), 1u);
    EXPECT_EQ(namesIn(scope.dir()).size(), 1u);
}

TEST(CacheFile, UnannouncedLengthReportsByTimeAndClosesWithTheCount) {
    const CacheScope scope;
    LoopbackServer server;
    loopback::Answer slow = loopback::ok(patterned(60000));
    slow.noLength = true;
    slow.chunkSize = 10000;
    slow.chunkDelay = 120ms;
    server.on("/stream", slow);

    ProgressLog progress;
    std::string error;
    const std::string path =
        WfsClient().getCachedFile(server.url("/stream"), progress.callback(), 5000, error);
    ASSERT_FALSE(path.empty()) << error;
    ASSERT_GE(progress.calls.size(), 3u);
    for (size_t i = 0; i + 1 < progress.calls.size(); ++i)
        EXPECT_EQ(progress.calls[i].second, 0);
    EXPECT_EQ(progress.calls.back(), std::pair(60000LL, 60000LL));
    EXPECT_LT(progress.calls.size(), 6u);  // paced at 200 ms, not one per chunk
}

TEST(CacheFile, FailuresLeaveNoFileBehind) {
    const CacheScope scope;
    LoopbackServer server(loopback::Mode::Raw);
    server.on("/missing", loopback::status(404, "nope"));
    loopback::Answer cut = loopback::ok(patterned(600));
    cut.announcedLength = 1000;
    server.on("/short", cut);
    loopback::Answer big = loopback::ok(patterned(300000));
    big.chunkSize = 30000;
    big.chunkDelay = 5ms;
    server.on("/big", big);
    server.on("/page", loopback::ok("<html><body>Przerwa techniczna</body></html>", "text/html"));

    struct Case {
        const char* path;
        int stopAt;
        std::string message;
    };
    for (const Case& c : {Case{"/missing", -1, "Serwer zwrocil status 404"},
                          Case{"/short", -1, "Pobieranie przerwane (600 B z 1000 B)."},
                          Case{"/big", 1, "Pobieranie anulowane."},
                          Case{"/page", -1, "Serwer zwrocil strone WWW zamiast pliku."}}) {
        ProgressLog progress;
        progress.stopAt = c.stopAt;
        std::string error;
        EXPECT_EQ(WfsClient().getCachedFile(server.url(c.path), progress.callback(), 5000, error),
                  "");
        EXPECT_EQ(error, c.message);
    }
    EXPECT_TRUE(namesIn(scope.dir()).empty());

    std::string error;
    EXPECT_EQ(WfsClient().getCachedFile("http://bad host/x", {}, 5000, error), "");
    EXPECT_EQ(error, "Nieprawidlowy URL: http://bad host/x");
    EXPECT_TRUE(namesIn(scope.dir()).empty());
}

// A cancel that breaks off a transfer keeps every kind of download out of the cache: an answer
// held a minute, a file that trickles in, a cell of a tiled feature download. Another download
// of the same address after the cancel, on the main thread, is kept.
TEST(CacheCancel, ATransferBrokenOffByACancelLeavesNothingInTheCache) {
    const CacheScope scope;
    LoopbackServer server;
    loopback::Answer held = loopback::ok("ncols 2\n");
    held.delay = 60s;
    server.on("/raw", held);
    loopback::Answer trickle = loopback::ok(patterned(300000));
    trickle.chunkSize = 1000;
    trickle.chunkDelay = 20ms;
    server.on("/file", trickle);
    server.on("/wfs", held);

    struct Row {
        const char* path;
        std::function<std::string(WfsClient&, ServiceReach&)> download;
        std::string brought;
        bool reached;  // a file download broken off by the program is no silence of the service
    };
    const Bbox cell{0, 0, 100, 100};
    const std::vector<Row> rows = {
        {"/raw",
         [&](WfsClient& c, ServiceReach& reach) {
             return c.getCachedRaw(server.url("/raw"), 120000, reach);
         },
         "", false},
        {"/file",
         [&](WfsClient& c, ServiceReach& reach) {
             std::string error;
             const std::string path =
                 c.getCachedFile(server.url("/file"), {}, 120000, error, reach);
             return path.empty() ? error : "file " + path;
         },
         net::kCancelledMessage, true},
        {"/wfs",
         [&](WfsClient& c, ServiceReach& reach) {
             const WfsClient::TiledResult tiled =
                 c.getFeaturesTiled(server.url("/wfs"), "ms:x", cell, {}, false, false, 2180);
             reach = tiled.reach;
             return tiled.document + std::to_string(tiled.failedCells) + " failed";
         },
         "1 failed", false},
    };
    for (const Row& row : rows) {
        WfsClient client;
        std::atomic<bool> cancel{false};
        auto worker = std::async(std::launch::async, [&] {
            const net::AbortScope abort(cancel);
            ServiceReach reach;
            const std::string brought = row.download(client, reach);
            return std::pair(brought, reach);
        });
        while (server.count(row.path) == 0)
            std::this_thread::sleep_for(5ms);
        std::this_thread::sleep_for(100ms);
        cancel = true;
        const auto [brought, reach] = worker.get();
        EXPECT_EQ(brought, row.brought) << row.path;
        EXPECT_EQ(reach.reached, row.reached) << row.path;
        EXPECT_EQ(namesIn(scope.dir()), std::vector<std::string>()) << row.path;
    }
    server.on("/raw", loopback::ok("ncols 2\n"));
    EXPECT_EQ(WfsClient().getCachedRaw(server.url("/raw"), 5000), "ncols 2\n");
    EXPECT_EQ(namesIn(scope.dir()).size(), 1u);
}

namespace {

std::ptrdiff_t filesUnder(const std::string& root) {
    return std::count_if(fs::recursive_directory_iterator(root), {},
                         [](const fs::directory_entry& e) { return e.is_regular_file(); });
}

// What the cache does in a process whose libcrypto offers no SHA-1: only the null provider is
// loaded, which keeps the default one from loading on first use.
std::string cacheWithoutSha1() {
    OSSL_PROVIDER_load(nullptr, "null");
    const CacheScope scope;
    LoopbackServer server;
    server.on("/f", loopback::ok("data"));
    DownloadCache own([&] { return scope.data.path() + "/"; });
    std::string error = "earlier text";
    ServiceReach reach = ServiceReach::failed("earlier reason");
    std::ostringstream seen;
    seen << "digest '" << sha1Hex("abc") << "', path '" << own.pathFor(server.url("/f"), "gml")
         << "', gml '" << WfsClient::cachePathFor(server.url("/f")) << "', zip '"
         << WfsClient::cacheFilePathFor(server.url("/f"), "zip") << "', stored "
         << own.store("", "data") << ", raw '"
         << WfsClient().getCachedRaw(server.url("/f"), 5000, reach) << "', reached "
         << reach.reached << ", file '"
         << WfsClient().getCachedFile(server.url("/f"), {}, 5000, error) << "', error '" << error
         << "', requests " << server.count() << ", files " << filesUnder(scope.data.path());
    return seen.str();
}

}  // namespace

// Without SHA-1 no file can be named: an answer is asked for and handed over without being kept,
// a file download fails and says why, and nothing throws. A fresh process of this program (with
// an empty libcrypto configuration, so that none activates the default provider) shows it.
TEST(CacheWithoutSha1, NothingIsNamedAnswersComeUnkeptAndTheFileDownloadSaysWhy) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const loopback::TempDir dir;
    std::ofstream(dir.file("openssl.cnf")) << "";
    const loopback::ScopedEnv config("OPENSSL_CONF", dir.file("openssl.cnf").c_str());
    EXPECT_EXIT(
        {
            std::cerr << cacheWithoutSha1() << std::endl;
            // The child leaves without running destructors: its own folder goes first.
            std::filesystem::remove_all(dir.path());
            std::_Exit(0);
        },
        testing::ExitedWithCode(0),
        "digest '', path '', gml '', zip '', stored 0, raw 'data', reached 1, file '', error "
        "'Brak SHA-1 w libcrypto: nie mozna nazwac pliku pamieci podrecznej.', requests 1, "
        "files 0");
}
