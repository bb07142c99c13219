#pragma once

#include "audio/audiomessage.h"

#include <QString>
#include <functional>

namespace tollvik {

// What the preview worker hands to the window. Both calls arrive on the WORKER thread: the
// window posts them to its own thread (QMetaObject::invokeMethod(window, ...,
// Qt::QueuedConnection)) and never blocks in them.
class PreviewUi
{
public:
    virtual ~PreviewUi() = default;
    // Caption of Label3(index), index 0 to 3.
    virtual void setLabel3(int index, const QString& text) = 0;
    // Show the ShowAudioError box (modal to the main window), then call `boxClosed` (from any
    // thread) once the user has closed it. The worker waits for `boxClosed` or for the preview's
    // shutdown, whichever comes first; `boxClosed` stays safe to call after the preview is gone.
    virtual void ShowAudioError(const AudioMessage& box, std::function<void()> boxClosed) = 0;
};

} // namespace tollvik
