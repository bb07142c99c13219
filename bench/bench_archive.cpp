// Times a custom archive build against a plain copy of the same archive, in the same run.
// The build reads the working copy once, every external sound once, and writes the output and
// the new working copy; it should stay within 3 times the cost of copying the archive.

#include "archive/archive.h"
#include "core/fileio.h"
#include "core/heapwarmup.h"
#include "plaincopy.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
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

// Bytes that begin like an Ogg stream; the builder checks only the signature.
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

    tollvik::BuildInput in;
    in.programFolder = folder;
    in.workingPath = folder + QStringLiteral("Temp/data.chk");
    in.baseArchiveName = QStringLiteral("data.chk");
    for (int k = 0; k < tollvik::kSlotCount; ++k) {
        in.soundBoxes[k] = folder + QStringLiteral("snd/slot%1.ogg").arg(k + 1);
        in.menuTexts[k] = QStringLiteral("Item %1").arg(k + 1);
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

    const double copy = median(copyMs);
    const double build = median(buildMs);
    const double ratio = build / copy;
    std::printf("archive: %lld bytes, %d entries, 30 external sounds, median of %d runs\n",
                static_cast<long long>(archive.size()), kEntries, kRuns);
    std::printf("plain copy:   %8.3f ms\n", copy);
    std::printf("custom build: %8.3f ms\n", build);
    std::printf("ratio build/copy: %.2f (target <= %.1f) %s\n", ratio, kTarget,
                ratio <= kTarget ? "OK" : "TOO SLOW");
    return ratio <= kTarget ? 0 : 1;
}
