#include "core/codepage.h"

#include <array>

namespace tollvik {
namespace {

// Code points of the bytes 0x80 to 0x9F. The undefined bytes map to the C1 control of the same
// value, which keeps every byte sequence decodable and re-encodable.
constexpr std::array<char16_t, 32> kHighTable = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

// The byte of a code point, or -1 when the code page has none.
int byteOf(char32_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return static_cast<int>(c);
    for (std::size_t i = 0; i < kHighTable.size(); ++i) {
        if (kHighTable[i] == c)
            return static_cast<int>(0x80 + i);
    }
    return -1;
}

} // namespace

Cp1252Encoding encodeCp1252(const QString& text)
{
    Cp1252Encoding result;
    result.bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < text.size() &&
            QChar::isLowSurrogate(text.at(i + 1).unicode()))
            c = QChar::surrogateToUcs4(text.at(i), text.at(i + 1));
        const int b = byteOf(c);
        if (b < 0) {
            result.bytes.clear();
            result.badIndex = i;
            result.badChar = c;
            return result;
        }
        result.bytes.append(static_cast<char>(b));
    }
    return result;
}

QString decodeCp1252(QByteArrayView bytes)
{
    QString text;
    text.reserve(bytes.size());
    for (const char ch : bytes) {
        const auto b = static_cast<unsigned char>(ch);
        if (b >= 0x80 && b < 0xA0)
            text.append(QChar(kHighTable[b - 0x80]));
        else
            text.append(QChar(char16_t(b)));
    }
    return text;
}

QString codePointName(char32_t c)
{
    return QStringLiteral("U+%1").arg(static_cast<uint>(c), 4, 16, QLatin1Char('0')).toUpper();
}

} // namespace tollvik
