#include "app/options.h"
#include "app/startup.h"
#include "core/heapwarmup.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    if (const std::optional<int> answered = tollvik::answerInformationOptions(argc, argv))
        return *answered;
    tollvik::warmUpHeap();
    QApplication app(argc, argv);
    return tollvik::runTollvikAlerts(app);
}
