#pragma once

#include "audio/modbass.h"

#include <QString>
#include <cstdint>

namespace tollvik {

// Figures of a loaded channel, as shown beside a preview. Queries do not check the library's
// success flags: a failed call leaves the frequency 0 and the channel record as it was.
class CBASS_TIME
{
public:
    explicit CBASS_TIME(const BassApi& api) : m_api(api) {}

    // "hh:mm:ss", each part at least two digits.
    [[nodiscard]] QString GetTime(std::int32_t seconds) const;
    [[nodiscard]] float GetDuration(tvb_handle handle);
    [[nodiscard]] std::int32_t GetBytesPerSecond(tvb_handle handle);
    // Average kilobits per second of a sound of FileLength bytes. A duration of 0 (or less)
    // gives 0; the result is clamped to -32768..32767.
    [[nodiscard]] std::int32_t GetBitsPerSecond(tvb_handle handle, std::int32_t FileLength);
    [[nodiscard]] QString GetMode(tvb_handle handle);
    [[nodiscard]] std::uint8_t GetBits(tvb_handle handle);
    [[nodiscard]] std::int32_t GetFrequency(tvb_handle handle);

private:
    void refreshInfo(tvb_handle handle);

    const BassApi& m_api;
    TvbChannelInfo m_info{};
};

// Nearest integer, halves to the even neighbour (2.5 -> 2, 3.5 -> 4).
[[nodiscard]] double roundHalfEven(double value);

} // namespace tollvik
