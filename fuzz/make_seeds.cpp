// Writes the seed corpora of the three harnesses into <folder>/archive, <folder>/settings and
// <folder>/navigator: the first two in the record format of fuzzsupport.h, the navigator's in
// that harness's own fields. The archives and sounds come from the tests' generators; nothing is
// read from elsewhere.
#include "chkfactory.h"
#include "fuzzsupport.h"
#include "testsupport.h"

#include <QDir>
#include <QStringList>
#include <cstdio>

using namespace tollvik;
using namespace tollvik::fuzz;

namespace {

class Corpus
{
public:
    explicit Corpus(const QString& folder) : m_folder(folder) { QDir().mkpath(folder); }
    void add(const RecordWriter& seed) { add(seed.bytes()); }
    void add(const QByteArray& seed)
    {
        writeFile(m_folder + QStringLiteral("/seed-%1").arg(m_count++, 3, 10, QLatin1Char('0')),
                  seed);
    }
    [[nodiscard]] int count() const { return m_count; }

private:
    QString m_folder;
    int m_count = 0;
};

// An archive of n entries whose slot entries hold short stand-ins that begin like Ogg streams,
// so that the seeds stay small; one seed below carries real Ogg sounds.
QByteArray smallArchive(int n)
{
    test::ChkArchive archive;
    for (int entry = 1; entry <= n; ++entry) {
        const int slot = entry - (n - 30);
        if (slot >= 0 && slot < 30)
            archive.entries.append(test::slotEntry(test::oggOfSize(20 + slot)));
        else
            archive.entries.append(test::fillerEntry(entry, 8 + (entry * 37) % 61));
    }
    return archive.bytes();
}

QByteArray external(int slot, int kind, const QByteArray& bytes)
{
    QByteArray out;
    out.append(static_cast<char>(slot));
    out.append(static_cast<char>(kind));
    out.append(bytes);
    return out;
}

QByteArray byte(int value)
{
    return QByteArray(1, static_cast<char>(value));
}

void archiveSeeds(Corpus& corpus)
{
    const QByteArray ogg1001 = test::oggOfSize(1001);
    const QByteArray ogg1000 = test::oggOfSize(1000);
    const QByteArray sine = test::makeOggSine(660.0, 0.05);

    for (int n : {31, 32, 40, 102, 200}) {
        const QByteArray a = smallArchive(n);
        corpus.add(RecordWriter().add('A', a));
        corpus.add(RecordWriter()
                       .add('A', a)
                       .add('E', external(0, 0, ogg1001))
                       .add('E', external(29, 1, ogg1000))
                       .add('M', "Gatso\nGatso 20"));
        corpus.add(RecordWriter().add('A', a).add('E', external(5, 0, sine)).add('O', byte(2)));
    }
    const QByteArray a40 = smallArchive(40);
    // Refusals: a missing, an empty, a non-Ogg and an oversized external file, a folder, an
    // extension that is no external sound.
    corpus.add(RecordWriter().add('A', a40).add('E', external(3, 3, ogg1000)));
    corpus.add(RecordWriter().add('A', a40).add('E', external(3, 0, QByteArray())));
    corpus.add(RecordWriter().add('A', a40).add('E', external(3, 0, "RIFF....WAVE")));
    corpus.add(RecordWriter().add('A', a40).add('E', external(3, 0, test::oggOfSize(131057))));
    corpus.add(RecordWriter().add('A', a40).add('E', external(3, 5, QByteArray())));
    corpus.add(RecordWriter().add('A', a40).add('E', external(3, 4, ogg1000)));
    corpus.add(RecordWriter().add('A', a40).add('E', external(3, 2, ogg1000)).add('O', byte(4)));
    // The end offset one past the file, and a working copy changed after the load.
    QByteArray mismatch = a40;
    test::putBe32(mismatch, 4 * 41, test::be32(mismatch, 4 * 41) + 1);
    corpus.add(RecordWriter().add('A', mismatch).add('O', byte(1)));
    corpus.add(RecordWriter().add('A', a40).add('W', smallArchive(33)));
    // A folder where the output goes; no Modified/ at all.
    corpus.add(RecordWriter().add('A', a40).add('E', external(9, 0, ogg1000)).add('O', byte(8)));
    corpus.add(RecordWriter().add('A', a40).add('E', external(9, 0, ogg1000)).add('O', byte(16)));
    corpus.add(RecordWriter().add('A', a40).add('W', a40.left(100)));
    // Too few entries, a count of 2^31 - 1, nothing at all.
    corpus.add(RecordWriter().add('A', smallArchive(31).left(4 * 33)));
    corpus.add(RecordWriter().add('A', QByteArray("\x7F\xFF\xFF\xFF", 4)));
    corpus.add(RecordWriter().add('A', QByteArray()));
    // The working copy chosen as the base archive, directly and through a link; an archive in
    // the program folder.
    for (int location = 1; location <= 3; ++location)
        corpus.add(RecordWriter()
                       .add('A', a40)
                       .add('L', byte(location))
                       .add('E', external(7, 0, ogg1000)));
    // Real Ogg Vorbis sounds in every slot.
    corpus.add(RecordWriter().add('A', test::makeChk(31).bytes()).add('E', external(1, 0, sine)));
}

// A write of the settings harness: the flag byte, then section, key and value.
QByteArray write(char flag, const char* sectionKeyValue)
{
    return QByteArray(1, flag) + sectionKeyValue;
}

void settingsSeeds(Corpus& corpus)
{
    const char* texts = "Gatso\nGatso 20\n\nCaf\xE9 \x80";
    corpus.add(RecordWriter().add('W', write(0, "MenuText\nItem05\nGatso 50")).add('P', texts));
    corpus.add(RecordWriter()
                   .add('F', "[Other]\r\nx=1\r\n\r\n\r\n [MenuText]\r\nItem05 = a\r\nItem04=[b\r\n")
                   .add('W', write(0, "menutext\nITEM04\n=x="))
                   .add('W', write(1, "New\nk\n\xE2\x82\xAC \xE2\x98\x83"))
                   .add('P', texts));
}

void navigatorSeeds(Corpus& corpus)
{
    // Every build (and none) with a short menu: whole, with its first probe altered, and cut
    // short of its patch. The header: build, probe, value, 32-bit cut, flags (UTF-8 texts).
    const QByteArray texts = "Gatso\n\n   \nCaf\xC3\xA9 \xE2\x82\xAC\nLast";
    for (char build = 0; build < 12; ++build) {
        for (const QByteArray& header :
             {QByteArray("\0\0\0\0\0\0\1", 7), QByteArray("\1\x7F\0\0\0\0\1", 7),
              QByteArray("\0\0\0\0\x1F\0\1", 7)})
            corpus.add(QByteArray(1, build) + header + texts);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <seed folder>\n", argv[0]);
        return 2;
    }
    const QString folder = QString::fromLocal8Bit(argv[1]);
    Corpus archive(folder + QStringLiteral("/archive"));
    Corpus settings(folder + QStringLiteral("/settings"));
    Corpus navigator(folder + QStringLiteral("/navigator"));
    archiveSeeds(archive);
    settingsSeeds(settings);
    navigatorSeeds(navigator);
    std::printf("seeds: %d archive, %d settings, %d navigator\n", archive.count(), settings.count(),
                navigator.count());
    return 0;
}
