#pragma once

#include <QCursor>
#include <QIcon>
#include <QPixmap>

namespace tollvik {

// The program's own small pictures, drawn in code.
[[nodiscard]] QIcon windowIcon();       // 32 x 32: a warning triangle over a speaker
[[nodiscard]] QPixmap speakerPicture(); // 16 x 16: the play buttons' speaker
[[nodiscard]] QCursor actionCursor();   // 32 x 32 pointing hand, hot spot at 12, 1

} // namespace tollvik
