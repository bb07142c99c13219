#include "app/startup.h"
#include "core/heapwarmup.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    tollvik::warmUpHeap();
    QApplication app(argc, argv);
    return tollvik::runTollvikAlerts(app);
}
