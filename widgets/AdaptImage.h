// A frame that shows one image scaled into its area, keeping its proportions.
#pragma once

#include <QFrame>

// AdaptImage scales its image into the frame on a transparent background
// (the message box's icon).
class AdaptImage : public QFrame {
    Q_OBJECT
public:
    explicit AdaptImage(const QString& imagePath = QString(), QWidget* parent = nullptr);

    // Replaces the image; an empty path shows nothing.
    void setImage(const QString& imagePath);
};
