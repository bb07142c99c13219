#include "chkfactory.h"

#include "testsupport.h"

#include <QtEndian>

using namespace Qt::StringLiterals;

namespace tollvik::test {

qint32 be32(const QByteArray& bytes, qsizetype pos)
{
    return qFromBigEndian<qint32>(bytes.constData() + pos);
}

void putBe32(QByteArray& bytes, qsizetype pos, qint32 value)
{
    qToBigEndian(value, bytes.data() + pos);
}

QByteArray be32s(std::initializer_list<qint32> values)
{
    QByteArray out(4 * qsizetype(values.size()), '\0');
    qsizetype pos = 0;
    for (const qint32 value : values)
        putBe32(out, std::exchange(pos, pos + 4), value);
    return out;
}

qint32 ChkArchive::offsetOf(int entry) const
{
    qint32 offset = 4 * (count() + 2);
    for (int i = 1; i < entry; ++i)
        offset += qint32(entries[i - 1].size());
    return offset;
}

QByteArray ChkArchive::bytes() const
{
    QByteArray out = be32s({count()});
    for (int entry = 1; entry <= count() + 1; ++entry)
        out += be32s({offsetOf(entry)});
    return out + entries.join();
}

QByteArray slotEntry(const QByteArray& sound)
{
    const qint32 padded = (qint32(sound.size()) + 3) / 4 * 4;
    // 01 00, then the word count
    return be32s({0x01000000 | (padded + 12) / 4, 1, 8, qint32(sound.size())}) + sound +
           QByteArray(padded - sound.size(), '\0');
}

QByteArray fillerEntry(int entry, int size)
{
    QByteArray out(size, Qt::Uninitialized);
    for (int i = 0; i < size; ++i)
        out[i] = char((entry * 31 + i * 7) & 0xFF);
    return out;
}

const QList<QByteArray>& oggSounds()
{
    static const QList<QByteArray> sounds{makeOggSine(330.0, 0.1), makeOggSine(440.0, 0.15),
                                          makeOggSine(550.0, 0.2), makeOggSine(660.0, 0.25)};
    return sounds;
}

ChkArchive makeChk(int n)
{
    ChkArchive archive;
    for (int entry = 1; entry <= n; ++entry) {
        const int slot = entry - (n - 30);
        archive.entries.append(slot >= 0 && slot < 30 ? slotEntry(oggSounds()[slot % 4])
                                                      : fillerEntry(entry, 8 + (entry * 37) % 61));
    }
    return archive;
}

QByteArray oggOfSize(int size)
{
    return (oggSounds().first() + fillerEntry(0, size)).left(size);
}

QStringList listingOf(const ChkArchive& archive)
{
    QStringList lines{u"Total files: %1"_s.arg(archive.count())};
    for (int s = 0; s < 30; ++s) {
        const int entry = archive.count() - 30 + s;
        lines.append(QString::asprintf("x= %d Len.= %d to %08X", s,
                                       be32(archive.entries[entry - 1], 12),
                                       unsigned(archive.offsetOf(entry) + 16)));
    }
    return lines;
}

} // namespace tollvik::test
