// lorvex: finds the maker's network video devices on the local network,
// lists them and re-addresses them. This is the entry: one copy per user, the
// application-wide look, then the main window, which starts everything else.
#include "ApplicationFont.h"
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

} // namespace

int main(int argc, char** argv) {
    // The window never reads a password from the environment; one put there
    // for lorvex-search must not reach the browser or helpers it starts.
    ::unsetenv("LORVEX_PASSWORD");
    QCoreApplication::setApplicationName(QStringLiteral("Lorvex"));
    SingleApplication app(QStringLiteral("Lorvex"), argc, argv);
    if (app.isRunning()) {
        return endSecondCopy(app);
    }
    installLook();
    app.setQuitOnLastWindowClosed(true);
    KeepTextCodecs();
    QApplication::setStyle(new ZVKStyle);
    AddPluginPath();
    RegisterIntegerTypes();
    // The running copy takes no action on a later copy's message: nothing is
    // connected to messageReceived.
    MainWindow w;
    WatchFirstPaint(&w);
    w.show();
    return app.exec();
}
