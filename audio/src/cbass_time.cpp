#include "audio/cbass_time.h"

#include <cmath>
#include <cstdlib>
#include <limits>

namespace tollvik {
namespace {

// The "00" pattern: at least two digits, more when needed, a minus sign before them.
QString twoDigits(std::int64_t value)
{
    const QString digits = QString::number(std::llabs(value)).rightJustified(2, QLatin1Char('0'));
    return value < 0 ? QLatin1Char('-') + digits : digits;
}

} // namespace

double roundHalfEven(double value)
{
    if (!std::isfinite(value))
        return value;
    const double lower = std::floor(value);
    const double fraction = value - lower;
    if (fraction < 0.5)
        return lower;
    if (fraction > 0.5)
        return lower + 1.0;
    return std::fmod(lower, 2.0) == 0.0 ? lower : lower + 1.0;
}

QString CBASS_TIME::GetTime(std::int32_t seconds) const
{
    // Whole hours, minutes and seconds in integers: the same clock as the single-precision
    // hour fraction gives below one hour, and no lost minute beyond it (3660 is 01:01:00).
    const std::int64_t total = std::llabs(static_cast<std::int64_t>(seconds));
    const QString clock = twoDigits(total / 3600) + QLatin1Char(':') +
                          twoDigits(total % 3600 / 60) + QLatin1Char(':') + twoDigits(total % 60);
    return seconds < 0 ? QLatin1Char('-') + clock : clock;
}

float CBASS_TIME::GetDuration(tvb_handle handle)
{
    auto length = static_cast<std::uint32_t>(m_api.BASS_StreamGetLength(handle));
    if (static_cast<std::int32_t>(length) == -1)
        length = static_cast<std::uint32_t>(
            m_api.BASS_MusicGetLength(handle, TVB_MUSIC_PLAYBACK_LENGTH));
    return Bytes2Seconds(m_api, handle, length);
}

std::int32_t CBASS_TIME::GetBytesPerSecond(tvb_handle handle)
{
    tvb_dword frequency = 0;
    tvb_dword volume = 0;
    std::int32_t pan = 0;
    m_api.BASS_ChannelGetAttributes(handle, &frequency, &volume, &pan);
    refreshInfo(handle);
    std::int64_t rate =
        static_cast<std::int64_t>(frequency) * (m_info.channels > 2 ? 2 : m_info.channels);
    if ((m_info.flags & TVB_CHANNEL_8BIT) == 0)
        rate *= 2;
    return static_cast<std::int32_t>(
        std::min<std::int64_t>(rate, std::numeric_limits<std::int32_t>::max()));
}

std::int32_t CBASS_TIME::GetBitsPerSecond(tvb_handle handle, std::int32_t FileLength)
{
    const double duration = GetDuration(handle);
    // A sound of no measurable length has no bit rate to show.
    if (!(duration > 0.0) || !std::isfinite(duration))
        return 0;
    const double kbps = roundHalfEven(static_cast<double>(FileLength) * 8.0 / duration / 1000.0);
    return static_cast<std::int32_t>(std::clamp(kbps, -32768.0, 32767.0));
}

QString CBASS_TIME::GetMode(tvb_handle handle)
{
    refreshInfo(handle);
    switch (m_info.channels) {
    case 1:
        return QStringLiteral("Mono");
    case 2:
        return QStringLiteral("Stereo");
    default:
        return QString::number(m_info.channels) + QStringLiteral(" MultiChannel");
    }
}

std::uint8_t CBASS_TIME::GetBits(tvb_handle handle)
{
    refreshInfo(handle);
    return (m_info.flags & TVB_CHANNEL_8BIT) != 0 ? 8 : 16;
}

std::int32_t CBASS_TIME::GetFrequency(tvb_handle handle)
{
    tvb_dword frequency = 0;
    tvb_dword volume = 0;
    std::int32_t pan = 0;
    m_api.BASS_ChannelGetAttributes(handle, &frequency, &volume, &pan);
    return static_cast<std::int32_t>(frequency);
}

void CBASS_TIME::refreshInfo(tvb_handle handle)
{
    // A failed call leaves the record as it was.
    m_api.BASS_ChannelGetInfo(handle, &m_info);
}

} // namespace tollvik
