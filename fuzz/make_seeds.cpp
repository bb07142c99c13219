// Writes the seed corpora of the three harnesses into <folder>/archive, <folder>/settings and
// <folder>/navigator, in the record format of fuzzsupport.h. The archives, sounds and navigator
// files come from the tests' generators; nothing is read from elsewhere.
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
    void add(const RecordWriter& seed)
    {
        writeFile(m_folder + QStringLiteral("/seed-%1").arg(m_count++, 3, 10, QLatin1Char('0')),
                  seed.bytes());
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

QByteArray firstStartFile()
{
    static const char* const texts[] = {
        "Gatso",     "Gatso 20",   "Gatso 30",  "Gatso 40",  "Gatso 50",  "Gatso 60",  "Gatso 70",
        "Gatso TBA", "Mobile",     "Mobile 20", "Mobile 30", "Mobile 40", "Mobile 50", "Mobile 60",
        "Mobile 70", "Mobile TBA", "Specs",     "Temporary", "Red light"};
    QByteArray file = "[MenuText]\r\n";
    for (int i = 30; i >= 1; --i) {
        file += "Item" + QByteArray::number(i).rightJustified(2, '0') + '=';
        if (i <= 19)
            file += texts[i - 1];
        file += "\r\n";
    }
    return file;
}

QByteArray write(int flags, QByteArrayView section, QByteArrayView key, QByteArrayView value)
{
    QByteArray out = byte(flags);
    appendShortField(out, section);
    appendShortField(out, key);
    out.append(value);
    return out;
}

void settingsSeeds(Corpus& corpus)
{
    const QByteArray start = firstStartFile();
    corpus.add(RecordWriter().add('W', write(0, "MenuText", "Item05", "Gatso 50")));
    corpus.add(RecordWriter().add('G', ""));
    corpus.add(RecordWriter().add('F', start).add('G', ""));
    corpus.add(RecordWriter().add('F', "[MenuText]\r\nItem07=x").add('G', ""));
    corpus.add(RecordWriter().add('F', start).add('W', write(0, "MenuText", "Item05", "Radar")));
    corpus.add(RecordWriter().add('F', start).add('W', write(0, "menutext", "ITEM01", "a=b")));
    corpus.add(RecordWriter().add('F', start).add('W', write(0, "MenuText", "Item31", "")));
    corpus.add(RecordWriter()
                   .add('F', "[Other]\r\nx=1\r\n\r\n\r\n[MenuText]\r\nItem01=Gatso")
                   .add('W', write(0, "MenuText", "Item01", "Flitser"))
                   .add('W', write(0, "Other", "y", "2"))
                   .add('W', write(0, "New", "k", "v")));
    corpus.add(RecordWriter()
                   .add('F', "[MenuText]\nItem05=lf only\n")
                   .add('W', write(0, "MenuText", "Item05", "x")));
    corpus.add(RecordWriter()
                   .add('F', " [MenuText]\r\nItem05 = spaced\r\nItem04=[bracket\r\nItem03=x")
                   .add('W', write(0, "MenuText", "Item03", "y"))
                   .add('W', write(0, "MenuText", "Item05", "z")));
    corpus.add(
        RecordWriter().add('F', "").add('W', write(0, "MenuText", "Item01", "\xE9t\xE9 \x80")));
    corpus.add(
        RecordWriter().add('W', write(1, "MenuText", "Item01", "\xE2\x82\xAC \xE2\x98\x83")));
    corpus.add(RecordWriter().add('F', "\t\r\n\r\n").add('W', write(0, "", "", "")));
    // Mixed line ends and a leading control character, outside the round trip's conditions.
    corpus.add(RecordWriter()
                   .add('F', "x=1\n[MenuText]\r\nItem05=old\r\n")
                   .add('W', write(0, "MenuText", "Item05", "new")));
    corpus.add(RecordWriter()
                   .add('F', "[MenuText]\rItem05=old\r\nfoo\rItem04=old\r\n")
                   .add('W', write(0, "MenuText", "Item04", "new"))
                   .add('W', write(0, "MenuText", "Item03", "new")));
    corpus.add(RecordWriter()
                   .add('F', "\t[MenuText]\r\nItem05=old\r\n")
                   .add('W', write(0, "MenuText", "Item05", "new")));
}

QByteArray texts(int flags, const QList<QByteArray>& items)
{
    QByteArray out = byte(flags);
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (i > 0)
            out.append('\n');
        out.append(items.at(i));
    }
    return out;
}

QByteArray tamper(int kind, quint32 argument, QByteArrayView bytes = {})
{
    QByteArray out = byte(kind);
    appendU32(out, argument);
    out.append(bytes);
    return out;
}

void navigatorSeeds(Corpus& corpus)
{
    const QByteArray menu =
        texts(0, {"Gatso", "Gatso 20", "Gatso 30", "Mobile", "", "Red light", "Specs"});
    const QByteArray full = [] {
        QList<QByteArray> items;
        for (int i = 1; i <= 30; ++i)
            items.append("Item number " + QByteArray::number(i) + " is long");
        return texts(0, items);
    }();
    // Every build once, with a short menu; the first one also with a full menu saved twice.
    for (int b = 0; b < 11; ++b)
        corpus.add(RecordWriter().add('B', byte(b)).add('T', menu));
    corpus.add(RecordWriter().add('B', byte(8)).add('N', byte(1)).add('T', full).add('T', full));
    // No build; a file cut short of the patch locations; a small arbitrary file.
    corpus.add(RecordWriter().add('B', byte(11)).add('T', menu));
    QByteArray size;
    appendU32(size, 0x1F0000);
    corpus.add(RecordWriter().add('B', byte(2)).add('Z', size).add('T', menu));
    corpus.add(RecordWriter().add('R', QByteArray("MZ\x90\0\x03\0\0\0", 8)).add('T', menu));
    // Texts Windows-1252 cannot store, and a "[" that the settings file cannot give back.
    corpus.add(RecordWriter().add('B', byte(0)).add('T', texts(1, {"\xE2\x98\x83 Radar"})));
    corpus.add(RecordWriter().add('B', byte(0)).add('T', texts(0, {"[Radar]", "x"})));
    // The working copy chosen, directly and through a link; a file in the program folder; the
    // output of an earlier save chosen from Modified/.
    for (int location = 1; location <= 4; ++location)
        corpus.add(RecordWriter().add('B', byte(5)).add('L', byte(location)).add('T', menu));
    // A full disk at each write of a save, and at two.
    for (int fault : {1, 2, 4, 8, 3, 5})
        corpus.add(
            RecordWriter().add('B', byte(3)).add('F', byte(fault)).add('T', menu).add('T', menu));
    // Every change behind the window's back, before a save.
    for (int kind = 0; kind < 10; ++kind)
        corpus.add(RecordWriter()
                       .add('B', byte(kind))
                       .add('X', tamper(kind, 0x100000, "changed"))
                       .add('T', menu));
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
