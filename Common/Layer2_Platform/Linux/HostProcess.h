// Starting helper programs of the host (the route command, the browser
// opener) and opening a URL. Both go through replaceable functions, so
// tests observe what would run instead of running it, and the window can
// put the desktop's own URL opener in place.
#pragma once

#include <functional>
#include <string>
#include <vector>

// Starts argv[0] with the arguments argv, detached: by the absolute path
// SystemProgram gives, never through a shell, with ChildEnvironment() as its
// whole environment, not waited for, its result not examined, its standard
// input from /dev/null. True when the program was started. A
// thread waits for each helper started here and reaps it when it ends, so
// none lingers as a zombie; no other child is waited for. False for an
// empty argv or an empty argv[0].
bool StartDetached(const std::vector<std::string>& argv);

// The absolute path of the helper program `name`: `name` itself when it is
// an absolute path to an executable, else the first executable of that name
// in /usr/sbin, /usr/bin, /sbin, /bin (never the user's PATH). Empty when
// there is none, or for a relative path with a slash.
std::string SystemProgram(const std::string& name);

// The environment a helper starts with: a PATH of the system folders above,
// and of this process's variables only those a desktop program needs (the
// display, session bus, XDG folders, home, user and locale). Nothing else
// is passed on; a password in LORVEX_PASSWORD never is.
std::vector<std::string> ChildEnvironment();

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
