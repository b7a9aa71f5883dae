// The program's icon for the desktop: a camera lens sending out search
// waves, on the rounded tile of the maker's mark, in the skin's palette.
#pragma once

#include <QImage>
#include <QString>

#include <vector>

namespace skin {

struct IconImage {
    QString fileName; // relative to the icon folder
    int size;         // width and height in pixels
};

// The sizes the desktop entry's icon is installed in: every size of the
// hicolor theme a desktop asks for, 16 to 256 pixels.
const std::vector<IconImage>& appIcons();

// The icon drawn at `size` x `size` pixels. Below 64 pixels the waves are
// fewer and the strokes heavier, so that it still reads in a menu.
QImage appIcon(int size);

} // namespace skin
