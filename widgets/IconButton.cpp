#include "IconButton.h"
#include "SkinResources.h"

#include <QLabel>
#include <QPixmap>
#include <QResizeEvent>

IconButton::IconButton(QWidget* parent) : QPushButton(parent) { setUp(); }

IconButton::IconButton(const QString& iconPath, QWidget* parent) : QPushButton(parent) {
    setUp();
    setIcon(iconPath);
}

void IconButton::setUp() {
    m_iconLabel = new QLabel(this);
    m_iconLabel->setScaledContents(true);
    m_iconLabel->setAttribute(Qt::WA_TransparentForMouseEvents);
    m_iconLabel->setStyleSheet(QStringLiteral("QLabel { background: transparent; border: 0px; }"));
    setStyleSheet(QStringLiteral(
        "IconButton { background: transparent; border: 0px; outline: none; border-radius: 2px; }"
        "IconButton:hover { background: rgb(115,122,132); }"
        "IconButton:pressed { background: rgb(66,71,74); }"
        // Keyboard focus: the accent the line edits show.
        "IconButton:focus { border: 1px solid rgb(56,145,180); }"));
}

void IconButton::setIcon(const QString& iconPath) {
    m_iconPath = iconPath;
    m_iconLabel->setPixmap(LoadSkinPixmap(iconPath));
    m_iconLabel->resize(kIconSize, kIconSize);
}

void IconButton::resizeEvent(QResizeEvent* event) {
    QPushButton::resizeEvent(event);
    m_iconLabel->setGeometry((width() - kIconSize) / 2, (height() - kIconSize) / 2, kIconSize,
                             kIconSize);
}
