// The peer of the start-up benchmark: an empty QWidget window, started and
// probed exactly as the tool is (same probe, same switches), so that the
// tool's first paint and resident set are read against what Qt Widgets
// itself costs on this machine.
#include "StartupProbe.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.resize(1024, 700);
    WatchFirstPaint(&window);
    window.show();
    return app.exec();
}
