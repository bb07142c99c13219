#pragma once

#include "audio/cbass_time.h"
#include "audio/modbass.h"
#include "audio/previewui.h"
#include "core/result.h"

#include <QByteArray>
#include <QString>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <thread>

namespace tollvik {

// The audio state of the running program and the preview of one sound at a time. Created once
// the output is open, before the window is shown; used on the window's thread, except for the
// worker it starts.
class AudioPreview
{
public:
    AudioPreview(const BassApi& api, PreviewUi& ui);
    // Runs shutdown() when it has not run yet.
    ~AudioPreview();
    AudioPreview(const AudioPreview&) = delete;
    AudioPreview& operator=(const AudioPreview&) = delete;

    // True while a worker is starting a preview (PreviewThread non-zero): the click beeps.
    [[nodiscard]] bool isStarting() const;

    // The rest of Command1_Click once the sound's bytes are read: takes them as PreviewBuffer
    // and starts PlayFromMemory. The click beeps on a failure:
    //  - Refusal::Busy: a start-up is in progress (or the preview is shut down); PreviewBuffer
    //    is left alone;
    //  - Refusal::Failed: fewer than 4 bytes, no Ogg page signature, or more bytes than a 32-bit
    //    count.
    // A worker that cannot be started is no failure: nothing plays and nothing is shown.
    [[nodiscard]] Status startPreview(QByteArray bytes);

    // Shutdown: lets a starting worker finish (an open error box no longer holds it), then
    // BASS_Free, the release of PreviewBlock and the end of BassTime. Idempotent.
    void shutdown();

private:
    struct BoxGate;

    void PlayFromMemory(std::uint32_t size);
    void showFigures(std::uint32_t size);
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
