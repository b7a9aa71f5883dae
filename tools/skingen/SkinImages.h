// The catalogue of skin images: every file of the skin folder that is drawn
// rather than written by hand, with the function that paints it.
#pragma once

#include <QImage>
#include <QString>

#include <vector>

namespace skin {

struct SkinImage {
    QString fileName;  // relative to the skin folder
    QImage (*paint)(); // draws the whole image at its final size
};

// Every image, in a stable order.
const std::vector<SkinImage>& catalogue();

} // namespace skin
