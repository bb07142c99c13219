// The log line of a converted sound and its refusals.

#include "internal.h"

#include <QLocale>
#include <algorithm>
#include <cmath>

namespace tollvik::convert {
namespace {

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

QString detail::formatText(SoundFormat format)
{
    const QString hz =
        QLocale(QLocale::English).toString(format.sampleRate) + QStringLiteral(" Hz");
    if (format.channels == 1)
        return hz + QStringLiteral(" mono");
    if (format.channels == 2)
        return hz + QStringLiteral(" stereo");
    return hz + QStringLiteral(" with %1 channels").arg(format.channels);
}

Failure detail::tooLong(const QString& name, double seconds, bool longer, double maxSeconds,
                        SoundFormat format)
{
    return fail(QStringLiteral("%1 is %2%3 long; a slot's sound can be at most about %4 of sound "
                               "like it at %5.")
                    .arg(name, longer ? QStringLiteral("more than ") : QString(),
                         minutesSeconds(seconds), minutesSeconds(maxSeconds), formatText(format)));
}

QString describe(const Converted& c)
{
    const QString rate = QStringLiteral("%1 Hz").arg(c.sampleRate);
    const QString channels = c.channels == 1 ? QStringLiteral("1 channel")
                                             : QStringLiteral("%1 channels").arg(c.channels);
    const QString level = c.peakLimited ? QStringLiteral(" (held back by its peaks)") : QString();
    return QStringLiteral("Converted %1: %2, %3, %4 bytes, quality %5, loudness %6 to %7 LUFS%8, "
                          "true peak %9 dBTP")
        .arg(c.sourceName, rate, channels, QLocale(QLocale::English).toString(c.ogg.size()),
             QString::number(static_cast<double>(c.quality), 'f', 1), signedDb(c.loudnessChangeDb),
             QString::number(c.loudnessLufs, 'f', 1), level,
             QString::number(c.truePeakDbtp, 'f', 1));
}

} // namespace tollvik::convert
