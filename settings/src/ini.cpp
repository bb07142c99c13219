#include "settings/ini.h"

#include "core/codepage.h"
#include "core/fileio.h"
#include "core/paths.h"

#include <QByteArray>
#include <QDir>
#include <QFileInfo>
#include <span>

namespace tollvik {
namespace {

constexpr QChar kCr = u'\r';
constexpr QChar kLf = u'\n';

// Makes sure a file exists at path, as opening it for raw access would.
Status ensureFileExists(const QString& path)
{
    const QFileInfo info(path);
    if (info.exists())
        return {};
    return writeFileAtomically(path, QByteArrayView());
}

Result<QString> readText(const QString& path)
{
    if (!QFileInfo::exists(path))
        return QString();
    const Result<QByteArray> bytes = readWholeFile(path);
    if (!bytes)
        return bytes.failure();
    return decodeCp1252(bytes.value());
}

// Refuses a text Windows-1252 cannot store, naming the first character it has no byte for.
Status checkStorable(const QString& what, const QString& text)
{
    const Cp1252Encoding encoded = encodeCp1252(text);
    if (encoded.ok())
        return {};
    return fail(
        QStringLiteral("the %1 \"%2\" contains the character %3, which Windows-1252 cannot store")
            .arg(what, text, codePointName(encoded.badChar)));
}

// The lines of a text as the reader sees them: a line ends at CR LF, at a lone CR or at a lone
// LF; a line end at the very end does not start another line.
QStringList splitLines(const QString& text)
{
    QStringList lines;
    qsizetype start = 0;
    qsizetype i = 0;
    const qsizetype size = text.size();
    while (i < size) {
        const QChar c = text.at(i);
        if (c == kCr || c == kLf) {
            lines.append(text.mid(start, i - start));
            if (c == kCr && i + 1 < size && text.at(i + 1) == kLf)
                ++i;
            start = i + 1;
        }
        ++i;
    }
    if (start < size)
        lines.append(text.mid(start));
    return lines;
}

// The value of the key in the first section of that name that holds it, as the reader finds it:
// names in any case, a "[" anywhere in a line ends the section, the first matching line wins.
QString valueIn(const QStringList& lines, const QString& section, const QString& key)
{
    const QString target = u'[' + section.toLower() + u']';
    const QString prefix = key.toLower() + u'=';
    bool inSection = false;
    for (const QString& line : lines) {
        const QString low = line.toLower();
        const bool hasBracket = low.contains(u'[');
        if (hasBracket)
            inSection = false;
        if (low == target)
            inSection = true;
        if (hasBracket || !inSection)
            continue;
        if (low.startsWith(prefix))
            return line.mid(prefix.size());
    }
    return QString();
}

bool isControlOrLineEnd(QChar c)
{
    return c.unicode() <= 13;
}

// One write of the settings algorithm on the whole text of a file: sets key in section to value
// and gives the text to write (ending in CR LF).
QString withIniValue(const QString& fileText, const QString& section, const QString& key,
                     const QString& value)
{
    // Positions below are 0-based; the text starts with CR LF so that a header on the first line
    // matches the section pattern, and ends with "[]" so that a "[" follows the last section.
    const QString crlf = QStringLiteral("\r\n");
    const QString sectionPattern = crlf + u'[' + section.toLower() + u']' + kCr;
    const qsizetype patternLength = sectionPattern.size();
    const QString keyPattern = kLf + key.toLower() + u'=';
    QString text = crlf + fileText + QStringLiteral("[]");
    const QString low = text.toLower();
    const QString keyLine = key + u'=' + value;

    const qsizetype s = low.indexOf(sectionPattern);
    if (s < 0) {
        text.chop(2);
        text += crlf + crlf + u'[' + section + u']' + crlf + keyLine;
    } else {
        const qsizetype headerEnd = s + patternLength + 1; // just past the header's line end
        const qsizetype n = low.indexOf(u'[', headerEnd - 1);
        const qsizetype k = low.indexOf(keyPattern, s);
        text.chop(2);
        if (k < 0 || k > n) {
            text = text.left(headerEnd) + keyLine + crlf + text.mid(headerEnd);
        } else {
            // Without a CR after the key, its line runs to the end of the text.
            qsizetype c = text.indexOf(kCr, k);
            if (c < 0)
                c = text.size();
            text = text.left(k + 1) + keyLine + text.mid(c);
        }
    }

    text.remove(0, 1);
    const QString threeLineEnds = crlf + crlf + crlf;
    const QString twoLineEnds = crlf + crlf;
    while (text.contains(threeLineEnds))
        text.replace(threeLineEnds, twoLineEnds);
    while (!text.isEmpty() && isControlOrLineEnd(text.back()))
        text.chop(1);
    while (!text.isEmpty() && isControlOrLineEnd(text.front()))
        text.remove(0, 1);
    text += crlf;
    return text;
}

using KeyValues = QList<std::pair<QString, QString>>;

// Sets each key in the order given, exactly as that many single writes would, on the text the
// file held, and writes the file once. Refuses, writing nothing, a section, key or value
// Windows-1252 cannot store. Windows-1252 decodes and encodes one to one, so carrying the text
// from one key to the next in memory gives what a reread of the written file would.
Status rewrite(const QString& path, QString text, const QString& section,
               const KeyValues& keyValues)
{
    if (Status r = checkStorable(QStringLiteral("section name"), section); !r)
        return r;
    for (const auto& [key, value] : keyValues) {
        if (Status r = checkStorable(QStringLiteral("key name"), key); !r)
            return r;
        if (Status r = checkStorable(QStringLiteral("value"), value); !r)
            return r;
    }
    for (const auto& [key, value] : keyValues)
        text = withIniValue(text, section, key, value);
    const Cp1252Encoding encoded = encodeCp1252(text);
    if (!encoded.ok())
        return checkStorable(QStringLiteral("file text"), text);
    return writeFileAtomically(path, encoded.bytes);
}

Status writeIniValues(const QString& path, const QString& section, const KeyValues& keyValues)
{
    const Result<QString> read = readText(path);
    if (!read)
        return read.failure();
    return rewrite(path, read.value(), section, keyValues);
}

QString menuSection()
{
    return QStringLiteral("MenuText");
}

// Item01 holds slot 0, Item30 slot 29.
KeyValues menuItems(std::span<const QString, kSlotCount> texts)
{
    KeyValues items;
    for (int i = 1; i <= kSlotCount; ++i)
        items.append({QStringLiteral("Item%1").arg(i, 2, 10, QLatin1Char('0')),
                      texts[static_cast<std::size_t>(i - 1)]});
    return items;
}

} // namespace

QString settingsFilePath(const QString& programFolder)
{
    return RPP(programFolder) + QStringLiteral("Tollvik.ini");
}

Result<std::array<QString, kSlotCount>> readMenuTexts(const QString& path)
{
    if (!QFileInfo(path).isFile())
        return fail(QStringLiteral("it does not exist"));
    // One read: the 30 values are those 30 single reads would give.
    const Result<QString> read = readText(path);
    if (!read)
        return read.failure();
    const QStringList lines = splitLines(read.value());
    std::array<QString, kSlotCount> texts;
    const KeyValues items = menuItems(texts);
    for (std::size_t i = 0; i < texts.size(); ++i)
        texts[i] = valueIn(lines, menuSection(), items[qsizetype(i)].first);
    return texts;
}

Result<QString> ReadIniValue(const QString& path, const QString& section, const QString& key)
{
    if (Status r = ensureFileExists(path); !r)
        return r.failure();
    const Result<QString> read = readText(path);
    if (!read)
        return read.failure();
    return valueIn(splitLines(read.value()), section, key);
}

Status WriteIniValue(const QString& path, const QString& section, const QString& key,
                     const QString& value)
{
    return writeIniValues(path, section, {{key, value}});
}

Status GetINIData(const QString& programFolder, QStringList& menuTexts, LogSink& log)
{
    menuTexts.resize(kSlotCount);
    const KeyValues items =
        menuItems(std::span<const QString, kSlotCount>(menuTexts.constData(), kSlotCount));
    const QString path = settingsFilePath(programFolder);
    if (!Exists(path)) {
        if (Status r = writeIniValues(path, menuSection(), items); !r) {
            log.AddText(QStringLiteral("Settings file %1 could not be written: %2")
                            .arg(QDir::toNativeSeparators(path), r.error()));
            return r;
        }
        return {};
    }
    const Result<std::array<QString, kSlotCount>> stored = readMenuTexts(path);
    if (!stored) {
        log.AddText(QStringLiteral("Settings file %1 could not be read: %2")
                        .arg(QDir::toNativeSeparators(path), stored.error()));
        return stored.failure();
    }
    menuTexts = QStringList(stored->cbegin(), stored->cend());
    return {};
}

IniUndo::IniUndo(QString path, std::optional<QByteArray> previous)
    : m_path(std::move(path)), m_previous(std::move(previous))
{}

Status IniUndo::restore(LogSink& log) const
{
    const Status r =
        m_previous ? writeFileAtomically(m_path, *m_previous) : removeFileIfPresent(m_path);
    if (r)
        log.AddText(QStringLiteral("....The new menu texts were not stored: the Tollvik.ini file "
                                   "was put back as it was."));
    else
        log.AddText(QStringLiteral("....Could not restore the Tollvik.ini file %1: %2")
                        .arg(m_path, r.error()));
    return r;
}

Result<IniUndo> PutINIData(const QString& programFolder,
                           const std::array<QString, kSlotCount>& menuTexts, LogSink& log)
{
    const QString path = settingsFilePath(programFolder);
    std::optional<QByteArray> previous; // kept for the undo
    const Status written = [&]() -> Status {
        if (QFileInfo::exists(path)) {
            Result<QByteArray> read = readWholeFile(path);
            if (!read)
                return read.failure();
            previous = std::move(read).value();
        }
        return rewrite(path, decodeCp1252(previous.value_or(QByteArray())), menuSection(),
                       menuItems(menuTexts));
    }();
    if (!written) {
        log.AddText(QStringLiteral("....Could not update the Tollvik.ini file %1: %2")
                        .arg(path, written.error()));
        return written.failure();
    }
    log.AddText(QStringLiteral("....Updated the Tollvik.ini file."));
    return IniUndo(path, std::move(previous));
}

} // namespace tollvik
