#include "BorderImage.h"

BorderImage::BorderImage(const QString& imagePath, QWidget* parent) : QFrame(parent) {
    setImage(imagePath);
}

void BorderImage::setImage(const QString& imagePath) {
    if (imagePath.isEmpty()) {
        setStyleSheet(QString());
        return;
    }
    setStyleSheet(QStringLiteral("BorderImage {  border-image:url(%1); }").arg(imagePath));
}
