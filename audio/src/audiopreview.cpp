#include "audio/audiopreview.h"

#include "audio/audiomessage.h"

#include <QLocale>
#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <limits>
#include <mutex>
#include <new>
#include <system_error>

namespace tollvik {

// Lets the worker wait for an error box to close, and lets shutdown() end that wait. Shared
// with every box's close callback, so a late callback finds it still alive.
struct AudioPreview::BoxGate
{
    std::mutex mutex;
    std::condition_variable changed;
    std::uint64_t opened = 0;
    std::uint64_t closedUpTo = 0;
    bool closing = false;
};

namespace {

constexpr tvb_dword kMusicFlags = 0x8200;

std::int32_t clampToInt32(double value)
{
    if (!(value == value))
        return 0;
    return static_cast<std::int32_t>(std::clamp(value, -2147483648.0, 2147483647.0));
}

} // namespace

AudioPreview::AudioPreview(const BassApi& api, PreviewUi& ui)
    : m_api(api), m_ui(ui), BassTime(std::make_unique<CBASS_TIME>(api)),
      m_gate(std::make_shared<BoxGate>())
{}

AudioPreview::~AudioPreview()
{
    shutdown();
}

bool AudioPreview::isStarting() const
{
    return PreviewThread.load(std::memory_order_acquire) != 0;
}

Status AudioPreview::startPreview(QByteArray bytes)
{
    if (m_shutDown || isStarting())
        return fail(QStringLiteral("A preview is still starting"), Refusal::Busy);
    // The last worker has done its last step; collect the thread before starting the next one.
    if (m_worker.joinable())
        m_worker.join();

    PreviewBuffer = std::move(bytes);
    if (PreviewBuffer.size() > qsizetype{std::numeric_limits<std::uint32_t>::max()})
        return fail(QStringLiteral("The sound is too large to play"));
    const auto size = static_cast<std::uint32_t>(PreviewBuffer.size());
    if (size < 4 || std::memcmp(PreviewBuffer.constData(), "OggS", 4) != 0)
        return fail(QStringLiteral("The sound is not Ogg Vorbis"));

    if (++m_nextThreadId == 0)
        ++m_nextThreadId;
    // Set before the worker exists, so that its last step can only come after this one.
    PreviewThread.store(m_nextThreadId, std::memory_order_release);
    try {
        m_worker = std::thread([this, size]() { PlayFromMemory(size); });
    } catch (const std::system_error&) {
        // Nothing plays and nothing is shown.
        PreviewThread.store(0, std::memory_order_release);
    }
    return {};
}

void AudioPreview::PlayFromMemory(std::uint32_t size)
{
    try {
        // Cut the previous preview (only one of the two applies) before its block goes.
        m_api.BASS_StreamFree(PreviewChannel);
        m_api.BASS_MusicFree(PreviewChannel);
        PreviewChannel = 0;
        PreviewBlock.reset();

        PreviewBlock.reset(new (std::nothrow) std::byte[size]);
        if (PreviewBlock) {
            std::memcpy(PreviewBlock.get(), PreviewBuffer.constData(), size);
            PreviewChannel = m_api.BASS_StreamCreateFile(1, PreviewBlock.get(), 0, 0, size, 0, 0);
            if (PreviewChannel == 0)
                PreviewChannel =
                    m_api.BASS_MusicLoad(1, PreviewBlock.get(), 0, 0, size, 0, kMusicFlags, 0);
            if (PreviewChannel == 0) {
                PreviewBlock.reset();
                showAudioErrorAndWait(QStringLiteral("Couldn't Get Data from Memory"));
            } else {
                showFigures(size);
                m_api.BASS_ChannelPlay(PreviewChannel, 0);
            }
        }
    } catch (...) {
        // Out of memory while forming a text: the preview ends, the program goes on.
    }
    PreviewThread.store(0, std::memory_order_release);
}

void AudioPreview::showFigures(std::uint32_t size)
{
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    const float duration = BassTime->GetDuration(PreviewChannel);
    m_ui.showFigure(0, QStringLiteral("Duration: ") +
                           locale.toString(static_cast<double>(duration), 'f', 1) +
                           QStringLiteral(" seconds / ") +
                           BassTime->GetTime(clampToInt32(roundHalfEven(duration))));
    const std::int32_t frequency = BassTime->GetFrequency(PreviewChannel);
    const int bits = BassTime->GetBits(PreviewChannel);
    m_ui.showFigure(1, QStringLiteral("Frequency: ") + QString::number(frequency) +
                           QStringLiteral(" Hz, ") + QString::number(bits) +
                           QStringLiteral(" bits, ") + BassTime->GetMode(PreviewChannel));
    m_ui.showFigure(2, QStringLiteral("Bytes/s: ") +
                           QString::number(BassTime->GetBytesPerSecond(PreviewChannel)));
    const auto fileLength = static_cast<std::int32_t>(
        std::min<std::uint32_t>(size, std::numeric_limits<std::int32_t>::max()));
    // "Kbp/s" and "kbp/s" as users know the line.
    m_ui.showFigure(3, QStringLiteral("Kbp/s: ") +
                           QString::number(BassTime->GetBitsPerSecond(PreviewChannel, fileLength)) +
                           QStringLiteral(" [avg kbp/s]"));
}

void AudioPreview::showAudioErrorAndWait(const QString& message)
{
    // Read at once, before anything else can change the library's last code.
    const AudioMessage box = audioErrorBox(message, m_api.BASS_ErrorGetCode());
    const std::shared_ptr<BoxGate> gate = m_gate;
    std::uint64_t serial = 0;
    {
        std::lock_guard lock(gate->mutex);
        if (gate->closing)
            return;
        serial = ++gate->opened;
    }
    m_ui.ShowAudioError(box, [gate, serial]() {
        {
            std::lock_guard lock(gate->mutex);
            gate->closedUpTo = std::max(gate->closedUpTo, serial);
        }
        gate->changed.notify_all();
    });
    std::unique_lock lock(gate->mutex);
    gate->changed.wait(lock, [&]() { return gate->closedUpTo >= serial || gate->closing; });
}

void AudioPreview::shutdown()
{
    if (m_shutDown)
        return;
    m_shutDown = true;
    {
        std::lock_guard lock(m_gate->mutex);
        m_gate->closing = true;
    }
    m_gate->changed.notify_all();
    // The worker owns the channel and the block while it runs.
    if (m_worker.joinable())
        m_worker.join();
    m_api.BASS_Free();
    PreviewChannel = 0;
    PreviewBlock.reset();
    BassTime.reset();
}

} // namespace tollvik
