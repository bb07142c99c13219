// The settings reader and writer: after WriteIniValue, ReadIniValue gives the value back.
//
// Input records: 'F' the file's bytes before the first write (no record: no file); up to eight
// 'W' writes, each a flag byte (bit 0: the names and the value are UTF-8, so that characters
// Windows-1252 cannot store occur; otherwise they are Windows-1252 bytes), the section and the
// key as short fields, and the value as the rest; 'G' runs GetINIData on the file at the end.
//
// The same writes also go to a second copy of the file through WriteIniValues, one call per run
// of writes to the same section: when every write is storable, both files end byte-identical.
//
// Every write either refuses, leaving the file byte-identical, or leaves a file that ends in one
// CR LF, holds no two empty lines in a row and begins with a printable character. After all
// writes every key reads back its last value, as long as each write met the conditions below;
// inputs outside them still run, for crashes and the checks above.
//
// Conditions of the round trip, and why each is needed:
// - the section has no CR or LF, and the key has no CR, LF, "=" or "[": a header and a key line
//   are single lines, the key ends at its first "=", and a line with a "[" ends the section;
// - the value has no CR, LF or "[" (a "[" ends the section as well) and does not end in a
//   character of code 13 or less: the writer strips trailing control characters from the file,
//   and the value may stand on its last line;
// - the file ends its lines with CR LF only. The reader also ends a line at a lone CR or a lone
//   LF, while the writer finds a header only between a CR LF and a CR, and replaces a key only
//   behind an LF: a header behind a lone LF is read but not found, so the write appends a second
//   section and the reader finds the old key in the first; a key line behind a lone CR is read but
//   not replaced; after a header ended by a lone CR the inserted key cuts the next line;
// - after any leading line ends, the file does not begin with a character of code 13 or less.
//   The writer strips leading control characters: a header behind them that was no header
//   before the write (so that the write appended a new section) becomes one, and the reader
//   then finds the older section first.
// Each of these fails with a small file (for example "\t[MenuText]\r\nItem05=old\r\n", then
// writing Item05), as the writer's algorithm implies; they are kept, not fixed.
#include "core/codepage.h"
#include "fuzzsupport.h"
#include "settings/ini.h"

#include <QFileInfo>
#include <QHash>
#include <QStringList>

using namespace tollvik;
using namespace tollvik::fuzz;

namespace {

bool hasAny(const QString& text, QStringView chars)
{
    for (const QChar c : chars) {
        if (text.contains(c))
            return true;
    }
    return false;
}

// The file before a write meets the conditions above.
bool cleanFile(QByteArrayView bytes)
{
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (bytes[i] == '\r' && (i + 1 >= bytes.size() || bytes[i + 1] != '\n'))
            return false;
        if (bytes[i] == '\n' && (i == 0 || bytes[i - 1] != '\r'))
            return false;
    }
    qsizetype first = 0;
    while (first + 1 < bytes.size() && bytes[first] == '\r' && bytes[first + 1] == '\n')
        first += 2;
    return first >= bytes.size() || static_cast<quint8>(bytes[first]) > 13;
}

bool cleanWrite(const QString& section, const QString& key, const QString& value)
{
    if (hasAny(section, u"\r\n") || hasAny(key, u"\r\n=[") || hasAny(value, u"\r\n["))
        return false;
    return value.isEmpty() || value.back().unicode() > 13;
}

QString decode(QByteArrayView bytes, bool utf8)
{
    return utf8 ? QString::fromUtf8(bytes) : decodeCp1252(bytes);
}

Scratch& scratch()
{
    static Scratch s;
    return s;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Scratch& area = scratch();
    area.reset();
    const QString path = area.program() + QStringLiteral("Tollvik.ini");

    const QList<Record> records =
        readRecords(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    bool roundTrip = true;
    bool startUp = false;
    int writes = 0;
    QHash<QString, QString> expected; // lower-case section + '\n' + lower-case key -> value
    QHash<QString, std::pair<QString, QString>> names;
    const QString batchPath = area.program() + QStringLiteral("Batch.ini");
    bool allStorable = true;
    QList<std::pair<QString, QList<std::pair<QString, QString>>>> batches;
    for (const Record& r : records) {
        if (r.tag == 'F' && writes == 0) {
            writeFile(path, r.bytes);
            writeFile(batchPath, r.bytes);
        }
        startUp = startUp || r.tag == 'G';
        if (r.tag != 'W' || writes == 8)
            continue;
        ++writes;
        FieldReader fields(r.bytes);
        const bool utf8 = (fields.u8() & 1) != 0;
        const QString section = decode(fields.shortField(), utf8);
        const QString key = decode(fields.shortField(), utf8);
        const QString value = decode(fields.rest(), utf8);

        const bool existed = QFile::exists(path);
        const QByteArray before = readFile(path);
        const bool storable =
            encodeCp1252(section).ok() && encodeCp1252(key).ok() && encodeCp1252(value).ok();
        allStorable = allStorable && storable;
        if (batches.isEmpty() || batches.back().first != section)
            batches.append({section, {}});
        batches.back().second.append({key, value});
        const Status written = WriteIniValue(path, section, key, value);
        const QByteArray after = readFile(path);
        FUZZ_CHECK(written.ok() == storable, written.error(), nullptr);
        if (!written.ok()) {
            FUZZ_CHECK(QFile::exists(path) == existed && after == before,
                       QStringLiteral("a refused write changed the file"), nullptr);
            continue;
        }
        FUZZ_CHECK(after.endsWith("\r\n") && !after.endsWith("\r\n\r\n"),
                   QStringLiteral("the file does not end in one line end"), nullptr);
        FUZZ_CHECK(!after.contains("\r\n\r\n\r\n"),
                   QStringLiteral("two empty lines in a row survived"), nullptr);
        FUZZ_CHECK(static_cast<quint8>(after.front()) > 13,
                   QStringLiteral("the file begins with a control character"), nullptr);

        roundTrip = roundTrip && cleanFile(before) && cleanWrite(section, key, value);
        const QString id = section.toLower() + u'\n' + key.toLower();
        expected.insert(id, value);
        names.insert(id, {section, key});
    }

    if (allStorable) {
        for (const auto& [section, keyValues] : batches) {
            const Status written = WriteIniValues(batchPath, section, keyValues);
            FUZZ_CHECK(written.ok(), written.error(), nullptr);
        }
        FUZZ_CHECK(
            readFile(batchPath) == readFile(path) &&
                QFile::exists(batchPath) == QFile::exists(path),
            QStringLiteral("WriteIniValues gives another file than single writes:\n%1\n--\n%2")
                .arg(decodeCp1252(readFile(batchPath)), decodeCp1252(readFile(path))),
            nullptr);
    }
    for (auto it = expected.cbegin(); roundTrip && it != expected.cend(); ++it) {
        const auto& [section, key] = names.value(it.key());
        Status error;
        const QString read = ReadIniValue(path, section, key, &error);
        FUZZ_CHECK(error.ok(), error.error(), nullptr);
        FUZZ_CHECK(read == it.value(),
                   QStringLiteral("[%1] %2 reads back \"%3\", not \"%4\"; file:\n%5")
                       .arg(section, key, read, it.value(), decodeCp1252(readFile(path))),
                   nullptr);
    }
    if (startUp) {
        // The start-up exchange: a missing or empty file is written from the texts, otherwise
        // every text becomes what the reader gives for its key.
        const bool create = QFileInfo(path).size() == 0;
        QStringList texts;
        for (int i = 1; i <= 30; ++i)
            texts.append(QStringLiteral("Default %1").arg(i));
        const QStringList defaults = texts;
        KeepLog log;
        const Status exchanged = GetINIData(area.program(), texts, log);
        FUZZ_CHECK(exchanged.ok() && log.lines.isEmpty() && texts.size() == 30, exchanged.error(),
                   &log);
        for (int i = 1; i <= 30; ++i) {
            const QString key = QStringLiteral("Item%1").arg(i, 2, 10, QLatin1Char('0'));
            const QString stored = ReadIniValue(path, QStringLiteral("MenuText"), key);
            FUZZ_CHECK(texts.at(i - 1) == stored && (!create || stored == defaults.at(i - 1)),
                       QStringLiteral("%1 holds \"%2\", the text is \"%3\"")
                           .arg(key, stored, texts.at(i - 1)),
                       &log);
        }
    }
    return 0;
}
