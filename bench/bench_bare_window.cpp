// The yardstick of bench_startup: a bare Qt window of the main window's size, shown and closed
// again at its first painted frame. With the argument "text" it holds one text box, for the
// share of the start-up that any window showing text pays (the font configuration and the first
// font loaded).

#include "firstframe.h"

#include <QApplication>
#include <QLineEdit>
#include <QWidget>

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QWidget window;
    window.resize(728, 601);
    window.setWindowTitle(QStringLiteral("bare"));
    if (QCoreApplication::arguments().contains(QStringLiteral("text")))
        (new QLineEdit(QStringLiteral("Speed camera"), &window))->setGeometry(8, 32, 167, 19);
    window.show();
    tollvik::bench::FirstFrame frame(window, [] {
        tollvik::bench::printFirstFrame();
        tollvik::bench::printMaxRss();
        QCoreApplication::quit();
    });
    return app.exec();
}
