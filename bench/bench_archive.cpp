// Times a custom archive build against a plain copy of the same archive, in the same run.
// The build reads the working copy once, every external sound once, and writes the output and
// the new working copy; it should stay within 3 times the cost of copying the archive. The
// build's peak memory, measured in a fresh process of its own, should stay within 3 times the
// archive's size.

#include "archive/archive.h"
#include "core/fileio.h"
#include "core/heapwarmup.h"
#include "plaincopy.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kEntries = 200;
constexpr int kRuns = 21;
constexpr double kTarget = 3.0;

class NullLog : public tollvik::LogSink
{
public:
    void AddText(const QString&) override {}
};

void appendBe32(QByteArray& out, quint32 v)
{
    out.append(char(v >> 24));
    out.append(char((v >> 16) & 0xFF));
    out.append(char((v >> 8) & 0xFF));
    out.append(char(v & 0xFF));
}

// Bytes that begin like an Ogg stream. The build's sound check is the converter's, handed in by
// its callers; here it takes every sound, so that the layout alone is measured.
QByteArray soundOfSize(QRandomGenerator& rng, int size)
{
    QByteArray out("OggS");
    out.resize(size);
    for (int i = 4; i < size; ++i)
        out[i] = char(rng.bounded(256));
    return out;
}

QByteArray slotEntry(const QByteArray& sound)
{
    const int padded = (int(sound.size()) + 3) / 4 * 4;
    QByteArray out;
    out.append(char(0x01));
    out.append(char(0x00));
    const int words = (padded + 12) / 4;
    out.append(char(words >> 8));
    out.append(char(words & 0xFF));
    appendBe32(out, 1);
    appendBe32(out, 8);
    appendBe32(out, quint32(sound.size()));
    out.append(sound);
    out.append(padded - sound.size(), '\0');
    return out;
}

// About 5 MB: 200 entries of about 25 KB, the 30 before the last shaped as slot sounds.
QByteArray makeArchive(QRandomGenerator& rng)
{
    QList<QByteArray> entries;
    for (int entry = 1; entry <= kEntries; ++entry) {
        const int size = 20000 + rng.bounded(10000);
        if (entry >= kEntries - 30 && entry < kEntries)
            entries.append(slotEntry(soundOfSize(rng, size)));
        else
            entries.append(soundOfSize(rng, size));
    }
    QByteArray out;
    appendBe32(out, kEntries);
    quint32 offset = 4 * (kEntries + 2);
    for (const QByteArray& e : entries) {
        appendBe32(out, offset);
        offset += quint32(e.size());
    }
    appendBe32(out, offset);
    for (const QByteArray& e : entries)
        out.append(e);
    return out;
}

tollvik::BuildInput buildInput(const QString& folder)
{
    tollvik::BuildInput in;
    in.programFolder = folder;
    in.workingPath = folder + QStringLiteral("Temp/data.chk");
    in.baseArchiveName = QStringLiteral("data.chk");
    for (int k = 0; k < tollvik::kSlotCount; ++k) {
        in.soundBoxes[k] = folder + QStringLiteral("snd/slot%1.ogg").arg(k + 1);
        in.menuTexts[k] = QStringLiteral("Item %1").arg(k + 1);
    }
    in.check.playable = [](QByteArrayView) {
        return tollvik::Status{};
    };
    return in;
}

// A figure of /proc/self/status in kB ("VmRSS:", "VmHWM:"); -1 when it cannot be read.
qint64 statusKb(const QByteArray& key)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(key))
            return line.mid(key.size()).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

// In a process of its own: one build of the working copy in `folder`, and what the process's
// peak resident memory grew by meanwhile, in kB (printed; -1 when it cannot be measured).
int measureBuildPeak(const QString& folder)
{
    NullLog log;
    const tollvik::BuildInput in = buildInput(folder);
    QFile clear(QStringLiteral("/proc/self/clear_refs")); // "5" resets the peak to the present
    const bool reset = clear.open(QIODevice::WriteOnly) && clear.write("5") == 1 && clear.flush();
    const qint64 before = statusKb("VmRSS:");
    const bool built = tollvik::data_chk_reload(in, log).ok();
    const qint64 peak = statusKb("VmHWM:");
    std::printf("%lld\n",
                reset && before >= 0 && peak >= 0 ? static_cast<long long>(peak - before) : -1LL);
    return built ? 0 : 2;
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 3 && qstrcmp(argv[1], "--build-peak") == 0) {
        QCoreApplication app(argc, argv);
        return measureBuildPeak(QString::fromLocal8Bit(argv[2]));
    }
    tollvik::warmUpHeap(); // the program's memory settings, as its main() makes them
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    QDir root(dir.path());
    if (!dir.isValid() || !root.mkpath(QStringLiteral("Temp")) ||
        !root.mkpath(QStringLiteral("Modified")) || !root.mkpath(QStringLiteral("snd"))) {
        std::fprintf(stderr, "cannot create the benchmark folder\n");
        return 2;
    }
    const QString folder = QDir::toNativeSeparators(dir.path()) + QDir::separator();
    QRandomGenerator rng(20240601);
    const QByteArray archive = makeArchive(rng);
    const QString source = folder + QStringLiteral("data.chk");

    const tollvik::BuildInput in = buildInput(folder);
    for (int k = 0; k < tollvik::kSlotCount; ++k) {
        if (!writeFile(in.soundBoxes[k], soundOfSize(rng, 20000 + rng.bounded(100000)))) {
            std::fprintf(stderr, "cannot write the external sounds\n");
            return 2;
        }
    }
    if (!writeFile(source, archive)) {
        std::fprintf(stderr, "cannot write the archive\n");
        return 2;
    }

    NullLog log;
    std::vector<double> copyMs;
    std::vector<double> buildMs;
    for (int run = 0; run < kRuns; ++run) {
        QElapsedTimer timer;
        timer.start();
        if (!tollvik::bench::plainCopy(source, folder + QStringLiteral("Modified/copy.chk"))) {
            std::fprintf(stderr, "the plain copy failed\n");
            return 2;
        }
        copyMs.push_back(double(timer.nsecsElapsed()) / 1e6);

        // Every build starts from the base archive, as after a fresh load. The working copy is
        // restored through the file layer, so that its data is on disk before the timing starts
        // and the build does not pay for flushing it.
        if (!tollvik::writeFileAtomically(in.workingPath, archive)) {
            std::fprintf(stderr, "cannot restore the working copy\n");
            return 2;
        }
        timer.restart();
        const tollvik::Result<tollvik::BuiltChk> built = tollvik::data_chk_reload(in, log);
        buildMs.push_back(double(timer.nsecsElapsed()) / 1e6);
        if (!built || !built->listing) {
            std::fprintf(stderr, "the build failed\n");
            return 2;
        }
    }

    if (!tollvik::writeFileAtomically(in.workingPath, archive)) {
        std::fprintf(stderr, "cannot restore the working copy\n");
        return 2;
    }
    QProcess child;
    child.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--build-peak"), folder});
    const bool measured = child.waitForFinished(60000) && child.exitCode() == 0;
    const qint64 peakKb = measured ? child.readAllStandardOutput().trimmed().toLongLong() : -1;
    const double peakRatio = double(peakKb) * 1024.0 / double(archive.size());

    const double copy = median(copyMs);
    const double build = median(buildMs);
    const double ratio = build / copy;
    std::printf("archive: %lld bytes, %d entries, 30 external sounds, median of %d runs\n",
                static_cast<long long>(archive.size()), kEntries, kRuns);
    std::printf("plain copy:   %8.3f ms\n", copy);
    std::printf("custom build: %8.3f ms\n", build);
    std::printf("ratio build/copy: %.2f (target <= %.1f) %s\n", ratio, kTarget,
                ratio <= kTarget ? "OK" : "TOO SLOW");
    if (peakKb < 0)
        std::printf("build peak memory: not measured\n");
    else
        std::printf("build peak memory: %.1f MB for an archive of %.1f MB, %.2f times (target <= "
                    "%.1f) %s\n",
                    double(peakKb) / 1024.0, double(archive.size()) / 1048576.0, peakRatio, kTarget,
                    peakRatio <= kTarget ? "OK" : "TOO MUCH");
    return ratio <= kTarget && peakRatio <= kTarget ? 0 : 1;
}
