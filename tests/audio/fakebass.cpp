#include "fakebass.h"

#include <chrono>
#include <cstring>

namespace tollvik::test {
namespace {

FakeBass& f()
{
    return fakeBass();
}

tvb_dword TVB_CALL getVersion()
{
    f().record(QStringLiteral("GetVersion"));
    return TVB_VERSION;
}

tvb_bool TVB_CALL init(int32_t device, tvb_dword freq, tvb_dword flags, void*, const void* cls)
{
    f().record(
        QStringLiteral("Init %1 %2 %3 %4").arg(device).arg(freq).arg(flags).arg(cls == nullptr));
    std::lock_guard lock(f().mutex);
    return f().initResult;
}

int32_t TVB_CALL errorGetCode()
{
    std::lock_guard lock(f().mutex);
    return f().errorCode;
}

tvb_handle TVB_CALL streamCreateFile(tvb_bool mem, const void* block, tvb_dword offLo,
                                     tvb_dword offHi, tvb_dword lenLo, tvb_dword lenHi,
                                     tvb_dword flags)
{
    f().record(QString::asprintf("StreamCreateFile %d %u %u %u %u %u", mem, offLo, offHi, lenLo,
                                 lenHi, flags));
    std::unique_lock lock(f().mutex);
    f().lastLength = lenLo;
    f().lastBlock = QByteArray(static_cast<const char*>(block), static_cast<qsizetype>(lenLo));
    if (f().holdStreamCreate) {
        f().insideStreamCreate = true;
        f().changed.notify_all();
        f().changed.wait(lock, [] { return f().releaseStreamCreate; });
        f().insideStreamCreate = false;
    }
    return f().nextStream;
}

tvb_handle TVB_CALL musicLoad(tvb_bool mem, const void*, tvb_dword offLo, tvb_dword offHi,
                              tvb_dword lenLo, tvb_dword lenHi, tvb_dword flags, tvb_dword freq)
{
    f().record(QString::asprintf("MusicLoad %d %u %u %u %u 0x%x %u", mem, offLo, offHi, lenLo,
                                 lenHi, flags, freq));
    std::lock_guard lock(f().mutex);
    return f().nextMusic;
}

void TVB_CALL streamFree(tvb_handle h)
{
    f().record(QStringLiteral("StreamFree %1").arg(h));
}

void TVB_CALL musicFree(tvb_handle h)
{
    f().record(QStringLiteral("MusicFree %1").arg(h));
}

tvb_bool TVB_CALL channelPlay(tvb_handle h, tvb_bool restart)
{
    f().record(QStringLiteral("ChannelPlay %1 %2").arg(h).arg(restart));
    return 1;
}

tvb_qword TVB_CALL streamGetLength(tvb_handle)
{
    std::lock_guard lock(f().mutex);
    return f().streamLength;
}

tvb_qword TVB_CALL musicGetLength(tvb_handle, tvb_bool playLength)
{
    f().record(QStringLiteral("MusicGetLength %1").arg(playLength));
    std::lock_guard lock(f().mutex);
    return f().musicLength;
}

float TVB_CALL bytes2Seconds(tvb_handle, tvb_dword lo, tvb_dword hi)
{
    std::lock_guard lock(f().mutex);
    const double bytes = static_cast<double>((tvb_qword{hi} << 32) | lo);
    return static_cast<float>(bytes / f().bytesPerSecond);
}

tvb_qword TVB_CALL channelGetPosition(tvb_handle)
{
    std::lock_guard lock(f().mutex);
    return f().position;
}

tvb_bool TVB_CALL channelGetAttributes(tvb_handle, tvb_dword* freq, tvb_dword* volume, int32_t* pan)
{
    std::lock_guard lock(f().mutex);
    if (!f().attributesOk)
        return 0;
    *freq = f().frequency;
    *volume = 100;
    *pan = 0;
    return 1;
}

tvb_bool TVB_CALL channelGetInfo(tvb_handle, TvbChannelInfo* info)
{
    std::lock_guard lock(f().mutex);
    if (!f().infoOk)
        return 0;
    *info = f().info;
    return 1;
}

tvb_bool TVB_CALL getInfo(TvbInfo* info)
{
    std::lock_guard lock(f().mutex);
    if (info->size != TVB_INFO_SIZE)
        return 0;
    info->directSoundVer = f().directSoundVer;
    return 1;
}

tvb_bool TVB_CALL freeAll()
{
    bool inside = false;
    {
        std::lock_guard lock(f().mutex);
        inside = f().insideStreamCreate;
    }
    f().record(inside ? QStringLiteral("Free while StreamCreateFile runs")
                      : QStringLiteral("Free"));
    return 1;
}

} // namespace

void FakeBass::reset()
{
    std::lock_guard lock(mutex);
    nextStream = 1;
    nextMusic = 0;
    errorCode = 0;
    streamLength = 0;
    musicLength = 0;
    position = 0;
    bytesPerSecond = 176400;
    attributesOk = true;
    frequency = 44100;
    infoOk = true;
    info = {44100, 2, 0, TVB_CHANNEL_TYPE_OGG};
    directSoundVer = 0;
    initResult = 1;
    holdStreamCreate = false;
    releaseStreamCreate = false;
    insideStreamCreate = false;
    calls.clear();
    lastLength = 0;
    lastBlock.clear();
}

void FakeBass::record(const QString& call)
{
    std::lock_guard lock(mutex);
    calls.append(call);
    changed.notify_all();
}

QStringList FakeBass::takeCalls()
{
    std::lock_guard lock(mutex);
    return std::exchange(calls, {});
}

bool FakeBass::waitUntilHeld(int timeoutMs)
{
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                            [this] { return insideStreamCreate; });
}

void FakeBass::release()
{
    {
        std::lock_guard lock(mutex);
        releaseStreamCreate = true;
    }
    changed.notify_all();
}

FakeBass& fakeBass()
{
    static FakeBass instance;
    return instance;
}

BassApi fakeBassApi()
{
    BassApi api;
    api.BASS_GetVersion = getVersion;
    api.BASS_Init = init;
    api.BASS_ErrorGetCode = errorGetCode;
    api.BASS_StreamCreateFile = streamCreateFile;
    api.BASS_MusicLoad = musicLoad;
    api.BASS_StreamFree = streamFree;
    api.BASS_MusicFree = musicFree;
    api.BASS_ChannelPlay = channelPlay;
    api.BASS_StreamGetLength = streamGetLength;
    api.BASS_MusicGetLength = musicGetLength;
    api.BASS_ChannelBytes2Seconds = bytes2Seconds;
    api.BASS_ChannelGetPosition = channelGetPosition;
    api.BASS_ChannelGetAttributes = channelGetAttributes;
    api.BASS_ChannelGetInfo = channelGetInfo;
    api.BASS_GetInfo = getInfo;
    api.BASS_Free = freeAll;
    return api;
}

} // namespace tollvik::test
