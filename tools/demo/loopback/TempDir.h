#pragma once
// A fresh folder under the temporary directory, removed with everything in it at the end of
// the scope.

#include <string>
#include <string_view>

namespace loopback {

class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return path_; }  // no trailing "/"
    std::string file(std::string_view name) const { return path_ + "/" + std::string(name); }

private:
    std::string path_;
};

// Sets (or, with nullptr, unsets) an environment variable for the scope; restores it after.
class ScopedEnv {
public:
    ScopedEnv(std::string name, const char* value);
    ~ScopedEnv();
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    std::string name_;
    bool hadValue_ = false;
    std::string oldValue_;
};

}  // namespace loopback
