#include "Startup.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QMetaType>
#include <QTimer>

#include <cstdio>
#include <cstring>

#include "SkinResources.h"

const char* const kStyleSheetResource = ":/skin/qss/stylesheet.css";

namespace {

bool closeBoxesForTests() { return qEnvironmentVariableIntValue("LORVEX_TEST_CLOSE_BOXES") == 1; }

// The test hook of ShowAlreadyRunningBox: a zero-delay timer fires in the
// box's own event loop, right after exec() has shown it.
void closeWhenShown(QMessageBox& box) {
    QTimer::singleShot(0, &box, [&box] {
        std::fprintf(stderr, "message box: %s: %s\n", qPrintable(box.windowTitle()),
                     qPrintable(box.text()));
        std::fflush(stderr);
        box.done(QMessageBox::Ok);
    });
}

} // namespace

void ShowAlreadyRunningBox() {
    // What QMessageBox::critical(nullptr, ...) builds, held here so that the
    // test hook can reach it.
    QMessageBox box(QMessageBox::Critical, QObject::tr("error"),
                    QObject::tr("Lorvex is already running"), QMessageBox::Ok, nullptr);
    if (closeBoxesForTests()) {
        closeWhenShown(box);
    }
    box.exec();
}

QString ReadStyleSheet(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return QString();
    }
    return QString::fromLatin1(file.readAll());
}

void InstallStyleSheet() {
    // The sheet sits in the static library `skin`, which registers its
    // resources only when asked.
    InitSkinResources();
    const QString sheet = ReadStyleSheet(QString::fromLatin1(kStyleSheetResource));
    if (!sheet.isEmpty()) {
        qApp->setStyleSheet(SkinStyleSheet(sheet));
    }
}

QString PluginPathFor(const QString& applicationDir) {
    QDir dir(applicationDir);
    // Neither move is checked: where one fails, the folder reached so far
    // is the answer.
    dir.cdUp();
    dir.cd(QStringLiteral("plugins"));
    return dir.absolutePath();
}

void AddPluginPath() {
    QCoreApplication::addLibraryPath(PluginPathFor(QCoreApplication::applicationDirPath()));
}

void RegisterIntegerTypes() {
    qRegisterMetaType<tuint16>("tuint16");
    qRegisterMetaType<tint16>("tint16");
    qRegisterMetaType<tuint32>("tuint32");
    qRegisterMetaType<tint32>("tint32");
    qRegisterMetaType<tuint64>("tuint64");
    qRegisterMetaType<tint64>("tint64");
    qRegisterMetaType<tuint_ptr>("tuint_ptr");
    qRegisterMetaType<tint_ptr>("tint_ptr");
}

const char* const kProgramUsage =
    "usage: lorvex [--version | --help | --screenshot FILE]\n"
    "  finds the maker's network video devices on the local network\n"
    "  --version          print the version and end\n"
    "  --screenshot FILE  show the window until the first search has settled,\n"
    "                     write it to FILE as PNG and end\n";

ProgramOptions ParseProgramOptions(int argc, const char* const* argv) {
    ProgramOptions options;
    for (int i = 1; i < argc && argv[i] != nullptr; ++i) {
        if (std::strcmp(argv[i], "--version") == 0) {
            options.version = true;
        } else if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            options.help = true;
        } else if (std::strcmp(argv[i], "--screenshot") == 0) {
            if (i + 1 >= argc || argv[i + 1] == nullptr || argv[i + 1][0] == '\0') {
                options.error = "--screenshot needs a FILE";
                break;
            }
            options.screenshot = argv[++i];
        }
    }
    return options;
}

void EnableHighDpiScaling() {
    QCoreApplication::setAttribute(Qt::AA_EnableHighDpiScaling);
    QCoreApplication::setAttribute(Qt::AA_UseHighDpiPixmaps);
    // A laptop at 150 % keeps 150 %: Qt 5 would round it to 200 %, and the
    // window would no longer fit a 1920 x 1080 screen.
    QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
        Qt::HighDpiScaleFactorRoundingPolicy::PassThrough);
}
