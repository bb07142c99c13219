// The settings reader and writer.
//
// Input records: 'F' the file's bytes before the first write (no record: no file); 'W' a write:
// a flag byte (bit 0: UTF-8, so that characters Windows-1252 cannot store occur; otherwise
// Windows-1252 bytes), then section, key and value separated by LF (the value takes the rest);
// 'P' the 30 menu texts of a save, LF-separated, in Windows-1252.
//
// Every write either refuses exactly when a character has no Windows-1252 byte, leaving the file
// byte-identical, or leaves a file that ends in one CR LF, holds no two empty lines in a row and
// begins with a printable character; the key then reads back its value when the write and the
// file before it meet the conditions below. The save's PutINIData leaves the very bytes of 30
// single writes, and its undo puts the file back byte for byte.
//
// Conditions of the read-back, which the algorithm needs and keeps:
// - the section has no CR or LF, the key no CR, LF, "=" or "[", the value no CR, LF or "[": a
//   "[" anywhere ends a section for the reader, a key ends at its first "=";
// - the value does not end in a character of code 13 or less: the writer strips those from the
//   end of the file, and the value may stand on its last line;
// - the file ends its lines with CR LF only (the reader also splits at a lone CR or LF, the
//   writer does not), and after any leading line ends does not begin with a character of code
//   13 or less (the writer strips those, which can turn a line into a header).
#include "core/codepage.h"
#include "fuzzsupport.h"
#include "settings/ini.h"

#include <QFileInfo>

using namespace tollvik;
using namespace tollvik::fuzz;

namespace {

bool cleanFile(const QByteArray& bytes)
{
    const QByteArray lone = QByteArray(bytes).replace("\r\n", "");
    if (lone.contains('\r') || lone.contains('\n'))
        return false;
    qsizetype first = 0;
    while (bytes.mid(first, 2) == "\r\n")
        first += 2;
    return first >= bytes.size() || quint8(bytes[first]) > 13;
}

bool cleanWrite(const QString& section, const QString& key, const QString& value)
{
    const auto hasAny = [](const QString& text, QStringView chars) {
        return std::ranges::any_of(chars, [&](QChar c) { return text.contains(c); });
    };
    return !hasAny(section, u"\r\n") && !hasAny(key, u"\r\n=[") && !hasAny(value, u"\r\n[") &&
           (value.isEmpty() || value.back().unicode() > 13);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static Scratch area;
    area.reset();
    const QString path = area.program() + QStringLiteral("Tollvik.ini");
    // "=" and the bytes of the file, or nothing when there is none.
    const auto content = [&] {
        return QFileInfo::exists(path) ? "=" + readFile(path) : "";
    };
    for (const Record& r :
         readRecords(QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)))) {
        FieldReader fields(r.bytes);
        const QByteArray before = content();
        if (r.tag == 'F' && before.isEmpty())
            writeFile(path, r.bytes);
        if (r.tag == 'W') {
            const bool utf8 = (fields.u8() & 1) != 0;
            const QList<QByteArray> parts = fields.rest().toByteArray().split('\n');
            QStringList s;
            for (qsizetype i = 0; i < 3; ++i) {
                const QByteArray part = i < 2 ? parts.value(i) : parts.mid(2).join('\n');
                s << (utf8 ? QString::fromUtf8(part) : decodeCp1252(part));
            }
            const bool storable = encodeCp1252(s.join(u'\n')).ok();
            const Status written = WriteIniValue(path, s[0], s[1], s[2]);
            const QByteArray after = content();
            FUZZ_CHECK(written.ok() == storable, written.error(), nullptr);
            FUZZ_CHECK(written.ok() || after == before, QStringLiteral("refused, yet written"),
                       nullptr);
            FUZZ_CHECK(!written.ok() || (after.endsWith("\r\n") && !after.endsWith("\r\n\r\n") &&
                                         !after.contains("\r\n\r\n\r\n") && quint8(after[1]) > 13),
                       QString::fromLatin1(after), nullptr);
            if (written.ok() && cleanWrite(s[0], s[1], s[2]) && cleanFile(before.mid(1)))
                FUZZ_CHECK(ReadIniValue(path, s[0], s[1]).value() == s[2],
                           QString::fromLatin1(after), nullptr);
        }
        if (r.tag == 'P') {
            const QList<QByteArray> parts = r.bytes.toByteArray().split('\n');
            std::array<QString, 30> texts;
            const QString reference = area.program() + QStringLiteral("reference.ini");
            if (!before.isEmpty())
                writeFile(reference, before.mid(1));
            for (int i = 0; i < 30; ++i) {
                texts[std::size_t(i)] = decodeCp1252(parts.value(i));
                (void)WriteIniValue(reference, QStringLiteral("MenuText"),
                                    QStringLiteral("Item%1").arg(i + 1, 2, 10, QChar(u'0')),
                                    texts[std::size_t(i)]);
            }
            KeepLog log;
            const Result<IniUndo> put = PutINIData(area.program(), texts, log);
            FUZZ_CHECK(put.ok() && readFile(path) == readFile(reference), QString(), &log);
            FUZZ_CHECK(put->restore(log).ok() && content() == before, QString(), &log);
            QFile::remove(reference);
        }
    }
    return 0;
}
