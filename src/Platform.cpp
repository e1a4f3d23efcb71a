#include "Platform.h"

#include <spawn.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <thread>
#include <vector>

extern char** environ;

namespace Platform {
namespace {

std::string withTrailingSlash(std::string path) {
    if (path.empty() || path.back() != '/')
        path += '/';
    return path;
}

std::string envOr(const char* name, const std::string& fallback) {
    const char* value = std::getenv(name);
    return (value != nullptr && *value != '\0') ? std::string(value) : fallback;
}

bool isSchemeChar(char c, bool first) {
    const bool alpha = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
    if (first)
        return alpha;
    return alpha || (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.';
}

// Characters an absolute URL may hold unescaped (RFC 3986: unreserved, reserved and '%').
bool isUrlChar(char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    static const std::string allowed = "-._~:/?#[]@!$&'()*+,;=%";
    return allowed.find(c) != std::string::npos;
}

void launchWithXdgOpen(const std::string& url) {
    std::string program = "xdg-open";
    std::string argument = url;
    std::vector<char*> argv{program.data(), argument.data(), nullptr};
    pid_t pid = 0;
    if (posix_spawnp(&pid, "xdg-open", nullptr, nullptr, argv.data(), environ) != 0)
        return;
    // Reap the child without making the caller wait for the browser.
    std::thread([pid] {
        int status = 0;
        waitpid(pid, &status, 0);
    }).detach();
}

std::mutex hookMutex;
OpenHook& hookSlot() {
    static OpenHook hook;
    return hook;
}

}  // namespace

bool isAcceptableUrl(const std::string& url) {
    const auto colon = url.find(':');
    if (colon == std::string::npos || colon == 0)
        return false;
    for (std::size_t i = 0; i < colon; ++i) {
        if (!isSchemeChar(url[i], i == 0))
            return false;
    }
    for (const char c : url) {
        if (!isUrlChar(c))
            return false;  // blanks, controls, quotes and non-ASCII bytes
    }
    return colon + 1 < url.size();
}

void setOpenExternalHook(OpenHook hook) {
    const std::lock_guard lock(hookMutex);
    hookSlot() = std::move(hook);
}

void openExternal(const std::string& url) {
    if (!isAcceptableUrl(url))
        return;
    OpenHook hook;
    {
        const std::lock_guard lock(hookMutex);
        hook = hookSlot();
    }
    if (hook) {
        hook(url);
    } else {
        launchWithXdgOpen(url);
    }
}

std::string tempDir() {
    return withTrailingSlash(envOr("TMPDIR", "/tmp/"));
}

std::string cacheDir() {
    std::string base = envOr("XDG_DATA_HOME", "");
    if (base.empty()) {
        const std::string home = envOr("HOME", "");
        base = home.empty() ? tempDir() : withTrailingSlash(home) + ".local/share";
    }
    ensureDir(base);
    return withTrailingSlash(base);
}

std::string localCacheDir() {
    return cacheDir();
}

void ensureDir(const std::string& path) {
    std::error_code ignored;
    std::filesystem::create_directories(path, ignored);
}

std::string diagPath(const std::string& name) {
    return withTrailingSlash(envOr("HOME", "/tmp")) + name;
}

std::string diagLogPath() {
    return diagPath("TERRAWEFT_diag.txt");
}

}  // namespace Platform
