#pragma once

#include "audio/modbass.h"

#include <QStringList>
#include <condition_variable>
#include <mutex>

namespace tollvik::test {

// A stand-in for the audio library whose answers the test sets. One per process; every call is
// recorded ("StreamCreateFile 1" ...) under a lock, as the preview worker calls it from its own
// thread.
struct FakeBass
{
    std::mutex mutex;
    std::condition_variable changed;

    // What the library reports.
    tvb_handle nextStream = 1;      // handle StreamCreateFile gives; 0 = refuse
    tvb_handle nextMusic = 0;       // handle MusicLoad gives
    std::int32_t errorCode = 0;     // what BASS_ErrorGetCode reports
    tvb_qword streamLength = 0;     // BASS_StreamGetLength
    tvb_qword musicLength = 0;      // BASS_MusicGetLength
    tvb_qword position = 0;         // BASS_ChannelGetPosition
    double bytesPerSecond = 176400; // for BASS_ChannelBytes2Seconds
    bool attributesOk = true;
    tvb_dword frequency = 44100;
    bool infoOk = true;
    TvbChannelInfo info{44100, 2, 0, TVB_CHANNEL_TYPE_OGG};
    tvb_dword directSoundVer = 0;
    tvb_bool initResult = 1;

    // When set, StreamCreateFile waits until `releaseStreamCreate` is set.
    bool holdStreamCreate = false;
    bool releaseStreamCreate = false;
    bool insideStreamCreate = false;

    QStringList calls;
    tvb_dword lastLength = 0;
    QByteArray lastBlock; // copy of the bytes handed to StreamCreateFile

    void reset();
    void record(const QString& call);
    [[nodiscard]] QStringList takeCalls();
    // Waits until StreamCreateFile is entered and held.
    bool waitUntilHeld(int timeoutMs = 5000);
    void release();
};

FakeBass& fakeBass();
// A function table that calls the fake.
[[nodiscard]] BassApi fakeBassApi();

} // namespace tollvik::test
