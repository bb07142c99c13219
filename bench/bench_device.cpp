// Times `tollvik-alerts-cli device put` of a 5 MB archive onto a FAT image against `cp` of the
// same file followed by `sync`, in the same run, and reports the steps of the write apart: the
// backup and the read-back are the price of its safety. Then times the search of a device tree
// of 2,000 files.

#include "chkfactory.h"
#include "device/device.h"
#include "fatimage.h"
#include "monotonic.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

constexpr int kRuns = 15;
constexpr double kTarget = 1.5;
constexpr int kTreeFiles = 2000;

using tollvik::bench::monotonicNs;

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

double msSince(long long startNs)
{
    return double(monotonicNs() - startNs) / 1e6;
}

bool run(const QString& program, const QStringList& arguments)
{
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.start(program, arguments);
    return process.waitForFinished(120000) && process.exitStatus() == QProcess::NormalExit &&
           process.exitCode() == 0;
}

// The time from one log line to the next: each line ends one step of the write.
class StepClock : public tollvik::LogSink
{
public:
    void AddText(const QString& text) override
    {
        const long long now = monotonicNs();
        steps.emplace_back(text.section(u' ', 0, 1), double(now - m_last) / 1e6);
        m_last = now;
    }
    void start() { m_last = monotonicNs(); }
    std::vector<std::pair<QString, double>> steps;

private:
    long long m_last = 0;
};

QByteArray bigArchive(char mark)
{
    tollvik::test::ChkArchive archive = tollvik::test::makeChk(31);
    archive.entries[0] = tollvik::test::fillerEntry(1, 5 << 20);
    QByteArray bytes = archive.bytes();
    bytes[bytes.size() / 2] = mark;
    return bytes;
}

// A device tree of kTreeFiles small files in three levels, two archives among them.
bool makeTree(const QString& root)
{
    const QByteArray small(2048, 'd');
    for (int i = 0; i < kTreeFiles - 2; ++i) {
        const QString path =
            QStringLiteral("%1/map%2/region%3/tile%4.dat").arg(root).arg(i % 4).arg(i % 40).arg(i);
        if (!tollvik::test::writeAll(path, small))
            return false;
    }
    return tollvik::test::writeAll(root + QStringLiteral("/voices/a.chk"),
                                   tollvik::test::makeChk(40).bytes()) &&
           tollvik::test::writeAll(root + QStringLiteral("/voices/b.chk"),
                                   tollvik::test::makeChk(35).bytes());
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    if (const QString why = tollvik::test::FatImage::unavailable(); !why.isEmpty()) {
        std::printf("cannot run: %s\n", qPrintable(why));
        return 2;
    }
    tollvik::test::FatImage fat(qint64(64) << 20);
    QTemporaryDir program;
    if (!fat.made() || !fat.mount() || !program.isValid())
        return 2;
    const QString original = fat.file(QStringLiteral("voice.chk"));
    const QString copyTarget = fat.file(QStringLiteral("copy.chk"));
    const QString results[2] = {program.filePath(QStringLiteral("a.chk")),
                                program.filePath(QStringLiteral("b.chk"))};
    const QString backups = program.filePath(QStringLiteral("Backup"));
    if (!tollvik::test::writeAll(results[0], bigArchive('a')) ||
        !tollvik::test::writeAll(results[1], bigArchive('b')) ||
        !tollvik::test::writeAll(original, bigArchive('o')))
        return 2;

    std::vector<double> put, copy, backup, write, readBack;
    for (int i = 0; i < kRuns; ++i) {
        const QString& result = results[i % 2];
        long long t = monotonicNs();
        if (!run(QStringLiteral(TOLLVIK_CLI),
                 {QStringLiteral("device"), QStringLiteral("put"), result, original,
                  QStringLiteral("--backup"), backups}))
            return 2;
        put.push_back(msSince(t));
        QDir(backups).removeRecursively();

        t = monotonicNs();
        if (!run(QStringLiteral("cp"), {result, copyTarget}) || !run(QStringLiteral("sync"), {}))
            return 2;
        copy.push_back(msSince(t));
        QFile::remove(copyTarget);

        // The same write in this process, with the time of each step.
        StepClock clock;
        clock.start();
        if (!tollvik::device::putOnDevice(results[(i + 1) % 2], original, backups, clock))
            return 2;
        QDir(backups).removeRecursively();
        double writing = 0;
        for (const auto& [step, ms] : clock.steps) {
            if (step.startsWith(QLatin1String("Original")))
                backup.push_back(ms);
            else if (step.startsWith(QLatin1String("Read")))
                readBack.push_back(ms);
            else
                writing += ms;
        }
        write.push_back(writing);
    }
    const double ratio = median(put) / median(copy);
    std::printf("device put of a 5 MB archive onto FAT (median of %d): %.1f ms\n", kRuns,
                median(put));
    std::printf("cp + sync of the same file: %.1f ms\n", median(copy));
    std::printf("  of the put, in process: backup %.1f ms, write + flush + rename %.1f ms, "
                "read-back %.1f ms\n",
                median(backup), median(write), median(readBack));
    std::printf("ratio put/copy: %.2fx (target <= %.1fx)\n", ratio, kTarget);

    const QString tree = fat.file(QStringLiteral("tree"));
    if (!makeTree(tree))
        return 2;
    std::vector<double> scans;
    for (int i = 0; i < 5; ++i) {
        const long long t = monotonicNs();
        const auto scan = tollvik::device::scanFolder(tree);
        scans.push_back(msSince(t));
        if (!scan || scan->found.size() != 2 || scan->filesLookedAt != kTreeFiles)
            return 2;
    }
    std::printf("search of a device tree of %d files: %.1f ms\n", kTreeFiles, median(scans));
    return ratio <= kTarget ? 0 : 1;
}
