#include "audio/audiostartup.h"

#include "core/paths.h"

namespace tollvik {
namespace {

QString notLoadedText()
{
    return QStringLiteral("BASS version 2.1 was not loaded");
}

AudioMessage incorrectLibrary(const QString& text)
{
    return {text, QStringLiteral("Incorrect BASS.DLL"), AudioMessage::Icon::Critical};
}

} // namespace

AudioMessage audioErrorBox(const QString& message, int errorCode)
{
    return {message + QStringLiteral("\r\n(error code: ") + QString::number(errorCode) +
                QLatin1Char(')'),
            QStringLiteral("Error"), AudioMessage::Icon::Exclamation};
}

std::optional<AudioMessage> checkAudioLibrary(const QString& programFolder, AudioLibrary& library)
{
    const QString path = RPP(programFolder) + audioLibraryFileName();
    if (!FileExists(path))
        return AudioMessage{QStringLiteral("BASS.DLL does not exists"), QStringLiteral("BASS.DLL"),
                            AudioMessage::Icon::Critical};

    const AudioLibrary::LoadResult loaded = library.load(path);
    switch (loaded.problem) {
    case AudioLibrary::Problem::None:
        break;
    case AudioLibrary::Problem::Missing:
    case AudioLibrary::Problem::CannotLoad:
        return incorrectLibrary(notLoadedText() + QStringLiteral("\r\n") + loaded.detail);
    case AudioLibrary::Problem::MissingSymbol:
        return incorrectLibrary(notLoadedText() + QStringLiteral("\r\nMissing function: ") +
                                loaded.detail);
    }

    if (static_cast<std::int32_t>(library.api().BASS_GetVersion()) != MakeLong(2, 1))
        return incorrectLibrary(notLoadedText());
    return std::nullopt;
}

std::optional<AudioMessage> openOutput(const BassApi& api, void* windowHandle)
{
    if (api.BASS_Init(TVB_DEVICE_DEFAULT, 44100, 0, windowHandle, nullptr) != 0)
        return std::nullopt;
    return audioErrorBox(QStringLiteral("Couldn't Initialize Digital Output"),
                         api.BASS_ErrorGetCode());
}

} // namespace tollvik
