// Renders the main window to PNG files without a display:
//   lorvex-windowshot [--settle-ms N] [--timeout-ms N] [--only-window] OUTPUT
// OUTPUT is a folder that receives window.png, refresh-menu.png, about.png
// and maximised.png, or with --only-window the one PNG file to write. The
// shots are taken once the device count has stayed the same for the settle
// time (default 1500 ms) after the first device, or at the time-out
// (default 15000 ms). Exit status 0 when every file was written and the
// window showed devices, 3 when no device answered, 1 when a file could not
// be written, 2 for bad arguments.
#include "AboutDlg.h"
#include "ApplicationFont.h"
#include "MainWindow.h"
#include "SkinResources.h"
#include "Startup.h"
#include "ToolButton.h"
#include "ZVKMenu.h"
#include "ZVKStyle.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QImage>
#include <QPainter>
#include <QTest>

#include <cstdio>

namespace {

struct Options {
    int settleMs = 1500;
    int timeoutMs = 15000;
    bool onlyWindow = false;
    QString output;
};

bool parse(const QStringList& args, Options* options) {
    for (int i = 1; i < args.size(); ++i) {
        const QString& a = args[i];
        bool ok = true;
        if (a == QLatin1String("--settle-ms") && i + 1 < args.size())
            options->settleMs = args[++i].toInt(&ok);
        else if (a == QLatin1String("--timeout-ms") && i + 1 < args.size())
            options->timeoutMs = args[++i].toInt(&ok);
        else if (a == QLatin1String("--only-window"))
            options->onlyWindow = true;
        else if (options->output.isEmpty() && !a.startsWith(QLatin1Char('-')))
            options->output = a;
        else
            return false;
        if (!ok)
            return false;
    }
    return !options->output.isEmpty();
}

// The look the program installs at start-up.
void applyLook() {
    InitSkinResources();
    InstallStyleSheet();
    InstallApplicationFontSubstitutes();
    QApplication::setFont(ApplicationFont());
    QApplication::setStyle(new ZVKStyle);
    RegisterIntegerTypes();
}

// Waits until devices have answered and their count has settled.
void waitForSearch(const MainWindow& window, const Options& options) {
    QElapsedTimer total, still;
    total.start();
    still.start();
    int last = -1;
    while (total.elapsed() < options.timeoutMs) {
        QTest::qWait(50);
        if (window.onlineCount() != last) {
            last = window.onlineCount();
            still.restart();
        } else if (last > 0 && still.elapsed() >= options.settleMs) {
            return;
        }
    }
}

// The window with `popup` (a menu or a dialog above it) painted at its
// place, on the dark desk the translucent corners show.
QImage compose(QWidget* window, QWidget* popup) {
    // At the screen's full resolution: on a scaled screen the PNG holds
    // every device pixel, as the installer sees it.
    const qreal ratio = window->devicePixelRatioF();
    QImage image(window->size() * ratio, QImage::Format_ARGB32_Premultiplied);
    image.setDevicePixelRatio(ratio);
    image.fill(QColor(12, 12, 14));
    QPainter painter(&image);
    painter.drawPixmap(0, 0, window->grab());
    if (popup)
        painter.drawPixmap(popup->mapToGlobal(QPoint(0, 0)) - window->mapToGlobal(QPoint(0, 0)),
                           popup->grab());
    return image;
}

bool save(const QImage& image, const QString& path) {
    if (image.save(path))
        return true;
    std::fprintf(stderr, "lorvex-windowshot: cannot write %s\n", qPrintable(path));
    return false;
}

bool shootMenu(MainWindow& window, const QString& path) {
    ToolButton* refresh = window.findChild<ToolButton*>(QStringLiteral("refreshButton"));
    ZVKMenu* menu = refresh->dropDownMenu();
    menu->popup(ToolButton::menuPosition(refresh->mapToGlobal(QPoint(0, 0)), refresh->size()));
    QTest::qWait(100);
    const bool ok = save(compose(&window, menu), path);
    menu->hide();
    return ok;
}

bool shootAbout(MainWindow& window, const QString& path) {
    AboutDlg about(&window);
    about.show();
    about.move(window.mapToGlobal(window.rect().center()) - about.rect().center());
    QTest::qWait(100);
    return save(compose(&window, &about), path);
}

bool shootMaximised(MainWindow& window, const QString& path) {
    window.slot_maxBtnClicked();
    QTest::qWait(100);
    const bool ok = save(compose(&window, nullptr), path);
    window.slot_maxBtnClicked();
    return ok;
}

int shoot(MainWindow& window, const Options& options) {
    if (options.onlyWindow)
        return save(compose(&window, nullptr), options.output) ? 0 : 1;
    const QDir dir(options.output);
    if (!dir.mkpath(QStringLiteral(".")))
        return 1;
    bool ok = save(compose(&window, nullptr), dir.filePath(QStringLiteral("window.png")));
    ok = shootMenu(window, dir.filePath(QStringLiteral("refresh-menu.png"))) && ok;
    ok = shootAbout(window, dir.filePath(QStringLiteral("about.png"))) && ok;
    ok = shootMaximised(window, dir.filePath(QStringLiteral("maximised.png"))) && ok;
    return ok ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    EnableHighDpiScaling();
    QApplication app(argc, argv);
    Options options;
    if (!parse(app.arguments(), &options)) {
        std::fprintf(stderr, "usage: lorvex-windowshot [--settle-ms N] [--timeout-ms N] "
                             "[--only-window] OUTPUT\n");
        return 2;
    }
    applyLook();
    MainWindow window;
    window.resize(1280, 760);
    window.show();
    QApplication::setActiveWindow(&window);
    waitForSearch(window, options);
    const int rc = shoot(window, options);
    std::printf("lorvex-windowshot: %d devices shown\n", window.onlineCount());
    if (rc == 0 && window.onlineCount() == 0)
        return 3;
    return rc;
}
