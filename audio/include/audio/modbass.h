#pragma once

#include "core/result.h"
#include "tollvik_bass_abi.h"

#include <QString>
#include <cstdint>

namespace tollvik {

// The calls of the audio library the program makes, as a table of function pointers. The
// table is filled by AudioLibrary::load from the library in the program folder; tests fill it
// with fakes to control what the library reports.
struct BassApi
{
    TvbGetVersionFn BASS_GetVersion = nullptr;
    TvbInitFn BASS_Init = nullptr;
    TvbErrorGetCodeFn BASS_ErrorGetCode = nullptr;
    TvbStreamCreateFileFn BASS_StreamCreateFile = nullptr;
    TvbMusicLoadFn BASS_MusicLoad = nullptr;
    TvbStreamFreeFn BASS_StreamFree = nullptr;
    TvbMusicFreeFn BASS_MusicFree = nullptr;
    TvbChannelPlayFn BASS_ChannelPlay = nullptr;
    TvbStreamGetLengthFn BASS_StreamGetLength = nullptr;
    TvbMusicGetLengthFn BASS_MusicGetLength = nullptr;
    TvbChannelBytes2SecondsFn BASS_ChannelBytes2Seconds = nullptr;
    TvbChannelGetPositionFn BASS_ChannelGetPosition = nullptr;
    TvbChannelGetAttributesFn BASS_ChannelGetAttributes = nullptr;
    TvbChannelGetInfoFn BASS_ChannelGetInfo = nullptr;
    TvbGetInfoFn BASS_GetInfo = nullptr;
    TvbFreeFn BASS_Free = nullptr;
};

// The file name of the audio library in the program folder: "libbass.so" here, "bass.dll" on
// Windows, "libbass.dylib" on macOS.
[[nodiscard]] QString audioLibraryFileName();

// The audio library loaded at run time by its absolute path. Once loaded it stays loaded for the
// life of the process (the output thread of the library may still run while the program ends).
class AudioLibrary
{
public:
    // Loads the library file at `path` (absolute) and resolves every function of BassApi. Fails
    // with the loader's own reason, or with "Missing function: <name>" (the first one missing).
    // A library that was already loaded successfully is not loaded again.
    [[nodiscard]] Status load(const QString& path);

    [[nodiscard]] bool isLoaded() const { return m_loaded; }
    [[nodiscard]] const BassApi& api() const { return m_api; }

private:
    BassApi m_api;
    bool m_loaded = false;
};

// High word `high`, low word `low`: (high * 65536) | (low & 0xFFFF). MakeLong(2, 1) = 65538.
[[nodiscard]] constexpr std::int32_t MakeLong(std::int32_t low, std::int32_t high)
{
    return static_cast<std::int32_t>((static_cast<std::uint32_t>(high) << 16) |
                                     (static_cast<std::uint32_t>(low) & 0xFFFFu));
}

// Seconds that `bytes` bytes of the channel last (the count goes to the library with a zero
// high half).
[[nodiscard]] float Bytes2Seconds(const BassApi& api, tvb_handle handle, std::uint32_t bytes);

} // namespace tollvik
