// lorvex: finds the maker's network video devices on the local network,
// lists them and re-addresses them. This is the entry: one copy per user, the
// application-wide look, then the main window, which starts everything else.
#include <QElapsedTimer>
#include <QTimer>

#include <cstdio>

#include "ApplicationFont.h"
#include "LorvexVersion.h"
#include "MainWindow.h"
#include "SingleApplication.h"
#include "Startup.h"
#include "StartupProbe.h"
#include "ZVKStyle.h"

#include <cstdlib>

namespace {

// A second start tells the user, then hands the running copy a message; it
// ends with 0 when that copy confirmed the message, else 1.
int endSecondCopy(SingleApplication& app) {
    ShowAlreadyRunningBox();
    return app.sendMessage(QStringLiteral("Lorvex"), 5000) ? 0 : 1;
}

void installLook() {
    InstallStyleSheet();
    InstallApplicationFontSubstitutes();
    QApplication::setFont(ApplicationFont());
}

// --screenshot FILE: once devices have answered and their count has stayed
// the same for 1.5 s (or after 15 s), writes the window to FILE as PNG and
// ends the program: 0 when written, 1 when not, 3 when no device answered.
void screenshotWhenSettled(MainWindow* window, const QString& file) {
    struct Watch {
        QElapsedTimer total, still;
        int last = -1;
    };
    auto* timer = new QTimer(window);
    QObject::connect(timer, &QTimer::timeout, window, [window, file, timer, w = Watch()]() mutable {
        if (!w.total.isValid())
            w.total.start();
        if (window->onlineCount() != w.last) {
            w.last = window->onlineCount();
            w.still.start();
        }
        const bool settled = w.last > 0 && w.still.elapsed() >= 1500;
        if (!settled && w.total.elapsed() < 15000)
            return;
        timer->stop();
        const bool written = window->grab().save(file, "PNG");
        QCoreApplication::exit(!written ? 1 : w.last > 0 ? 0 : 3);
    });
    timer->start(50);
}

// --version and --help end the program before any window or display is
// needed; a malformed option ends it with status 2.
bool answeredWithoutWindow(const ProgramOptions& options, int* status) {
    if (!options.error.empty()) {
        std::fprintf(stderr, "lorvex: %s\n%s", options.error.c_str(), kProgramUsage);
        *status = 2;
    } else if (options.version) {
        std::printf("lorvex %s\n", LORVEX_VERSION);
        *status = 0;
    } else if (options.help) {
        std::fputs(kProgramUsage, stdout);
        *status = 0;
    } else {
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    // The window never reads a password from the environment; one put there
    // for lorvex-search must not reach the browser or helpers it starts.
    ::unsetenv("LORVEX_PASSWORD");
    const ProgramOptions options = ParseProgramOptions(argc, argv);
    int status = 0;
    if (answeredWithoutWindow(options, &status))
        return status;
    EnableHighDpiScaling();
    QCoreApplication::setApplicationName(QStringLiteral("Lorvex"));
    QCoreApplication::setApplicationVersion(QStringLiteral(LORVEX_VERSION));
    SingleApplication app(QStringLiteral("Lorvex"), argc, argv);
    if (app.isRunning()) {
        return endSecondCopy(app);
    }
    installLook();
    app.setQuitOnLastWindowClosed(true);
    QApplication::setStyle(new ZVKStyle);
    AddPluginPath();
    RegisterIntegerTypes();
    // The running copy takes no action on a later copy's message: nothing is
    // connected to messageReceived.
    MainWindow w;
    WatchFirstPaint(&w);
    w.show();
    if (!options.screenshot.empty())
        screenshotWhenSettled(&w, QString::fromLocal8Bit(options.screenshot.c_str()));
    return app.exec();
}
