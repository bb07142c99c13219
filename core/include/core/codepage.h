#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

namespace tollvik {

// Windows-1252 is the single-byte code page of the settings file and of every text written into a
// navigator file. The five bytes Windows-1252 leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D)
// decode to the C1 control characters of the same value, so every file round-trips.

struct Cp1252Encoding
{
    QByteArray bytes;
    // Index in the source text of the first character with no byte in the code page, or -1.
    qsizetype badIndex = -1;
    // That character as a code point (a surrogate pair counts as one character).
    char32_t badChar = 0;

    [[nodiscard]] bool ok() const { return badIndex < 0; }
};

[[nodiscard]] Cp1252Encoding encodeCp1252(const QString& text);
[[nodiscard]] QString decodeCp1252(QByteArrayView bytes);

// "U+20AC" style name of a code point, for log lines.
[[nodiscard]] QString codePointName(char32_t c);

} // namespace tollvik
