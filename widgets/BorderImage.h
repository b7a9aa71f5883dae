// A frame that shows one image stretched over its whole area.
#pragma once

#include <QFrame>

// BorderImage stretches its image over the frame (logo, info icons).
class BorderImage : public QFrame {
    Q_OBJECT
public:
    explicit BorderImage(const QString& imagePath = QString(), QWidget* parent = nullptr);

    // Replaces the image; an empty path shows nothing.
    void setImage(const QString& imagePath);
};
