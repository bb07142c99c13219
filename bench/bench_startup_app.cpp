// The program's own start-up (audio library checks, settings file, window, audio output) with a
// probe at the first painted frame, for bench_startup. Run from a program folder that holds
// libbass.so, Temp/ and Modified/.
//
//   bench_startup_app            quits at the first frame
//   bench_startup_app ARCHIVE    then loads ARCHIVE through the Load button, plays slot 1's
//                                sound and quits once the preview has been playing for a while

#include "app/frmmemory.h"
#include "app/module2.h"
#include "app/startup.h"
#include "core/heapwarmup.h"
#include "dialogs/filedialogbackend.h"
#include "firstframe.h"

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <memory>

namespace {

// Answers every open dialog with the one archive.
class ArchiveDialog : public tollvik::FileDialogBackend
{
public:
    explicit ArchiveDialog(QString path) : m_path(std::move(path)) {}
    tollvik::FileDialogAnswer show(const tollvik::FileDialogRequest& request) override
    {
        tollvik::FileDialogAnswer answer;
        answer.apiReturn = 1;
        answer.fileName = m_path;
        answer.fileTitle = m_path.section(QLatin1Char('/'), -1);
        answer.filterIndex = request.filterIndex;
        return answer;
    }

private:
    QString m_path;
};

// Plays slot 0 and waits for the figures the preview worker shows, then lets it play on.
void previewThenQuit(tollvik::frmmemory& window)
{
    window.Command1_Click(0);
    auto* poll = new QTimer(&window);
    auto waited = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, &window, [&window, poll, waited] {
        constexpr int kTickMs = 10;
        *waited += kTickMs;
        if (window.Label3(3)->text().isEmpty() && *waited < 10000)
            return;
        poll->stop();
        if (window.Label3(3)->text().isEmpty())
            std::fprintf(stderr, "the preview showed no figures\n");
        // Half a second of playback, so that the decoder and the output are in full use.
        QTimer::singleShot(500, &window, [] {
            tollvik::bench::printMaxRss();
            QCoreApplication::quit();
        });
    });
    poll->start(10);
}

} // namespace

int main(int argc, char** argv)
{
    tollvik::warmUpHeap();
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const QString archive = args.size() > 1 ? args.at(1) : QString();
    ArchiveDialog dialog(archive);
    std::unique_ptr<tollvik::bench::FirstFrame> frame;

    tollvik::StartupHooks hooks;
    hooks.dialogs = &dialog;
    hooks.shown = [&](tollvik::frmmemory& window) {
        frame = std::make_unique<tollvik::bench::FirstFrame>(window, [&window, archive] {
            tollvik::bench::printFirstFrame();
            if (archive.isEmpty()) {
                tollvik::bench::printMaxRss();
                QCoreApplication::quit();
                return;
            }
            window.Load2_Click();
            if (!window.Command5()->isVisible()) { // the build button shows with a listed archive
                std::fprintf(stderr, "the archive was not loaded\n");
                QCoreApplication::exit(3);
                return;
            }
            previewThenQuit(window);
        });
    };
    const int code = tollvik::runTollvikAlerts(app, hooks);
    frame.reset();
    return code;
}
