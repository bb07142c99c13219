#pragma once

#include "audio/audiomessage.h"
#include "audio/modbass.h"
#include "core/result.h"

namespace tollvik {

// Before any window exists: the library file RPP(programFolder) + audioLibraryFileName() must
// exist, load, offer every function and report version MakeLong(2, 1). Loads it into `library`.
// On failure `show` has already shown the one box the program ends with, and the failure
// carries its text:
//  - missing: "BASS.DLL does not exists" / "BASS.DLL" / critical
//  - cannot be loaded: "BASS version 2.1 was not loaded" CR LF + the loader's reason
//    / "Incorrect BASS.DLL" / critical
//  - a function missing: "BASS version 2.1 was not loaded" CR LF
//    + "Missing function: <name>" / "Incorrect BASS.DLL" / critical
//  - another version: "BASS version 2.1 was not loaded" / "Incorrect BASS.DLL" / critical
[[nodiscard]] Status checkAudioLibrary(const QString& programFolder, AudioLibrary& library,
                                       const ShowMessage& show);

// Once the window exists, before it is shown: BASS_Init(1, 44100, 0, windowHandle, nullptr).
// On failure `show` has already shown audioErrorBox("Couldn't Initialize Digital Output", code).
[[nodiscard]] Status openOutput(const BassApi& api, void* windowHandle, const ShowMessage& show);

} // namespace tollvik
