#include "core/codepage.h"

#include <QTest>

using namespace tollvik;

class CodepageTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyByteRoundTrips()
    {
        QByteArray all;
        for (int b = 0; b < 256; ++b)
            all.append(static_cast<char>(b));
        const QString text = decodeCp1252(all);
        QCOMPARE(text.size(), 256);
        const Cp1252Encoding back = encodeCp1252(text);
        QVERIFY(back.ok());
        QCOMPARE(back.bytes, all);
    }

    void mapsTheHighCharacters()
    {
        QCOMPARE(encodeCp1252(QStringLiteral("é€")).bytes, QByteArray("\xE9\x80"));
        QCOMPARE(decodeCp1252("\x80\x9F\x8D"), QStringLiteral("€Ÿ\u008D"));
    }

    void reportsTheFirstCharacterOutsideTheCodePage()
    {
        const Cp1252Encoding bad = encodeCp1252(QStringLiteral("ab\u0141c\u20AC"));
        QVERIFY(!bad.ok());
        QCOMPARE(bad.badIndex, 2);
        QCOMPARE(bad.badChar, char32_t(0x141));
        QVERIFY(bad.bytes.isEmpty());
        QCOMPARE(codePointName(0x141), QStringLiteral("U+0141"));

        // A C1 control that stands for a defined byte has no byte of its own.
        QVERIFY(!encodeCp1252(QStringLiteral("\u0080")).ok());
        // A character outside the BMP is one character, not two halves.
        const Cp1252Encoding emoji = encodeCp1252(QString::fromUcs4(U"x\U0001F600"));
        QCOMPARE(emoji.badIndex, 1);
        QCOMPARE(emoji.badChar, char32_t(0x1F600));
    }
};

QTEST_GUILESS_MAIN(CodepageTest)
#include "test_codepage.moc"
