#pragma once

#include <functional>

class QApplication;

namespace tollvik {

class FileDialogBackend;
class frmmemory;

// Application-wide look: the style, and the font substitutions that give the window's Windows
// fonts their metric-compatible free equivalents.
void configureApplication(QApplication& app);

// The program: start-up checks, the window, the event loop. Returns the exit code.
int runTollvikAlerts(QApplication& app);

// What a measuring harness may add to the program's own start-up; the program itself passes
// none of it.
struct StartupHooks
{
    FileDialogBackend* dialogs = nullptr; // null: the real file dialogs
    // Called once, on the window's thread, right after the window has been shown and before the
    // event loop starts.
    std::function<void(frmmemory& window)> shown;
};

// The same start-up as above, with the hooks.
int runTollvikAlerts(QApplication& app, const StartupHooks& hooks);

} // namespace tollvik
