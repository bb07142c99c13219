#pragma once

#include "audio/modbass.h"

#include <atomic>

namespace tollvik::test {

// A table of the audio library that notes which channel was played last, for callers that only
// see the channel through the library. One watched table per process.
class PlayedChannel
{
public:
    // A copy of `api` whose BASS_ChannelPlay notes the channel, then passes the call on.
    [[nodiscard]] static BassApi watch(const BassApi& api)
    {
        s_play = api.BASS_ChannelPlay;
        BassApi watched = api;
        watched.BASS_ChannelPlay = &play;
        return watched;
    }
    [[nodiscard]] static tvb_handle last() { return s_last.load(std::memory_order_acquire); }

private:
    static tvb_bool TVB_CALL play(tvb_handle handle, tvb_bool restart)
    {
        s_last.store(handle, std::memory_order_release);
        return s_play(handle, restart);
    }
    inline static TvbChannelPlayFn s_play = nullptr;
    inline static std::atomic<tvb_handle> s_last{0};
};

} // namespace tollvik::test
