#include "chkfactory.h"

#include "testsupport.h"

namespace tollvik::test {

void appendBe32(QByteArray& out, qint32 value)
{
    const auto u = static_cast<quint32>(value);
    for (int shift = 24; shift >= 0; shift -= 8)
        out.append(char((u >> shift) & 0xFF));
}

qint32 be32(const QByteArray& bytes, qsizetype pos)
{
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData()) + pos;
    return qint32((quint32(p[0]) << 24) | (quint32(p[1]) << 16) | (quint32(p[2]) << 8) |
                  quint32(p[3]));
}

void putBe32(QByteArray& bytes, qsizetype pos, qint32 value)
{
    QByteArray b;
    appendBe32(b, value);
    bytes.replace(pos, 4, b);
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
    QByteArray out;
    appendBe32(out, count());
    for (int entry = 1; entry <= count() + 1; ++entry)
        appendBe32(out, offsetOf(entry));
    for (const QByteArray& e : entries)
        out.append(e);
    return out;
}

QByteArray slotEntry(const QByteArray& sound)
{
    const qint32 padded = (qint32(sound.size()) + 3) / 4 * 4;
    const auto wordCount = quint16((padded + 12) / 4);
    QByteArray out = QByteArray::fromHex("0100");
    out.append(char(wordCount >> 8));
    out.append(char(wordCount & 0xFF));
    appendBe32(out, 1);
    appendBe32(out, 8);
    appendBe32(out, qint32(sound.size()));
    out.append(sound);
    out.append(padded - sound.size(), '\0');
    return out;
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
    static const QList<QByteArray> sounds = [] {
        QList<QByteArray> list;
        for (int i = 0; i < 4; ++i)
            list.append(makeOggSine(330.0 + 110.0 * i, 0.1 + 0.05 * i));
        return list;
    }();
    return sounds;
}

ChkArchive makeChk(int n)
{
    ChkArchive archive;
    for (int entry = 1; entry <= n; ++entry) {
        const int slot = entry - (n - 30);
        archive.entries.append(slot >= 0 && slot < 30
                                   ? slotEntry(oggSounds()[slot % oggSounds().size()])
                                   : fillerEntry(entry, 8 + (entry * 37) % 61));
    }
    return archive;
}

QByteArray oggOfSize(int size)
{
    QByteArray out = oggSounds().first().left(size);
    while (out.size() < size)
        out.append(char(out.size() & 0x7F));
    return out;
}

QStringList listingOf(const ChkArchive& archive)
{
    QStringList lines{QStringLiteral("Total files: %1").arg(archive.count())};
    for (int s = 0; s < 30; ++s) {
        const int entry = archive.count() - 30 + s;
        lines.append(QString::asprintf("x= %d Len.= %d to %08X", s,
                                       be32(archive.entries[entry - 1], 12),
                                       unsigned(archive.offsetOf(entry) + 16)));
    }
    return lines;
}

} // namespace tollvik::test
