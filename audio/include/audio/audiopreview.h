#pragma once

#include "audio/audiostartup.h"
#include "audio/cbass_time.h"
#include "audio/modbass.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

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
    // thread) once the user has closed it. The worker waits for `boxClosed` or for shutdown(),
    // whichever comes first; `boxClosed` stays safe to call after the preview is gone.
    virtual void ShowAudioError(const AudioMessage& box, std::function<void()> boxClosed) = 0;
};

// The audio state of the running program and the preview of one sound at a time. Created once
// the output is open (start-up step 6); used on the window's thread, except for the worker it
// starts.
class AudioPreview
{
public:
    enum class ClickOutcome
    {
        Started,  // the worker runs
        Busy,     // a start-up is in progress (or the preview is shut down): beep
        NotOgg,   // fewer than 4 bytes or no Ogg page signature: beep
        TooLarge, // more bytes than a 32-bit count: beep
        NoThread, // the worker could not be started: nothing plays, no message
    };

    AudioPreview(const BassApi& api, PreviewUi& ui);
    // Runs shutdown() when it has not run yet.
    ~AudioPreview();
    AudioPreview(const AudioPreview&) = delete;
    AudioPreview& operator=(const AudioPreview&) = delete;

    // True while a worker is starting a preview (PreviewThread non-zero): the click beeps.
    [[nodiscard]] bool isStarting() const;

    // The rest of Command1_Click once the sound's bytes are read: takes them as PreviewBuffer
    // and starts PlayFromMemory. Leaves PreviewBuffer alone when Busy.
    [[nodiscard]] ClickOutcome startPreview(QByteArray bytes);

    // Shutdown: lets a starting worker finish (an open error box no longer holds it), then
    // BASS_Free, the release of PreviewBlock and the end of BassTime. Idempotent.
    void shutdown();

    // BassTime; valid until shutdown().
    [[nodiscard]] CBASS_TIME& bassTime() { return *BassTime; }

    // For tests and the benchmark: the channel of the last preview, and whether a block is held.
    // Only meaningful while no worker runs.
    [[nodiscard]] tvb_handle previewChannel() const { return PreviewChannel; }
    [[nodiscard]] bool holdsBlock() const { return PreviewBlock != nullptr; }

private:
    struct BoxGate;

    void PlayFromMemory(std::uint32_t size);
    void showAudioErrorAndWait(const QString& message);

    const BassApi& m_api;
    PreviewUi& m_ui;

    tvb_handle PreviewChannel = 0;
    std::unique_ptr<std::byte[]> PreviewBlock;
    std::atomic<std::uint32_t> PreviewThread{0};
    QByteArray PreviewBuffer;
    std::unique_ptr<CBASS_TIME> BassTime;

    std::thread m_worker;
    std::uint32_t m_nextThreadId = 0;
    std::shared_ptr<BoxGate> m_gate;
    bool m_shutDown = false;
};

} // namespace tollvik
