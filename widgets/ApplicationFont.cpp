#include "ApplicationFont.h"

const char* const kApplicationFontFamily = "Microsoft YaHei";

QStringList ApplicationFontSubstitutes() {
    // Both are Debian packages (fonts-wqy-microhei, fonts-noto-cjk); the first
    // has the metrics closest to the face the layout was drawn for.
    return {QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
            QStringLiteral("Noto Sans CJK TC")};
}

void InstallApplicationFontSubstitutes() {
    const QString family = QString::fromLatin1(kApplicationFontFamily);
    QFont::removeSubstitutions(family);
    QFont::insertSubstitutions(family, ApplicationFontSubstitutes());
}

QFont ApplicationFont() {
    QFont font(QString::fromLatin1(kApplicationFontFamily));
    font.setPixelSize(kApplicationFontPixelSize);
    return font;
}
