#pragma once

#include "convert/convert.h"

#include <QList>
#include <QLocale>
#include <QString>

namespace tollvik::convert {

// Spoken warnings with espeak-ng. The library keeps global state and is not thread-safe: every
// call below goes through one mutex, and the library is initialised once, on first use. Its
// sound comes at the library's own rate (22050 Hz), mono; convertPcm() takes it from there.

struct Voice
{
    QString name;     // what speak() takes, e.g. "English (Great Britain)"
    QString language; // the voice's first language, e.g. "en-gb"
    QString file;     // its voice file, e.g. "gmw/en"
};

// The voices, sorted by name.
[[nodiscard]] Result<QList<Voice>> voices();

// The name of the voice `given` names in any of the ways `espeak-ng --voices` prints a voice,
// compared without regard to letter case: its name (with "_" for blanks, as printed, or
// blanks), its language code ("en-gb") or its voice file ("gmw/en"). A name wins over a
// language, a language over a file. Empty when none matches.
[[nodiscard]] QString findVoice(const QList<Voice>& voices, const QString& given);

// The voice for a locale: the one whose language is the locale's language and territory
// ("de-de"), else its language alone ("de"), else the shortest tag of that family ("de-ch"),
// else English the same way (British first). Empty only when the list holds none of them.
[[nodiscard]] QString defaultVoice(const QList<Voice>& voices,
                                   const QLocale& locale = QLocale::system());

// Speaks the text (UTF-8 plain text, no markup) with the voice `voiceName` names (as
// findVoice() takes it); an empty name takes defaultVoice().
[[nodiscard]] Result<Pcm> speak(const QString& text, const QString& voiceName = {},
                                StopFlag stop = nullptr);

} // namespace tollvik::convert
