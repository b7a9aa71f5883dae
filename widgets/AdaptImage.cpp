#include "AdaptImage.h"

AdaptImage::AdaptImage(const QString& imagePath, QWidget* parent) : QFrame(parent) {
    setImage(imagePath);
}

void AdaptImage::setImage(const QString& imagePath) {
    if (imagePath.isEmpty()) {
        setStyleSheet(QStringLiteral("AdaptImage { background: transparent; }"));
        return;
    }
    setStyleSheet(
        QStringLiteral("AdaptImage { background: transparent; image:url(%1); }").arg(imagePath));
}
