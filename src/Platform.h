#pragma once
// The user's folders and the system browser. Every file location of the program is built on
// these results by plain concatenation; none of them reports a failure.

#include <functional>
#include <string>

namespace Platform {

// Opens url with the desktop's default handler (xdg-open). A text that is not a well-formed
// absolute URL (invalid UTF-8, blanks, characters a URL cannot hold) opens nothing.
void openExternal(const std::string& url);

// Replaces what openExternal starts once the URL is accepted; tests record instead of
// launching a browser. An empty function restores the default (xdg-open).
using OpenHook = std::function<void(const std::string& url)>;
void setOpenExternalHook(OpenHook hook);

// Whether url would be handed over by openExternal.
bool isAcceptableUrl(const std::string& url);

// The user's application-support folder ($XDG_DATA_HOME, else $HOME/.local/share, else the
// temporary folder), created when missing, always ending with "/".
std::string cacheDir();
std::string localCacheDir();

// Creates path with its missing parents; an existing folder or a failure is accepted silently.
void ensureDir(const std::string& path);

// $TMPDIR, or "/tmp/" when unset, always ending with "/". Not created.
std::string tempDir();

// $HOME (or "/tmp") + "/" + name: where diagnostic text files go. Nothing is created.
std::string diagPath(const std::string& name);
std::string diagLogPath();

}  // namespace Platform
