// Cache names and cache hits: the name digest (libcrypto's SHA-1 fetched once, written as hex)
// beside OpenSSL's plain one-call digest, and reading a 10 MB answer back from the cache beside a
// bare copy of the same bytes.

#include <benchmark/benchmark.h>
#include <openssl/evp.h>

#include <cstring>
#include <string>

#include "geodata/DownloadCache.h"
#include "geodata/Sha1.h"
#include "geodata/WfsClient.h"
#include "loopback/TempDir.h"

namespace {

std::string bytes(size_t n) {
    std::string s(n, '\0');
    for (size_t i = 0; i < n; ++i)
        s[i] = static_cast<char>(i * 2654435761u >> 24);
    return s;
}

void BM_Sha1CacheName(benchmark::State& state) {
    const std::string input = bytes(static_cast<size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(sha1Hex(input));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

void BM_Sha1OpenSsl(benchmark::State& state) {
    const std::string input = bytes(static_cast<size_t>(state.range(0)));
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    for (auto _ : state) {
        EVP_Digest(input.data(), input.size(), digest, &length, EVP_sha1(), nullptr);
        benchmark::DoNotOptimize(digest);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * state.range(0));
}

// 200 bytes is a typical GetFeature address, the real input of the cache names.
BENCHMARK(BM_Sha1CacheName)->Arg(200)->Arg(1 << 20);
BENCHMARK(BM_Sha1OpenSsl)->Arg(200)->Arg(1 << 20);

constexpr size_t kTenMegabytes = 10 * 1024 * 1024;

void BM_CacheHitRead10MB(benchmark::State& state) {
    const loopback::TempDir root;
    DownloadCache cache([&] { return root.path() + "/"; });
    const std::string path = cache.pathFor("http://x/big", "gml");
    cache.store(path, bytes(kTenMegabytes));
    for (auto _ : state)
        benchmark::DoNotOptimize(DownloadCache::read(path));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kTenMegabytes));
}

// The floor for a hit: allocating the result and copying 10 MB once.
void BM_Copy10MB(benchmark::State& state) {
    const std::string source = bytes(kTenMegabytes);
    for (auto _ : state) {
        std::string copy(source.size(), '\0');
        std::memcpy(copy.data(), source.data(), source.size());
        benchmark::DoNotOptimize(copy);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kTenMegabytes));
}

// The whole client path of a hit: cache name, lookup and read.
void BM_GetCachedRawHit10MB(benchmark::State& state) {
    const loopback::TempDir root;
    const loopback::ScopedEnv env("XDG_DATA_HOME", root.path().c_str());
    const std::string url = "http://127.0.0.1:9/never-asked";
    DownloadCache::shared().store(WfsClient::cachePathFor(url), bytes(kTenMegabytes));
    WfsClient client;
    for (auto _ : state)
        benchmark::DoNotOptimize(client.getCachedRaw(url, 1000));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kTenMegabytes));
}

BENCHMARK(BM_CacheHitRead10MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Copy10MB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GetCachedRawHit10MB)->Unit(benchmark::kMillisecond);

}  // namespace
