// Times the navigator save against a plain copy of the same 2.5 MB file, in the same run. The
// save reads the working copy once, patches it in memory, stores the 30 texts, writes the output
// and refreshes the working copy; it should stay within 3 times the cost of copying the file.
// The settings write is timed on its own as well: the 30 texts go into the settings file in one
// complete, durable file replacement.

#include "core/fileio.h"
#include "core/heapwarmup.h"
#include "patcher/patcher.h"
#include "plaincopy.h"
#include "settings/ini.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr qint64 kFileSize = 2'500'000;
constexpr qint16 kBuild = 5; // a GO build
constexpr int kRuns = 15;
constexpr double kTarget = 3.0;

class NullLog : public tollvik::LogSink
{
public:
    void AddText(const QString&) override {}
};

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    tollvik::warmUpHeap(); // the program's memory settings, as its main() makes them
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 2;
    const QString folder = dir.path() + QDir::separator();
    QDir(folder).mkpath(QStringLiteral("Temp"));
    QDir(folder).mkpath(QStringLiteral("Modified"));
    QDir(folder).mkpath(QStringLiteral("device"));

    QByteArray data(kFileSize, Qt::Uninitialized);
    QRandomGenerator rng(4711);
    for (qint64 i = 0; i < kFileSize; ++i)
        data[i] = static_cast<char>(rng.bounded(256));
    for (const tollvik::NavigatorProbe& probe : tollvik::findNavigatorBuild(kBuild)->probes)
        data[probe.offset] = static_cast<char>(probe.expected);
    const QString source = folder + QStringLiteral("device/navcore.exe");
    if (!tollvik::writeFileAtomically(source, data)) {
        std::fprintf(stderr, "cannot write the navigator file\n");
        return 2;
    }

    NullLog log;
    tollvik::NavigatorState state;
    if (!tollvik::loadNavigatorFile(source, folder, state, log)) {
        std::fprintf(stderr, "the navigator file was not recognised\n");
        return 2;
    }
    std::array<QString, tollvik::kSlotCount> texts;
    for (std::size_t i = 0; i < texts.size(); ++i)
        texts[i] = QStringLiteral("Camera %1").arg(i + 1);

    const QString copyTarget = folder + QStringLiteral("copy.exe");
    std::vector<double> saves, copies, settings;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        if (!tollvik::bench::plainCopy(source, copyTarget))
            return 2;
        copies.push_back(double(timer.nsecsElapsed()));

        timer.restart();
        if (!tollvik::saveModifiedNavigator(state, texts, folder, log))
            return 2;
        saves.push_back(double(timer.nsecsElapsed()));

        // The part of the save that stores the texts: one rewrite of the settings file.
        timer.restart();
        if (!tollvik::PutINIData(folder, texts, log))
            return 2;
        settings.push_back(double(timer.nsecsElapsed()));
    }

    const double save = median(saves);
    const double copy = median(copies);
    const double texts30 = median(settings);
    const double ratio = save / copy;
    std::printf("navigator save of %lld bytes: %.2f ms, plain copy: %.2f ms, ratio %.2f "
                "(target <= %.1f)\n",
                static_cast<long long>(kFileSize), save / 1e6, copy / 1e6, ratio, kTarget);
    std::printf("  of which the settings-file rewrite: %.2f ms; the rest of the save: %.2f ms, "
                "ratio %.2f\n",
                texts30 / 1e6, (save - texts30) / 1e6, (save - texts30) / copy);
    return ratio <= kTarget ? 0 : 1;
}
