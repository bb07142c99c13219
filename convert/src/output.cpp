// The log line of a converted sound, its refusals, and its file in Temp/.

#include "archive/archive.h"
#include "core/fileio.h"
#include "core/paths.h"
#include "internal.h"

#include <QDir>
#include <QLocale>
#include <QRegularExpression>
#include <algorithm>
#include <cmath>

namespace tollvik::convert {
namespace {

QString tempFolder(const QString& programFolder)
{
    return RPP(programFolder) + QStringLiteral("Temp") + nativeSeparator();
}

QString signedDb(double db)
{
    const double rounded = std::round(db * 10.0) / 10.0;
    return (rounded < 0.0 ? QStringLiteral("-") : QStringLiteral("+")) +
           QString::number(std::abs(rounded), 'f', 1) + QStringLiteral(" dB");
}

} // namespace

QString detail::minutesSeconds(double seconds)
{
    const double bounded = std::isfinite(seconds) ? std::clamp(seconds, 0.0, 359999.0) : 0.0;
    const auto whole = static_cast<qint64>(std::floor(bounded));
    return QStringLiteral("%1:%2").arg(whole / 60).arg(whole % 60, 2, 10, QLatin1Char('0'));
}

Failure detail::tooLong(const QString& name, double seconds, double maxSeconds)
{
    return fail(QStringLiteral("%1 is %2 long; a slot's sound can be at most about %3.")
                    .arg(name, minutesSeconds(seconds), minutesSeconds(maxSeconds)));
}

QString describe(const Converted& c)
{
    const QString rate = c.rateLowered ? QStringLiteral("%1 Hz (lowered to fit)").arg(c.sampleRate)
                                       : QStringLiteral("%1 Hz").arg(c.sampleRate);
    const QString channels = c.channels == 1 ? QStringLiteral("1 channel")
                                             : QStringLiteral("%1 channels").arg(c.channels);
    const QString level = c.peakLimited ? QStringLiteral(" (held back by its peaks)") : QString();
    return QStringLiteral("Converted %1: %2, %3, %4 bytes, quality %5, loudness %6%7")
        .arg(c.sourceName, rate, channels, QLocale(QLocale::English).toString(c.bytes),
             QString::number(static_cast<double>(c.quality), 'f', 1), signedDb(c.loudnessChangeDb),
             level);
}

QString convertedSoundPath(const QString& programFolder, int slot)
{
    return tempFolder(programFolder) +
           QStringLiteral("Converted %1.ogg").arg(slot + 1, 2, 10, QLatin1Char('0'));
}

Result<QString> writeConvertedSound(const QString& programFolder, int slot,
                                    const Converted& converted)
{
    if (slot < 0 || slot >= kSlotCount)
        return fail(QStringLiteral("There is no slot %1.").arg(slot + 1));
    const QString path = convertedSoundPath(programFolder, slot);
    if (const Status written = writeFileAtomically(path, converted.ogg); !written)
        return fail(QStringLiteral("Cannot write %1: %2").arg(path, written.error()));
    return path;
}

Status removeConvertedSounds(const QString& programFolder)
{
    const QRegularExpression ours(QStringLiteral("^Converted (0[1-9]|[12][0-9]|30)\\.ogg$"));
    const QString folder = tempFolder(programFolder);
    const QStringList names = QDir(folder).entryList({QStringLiteral("Converted *.ogg")},
                                                     QDir::Files | QDir::Hidden | QDir::System);
    QStringList failed;
    for (const QString& name : names) {
        if (!ours.match(name).hasMatch())
            continue;
        if (const Status removed = removeFileIfPresent(folder + name); !removed)
            failed.append(QStringLiteral("%1 (%2)").arg(name, removed.error()));
    }
    if (!failed.isEmpty())
        return fail(QStringLiteral("Cannot delete the converted sounds %1 in %2.")
                        .arg(failed.join(QStringLiteral(", ")), folder));
    return {};
}

} // namespace tollvik::convert
