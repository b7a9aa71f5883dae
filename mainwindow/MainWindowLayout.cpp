#include "MainWindowLayout.h"

#include "SkinResources.h"

#include <QtGlobal>

MainWindowLayout mainWindowLayout(int W, int H, int refreshTextWidth, int aboutWidthNeeded) {
    const int aboutWidth = qMax(50, aboutWidthNeeded);
    MainWindowLayout l;
    l.title = QRect(0, 2, W - 4, 57);
    l.minimise = QRect(W - 83, 3, 22, 22);
    l.firstSeparator = QRect(W - 58, 2, 1, 23);
    l.maximise = QRect(W - 54, 3, 22, 22);
    l.secondSeparator = QRect(W - 29, 2, 1, 23);
    l.close = QRect(W - 25, 3, 22, 22);
    l.toolStrip = QRect(7, 59, W - 14, 34);
    l.refresh = QRect(30, 63, refreshTextWidth + 40, 26);
    l.about = QRect(W - 20 - aboutWidth, 63, aboutWidth, 26);
    l.deviceBarToggle = QRect(l.about.x() - 30, 63, 26, 26);
    l.find = QRect(l.deviceBarToggle.x() - 12 - 240, 64, 240, 24);
    l.statusBar = QRect(7, H - 37, W - 14, 30);
    return l;
}

QRect deviceTreeRect(int W, int H, bool controlBarVisible) {
    return QRect(7, 92, controlBarVisible ? W - 315 : W - 14, H - 129);
}

QRect controlBarRect(int W, int H) { return QRect(W - 308, 92, 301, H - 129); }

bool inTitleStrip(const QPoint& pos, int W) { return QRect(5, 5, W - 10, 23).contains(pos); }

QString titleButtonStyle(const char* image) {
    return SkinStyleSheet(
        QStringLiteral("QPushButton { background: transparent; border-image: url(:/skin/%1) "
                       "0 44 0 0; } QPushButton:hover { border-image: url(:/skin/%1) 0 22 0 "
                       "22; } QPushButton:pressed { border-image: url(:/skin/%1) 0 0 0 44; }")
            .arg(QLatin1String(image)));
}
