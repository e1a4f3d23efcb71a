#pragma once
// A decimal-comma locale (Polish, else German) set for the whole process while the object
// lives: the C locale and the global C++ locale, both back to "C" afterwards. active() is false
// when no such locale is installed; tests then skip with kCommaLocaleMissing.

#include <clocale>
#include <locale>
#include <stdexcept>

namespace loopback {

inline constexpr const char* kCommaLocaleMissing =
    "no decimal-comma locale installed (locale-gen pl_PL.UTF-8)";

class CommaLocale {
public:
    CommaLocale() {
        for (const char* name : {"pl_PL.UTF-8", "pl_PL.utf8", "de_DE.UTF-8", "de_DE.utf8"}) {
            if (std::setlocale(LC_ALL, name) != nullptr) {
                active_ = true;
                try {
                    previous_ = std::locale::global(std::locale(name));
                } catch (const std::runtime_error&) {
                }
                return;
            }
        }
    }
    ~CommaLocale() {
        std::setlocale(LC_ALL, "C");
        std::locale::global(previous_);
    }
    CommaLocale(const CommaLocale&) = delete;
    CommaLocale& operator=(const CommaLocale&) = delete;

    bool active() const { return active_; }

private:
    bool active_ = false;
    std::locale previous_ = std::locale::classic();
};

}  // namespace loopback
