#include "audio/audiostartup.h"

#include "core/paths.h"

namespace tollvik {
namespace {

// Shows the box and fails with its text.
Failure refuse(const AudioMessage& box, const ShowMessage& show)
{
    show(box);
    return fail(box.text);
}

AudioMessage incorrectLibrary(const QString& detail)
{
    QString text = QStringLiteral("BASS version 2.1 was not loaded");
    if (!detail.isEmpty())
        text += QStringLiteral("\r\n") + detail;
    return {text, QStringLiteral("Incorrect BASS.DLL"), AudioMessage::Icon::Critical};
}

} // namespace

AudioMessage audioErrorBox(const QString& message, int errorCode)
{
    return {message + QStringLiteral("\r\n(error code: ") + QString::number(errorCode) +
                QLatin1Char(')'),
            QStringLiteral("Error"), AudioMessage::Icon::Exclamation};
}

Status checkAudioLibrary(const QString& programFolder, AudioLibrary& library,
                         const ShowMessage& show)
{
    const QString path = RPP(programFolder) + audioLibraryFileName();
    // "does not exists" as users know the message.
    if (!FileExists(path))
        return refuse({QStringLiteral("BASS.DLL does not exists"), QStringLiteral("BASS.DLL"),
                       AudioMessage::Icon::Critical},
                      show);
    if (const Status loaded = library.load(path); !loaded)
        return refuse(incorrectLibrary(loaded.error()), show);
    if (static_cast<std::int32_t>(library.api().BASS_GetVersion()) != MakeLong(2, 1))
        return refuse(incorrectLibrary(QString()), show);
    return {};
}

Status openOutput(const BassApi& api, void* windowHandle, const ShowMessage& show)
{
    if (api.BASS_Init(TVB_DEVICE_DEFAULT, 44100, 0, windowHandle, nullptr) != 0)
        return {};
    return refuse(audioErrorBox(QStringLiteral("Couldn't Initialize Digital Output"),
                                api.BASS_ErrorGetCode()),
                  show);
}

} // namespace tollvik
