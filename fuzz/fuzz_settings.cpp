// The settings reader and writer.
//
// Input, read by FuzzedDataProvider: the file before the first write (one of three literal files,
// or none), then operations while input is left, each an operation byte and up to 255 bytes. Bit
// 1 of the operation byte makes it a save of 30 menu texts, LF-separated, in Windows-1252;
// otherwise it is a write of section, key and value separated by LF (the value takes the rest),
// in UTF-8 when bit 0 is set, so that characters Windows-1252 cannot store occur, else in
// Windows-1252.
//
// Every write either refuses exactly when a character has no Windows-1252 byte, leaving the file
// byte-identical, or leaves a file that ends in one CR LF, holds no two empty lines in a row and
// begins with a printable character; the key then reads back its value when the write and the
// file before it meet the conditions below. The save's undo puts the file back byte for byte.
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
#include <QRegularExpression>

using namespace tollvik;
using namespace Qt::StringLiterals;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static const char* const files[] = {
        "[Other]\r\nx=1\r\n\r\n\r\n [MenuText]\r\nItem05 = a\r\nItem04=[b\r\n",
        "[MenuText]\r\nItem01=Gatso\r\nItem02=Caf\xE9 \x80\r\n", ""};
    // The conditions of the read-back: on the write (section, key and value joined by LF), and on
    // the file before it (as Latin-1).
    static const QRegularExpression cleanWrite(
        QStringLiteral(R"(\A[^\r\n]*\n[^\r\n=[]*\n([^\r\n[]*[^\x00-\x0d[])?\z)"));
    static const QRegularExpression cleanFile(
        QStringLiteral(R"(\A(\r\n)*([^\x00-\x0d](?:[^\r\n]|\r\n)*)?\z)"));
    FuzzedDataProvider in(data, size);
    test::ProgramFolder folder;
    const QString path = folder.file(u"Tollvik.ini"_s);
    const auto content = [&] { // "=" and the bytes of the file, or nothing when there is none
        return QFileInfo::exists(path) ? "=" + test::readAll(path) : QByteArray();
    };
    if (const int file = in.ConsumeIntegralInRange(0, 3); file < 3)
        FUZZ_CHECK(test::writeAll(path, files[file]));
    while (in.remaining_bytes() > 0) {
        const auto operation = in.ConsumeIntegral<quint8>();
        const QByteArray bytes = fuzz::bytes(in.ConsumeBytesAsString(in.ConsumeIntegral<quint8>()));
        const QByteArray before = content();
        if ((operation & 2) == 0) {
            const QString text =
                (operation & 1) != 0 ? QString::fromUtf8(bytes) : decodeCp1252(bytes);
            const QStringList s{text.section(u'\n', 0, 0), text.section(u'\n', 1, 1),
                                text.section(u'\n', 2)};
            const Status written = WriteIniValue(path, s[0], s[1], s[2]);
            const QByteArray after = content();
            FUZZ_CHECK(written.ok() == encodeCp1252(s.join(u'\n')).ok());
            FUZZ_CHECK(written.ok() ? after.endsWith("\r\n") && !after.endsWith("\r\n\r\n") &&
                                          !after.contains("\r\n\r\n\r\n") && quint8(after[1]) > 13
                                    : after == before);
            if (written.ok() && cleanWrite.match(s.join(u'\n')).hasMatch() &&
                cleanFile.match(QString::fromLatin1(before.mid(1))).hasMatch())
                FUZZ_CHECK(ReadIniValue(path, s[0], s[1]).value() == s[2]);
            continue;
        }
        std::array<QString, kSlotCount> texts;
        for (int i = 0; i < 30; ++i)
            texts[std::size_t(i)] = decodeCp1252(bytes.split('\n').value(i));
        test::RecordingLog log;
        const Result<IniUndo> put = PutINIData(folder.path(), texts, log);
        FUZZ_CHECK(put.ok() && put->restore(log).ok() && content() == before);
    }
    return 0;
}
