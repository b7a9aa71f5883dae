// skingen: paints the skin images into the skin folder.
//
//   QT_QPA_PLATFORM=offscreen lorvex-skingen [--out DIR] [--icons DIR] [--preview FILE]
//
// Writes every image of the catalogue into DIR (the source tree's skin
// folder by default), once as NAME.png and once drawn at twice the size as
// NAME@2x.png for screens scaled above 100 %, and the program's desktop icon
// in each of its sizes into the icon folder (the source tree's app/icons by
// default); --preview also
// writes one sheet with every image enlarged four times on the window
// background, to look at them.
#include "AppIcon.h"
#include "SkinImages.h"
#include "SkinPainter.h"

#include <QCommandLineParser>
#include <QDir>
#include <QGuiApplication>
#include <QPainter>

#include <cstdio>

namespace {

// "name.png" at scale 1, "name@2x.png" at scale 2.
QString scaledName(const QString& fileName, int scale) {
    if (scale == 1)
        return fileName;
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    return fileName.left(dot) + QStringLiteral("@%1x").arg(scale) + fileName.mid(dot);
}

bool writeImages(const QString& dir) {
    QDir().mkpath(dir);
    bool ok = true;
    for (const int scale : {1, 2}) {
        skin::setDrawScale(scale);
        for (const auto& entry : skin::catalogue()) {
            const QString path = dir + "/" + scaledName(entry.fileName, scale);
            if (!entry.paint().save(path, "PNG")) {
                std::fprintf(stderr, "skingen: cannot write %s\n", qPrintable(path));
                ok = false;
            }
        }
    }
    skin::setDrawScale(1);
    return ok;
}

bool writeIcons(const QString& dir) {
    QDir().mkpath(dir);
    bool ok = true;
    for (const auto& icon : skin::appIcons()) {
        const QString path = dir + "/" + icon.fileName;
        if (!skin::appIcon(icon.size).save(path, "PNG")) {
            std::fprintf(stderr, "skingen: cannot write %s\n", qPrintable(path));
            ok = false;
        }
    }
    return ok;
}

// One labelled cell per image, enlarged without smoothing so single pixels
// stay visible.
bool writePreview(const QString& path) {
    const int scale = 4;
    const int cellW = 300;
    const int cellH = 170;
    const int columns = 4;
    const auto& images = skin::catalogue();
    const int rows = (int(images.size()) + columns - 1) / columns;
    QImage sheet(columns * cellW, rows * cellH, QImage::Format_ARGB32_Premultiplied);
    sheet.fill(QColor(30, 31, 35));
    QPainter p(&sheet);
    for (int i = 0; i < int(images.size()); ++i) {
        const QImage image = images[i].paint();
        const QPoint origin((i % columns) * cellW + 10, (i / columns) * cellH + 8);
        p.setPen(QColor(190, 190, 190));
        p.drawText(origin + QPoint(0, 12), QStringLiteral("%1  %2x%3")
                                               .arg(images[i].fileName)
                                               .arg(image.width())
                                               .arg(image.height()));
        const QSize size =
            (image.size() * scale)
                .scaled(QSize(cellW - 20, cellH - 30).boundedTo(image.size() * scale),
                        Qt::KeepAspectRatio);
        p.fillRect(QRect(origin + QPoint(0, 20), size), QColor(43, 44, 49));
        p.drawImage(QRect(origin + QPoint(0, 20), size), image);
    }
    return sheet.save(path, "PNG");
}

} // namespace

int main(int argc, char** argv) {
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.addHelpOption();
    const QCommandLineOption out("out", "Folder to write the images into.", "dir",
                                 QStringLiteral(LORVEX_SKIN_DIR));
    const QCommandLineOption icons("icons", "Folder to write the program's icon into.", "dir",
                                   QStringLiteral(LORVEX_ICON_DIR));
    const QCommandLineOption preview("preview", "Also write an enlarged preview sheet.", "file");
    parser.addOption(out);
    parser.addOption(icons);
    parser.addOption(preview);
    parser.process(app);
    bool ok = writeImages(parser.value(out));
    ok = writeIcons(parser.value(icons)) && ok;
    if (parser.isSet(preview)) {
        ok = writePreview(parser.value(preview)) && ok;
    }
    return ok ? 0 : 1;
}
