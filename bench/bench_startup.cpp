// Start-up time and peak memory of the program against a bare Qt window of the same size, both
// built in this tree and run side by side in one run, on the offscreen platform with SDL's dummy
// audio driver.
//
//   bench_startup startup   launch to first painted frame, median over repeated launches,
//                           target: at most 1.5 times the bare window
//   bench_startup memory    peak resident memory after loading a 5 MB archive and previewing
//                           one sound, target: at most 30 MB above the bare window
//
// The program is copied with its audio library into a temporary program folder, so that its
// settings file and working copies stay there.

#include "chkfactory.h"
#include "monotonic.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <optional>
#include <vector>

namespace {

constexpr double kStartupTarget = 1.5;
constexpr double kMemoryTargetMb = 30.0;
constexpr int kStartupRuns = 21;
constexpr int kMemoryRuns = 5;
constexpr int kArchiveBytes = 5 * 1024 * 1024;

struct ChildResult
{
    double shownMs = 0; // from just before the launch to the first painted frame
    double maxRssMb = 0;
};

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

class Launcher
{
public:
    Launcher(const QString& runtimeDir)
    {
        m_env = QProcessEnvironment::systemEnvironment();
        m_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        m_env.insert(QStringLiteral("SDL_AUDIODRIVER"), QStringLiteral("dummy"));
        m_env.insert(QStringLiteral("XDG_RUNTIME_DIR"), runtimeDir);
    }

    std::optional<ChildResult> run(const QString& program, const QStringList& args = {})
    {
        QProcess child;
        child.setProcessEnvironment(m_env);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        const long long launched = tollvik::bench::monotonicNs();
        child.start(program, args);
        if (!child.waitForFinished(60000)) {
            std::fprintf(stderr, "%s did not finish\n", qPrintable(program));
            child.kill();
            child.waitForFinished();
            return std::nullopt;
        }
        if (child.exitStatus() != QProcess::NormalExit || child.exitCode() != 0) {
            std::fprintf(stderr, "%s failed with exit code %d\n", qPrintable(program),
                         child.exitCode());
            return std::nullopt;
        }
        std::optional<long long> shown;
        std::optional<long> rss;
        const QList<QByteArray> lines = child.readAllStandardOutput().split('\n');
        for (const QByteArray& line : lines) {
            if (line.startsWith("shown "))
                shown = line.mid(6).toLongLong();
            else if (line.startsWith("maxrss "))
                rss = line.mid(7).toLong();
        }
        if (!shown || !rss) {
            std::fprintf(stderr, "%s reported no first frame\n", qPrintable(program));
            return std::nullopt;
        }
        return ChildResult{double(*shown - launched) / 1e6, double(*rss) / 1024.0};
    }

private:
    QProcessEnvironment m_env;
};

// About 5 MB: 30 slot sounds of real Ogg Vorbis (slot 1's about 100 KB, the one previewed)
// before the last entry, and fillers of about 25 KB around them.
QByteArray makeArchive()
{
    QByteArray previewed;
    for (double seconds = 10.0; previewed.size() < 100 * 1024; seconds *= 1.25)
        previewed = tollvik::test::makeOggSine(440.0, seconds, 44100, 2);
    const QList<QByteArray>& others = tollvik::test::oggSounds();

    tollvik::test::ChkArchive archive;
    qsizetype total = previewed.size();
    for (const QByteArray& sound : others)
        total += sound.size() * 29 / others.size();
    const int fillers = int((kArchiveBytes - total) / 25000);
    const int count = fillers + 31;
    for (int entry = 1; entry <= count; ++entry) {
        const int slot = entry - (count - 30);
        if (slot == 0)
            archive.entries.append(tollvik::test::slotEntry(previewed));
        else if (slot > 0 && slot < 30)
            archive.entries.append(tollvik::test::slotEntry(others[slot % others.size()]));
        else
            archive.entries.append(tollvik::test::fillerEntry(entry, 25000));
    }
    return archive.bytes();
}

bool copyInto(const QString& file, const QString& folder)
{
    const QString target = folder + QLatin1Char('/') + QFileInfo(file).fileName();
    return QFile::copy(file, target) && QFile::setPermissions(target, QFile::permissions(file));
}

int benchStartup(Launcher& launcher, const QString& bare, const QString& app)
{
    const QStringList withText{QStringLiteral("text")};
    // The first launches fill the page cache and create the settings file.
    for (int warm = 0; warm < 2; ++warm) {
        if (!launcher.run(bare) || !launcher.run(bare, withText) || !launcher.run(app))
            return 2;
    }
    std::vector<double> bareMs;
    std::vector<double> textMs;
    std::vector<double> appMs;
    for (int run = 0; run < kStartupRuns; ++run) {
        const auto b = launcher.run(bare);
        const auto t = launcher.run(bare, withText);
        const auto a = launcher.run(app);
        if (!b || !t || !a)
            return 2;
        bareMs.push_back(b->shownMs);
        textMs.push_back(t->shownMs);
        appMs.push_back(a->shownMs);
    }
    const double b = median(bareMs);
    const double t = median(textMs);
    const double a = median(appMs);
    const double ratio = a / b;
    std::printf("start-up to first shown window, median of %d launches: bare Qt window %.1f ms, "
                "the same with one text box %.1f ms (%.2f), tollvik-alerts %.1f ms\n",
                kStartupRuns, b, t, t / b, a);
    std::printf("ratio start-up/bare: %.2f (target <= %.1f) %s\n", ratio, kStartupTarget,
                ratio <= kStartupTarget ? "OK" : "TOO SLOW");
    return ratio <= kStartupTarget ? 0 : 1;
}

int benchMemory(Launcher& launcher, const QString& bare, const QString& app, const QString& archive)
{
    std::vector<double> bareMb;
    std::vector<double> appMb;
    for (int run = 0; run < kMemoryRuns; ++run) {
        const auto b = launcher.run(bare);
        const auto a = launcher.run(app, {archive});
        if (!b || !a)
            return 2;
        bareMb.push_back(b->maxRssMb);
        appMb.push_back(a->maxRssMb);
    }
    const double b = median(bareMb);
    const double a = median(appMb);
    const double extra = a - b;
    std::printf("peak memory (max RSS), median of %d runs: bare Qt window %.1f MB, tollvik-alerts "
                "after loading a %.1f MB archive and previewing one sound %.1f MB\n",
                kMemoryRuns, b, double(QFileInfo(archive).size()) / (1024.0 * 1024.0), a);
    std::printf("extra memory over bare: %+.1f MB (target <= +%.0f MB) %s\n", extra,
                kMemoryTargetMb, extra <= kMemoryTargetMb ? "OK" : "TOO MUCH");
    return extra <= kMemoryTargetMb ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const QString mode = args.size() > 1 ? args.at(1) : QString();
    if (mode != QLatin1String("startup") && mode != QLatin1String("memory")) {
        std::fprintf(stderr, "usage: bench_startup startup|memory\n");
        return 2;
    }

    QTemporaryDir dir;
    const QString root = dir.path();
    QDir folder(root);
    if (!dir.isValid() || !folder.mkpath(QStringLiteral("program/Temp")) ||
        !folder.mkpath(QStringLiteral("program/Modified")) ||
        !folder.mkpath(QStringLiteral("device")) || !folder.mkpath(QStringLiteral("runtime")) ||
        !QFile::setPermissions(root + QStringLiteral("/runtime"),
                               QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner)) {
        std::fprintf(stderr, "cannot create the benchmark folder\n");
        return 2;
    }
    const QString program = root + QStringLiteral("/program");
    if (!copyInto(QStringLiteral(TOLLVIK_APP_CHILD), program) ||
        !copyInto(QStringLiteral(TOLLVIK_BASS_PATH), program)) {
        std::fprintf(stderr, "cannot set up the program folder\n");
        return 2;
    }
    const QString appChild =
        program + QLatin1Char('/') + QFileInfo(QStringLiteral(TOLLVIK_APP_CHILD)).fileName();
    const QString bareChild = QStringLiteral(TOLLVIK_BARE_CHILD);
    Launcher launcher(root + QStringLiteral("/runtime"));

    if (mode == QLatin1String("startup"))
        return benchStartup(launcher, bareChild, appChild);

    const QString archive = root + QStringLiteral("/device/data.chk");
    QFile out(archive);
    const QByteArray bytes = makeArchive();
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write the archive\n");
        return 2;
    }
    out.close();
    return benchMemory(launcher, bareChild, appChild, archive);
}
