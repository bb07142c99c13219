#pragma once

#include "audio/audiomessage.h"

#include <QString>
#include <functional>

namespace tollvik {

// What the preview worker tells the user. Both calls arrive on the WORKER thread: the receiver
// posts them to its own thread (QMetaObject::invokeMethod(receiver, ..., Qt::QueuedConnection))
// and never blocks in them.
class PreviewUi
{
public:
    virtual ~PreviewUi() = default;
    // One line of the figures of the sound being previewed, in place of the line shown before:
    // 0 its duration, 1 its format, 2 its byte rate, 3 its average bit rate.
    virtual void showFigure(int line, const QString& text) = 0;
    // Tell the user of an audio error (a message modal to the main window), then call `boxClosed`
    // (from any thread) once the user has closed the message. The worker waits for `boxClosed` or
    // for the preview's shutdown, whichever comes first; `boxClosed` stays safe to call after the
    // preview is gone.
    virtual void ShowAudioError(const AudioMessage& box, std::function<void()> boxClosed) = 0;
};

} // namespace tollvik
