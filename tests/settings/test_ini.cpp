#include "core/fileio.h"
#include "settings/ini.h"
#include "testsupport.h"

#include <QFileInfo>
#include <QTest>

using namespace tollvik;
using namespace tollvik::test;
using Texts = std::array<QString, 30>;

namespace {

const QString kSection = QStringLiteral("MenuText");
const QByteArray kAbsent = "(no file)";

// The file the first start leaves: the header, then Item30 down to Item01, because every new key
// goes right below the header.
const QByteArray kFirstStart =
    "[MenuText]\r\nItem30=\r\nItem29=\r\nItem28=\r\nItem27=\r\nItem26=\r\nItem25=\r\nItem24=\r\n"
    "Item23=\r\nItem22=\r\nItem21=\r\nItem20=\r\nItem19=Red light\r\nItem18=Temporary\r\n"
    "Item17=Specs\r\nItem16=Mobile TBA\r\nItem15=Mobile 70\r\nItem14=Mobile 60\r\n"
    "Item13=Mobile 50\r\nItem12=Mobile 40\r\nItem11=Mobile 30\r\nItem10=Mobile 20\r\n"
    "Item09=Mobile\r\nItem08=Gatso TBA\r\nItem07=Gatso 70\r\nItem06=Gatso 60\r\n"
    "Item05=Gatso 50\r\nItem04=Gatso 40\r\nItem03=Gatso 30\r\nItem02=Gatso 20\r\nItem01=Gatso\r\n";

QStringList defaultTexts()
{
    QStringList texts = u"Gatso,Gatso 20,Gatso 30,Gatso 40,Gatso 50,Gatso 60,Gatso 70,Gatso TBA,"
                        u"Mobile,Mobile 20,Mobile 30,Mobile 40,Mobile 50,Mobile 60,Mobile 70,"
                        u"Mobile TBA,Specs,Temporary,Red light"_qs.split(u',');
    texts.resize(30);
    return texts;
}

const QByteArray kStored = "[MenuText]\r\nItem30=Last\r\nitem01=First\r\n";

QByteArray contentOf(const QString& path)
{
    return QFileInfo::exists(path) ? readAll(path) : kAbsent;
}

// A settings file in a fresh program folder, holding `before` unless that is kAbsent.
struct Ini
{
    explicit Ini(const QByteArray& before)
    {
        if (before != kAbsent)
            writeAll(path, before);
    }
    ProgramFolder folder;
    QString path = folder.file(QStringLiteral("Tollvik.ini"));
};

} // namespace

class TestIni : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { setWriteFaultHookForTesting({}); }

    // A missing or empty file is written from the default texts; at a later start every text
    // becomes its stored value, empty when its key is missing.
    void exchangesTheTextsAtStartUp()
    {
        for (const QByteArray& before : {kAbsent, QByteArray(), kStored}) {
            Ini ini(before);
            RecordingLog log;
            QStringList texts = defaultTexts();
            QVERIFY(GetINIData(ini.folder.path(), texts, log).ok() && log.lines.isEmpty());
            QCOMPARE(readAll(ini.path), before == kStored ? kStored : kFirstStart);
            if (before == kStored) // keys that are missing give empty texts
                QVERIFY(texts.first() == u"First" && texts.last() == u"Last" &&
                        texts.count({}) == 28);
            else
                QCOMPARE(texts, defaultTexts());
        }
    }

    // One file per row: the value the reader gives for the key, then the file after the key is
    // written with the value "v".
    void readsAndWritesValues_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("read");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("no file") << kAbsent << u"Item01"_qs << QString()
                                 << QByteArray("[MenuText]\r\nItem01=v\r\n");
        QTest::newRow("names in any case; a key line keeps the writer's case")
            << QByteArray("[menutext]\r\nItem02=b\r\nitem01=Mixed Case") << u"ITEM01"_qs
            << u"Mixed Case"_qs << QByteArray("[menutext]\r\nItem02=b\r\nITEM01=v\r\n");
        QTest::newRow("lone LF and CR end lines for the reader, not for the writer")
            << QByteArray("[MenuText]\nItem02=b\rItem01=a") << u"Item01"_qs << u"a"_qs
            << QByteArray("[MenuText]\nItem02=b\rItem01=a\r\n\r\n[MenuText]\r\nItem01=v\r\n");
        QTest::newRow("a new key goes to the top of its section")
            << QByteArray("[Other]\r\nItem02=o\r\n\r\n[MenuText]\r\nItem01=a") << u"Item02"_qs
            << QString()
            << QByteArray("[Other]\r\nItem02=o\r\n\r\n[MenuText]\r\nItem02=v\r\nItem01=a\r\n");
        QTest::newRow("a header with a blank is none: a second section")
            << QByteArray("[MenuText] \r\nItem01=a\r\n") << u"Item01"_qs << QString()
            << QByteArray("[MenuText] \r\nItem01=a\r\n\r\n[MenuText]\r\nItem01=v\r\n");
        QTest::newRow("blanks around the equals sign: no key")
            << QByteArray("[MenuText]\r\nItem01 = a\r\n") << u"Item01"_qs << QString()
            << QByteArray("[MenuText]\r\nItem01=v\r\nItem01 = a\r\n");
        QTest::newRow("a bracket in a value ends the section")
            << QByteArray("[MenuText]\r\nItem02=a[b\r\nItem01=c\r\n") << u"Item01"_qs << QString()
            << QByteArray("[MenuText]\r\nItem01=v\r\nItem02=a[b\r\nItem01=c\r\n");
        QTest::newRow("the first section and the first line win")
            << QByteArray("[MenuText]\r\nItem011=x\r\nItem01==\xE9\x80=\r\n[MenuText]\r\nItem01=2")
            << u"Item01"_qs << u"=\u00E9\u20AC="_qs
            << QByteArray("[MenuText]\r\nItem011=x\r\nItem01=v\r\n[MenuText]\r\nItem01=2\r\n");
        QTest::newRow("empty line runs shrink, control characters at the ends go")
            << QByteArray("\t\r\n\r\n[MenuText]\r\nItem01=x\r\n\r\n\r\n\r\nItem02=z\r\n\r\n\x01")
            << u"Item01"_qs << u"x"_qs << QByteArray("[MenuText]\r\nItem01=v\r\n\r\nItem02=z\r\n");
    }
    void readsAndWritesValues()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, key);
        QFETCH(QString, read);
        QFETCH(QByteArray, after);
        Ini ini(before);
        QCOMPARE(ReadIniValue(ini.path, kSection, key).value(), read);
        // Reading changes nothing, but leaves an empty file where there was none.
        QCOMPARE(readAll(ini.path), before == kAbsent ? QByteArray() : before);
        QVERIFY(WriteIniValue(ini.path, kSection, key, u"v"_qs).ok());
        QCOMPARE(readAll(ini.path), after);
    }

    // The save's one rewrite leaves the very bytes of 30 single writes; its undo puts the earlier
    // file back, or removes the file when there was none.
    void putINIDataEqualsThirtyWritesAndUndoes_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::newRow("no file") << kAbsent;
        QTest::newRow("first start") << kFirstStart;
        QTest::newRow("edited by hand") << QByteArray("[Other]\r\nItem01=keep\r\n\r\n\r\n[menutext]"
                                                      "\r\nItem06 = x\r\nItem07=a[b\r\nItem08=y");
    }
    void putINIDataEqualsThirtyWritesAndUndoes()
    {
        QFETCH(QByteArray, before);
        Ini ini(before), reference(before);
        Texts texts;
        for (int i = 0; i < 30; ++i) {
            texts[std::size_t(i)] = i % 4 ? QStringLiteral("Camera %1 \u20AC").arg(i) : QString();
            const QString key = QStringLiteral("Item%1").arg(i + 1, 2, 10, QChar(u'0'));
            QVERIFY(WriteIniValue(reference.path, kSection, key, texts[std::size_t(i)]).ok());
        }
        int writes = 0; // one rewrite: all texts are stored or none
        setWriteFaultHookForTesting(
            [&](const QString&) { return ++writes > 1 ? u"2nd"_qs : QString(); });
        RecordingLog log;
        const Result<IniUndo> undo = PutINIData(ini.folder.path(), texts, log);
        QVERIFY(undo.ok());
        QCOMPARE(readAll(ini.path), readAll(reference.path));
        QCOMPARE(log.lines, QStringList{u"....Updated the Tollvik.ini file."_qs});
        setWriteFaultHookForTesting({});
        QVERIFY(undo->restore(log).ok());
        QCOMPARE(contentOf(ini.path), before);
    }

    // A character Windows-1252 cannot store refuses the write and changes no file.
    void refusesCharactersOutsideWindows1252()
    {
        Texts texts;
        texts[29] = u"Turn \u2192"_qs;
        for (const QByteArray& before : {kFirstStart, kAbsent}) {
            Ini ini(before);
            RecordingLog log;
            QVERIFY(!WriteIniValue(ini.path, kSection, u"Item01"_qs, u"Stau \u4E2D"_qs).ok());
            QVERIFY(!WriteIniValue(ini.path, u"Menu\U0001F697"_qs, u"Item01"_qs, u"x"_qs).ok());
            QVERIFY(!PutINIData(ini.folder.path(), texts, log).ok());
            QCOMPARE(contentOf(ini.path), before);
        }
    }
};

QTEST_GUILESS_MAIN(TestIni)
#include "test_ini.moc"
