// The program's audio library: Ogg Vorbis streams decoded from memory with libvorbisfile and
// played through SDL2's audio output.
//
// A stream is decoded whole when it is created and converted once to the output format (16-bit
// stereo at the output rate) with SDL_ConvertAudio, so the output callback only copies and mixes.
// All shared state sits behind one mutex that the output callback also takes; SDL calls that
// wait for the callback (pausing, closing the device) are made without holding it.

#include "tollvik_bass_abi.h"

#include <SDL.h>
#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <limits>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <vector>
#include <vorbis/vorbisfile.h>

namespace {

constexpr int kDefaultRate = 44100;
constexpr int kOutputChannels = 2;
constexpr Uint16 kBufferFrames = 1024;
constexpr int kMaxChannels = 8;

std::atomic<std::int32_t> g_lastError{TVB_OK};

void setError(std::int32_t code)
{
    g_lastError.store(code, std::memory_order_relaxed);
}

struct Stream
{
    std::uint32_t rate = 0;
    std::uint32_t channels = 0;
    std::uint64_t sourceFrames = 0;
    std::vector<std::int16_t> output; // interleaved stereo at the output rate
    std::size_t outputPos = 0;        // frames of `output` already played
    bool playing = false;

    [[nodiscard]] std::size_t outputFrames() const { return output.size() / kOutputChannels; }
    [[nodiscard]] std::uint64_t bytesPerFrame() const { return std::uint64_t{channels} * 2; }
};

struct Engine
{
    // Serialises BASS_Init and BASS_Free; never taken by the output callback.
    std::mutex lifecycle;
    // Guards everything below; taken by the output callback.
    std::mutex state;
    bool initialised = false;
    SDL_AudioDeviceID device = 0;
    int outputRate = kDefaultRate;
    Uint16 bufferFrames = kBufferFrames;
    tvb_handle lastHandle = 0;
    std::map<tvb_handle, std::unique_ptr<Stream>> streams;
};

// Never destroyed: the output thread may still run while the process ends.
Engine& engine()
{
    static Engine* const instance = new Engine;
    return *instance;
}

void SDLCALL mixOutput(void*, Uint8* out, int len)
{
    SDL_memset(out, 0, static_cast<std::size_t>(len));
    const std::size_t frames =
        static_cast<std::size_t>(len) / (kOutputChannels * sizeof(std::int16_t));
    Engine& e = engine();
    std::lock_guard lock(e.state);
    for (auto& entry : e.streams) {
        Stream& s = *entry.second;
        if (!s.playing)
            continue;
        const std::size_t n = std::min(frames, s.outputFrames() - s.outputPos);
        if (n > 0) {
            SDL_MixAudioFormat(
                out,
                reinterpret_cast<const Uint8*>(s.output.data() + s.outputPos * kOutputChannels),
                AUDIO_S16SYS, static_cast<Uint32>(n * kOutputChannels * 2), SDL_MIX_MAXVOLUME);
            s.outputPos += n;
        }
        if (s.outputPos >= s.outputFrames())
            s.playing = false;
    }
}

// --- decoding -----------------------------------------------------------------------------

struct MemoryReader
{
    const unsigned char* data = nullptr;
    std::size_t size = 0;
    std::size_t pos = 0;
};

std::size_t readMemory(void* ptr, std::size_t size, std::size_t count, void* source)
{
    auto* r = static_cast<MemoryReader*>(source);
    if (size == 0 || count == 0 || r->pos >= r->size)
        return 0;
    const std::size_t items = std::min(count, (r->size - r->pos) / size);
    const std::size_t bytes = items * size;
    if (bytes > 0)
        std::memcpy(ptr, r->data + r->pos, bytes);
    r->pos += bytes;
    return items;
}

int seekMemory(void* source, ogg_int64_t offset, int whence)
{
    auto* r = static_cast<MemoryReader*>(source);
    ogg_int64_t base = 0;
    switch (whence) {
    case SEEK_SET:
        base = 0;
        break;
    case SEEK_CUR:
        base = static_cast<ogg_int64_t>(r->pos);
        break;
    case SEEK_END:
        base = static_cast<ogg_int64_t>(r->size);
        break;
    default:
        return -1;
    }
    // Both stay within 0..size, so neither sum below can overflow.
    if (offset < -base || offset > static_cast<ogg_int64_t>(r->size) - base)
        return -1;
    r->pos = static_cast<std::size_t>(base + offset);
    return 0;
}

long tellMemory(void* source)
{
    return static_cast<long>(static_cast<MemoryReader*>(source)->pos);
}

std::int32_t vorbisError(int code)
{
    switch (code) {
    case OV_EREAD:
    case OV_ENOTVORBIS:
    case OV_EVERSION:
    case OV_EBADHEADER:
    case OV_EBADLINK:
    case OV_ENOSEEK:
    case OV_EINVAL:
        return TVB_ERROR_FORMAT;
    case OV_EFAULT:
    default:
        return TVB_ERROR_UNKNOWN;
    }
}

struct Decoded
{
    std::uint32_t rate = 0;
    std::uint32_t channels = 0;
    std::vector<std::int16_t> pcm; // interleaved, at the stream's own rate and channel count
};

// Decodes the whole stream. Damaged or truncated data decode as far as they go: the length is
// what comes out.
std::int32_t decodeOgg(const unsigned char* data, std::size_t size, Decoded& out)
{
    // Cheap sniff first: every Ogg stream starts with a page signature.
    if (size < 4 || std::memcmp(data, "OggS", 4) != 0)
        return TVB_ERROR_FORMAT;

    MemoryReader reader{data, size, 0};
    const ov_callbacks callbacks{readMemory, seekMemory, nullptr, tellMemory};
    OggVorbis_File file;
    // On failure ov_open_callbacks releases what it allocated itself.
    const int opened = ov_open_callbacks(&reader, &file, nullptr, 0, callbacks);
    if (opened != 0)
        return vorbisError(opened);
    const std::unique_ptr<OggVorbis_File, int (*)(OggVorbis_File*)> guard(&file, ov_clear);

    const vorbis_info* info = ov_info(&file, -1);
    if (info == nullptr || info->channels < 1 || info->channels > kMaxChannels || info->rate < 1 ||
        info->rate > std::numeric_limits<int>::max())
        return TVB_ERROR_FORMAT;
    out.rate = static_cast<std::uint32_t>(info->rate);
    out.channels = static_cast<std::uint32_t>(info->channels);

    const ogg_int64_t total = ov_pcm_total(&file, -1);
    if (total > 0)
        out.pcm.reserve(static_cast<std::size_t>(total) * out.channels);

    constexpr int bigEndian = SDL_BYTEORDER == SDL_BIG_ENDIAN ? 1 : 0;
    char buffer[16384];
    int firstLink = -1;
    for (;;) {
        int link = 0;
        const long got = ov_read(&file, buffer, sizeof buffer, bigEndian, 2, 1, &link);
        if (got == OV_HOLE)
            continue;
        if (got <= 0)
            break;
        if (firstLink < 0) {
            firstLink = link;
        } else if (link != firstLink) {
            // A chained stream whose next link has another format ends where the format changes.
            const vorbis_info* next = ov_info(&file, link);
            if (next == nullptr || next->rate != info->rate || next->channels != info->channels)
                break;
        }
        const auto* samples = reinterpret_cast<const std::int16_t*>(buffer);
        out.pcm.insert(out.pcm.end(), samples, samples + got / 2);
    }
    out.pcm.resize(out.pcm.size() / out.channels * out.channels);
    return TVB_OK;
}

// Converts decoded PCM to the output format in one pass over the whole sound. (SDL 2.26's
// SDL_AudioStream drops output frames at flush, and at rate ratios such as 32000 or 48000 to
// 44100 comes out about 0.1 % short even when fed in small blocks; SDL_ConvertAudio gives every
// frame.)
std::int32_t convertToOutput(Decoded& in, int outputRate, std::vector<std::int16_t>& out)
{
    SDL_AudioCVT cvt;
    const int built =
        SDL_BuildAudioCVT(&cvt, AUDIO_S16SYS, static_cast<Uint8>(in.channels),
                          static_cast<int>(in.rate), AUDIO_S16SYS, kOutputChannels, outputRate);
    if (built < 0)
        return TVB_ERROR_FORMAT;
    if (built == 0 || in.pcm.empty()) {
        out = built == 0 ? std::move(in.pcm) : std::vector<std::int16_t>{};
        return TVB_OK;
    }
    const std::size_t bytes = in.pcm.size() * sizeof(std::int16_t);
    if (cvt.len_mult < 1 ||
        bytes > static_cast<std::size_t>(std::numeric_limits<int>::max() / cvt.len_mult))
        return TVB_ERROR_MEMORY;
    std::vector<std::int16_t> buffer(bytes * static_cast<std::size_t>(cvt.len_mult) / 2 + 8);
    std::memcpy(buffer.data(), in.pcm.data(), bytes);
    in.pcm = {};
    cvt.buf = reinterpret_cast<Uint8*>(buffer.data());
    cvt.len = static_cast<int>(bytes);
    if (SDL_ConvertAudio(&cvt) != 0 || cvt.len_cvt < 0)
        return TVB_ERROR_UNKNOWN;
    const std::size_t samples = static_cast<std::size_t>(cvt.len_cvt) / 2;
    buffer.resize(samples / kOutputChannels * kOutputChannels);
    out = std::move(buffer);
    return TVB_OK;
}

std::uint64_t join64(tvb_dword lo, tvb_dword hi)
{
    return (std::uint64_t{hi} << 32) | lo;
}

// Runs `body` so that no exception crosses the C interface.
template <typename T, typename F> T guarded(T onFailure, F&& body)
{
    try {
        return body();
    } catch (const std::bad_alloc&) {
        setError(TVB_ERROR_MEMORY);
    } catch (...) {
        setError(TVB_ERROR_UNKNOWN);
    }
    return onFailure;
}

// Runs `body` on the stream that `handle` names, under the state lock. Without such a stream
// the call fails with TVB_ERROR_HANDLE and gives `onMissing`; `body` sets the code otherwise.
template <typename T, typename F> T withStream(tvb_handle handle, T onMissing, F&& body)
{
    Engine& e = engine();
    std::lock_guard lock(e.state);
    const auto it = e.streams.find(handle);
    if (it == e.streams.end()) {
        setError(TVB_ERROR_HANDLE);
        return onMissing;
    }
    return body(*it->second);
}

constexpr tvb_qword kNoLength = ~tvb_qword{0};

} // namespace

extern "C" {

TVB_API tvb_dword TVB_CALL BASS_GetVersion(void)
{
    setError(TVB_OK);
    return TVB_VERSION;
}

TVB_API tvb_bool TVB_CALL BASS_Init(int32_t device, tvb_dword freq, tvb_dword, void*, const void*)
{
    return guarded<tvb_bool>(0, [&]() -> tvb_bool {
        Engine& e = engine();
        std::lock_guard life(e.lifecycle);
        {
            std::lock_guard lock(e.state);
            if (e.initialised) {
                setError(TVB_ERROR_ALREADY);
                return 0;
            }
        }
        if (device != TVB_DEVICE_DEFAULT && device != -1) {
            setError(TVB_ERROR_ARGUMENT);
            return 0;
        }
        const int rate =
            freq == 0 ? kDefaultRate : static_cast<int>(std::min<tvb_dword>(freq, 384000));
        if (rate < 8000) {
            setError(TVB_ERROR_ARGUMENT);
            return 0;
        }
        // SDL uses its dummy or disk output only when SDL_AUDIODRIVER names it; without a real
        // device both calls below fail, and so does BASS_Init.
        // The audio output brings up SDL's event subsystem, which would otherwise turn SIGINT and
        // SIGTERM into quit events that nobody reads: the program could then not be ended by a
        // signal (a session logout, `kill`, `timeout`).
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
            setError(TVB_ERROR_NO_OUTPUT);
            return 0;
        }
        SDL_AudioSpec want{};
        want.freq = rate;
        want.format = AUDIO_S16SYS;
        want.channels = kOutputChannels;
        want.samples = kBufferFrames;
        want.callback = mixOutput;
        SDL_AudioSpec have{};
        // No allowed changes: SDL converts to whatever the hardware takes.
        const SDL_AudioDeviceID id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (id == 0) {
            SDL_QuitSubSystem(SDL_INIT_AUDIO);
            setError(TVB_ERROR_NO_OUTPUT);
            return 0;
        }
        {
            std::lock_guard lock(e.state);
            e.initialised = true;
            e.device = id;
            e.outputRate = rate;
            e.bufferFrames = have.samples;
        }
        SDL_PauseAudioDevice(id, 0);
        setError(TVB_OK);
        return 1;
    });
}

TVB_API int32_t TVB_CALL BASS_ErrorGetCode(void)
{
    return g_lastError.load(std::memory_order_relaxed);
}

TVB_API tvb_handle TVB_CALL BASS_StreamCreateFile(tvb_bool mem, const void* file,
                                                  tvb_dword offsetLo, tvb_dword offsetHi,
                                                  tvb_dword lengthLo, tvb_dword lengthHi, tvb_dword)
{
    return guarded<tvb_handle>(0, [&]() -> tvb_handle {
        Engine& e = engine();
        int outputRate = kDefaultRate;
        {
            std::lock_guard lock(e.state);
            if (!e.initialised) {
                setError(TVB_ERROR_NOT_INIT);
                return 0;
            }
            outputRate = e.outputRate;
        }
        if (!mem) {
            setError(TVB_ERROR_UNSUPPORTED);
            return 0;
        }
        const std::uint64_t offset = join64(offsetLo, offsetHi);
        const std::uint64_t length = join64(lengthLo, lengthHi);
        if (file == nullptr || length > std::numeric_limits<std::size_t>::max() ||
            offset > std::numeric_limits<std::uintptr_t>::max() -
                         reinterpret_cast<std::uintptr_t>(file) - length) {
            setError(TVB_ERROR_ARGUMENT);
            return 0;
        }

        Decoded decoded;
        const auto* data = static_cast<const unsigned char*>(file) + offset;
        if (const std::int32_t code = decodeOgg(data, static_cast<std::size_t>(length), decoded);
            code != TVB_OK) {
            setError(code);
            return 0;
        }
        auto stream = std::make_unique<Stream>();
        stream->rate = decoded.rate;
        stream->channels = decoded.channels;
        stream->sourceFrames = decoded.pcm.size() / decoded.channels;
        if (const std::int32_t code = convertToOutput(decoded, outputRate, stream->output);
            code != TVB_OK) {
            setError(code);
            return 0;
        }

        std::lock_guard lock(e.state);
        if (!e.initialised) { // freed meanwhile
            setError(TVB_ERROR_NOT_INIT);
            return 0;
        }
        do {
            ++e.lastHandle;
        } while (e.lastHandle == 0 || e.streams.count(e.lastHandle) != 0);
        e.streams.emplace(e.lastHandle, std::move(stream));
        setError(TVB_OK);
        return e.lastHandle;
    });
}

TVB_API tvb_handle TVB_CALL BASS_MusicLoad(tvb_bool, const void*, tvb_dword, tvb_dword, tvb_dword,
                                           tvb_dword, tvb_dword, tvb_dword)
{
    Engine& e = engine();
    std::lock_guard lock(e.state);
    setError(e.initialised ? TVB_ERROR_FORMAT : TVB_ERROR_NOT_INIT);
    return 0;
}

TVB_API void TVB_CALL BASS_StreamFree(tvb_handle handle)
{
    std::unique_ptr<Stream> released; // freed outside the lock
    (void)withStream(handle, false, [&](Stream&) {
        released = std::move(engine().streams.extract(handle).mapped());
        setError(TVB_OK);
        return true;
    });
}

TVB_API void TVB_CALL BASS_MusicFree(tvb_handle)
{
    setError(TVB_ERROR_HANDLE);
}

TVB_API tvb_bool TVB_CALL BASS_ChannelPlay(tvb_handle handle, tvb_bool restart)
{
    return withStream<tvb_bool>(handle, 0, [&](Stream& s) {
        if (restart || s.outputPos >= s.outputFrames())
            s.outputPos = 0;
        s.playing = s.outputFrames() > 0;
        setError(TVB_OK);
        return 1;
    });
}

TVB_API tvb_qword TVB_CALL BASS_StreamGetLength(tvb_handle handle)
{
    return withStream<tvb_qword>(handle, kNoLength, [&](const Stream& s) {
        setError(TVB_OK);
        return s.sourceFrames * s.bytesPerFrame();
    });
}

TVB_API tvb_qword TVB_CALL BASS_MusicGetLength(tvb_handle, tvb_bool)
{
    setError(TVB_ERROR_HANDLE);
    return kNoLength;
}

TVB_API float TVB_CALL BASS_ChannelBytes2Seconds(tvb_handle handle, tvb_dword posLo,
                                                 tvb_dword posHi)
{
    return withStream<float>(handle, -1.0f, [&](const Stream& s) {
        setError(TVB_OK);
        const double bytesPerSecond =
            static_cast<double>(s.rate) * static_cast<double>(s.bytesPerFrame());
        return static_cast<float>(static_cast<double>(join64(posLo, posHi)) / bytesPerSecond);
    });
}

TVB_API tvb_qword TVB_CALL BASS_ChannelGetPosition(tvb_handle handle)
{
    return withStream<tvb_qword>(handle, kNoLength, [&](const Stream& s) {
        setError(TVB_OK);
        const std::size_t total = s.outputFrames();
        std::uint64_t frames = s.sourceFrames;
        if (s.outputPos < total)
            frames = static_cast<std::uint64_t>(static_cast<double>(s.outputPos) *
                                                static_cast<double>(s.sourceFrames) /
                                                static_cast<double>(total));
        return std::min(frames, s.sourceFrames) * s.bytesPerFrame();
    });
}

TVB_API tvb_bool TVB_CALL BASS_ChannelGetAttributes(tvb_handle handle, tvb_dword* freq,
                                                    tvb_dword* volume, int32_t* pan)
{
    return withStream<tvb_bool>(handle, 0, [&](const Stream& s) {
        if (freq != nullptr)
            *freq = s.rate;
        if (volume != nullptr)
            *volume = 100;
        if (pan != nullptr)
            *pan = 0;
        setError(TVB_OK);
        return 1;
    });
}

TVB_API tvb_bool TVB_CALL BASS_ChannelGetInfo(tvb_handle handle, TvbChannelInfo* info)
{
    return withStream<tvb_bool>(handle, 0, [&](const Stream& s) {
        if (info == nullptr) {
            setError(TVB_ERROR_ARGUMENT);
            return 0;
        }
        *info = TvbChannelInfo{s.rate, s.channels, 0, TVB_CHANNEL_TYPE_OGG};
        setError(TVB_OK);
        return 1;
    });
}

TVB_API tvb_bool TVB_CALL BASS_GetInfo(TvbInfo* info)
{
    Engine& e = engine();
    std::lock_guard lock(e.state);
    if (!e.initialised) {
        setError(TVB_ERROR_NOT_INIT);
        return 0;
    }
    if (info == nullptr || info->size != TVB_INFO_SIZE) {
        setError(TVB_ERROR_ARGUMENT);
        return 0;
    }
    *info = TvbInfo{};
    info->size = TVB_INFO_SIZE;
    info->outputRate = static_cast<tvb_dword>(e.outputRate);
    info->outputChannels = kOutputChannels;
    info->bufferFrames = e.bufferFrames;
    info->directSoundVer = 0;
    info->latencyMs = static_cast<tvb_dword>(std::uint64_t{e.bufferFrames} * 1000 /
                                             static_cast<std::uint64_t>(e.outputRate));
    setError(TVB_OK);
    return 1;
}

TVB_API tvb_bool TVB_CALL BASS_Free(void)
{
    return guarded<tvb_bool>(0, [&]() -> tvb_bool {
        Engine& e = engine();
        std::lock_guard life(e.lifecycle);
        std::map<tvb_handle, std::unique_ptr<Stream>> released;
        SDL_AudioDeviceID id = 0;
        {
            std::lock_guard lock(e.state);
            if (!e.initialised) {
                setError(TVB_ERROR_NOT_INIT);
                return 0;
            }
            e.initialised = false;
            id = e.device;
            e.device = 0;
            released.swap(e.streams);
        }
        // Waits for the output thread to end; it takes the state lock, so that is not held here.
        SDL_CloseAudioDevice(id);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
        setError(TVB_OK);
        return 1;
    });
}

} // extern "C"
