// The start-up steps of the tool that main() runs in order, kept apart from
// main() so that each can be tested on its own.
#pragma once

#include <QString>
#include <QtGlobal>

#include <string>

// Integer type names that travel in queued signal and slot calls. The two
// pointer-sized names keep the width of the 32-bit target the device code
// was written for, whatever the width of this host's pointers.
typedef quint16 tuint16;
typedef qint16 tint16;
typedef quint32 tuint32;
typedef qint32 tint32;
typedef quint64 tuint64;
typedef qint64 tint64;
typedef quint32 tuint_ptr;
typedef qint32 tint_ptr;

// The path of the skin's style sheet among the program's resources.
extern const char* const kStyleSheetResource;

// Shows the standard critical box that tells a second start that the tool is
// already running, with no parent, title "error", one OK button and no
// default button, and returns when it is closed. Needs a QApplication.
//
// Test hook: with LORVEX_TEST_CLOSE_BOXES=1 in the environment the box
// closes itself as soon as it is shown, after writing its title and text to
// standard error as "message box: TITLE: TEXT", so that tests of a second
// start never wait for a person.
void ShowAlreadyRunningBox();

// The whole text of the file at `path` read as Latin-1 (no codec for byte
// strings is in force this early), or an empty text if it cannot be opened.
QString ReadStyleSheet(const QString& path);

// Reads the skin style sheet and installs it on the application when there
// is one; a missing sheet means no sheet, silently. Needs a QApplication.
void InstallStyleSheet();

// The folder searched for plug-ins for an executable in `applicationDir`:
// its parent's "plugins" folder, absolute. If there is no parent, or no
// "plugins" folder in it, the folder reached so far.
QString PluginPathFor(const QString& applicationDir);

// Adds PluginPathFor(the executable's folder) to Qt's library paths. Needs a
// QCoreApplication.
void AddPluginPath();

// Registers the integer type names above with the meta-type system, in the
// order tuint16, tint16, tuint32, tint32, tuint64, tint64, tuint_ptr,
// tint_ptr. Safe to call more than once.
void RegisterIntegerTypes();

// What the program's own command-line options ask for. Every other argument
// is left to Qt (-platform, -style, ...), as before.
struct ProgramOptions {
    bool version = false;   // --version: print "lorvex VERSION" and end
    bool help = false;      // --help: print the usage and end
    std::string screenshot; // --screenshot FILE: see RunScreenshotMode
    std::string error;      // set when an option of ours is malformed
};

// Reads argv[1..argc-1] without Qt, so that --version and --help need no
// display. "--screenshot" takes the next argument as its FILE.
ProgramOptions ParseProgramOptions(int argc, const char* const* argv);

// The text --help prints.
extern const char* const kProgramUsage;

// Turns on Qt's high-DPI scaling, so that the window's fixed pixel geometry
// counts in device-independent pixels and images with "@2x" forms are drawn
// sharp on 150 % and 200 % screens; a fractional screen factor such as 150 %
// is kept, not rounded. Call before the QApplication exists.
void EnableHighDpiScaling();
