#include "app/startup.h"

#include "app/frmmemory.h"
#include "audio/audiopreview.h"
#include "audio/audiostartup.h"
#include "convert/module.h"
#include "core/layout.h"
#include "core/paths.h"
#include "panelcache.h"

#include <QApplication>
#include <QDir>
#include <QFont>
#include <QMessageBox>
#include <QStyleFactory>
#include <thread>

namespace tollvik {

void configureApplication(QApplication& app)
{
    if (QStyle* fusion = QStyleFactory::create(QStringLiteral("Fusion")))
        app.setStyle(new PanelCacheStyle(fusion));
    // Liberation Sans has the metrics of Arial; without the substitution "MS Sans Serif" would
    // fall back to the wider DejaVu Sans.
    QFont::insertSubstitution(QStringLiteral("Arial"), QStringLiteral("Liberation Sans"));
    QFont::insertSubstitution(QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"));
}

namespace {

// A fatal start-up box: there is no window yet to own it.
void showStartupBox(const AudioMessage& box)
{
    QMessageBox message(box.icon == AudioMessage::Icon::Critical ? QMessageBox::Critical
                                                                 : QMessageBox::Warning,
                        box.caption, box.text, QMessageBox::Ok);
    message.exec();
}

} // namespace

int runTollvikAlerts(QApplication& app)
{
    return runTollvikAlerts(app, StartupHooks{});
}

int runTollvikAlerts(QApplication& app, const StartupHooks& hooks)
{
    configureApplication(app);

    // The program folder is decided once from the layout and is the current directory from the
    // start; the audio library and the converter module lie in the library folder.
    const ProgramFolders folders = programFolders();
    const QString& folder = folders.programFolder;
    const Status usable = prepareProgramFolder(folders);
    QDir::setCurrent(folder);

    // The audio library must be ours, version 2.1, before any window is shown. It loads on a
    // worker thread while the window is built (it brings in the sound system's libraries, the
    // largest part of the start-up); its box, if any, still comes before any window appears.
    // Once loaded it stays loaded for the life of the process.
    static AudioLibrary library;
    AudioMessage libraryBox; // the box a failed check asks for, shown here
    Status loaded;
    std::thread loader([&] {
        loaded = checkAudioLibrary(folders.libraryFolder, library,
                                   [&libraryBox](const AudioMessage& box) { libraryBox = box; });
    });
    AppContext context;
    context.programFolder = folder;
    context.dialogs = hooks.dialogs;
    context.converterModule = folders.libraryFolder + QLatin1String(convert::kModuleName);
    frmmemory window(std::move(context));
    loader.join();
    if (!loaded) {
        showStartupBox(libraryBox);
        return 1;
    }
    // A folder that cannot be written is said once here, not at the first load that fails.
    if (!usable)
        showStartupBox(
            {usable.error(), QStringLiteral("Tollvik Alerts"), AudioMessage::Icon::Exclamation});

    // The output opens while the window's load handler runs; its box comes after the load
    // handler, as it would one after the other. Ending here runs none of the window's shutdown
    // steps: it was never shown.
    void* const handle = reinterpret_cast<void*>(window.winId());
    AudioMessage outputBox;
    Status opened;
    std::thread opener([&] {
        opened = openOutput(library.api(), handle,
                            [&outputBox](const AudioMessage& box) { outputBox = box; });
    });
    window.Form_Load();
    opener.join();
    if (!opened) {
        window.showMessage(outputBox);
        return 1;
    }
    AudioPreview preview(library.api(), window);
    window.attachAudio(&preview);

    window.show();
    if (hooks.shown)
        hooks.shown(window);
    const int exitCode = app.exec();
    window.attachAudio(nullptr);
    return exitCode;
}

} // namespace tollvik
