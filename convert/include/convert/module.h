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
};

// The module's file name without prefix and suffix (QLibrary adds the platform's), and the one
// symbol it exports: a function that returns its table.
inline constexpr char kModuleName[] = "tollvik-convert";
inline constexpr char kModuleEntry[] = "tollvik_convert_calls";
using ModuleEntry = const ModuleCalls* (*)();

} // namespace tollvik::convert
