#pragma once

#include <QString>
#include <functional>

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

// Shows one box and returns when the user has closed it.
using ShowMessage = std::function<void(const AudioMessage&)>;

// The ShowAudioError box: `message`, CR LF, "(error code: N)"; caption "Error"; exclamation.
[[nodiscard]] AudioMessage audioErrorBox(const QString& message, int errorCode);

} // namespace tollvik
