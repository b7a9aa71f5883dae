// Helpers shared by the main window's tests: the application's look, the
// English texts, and records as the search manager hands them over.
#pragma once

#include "ApplicationFont.h"
#include "LanguageSrc.h"
#include "NetNamespace.h"
#include "SearchInfo.h"
#include "SkinResources.h"
#include "ZVKStyle.h"

#include <QApplication>
#include <QFile>

#include <cstring>

namespace windowtest {

// Every test that builds the real MainWindow starts the device search:
// it runs only inside the private network of scripts/netns-run, and skips
// itself anywhere else. Use in initTestCase.
#define REQUIRE_PRIVATE_NETWORK()                                                                  \
    do {                                                                                           \
        if (!devsim::InPrivateNetwork())                                                           \
            QSKIP("not inside the private network of scripts/netns-run");                          \
    } while (false)

// The skin sheet, the font and the style, as the program installs them.
inline void applyLook() {
    InitSkinResources();
    QFile sheet(QStringLiteral(":/skin/qss/stylesheet.css"));
    if (sheet.open(QIODevice::ReadOnly))
        qApp->setStyleSheet(QString::fromLatin1(sheet.readAll()));
    InstallApplicationFontSubstitutes();
    QApplication::setFont(ApplicationFont());
    QApplication::setStyle(new ZVKStyle);
}

// Opens the English texts deployed beside the test program.
inline void openLanguage() {
    g_languageId = 0x409;
    InitLanguage(QCoreApplication::applicationDirPath().toUtf8(), 0x409);
}

template <size_t N> void put(char (&field)[N], const char* text) {
    std::strncpy(field, text, N - 1);
    field[N - 1] = '\0';
}

// A record of event `event` for a camera with this MAC and address, of the
// search manager's list generation `generation`.
inline SEARCH_INFO record(int event, const char* mac, const char* ip, uint32_t generation = 0) {
    SEARCH_INFO info;
    std::memset(&info, 0, sizeof info);
    info.event = event;
    info.generation = generation;
    put(info.mac, mac);
    put(info.ipAddr, ip);
    put(info.devName, "cam");
    put(info.productSeries, "ZVK_IPC");
    info.dataPort = 9008;
    info.httpPort = 80;
    return info;
}

} // namespace windowtest
