// The yardstick of bench_startup: a bare Qt window of the main window's size, shown and closed
// again at its first painted frame.

#include "firstframe.h"

#include <QApplication>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(728, 601);
    window.setWindowTitle(QStringLiteral("bare"));
    window.show();
    tollvik::bench::FirstFrame frame(window, [] {
        tollvik::bench::printFirstFrame();
        tollvik::bench::printMaxRss();
        QCoreApplication::quit();
    });
    return app.exec();
}
