// Click-to-sound latency of the preview on SDL's dummy output.

#include "audio/audiopreview.h"
#include "audio/audiostartup.h"
#include "playedchannel.h"
#include "testsupport.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <thread>
#include <vector>

using namespace tollvik;
using Clock = std::chrono::steady_clock;

namespace {

class TimingUi : public PreviewUi
{
public:
    void showFigure(int index, const QString&) override
    {
        if (index != 3)
            return;
        std::lock_guard lock(mutex);
        labelsSet = Clock::now();
        done = true;
        changed.notify_all();
    }
    void ShowAudioError(const AudioMessage& box, std::function<void()> boxClosed) override
    {
        std::fprintf(stderr, "error box: %s\n", qPrintable(box.text));
        boxClosed();
    }
    std::mutex mutex;
    std::condition_variable changed;
    bool done = false;
    Clock::time_point labelsSet;
};

double ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("SDL_AUDIODRIVER"))
        qputenv("SDL_AUDIODRIVER", "dummy");
    QCoreApplication app(argc, argv);

    AudioLibrary library;
    const QString folder = QFileInfo(QStringLiteral(TOLLVIK_BASS_PATH)).absolutePath();
    const auto print = [](const AudioMessage& box) {
        std::fprintf(stderr, "%s\n", qPrintable(box.text));
    };
    if (!checkAudioLibrary(folder, library, print) || !openOutput(library.api(), nullptr, print))
        return 1;
    const BassApi api = test::PlayedChannel::watch(library.api());

    // About 100 KB of Ogg Vorbis, stereo at 44100 Hz.
    QByteArray sound;
    for (double seconds = 10.0; sound.size() < 100 * 1024; seconds *= 1.25)
        sound = test::makeOggSine(440.0, seconds, 44100, 2);

    TimingUi ui;
    AudioPreview preview(api, ui);
    std::vector<double> toLabels;
    std::vector<double> toSound;
    constexpr int kRuns = 15;
    for (int run = 0; run < kRuns; ++run) {
        {
            std::lock_guard lock(ui.mutex);
            ui.done = false;
        }
        const Clock::time_point click = Clock::now();
        if (!preview.startPreview(sound))
            return 1;
        {
            std::unique_lock lock(ui.mutex);
            ui.changed.wait(lock, [&] { return ui.done; });
            toLabels.push_back(ms(ui.labelsSet - click));
        }
        while (preview.isStarting())
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        const tvb_handle channel = test::PlayedChannel::last();
        // The output callback has played part of the sound once the position moves.
        while (static_cast<std::uint32_t>(api.BASS_ChannelGetPosition(channel)) == 0)
            std::this_thread::sleep_for(std::chrono::microseconds(100));
        toSound.push_back(ms(Clock::now() - click));
    }
    preview.shutdown();

    const double labels = median(toLabels);
    std::printf("preview of a %lld-byte sound on the dummy output, median of %d clicks:\n"
                "  click to labels set:          %.1f ms (max %.1f)\n"
                "  click to first sound callback: %.1f ms (max %.1f)\n",
                static_cast<long long>(sound.size()), kRuns, labels,
                *std::max_element(toLabels.begin(), toLabels.end()), median(toSound),
                *std::max_element(toSound.begin(), toSound.end()));
    return labels <= 1000.0 ? 0 : 2;
}
