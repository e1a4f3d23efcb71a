#include "Platform.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "loopback/TempDir.h"

namespace {

using loopback::ScopedEnv;

}  // namespace

TEST(PlatformPaths, FoldersEndWithOneSlashAndFollowTheEnvironment) {
    const loopback::TempDir scratch;
    const std::filesystem::path base = scratch.path();
    {
        const ScopedEnv tmp("TMPDIR", (base / "t").c_str());
        EXPECT_EQ(Platform::tempDir(), (base / "t").string() + "/");
    }
    {
        const ScopedEnv tmp("TMPDIR", (base.string() + "/t/").c_str());
        EXPECT_EQ(Platform::tempDir(), base.string() + "/t/");
    }
    {
        const ScopedEnv tmp("TMPDIR", nullptr);
        EXPECT_EQ(Platform::tempDir(), "/tmp/");
    }
    {
        const ScopedEnv data("XDG_DATA_HOME", (base / "data").c_str());
        EXPECT_EQ(Platform::cacheDir(), (base / "data").string() + "/");
        EXPECT_TRUE(std::filesystem::is_directory(base / "data"));
        EXPECT_EQ(Platform::localCacheDir(), Platform::cacheDir());
    }
    {
        const ScopedEnv data("XDG_DATA_HOME", nullptr);
        const ScopedEnv home("HOME", (base / "home").c_str());
        EXPECT_EQ(Platform::cacheDir(), (base / "home/.local/share").string() + "/");
        EXPECT_TRUE(std::filesystem::is_directory(base / "home/.local/share"));
    }
}

TEST(PlatformPaths, DiagnosticFilesGoToTheHomeFolder) {
    {
        const ScopedEnv home("HOME", "/Users/a");
        EXPECT_EQ(Platform::diagPath("x.txt"), "/Users/a/x.txt");
        EXPECT_EQ(Platform::diagLogPath(), "/Users/a/TERRAWEFT_diag.txt");
    }
    {
        const ScopedEnv home("HOME", "/Users/a/");
        EXPECT_EQ(Platform::diagPath("x.txt"), "/Users/a/x.txt");
    }
    {
        const ScopedEnv home("HOME", nullptr);
        EXPECT_EQ(Platform::diagPath("x.txt"), "/tmp/x.txt");
    }
}

TEST(PlatformPaths, EnsureDirAcceptsExistingAndImpossibleFolders) {
    const loopback::TempDir scratch;
    const std::filesystem::path base = scratch.path();
    Platform::ensureDir((base / "a/b/c").string());
    EXPECT_TRUE(std::filesystem::is_directory(base / "a/b/c"));
    EXPECT_NO_THROW(Platform::ensureDir((base / "a/b/c").string()));
    EXPECT_NO_THROW(Platform::ensureDir("/proc/forbidden/x"));
}

TEST(PlatformOpenExternal, HandsOverOnlyWellFormedUrls) {
    std::vector<std::string> opened;
    Platform::setOpenExternalHook([&](const std::string& url) { opened.push_back(url); });
    Platform::openExternal("https://example.org/a?b=c#d");
    Platform::openExternal("mailto:someone@example.org");
    Platform::openExternal("https://example.org/with blank");
    Platform::openExternal("https://example.org/\xC5\x82");
    Platform::openExternal("https://example.org/\"quote");
    Platform::openExternal("no-scheme-here");
    Platform::openExternal(":empty-scheme");
    Platform::openExternal("1http://digit-first");
    Platform::openExternal("");
    Platform::setOpenExternalHook(nullptr);
    EXPECT_EQ(opened, (std::vector<std::string>{"https://example.org/a?b=c#d",
                                                "mailto:someone@example.org"}));
}
