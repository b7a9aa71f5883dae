// Starting helper programs of the host (the route command, the browser
// opener) and opening a URL. Both go through replaceable functions, so
// tests observe what would run instead of running it, and the window can
// put the desktop's own URL opener in place.
#pragma once

#include <functional>
#include <string>
#include <vector>

// Starts argv[0] (looked up on PATH) with the arguments argv, detached:
// never through a shell, not waited for, its result not examined, its
// standard input from /dev/null. True when the program was started. A
// thread waits for each helper started here and reaps it when it ends, so
// none lingers as a zombie; no other child is waited for. False for an
// empty argv or an empty argv[0].
bool StartDetached(const std::vector<std::string>& argv);

// The function StartDetached forwards to (the posix_spawn starter unless
// replaced). Returns the previous one; an empty function restores the
// spawner. Set it before use, not concurrently with calls.
using ProcessStarter = std::function<bool(const std::vector<std::string>& argv)>;
ProcessStarter SetProcessStarter(ProcessStarter starter);

// Asks the desktop to open url in the default browser. The default opener
// starts "xdg-open URL" through StartDetached; the result is not examined.
void OpenUrl(const std::string& url);

// The function OpenUrl forwards to; the same rules as SetProcessStarter.
using UrlOpener = std::function<void(const std::string& url)>;
UrlOpener SetUrlOpener(UrlOpener opener);
