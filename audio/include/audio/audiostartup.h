#pragma once

#include "audio/modbass.h"

#include <QString>
#include <optional>

namespace tollvik {

// A message box the caller shows (QMessageBox with this text, caption and icon, one OK button).
struct AudioMessage
{
    enum class Icon
    {
        Critical,    // stop sign
        Exclamation, // warning triangle
    };
    QString text;
    QString caption;
    Icon icon = Icon::Critical;

    friend bool operator==(const AudioMessage&, const AudioMessage&) = default;
};

// The ShowAudioError box: `message`, CR LF, "(error code: N)"; caption "Error"; exclamation.
[[nodiscard]] AudioMessage audioErrorBox(const QString& message, int errorCode);

// Start-up steps 2 and 3: the library file RPP(programFolder) + audioLibraryFileName() must
// exist, load, offer every function and report version MakeLong(2, 1). Loads it into `library`.
// Returns the one box to show before the program ends, or nothing when the library is usable:
//  - missing: "BASS.DLL does not exists" / "BASS.DLL" / critical
//  - cannot be loaded: "BASS version 2.1 was not loaded" CR LF + the loader's reason
//    / "Incorrect BASS.DLL" / critical
//  - a function missing: "BASS version 2.1 was not loaded" CR LF
//    + "Missing function: <name>" / "Incorrect BASS.DLL" / critical
//  - another version: "BASS version 2.1 was not loaded" / "Incorrect BASS.DLL" / critical
[[nodiscard]] std::optional<AudioMessage> checkAudioLibrary(const QString& programFolder,
                                                            AudioLibrary& library);

// Start-up step 5: BASS_Init(1, 44100, 0, windowHandle, nullptr). On failure the box to show
// before the program ends: audioErrorBox("Couldn't Initialize Digital Output", code).
[[nodiscard]] std::optional<AudioMessage> openOutput(const BassApi& api, void* windowHandle);

} // namespace tollvik
