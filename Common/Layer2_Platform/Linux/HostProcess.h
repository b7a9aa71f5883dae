// Starting helper programs of the host (the route command, the route
// helper, the browser opener) and opening a URL. All go through replaceable
// functions, so tests observe what would run instead of running it, and the
// window can put the desktop's own URL opener in place.
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

// What RunProgram returns besides an exit status (0 to 255).
constexpr int kProgramNotStarted = -1;   // no such program, or it could not be started
constexpr int kProgramKilled = -2;       // it ended by a signal
constexpr int kProgramStillRunning = -3; // it had not ended in time; reaped when it does

// Starts argv as StartDetached does (absolute system path, no shell, the
// minimal environment, standard input from /dev/null) and waits up to
// timeoutMs (negative counts as 0) for it to end. Its exit status, or one of
// the values above. A program still running then is left to run and reaped
// when it ends, as StartDetached's are.
int RunProgram(const std::vector<std::string>& argv, int timeoutMs);

// The function RunProgram forwards to (the real starter unless replaced).
// Returns the previous one; an empty function restores the real one. Set it
// before use, not concurrently with calls.
using ProgramRunner = std::function<int(const std::vector<std::string>& argv, int timeoutMs)>;
ProgramRunner SetProgramRunner(ProgramRunner runner);

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
