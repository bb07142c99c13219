#pragma once

class QApplication;

namespace tollvik {

// Application-wide look: the style, and the font substitutions that give the window's Windows
// fonts their metric-compatible free equivalents.
void configureApplication(QApplication& app);

// The program: start-up checks, the window, the event loop. Returns the exit code.
int runTollvikAlerts(QApplication& app);

} // namespace tollvik
