#include "SkinResources.h"

#include <QGuiApplication>
#include <QFile>
#include <QPixmap>
#include <QRegularExpression>
#include <QString>
#include <QtGlobal>

// Q_INIT_RESOURCE must not be used inside a namespace, hence this wrapper
// at file scope.
static void initSkinQrc()
{
    Q_INIT_RESOURCE(skin);
}

void InitSkinResources()
{
    initSkinQrc();
}

namespace {

QString sharpFormOf(const QString& path)
{
    const int dot = path.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? path.left(dot) + QStringLiteral("@2x") + path.mid(dot) : QString();
}

// Every decimal number in text doubled.
QString doubledNumbers(const QString& text)
{
    static const QRegularExpression number(QStringLiteral(R"(\d+)"));
    QString out;
    int done = 0;
    for (auto it = number.globalMatch(text); it.hasNext();) {
        const QRegularExpressionMatch n = it.next();
        out += text.midRef(done, n.capturedStart() - done);
        out += QString::number(n.captured().toInt() * 2);
        done = n.capturedEnd();
    }
    out += text.midRef(done);
    return out;
}

bool screenIsScaled()
{
    return QCoreApplication::testAttribute(Qt::AA_UseHighDpiPixmaps) && qGuiApp != nullptr &&
           qGuiApp->devicePixelRatio() > 1.0;
}

} // namespace

QString ScaleSkinSlices(const QString& sheet, qreal ratio)
{
    if (ratio <= 1.0)
        return sheet;
    static const QRegularExpression slices(
        QStringLiteral(R"(url\(\s*(:/skin/[^)\s]+)\s*\)((?:\s+\d+){1,4}))"));
    QString out;
    int done = 0;
    for (auto it = slices.globalMatch(sheet); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (!QFile::exists(sharpFormOf(m.captured(1))))
            continue;
        out += sheet.midRef(done, m.capturedStart(2) - done);
        out += doubledNumbers(m.captured(2));
        done = m.capturedEnd(2);
    }
    out += sheet.midRef(done);
    return out;
}

QString SkinStyleSheet(const QString& sheet)
{
    return ScaleSkinSlices(sheet, screenIsScaled() ? qGuiApp->devicePixelRatio() : 1.0);
}

QPixmap LoadSkinPixmap(const QString& path)
{
    if (screenIsScaled()) {
        QPixmap sharp(sharpFormOf(path));
        if (!sharp.isNull()) {
            sharp.setDevicePixelRatio(2.0);
            return sharp;
        }
    }
    return QPixmap(path);
}
