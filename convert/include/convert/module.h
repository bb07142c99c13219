#pragma once

#include "convert/slotsounds.h"
#include "convert/speech.h"

namespace tollvik::convert {

// The window's converter calls as a table, exported by the converter module: a shared library
// of its own that brings in the codec and speech libraries. The window loads it on first use,
// so that those libraries stay out of its start-up; the command line links the converter
// directly.
struct ModuleCalls
{
    decltype(&convert::slotTargets) slotTargets = nullptr;
    decltype(&convert::convertIntoSlot) convertIntoSlot = nullptr;
    decltype(&convert::speakIntoSlot) speakIntoSlot = nullptr;
    decltype(&convert::voices) voices = nullptr;
    decltype(&convert::defaultVoice) defaultVoice = nullptr;
    decltype(&convert::checkPlayable) checkPlayable = nullptr;
    decltype(&convert::failureOfException) failureOfException = nullptr;
    decltype(&convert::findVoice) findVoice = nullptr;
    decltype(&convert::oggFormat) oggFormat = nullptr;
};

// The archive build's checks of the .ogg files it takes as they are, made of these calls: of the
// module's table in the window, of the converter linked in on the command line.
[[nodiscard]] inline SoundCheck soundCheckOf(decltype(&convert::checkPlayable) checkPlayable,
                                             decltype(&convert::oggFormat) oggFormat)
{
    SoundCheck check;
    check.playable = [checkPlayable](QByteArrayView ogg) {
        return checkPlayable(ogg, nullptr);
    };
    check.shape = [oggFormat](QByteArrayView ogg) -> Result<SoundShape> {
        const Result<SoundFormat> format = oggFormat(ogg);
        if (!format)
            return format.failure();
        return SoundShape{format->sampleRate, format->channels};
    };
    return check;
}
[[nodiscard]] inline SoundCheck soundCheckOf(const ModuleCalls& calls)
{
    return soundCheckOf(calls.checkPlayable, calls.oggFormat);
}

// The module's file name without prefix and suffix (QLibrary adds the platform's), and the one
// symbol it exports: a function that returns its table.
inline constexpr char kModuleName[] = "tollvik-convert";
inline constexpr char kModuleEntry[] = "tollvik_convert_calls";
using ModuleEntry = const ModuleCalls* (*)();

} // namespace tollvik::convert
