#include "core/fileio.h"
#include "settings/ini.h"
#include "testsupport.h"

#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <unistd.h>

using namespace tollvik;

namespace {

const QString kSection = QStringLiteral("MenuText");

QStringList defaultTexts()
{
    QStringList texts = u"Gatso,Gatso 20,Gatso 30,Gatso 40,Gatso 50,Gatso 60,Gatso 70,Gatso TBA,"
                        u"Mobile,Mobile 20,Mobile 30,Mobile 40,Mobile 50,Mobile 60,Mobile 70,"
                        u"Mobile TBA,Specs,Temporary,Red light"_qs.split(u',');
    texts.resize(30);
    return texts;
}

// The file as the first start leaves it: the header, then Item30 down to Item01.
QByteArray firstStartFile()
{
    const QStringList texts = defaultTexts();
    QByteArray expected = "[MenuText]\r\n";
    for (int i = 30; i >= 1; --i)
        expected += "Item" + QByteArray::number(i).rightJustified(2, '0') + '=' +
                    texts.at(i - 1).toLatin1() + "\r\n";
    return expected;
}

QString itemKey(int i)
{
    return QStringLiteral("Item%1").arg(i, 2, 10, QLatin1Char('0'));
}

const QByteArray kSmallFile = "[MenuText]\r\nItem01=Gatso\r\n";

// A program folder and its settings file, optionally filled beforehand.
struct Ini
{
    explicit Ini(const QByteArray* before = nullptr)
    {
        if (before)
            ok = test::writeAll(path, *before);
    }
    test::ProgramFolder folder;
    QString path = folder.file(QStringLiteral("Tollvik.ini"));
    bool ok = true;
};

void failWrites(const QString& error)
{
    setWriteFaultHookForTesting([error](const QString&) { return error; });
}

} // namespace

class IniTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { setWriteFaultHookForTesting({}); }

    // A missing or empty file is created with the header, then Item30 down to Item01.
    void firstStartWritesTheDefaults_data()
    {
        QTest::addColumn<bool>("emptyFile");
        QTest::newRow("missing") << false;
        QTest::newRow("empty") << true;
    }
    void firstStartWritesTheDefaults()
    {
        QFETCH(bool, emptyFile);
        const QByteArray empty;
        Ini ini(emptyFile ? &empty : nullptr);
        test::RecordingLog log;
        QStringList texts = defaultTexts();
        QVERIFY(GetINIData(ini.folder.path(), texts, log).ok());
        QCOMPARE(test::readAll(ini.path), firstStartFile());
        QCOMPARE(texts, defaultTexts());
        QVERIFY(log.lines.isEmpty());
    }

    void savingTheTextsKeepsTheOrder()
    {
        Ini ini;
        test::RecordingLog log;
        QStringList texts = defaultTexts();
        QVERIFY(GetINIData(ini.folder.path(), texts, log).ok());
        // A save stores Item01 to Item30 from the boxes, as the navigator save does.
        texts[0] = QStringLiteral("Speed camera");
        texts[29] = QStringLiteral("Last one");
        for (int i = 1; i <= 30; ++i)
            QVERIFY(WriteIniValue(ini.path, kSection, itemKey(i), texts.at(i - 1)).ok());
        QByteArray expected = firstStartFile();
        expected.replace("Item01=Gatso\r\n", "Item01=Speed camera\r\n");
        expected.replace("Item30=\r\n", "Item30=Last one\r\n");
        QCOMPARE(test::readAll(ini.path), expected);
    }

    void existingFileReplacesTheTexts()
    {
        const QByteArray before = "[MenuText]\r\nItem02=Second\r\nItem01=First\r\nItem30=Last\r\n";
        Ini ini(&before);
        test::RecordingLog log;
        QStringList texts = defaultTexts();
        QVERIFY(GetINIData(ini.folder.path(), texts, log).ok());
        // Slots whose keys are missing are emptied, not left at their defaults.
        QStringList expected(30, QString());
        expected[0] = u"First"_qs;
        expected[1] = u"Second"_qs;
        expected[29] = u"Last"_qs;
        QCOMPARE(texts, expected);
        QVERIFY(log.lines.isEmpty());
    }

    void failureIsLoggedAndDefaultsStay_data()
    {
        QTest::addColumn<bool>("unreadable");
        QTest::newRow("cannot be written") << false;
        QTest::newRow("cannot be read") << true;
    }
    void failureIsLoggedAndDefaultsStay()
    {
        QFETCH(bool, unreadable);
        Ini ini;
        test::RecordingLog log;
        if (unreadable) { // a folder where the file should be cannot be read as one
            QVERIFY(QDir().mkpath(ini.path));
            QVERIFY(test::writeAll(ini.path + QStringLiteral("/x"), "x"));
        } else {
            failWrites(QStringLiteral("disk full"));
        }
        QStringList texts = defaultTexts();
        QVERIFY(!GetINIData(ini.folder.path(), texts, log).ok());
        QCOMPARE(texts, defaultTexts());
        QCOMPARE(log.lines.size(), 1);
        QVERIFY(log.lines.first().contains(ini.path));
        QVERIFY(unreadable || log.lines.first().contains(QStringLiteral("disk full")));
    }

    void readingAMissingFileLeavesAnEmptyOne()
    {
        Ini ini;
        const auto read = ReadIniValue(ini.path, kSection, QStringLiteral("Item01"));
        QVERIFY(read.ok());
        QCOMPARE(read.value(), QString());
        QVERIFY(QFileInfo(ini.path).isFile());
        QCOMPARE(QFileInfo(ini.path).size(), 0);
    }

    void readsValues_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("names in any case, value as stored")
            << QByteArray("[menutext]\r\nitem05=Mixed Case\r\n") << u"Item05"_qs
            << u"Mixed Case"_qs;
        QTest::newRow("blank before the header")
            << QByteArray(" [MenuText]\r\nItem05=x\r\n") << u"Item05"_qs << QString();
        QTest::newRow("blank after the header")
            << QByteArray("[MenuText] \r\nItem05=x\r\n") << u"Item05"_qs << QString();
        QTest::newRow("blanks around the equals sign")
            << QByteArray("[MenuText]\r\nItem05 = x\r\n") << u"Item05"_qs << QString();
        QTest::newRow("value with a bracket is not read")
            << QByteArray("[MenuText]\r\nItem01=a[b\r\n") << u"Item01"_qs << QString();
        QTest::newRow("keys below a bracket count as missing")
            << QByteArray("[MenuText]\r\nItem01=a[b\r\nItem02=c\r\n") << u"Item02"_qs << QString();
        QTest::newRow("keys above a bracket are read")
            << QByteArray("[MenuText]\r\nItem02=c\r\nItem01=a[b\r\n") << u"Item02"_qs << u"c"_qs;
        QTest::newRow("first line wins") << QByteArray("[MenuText]\r\nItem01=one\r\nItem01=two\r\n")
                                         << u"Item01"_qs << u"one"_qs;
        QTest::newRow("first section wins")
            << QByteArray("[MenuText]\r\nItem01=one\r\n[MenuText]\r\nItem01=two\r\n")
            << u"Item01"_qs << u"one"_qs;
        QTest::newRow("other section's key")
            << QByteArray("[Other]\r\nItem01=x\r\n[MenuText]\r\n") << u"Item01"_qs << QString();
        QTest::newRow("key without a section")
            << QByteArray("Item01=x\r\n[MenuText]\r\n") << u"Item01"_qs << QString();
        QTest::newRow("prefix of a longer key")
            << QByteArray("[MenuText]\r\nItem011=x\r\nItem01=y\r\n") << u"Item01"_qs << u"y"_qs;
        QTest::newRow("lone LF line ends")
            << QByteArray("[MenuText]\nItem01=a\nItem02=b") << u"Item02"_qs << u"b"_qs;
        QTest::newRow("lone CR line ends")
            << QByteArray("[MenuText]\rItem01=a\rItem02=b\r") << u"Item02"_qs << u"b"_qs;
        QTest::newRow("Windows-1252 bytes") << QByteArray("[MenuText]\r\nItem01=Caf\xE9 \x80 5\r\n")
                                            << u"Item01"_qs << u"Caf\u00E9 \u20AC 5"_qs;
        QTest::newRow("no line end at the end")
            << QByteArray("[MenuText]\r\nItem01=last") << u"Item01"_qs << u"last"_qs;
    }
    void readsValues()
    {
        QFETCH(QByteArray, file);
        QFETCH(QString, key);
        QFETCH(QString, value);
        Ini ini(&file);
        QVERIFY(ini.ok);
        const auto read = ReadIniValue(ini.path, kSection, key);
        QVERIFY(read.ok());
        QCOMPARE(read.value(), value);
        QCOMPARE(test::readAll(ini.path), file);
    }

    void writesValues_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("new file") << QByteArray() << u"Item01"_qs << u"Gatso"_qs
                                  << QByteArray("[MenuText]\r\nItem01=Gatso\r\n");
        QTest::newRow("new key goes to the top of the section")
            << QByteArray("[MenuText]\r\nItem01=a\r\n") << u"Item02"_qs << u"b"_qs
            << QByteArray("[MenuText]\r\nItem02=b\r\nItem01=a\r\n");
        QTest::newRow("existing key is replaced in place")
            << QByteArray("[MenuText]\r\nItem02=b\r\nItem01=a\r\nItem03=c\r\n") << u"Item01"_qs
            << u"new"_qs << QByteArray("[MenuText]\r\nItem02=b\r\nItem01=new\r\nItem03=c\r\n");
        QTest::newRow("key in capitals replaces the line and keeps the capitals")
            << QByteArray("[MenuText]\r\nItem01=a\r\n") << u"ITEM01"_qs << u"b"_qs
            << QByteArray("[MenuText]\r\nITEM01=b\r\n");
        QTest::newRow("header in lower case is found")
            << QByteArray("[menutext]\r\nitem05=a\r\n") << u"Item05"_qs << u"b"_qs
            << QByteArray("[menutext]\r\nItem05=b\r\n");
        QTest::newRow("blank before the header appends a section")
            << QByteArray(" [MenuText]\r\nItem05=a\r\n") << u"Item05"_qs << u"b"_qs
            << QByteArray(" [MenuText]\r\nItem05=a\r\n\r\n[MenuText]\r\nItem05=b\r\n");
        QTest::newRow("blank after the header appends a section")
            << QByteArray("[MenuText] \r\nItem05=a\r\n") << u"Item05"_qs << u"b"_qs
            << QByteArray("[MenuText] \r\nItem05=a\r\n\r\n[MenuText]\r\nItem05=b\r\n");
        QTest::newRow("blanks around the equals sign insert a new line")
            << QByteArray("[MenuText]\r\nItem05 = a\r\n") << u"Item05"_qs << u"b"_qs
            << QByteArray("[MenuText]\r\nItem05=b\r\nItem05 = a\r\n");
        QTest::newRow("key with a bracket in its value is replaced")
            << QByteArray("[MenuText]\r\nItem02=x\r\nItem01=a[b\r\nItem03=c\r\n") << u"Item01"_qs
            << u"z"_qs << QByteArray("[MenuText]\r\nItem02=x\r\nItem01=z\r\nItem03=c\r\n");
        QTest::newRow("key below a bracket is inserted again")
            << QByteArray("[MenuText]\r\nItem01=a[b\r\nItem03=c\r\n") << u"Item03"_qs << u"d"_qs
            << QByteArray("[MenuText]\r\nItem03=d\r\nItem01=a[b\r\nItem03=c\r\n");
        QTest::newRow("section before stays unchanged")
            << QByteArray("[Other]\r\nA=1\r\nItem01=o\r\n\r\n[MenuText]\r\nItem01=x\r\n")
            << u"Item01"_qs << u"y"_qs
            << QByteArray("[Other]\r\nA=1\r\nItem01=o\r\n\r\n[MenuText]\r\nItem01=y\r\n");
        QTest::newRow("missing section is appended after one empty line")
            << QByteArray("[Other]\r\nA=1\r\n") << u"Item01"_qs << u"y"_qs
            << QByteArray("[Other]\r\nA=1\r\n\r\n[MenuText]\r\nItem01=y\r\n");
        QTest::newRow("runs of empty lines shrink, ends are trimmed")
            << QByteArray("\r\n\r\n[Other]\r\nA=1\r\n\r\n\r\n\r\n\r\n[MenuText]\r\nItem01=x\r\n\r\n"
                          "\r\n\r\nItem02=z\r\n\r\n\r\n")
            << u"Item01"_qs << u"y"_qs
            << QByteArray("[Other]\r\nA=1\r\n\r\n[MenuText]\r\nItem01=y\r\n\r\nItem02=z\r\n");
        QTest::newRow("leading and trailing control characters are trimmed")
            << QByteArray("\t\x01\r\n[MenuText]\r\nItem01=x\r\nItem02=z\t\r\n\t") << u"Item01"_qs
            << u"y"_qs << QByteArray("[MenuText]\r\nItem01=y\r\nItem02=z\r\n");
        QTest::newRow("last key without a line end")
            << QByteArray("[MenuText]\r\nItem02=a\r\nItem01=x") << u"Item01"_qs << u"y"_qs
            << QByteArray("[MenuText]\r\nItem02=a\r\nItem01=y\r\n");
        QTest::newRow("Windows-1252 characters are single bytes")
            << QByteArray() << u"Item01"_qs << u"Caf\u00E9 \u20AC"_qs
            << QByteArray("[MenuText]\r\nItem01=Caf\xE9 \x80\r\n");
        QTest::newRow("undefined Windows-1252 bytes round-trip")
            << QByteArray("[MenuText]\r\nItem02=\x81\x8D\x8F\x90\x9D\xFF\r\n") << u"Item01"_qs
            << u"x"_qs
            << QByteArray("[MenuText]\r\nItem01=x\r\nItem02=\x81\x8D\x8F\x90\x9D\xFF\r\n");
    }
    void writesValues()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, after);
        Ini ini(before.isEmpty() ? nullptr : &before);
        const Status result = WriteIniValue(ini.path, kSection, key, value);
        QVERIFY2(result.ok(), qPrintable(result.error()));
        QCOMPARE(test::readAll(ini.path), after);
    }

    // A batch gives the very bytes the single writes give, key after key, whatever the file
    // looks like before.
    void batchEqualsSingleWrites_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<bool>("fileExists");
        QTest::addColumn<QStringList>("keys");
        QTest::addColumn<QStringList>("values");

        QStringList items;
        QStringList texts;
        for (int i = 1; i <= 30; ++i) {
            items.append(itemKey(i));
            texts.append(i % 7 == 0 ? QString() : QStringLiteral("Camera %1 = €").arg(i));
        }
        const auto add = [&](const char* name, const QByteArray& before) {
            QTest::newRow(name) << before << true << items << texts;
        };
        QTest::newRow("no file") << QByteArray() << false << items << texts;
        add("empty file", QByteArray());
        add("first start file", firstStartFile());
        add("other sections around",
            QByteArray("[Before]\r\nItem01=b\r\n[MenuText]\r\nItem03=x\r\n[After]\r\n"
                       "Item02=a\r\n"));
        add("header with blanks: a second section",
            QByteArray(" [MenuText]\r\nItem05=a\r\n[MenuText] \r\n"));
        add("bracket in a value hides the keys below",
            QByteArray("[MenuText]\r\nItem02=x\r\nItem01=a[b\r\nItem03=c\r\nItem04=d\r\n"));
        add("blanks around equals, runs of empty lines, control characters",
            QByteArray("\t\r\n\r\n[MenuText]\r\nItem05 = a\r\n\r\n\r\n\r\nItem06=b\r\n\r\n"
                       "\r\n\x01"));
        // Later keys see what earlier keys of the same batch wrote.
        QTest::newRow("a key twice, in other letter cases")
            << QByteArray("[MenuText]\r\nItem01=a\r\n") << true
            << QStringList{u"Item02"_qs, u"ITEM01"_qs, u"item02"_qs, u"Item01"_qs}
            << QStringList{u"x"_qs, u"y"_qs, u"z"_qs, QString()};
        QTest::newRow("a value with a bracket, then keys below it")
            << QByteArray("[MenuText]\r\nItem01=a\r\nItem02=b\r\n") << true
            << QStringList{u"Item01"_qs, u"Item02"_qs, u"Item01"_qs, u"Item02"_qs}
            << QStringList{u"[x"_qs, u"y"_qs, u"z"_qs, u"w"_qs};
    }
    void batchEqualsSingleWrites()
    {
        QFETCH(QByteArray, before);
        QFETCH(bool, fileExists);
        QFETCH(QStringList, keys);
        QFETCH(QStringList, values);
        test::ProgramFolder folder;
        const QString single = folder.file(QStringLiteral("single.ini"));
        const QString batch = folder.file(QStringLiteral("batch.ini"));
        if (fileExists)
            QVERIFY(test::writeAll(single, before) && test::writeAll(batch, before));
        QList<std::pair<QString, QString>> keyValues;
        for (qsizetype i = 0; i < keys.size(); ++i) {
            QVERIFY(WriteIniValue(single, kSection, keys.at(i), values.at(i)).ok());
            keyValues.append({keys.at(i), values.at(i)});
        }
        int writes = 0;
        setWriteFaultHookForTesting([&](const QString&) {
            ++writes;
            return QString();
        });
        const Status result = WriteIniValues(batch, kSection, keyValues);
        QVERIFY2(result.ok(), qPrintable(result.error()));
        QCOMPARE(writes, 1);
        QCOMPARE(test::readAll(batch), test::readAll(single));
    }

    // A character the code page cannot store refuses the write (the whole batch, wherever it
    // stands), names the character, leaves the file as it was and creates no missing file.
    void refusesCharactersOutsideWindows1252_data()
    {
        QTest::addColumn<bool>("batch");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QString>("named");
        QTest::newRow("value") << false << kSection << u"Item01"_qs << u"Stau \u4E2D"_qs
                               << u"U+4E2D"_qs;
        QTest::newRow("value outside the BMP")
            << false << kSection << u"Item01"_qs << u"\U0001F697"_qs << u"U+1F697"_qs;
        QTest::newRow("key") << false << kSection << u"Item\u0141"_qs << u"x"_qs << u"U+0141"_qs;
        QTest::newRow("section") << false << u"Menu\u2603"_qs << u"Item01"_qs << u"x"_qs
                                 << u"U+2603"_qs;
        QTest::newRow("batch: first value")
            << true << kSection << u"Item01"_qs << u"\u4E2D"_qs << u"U+4E2D"_qs;
        QTest::newRow("batch: last value")
            << true << kSection << u"Item30"_qs << u"\u4E2D"_qs << u"U+4E2D"_qs;
        QTest::newRow("batch: key in the middle")
            << true << kSection << u"Item15\u4E2D"_qs << u"x"_qs << u"U+4E2D"_qs;
        QTest::newRow("batch: section")
            << true << u"Menu\u2603"_qs << u"Item01"_qs << u"x"_qs << u"U+2603"_qs;
    }
    void refusesCharactersOutsideWindows1252()
    {
        QFETCH(bool, batch);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QString, named);
        QList<std::pair<QString, QString>> keyValues;
        for (int i = 1; i <= (batch ? 30 : 0); ++i)
            keyValues.append({itemKey(i), QStringLiteral("v%1").arg(i)});
        for (auto& kv : keyValues)
            if (key.startsWith(kv.first))
                kv = {key, value};
        const auto write = [&](const QString& path) {
            return batch ? WriteIniValues(path, section, keyValues)
                         : WriteIniValue(path, section, key, value);
        };
        const QByteArray before = firstStartFile();
        Ini ini(&before);
        const Status result = write(ini.path);
        QVERIFY(!result.ok());
        QVERIFY2(result.error().contains(named), qPrintable(result.error()));
        QCOMPARE(test::readAll(ini.path), before);
        const QString missing = ini.folder.file(QStringLiteral("missing.ini"));
        QVERIFY(!write(missing).ok());
        QVERIFY(!QFileInfo::exists(missing));
    }

    void failedWriteKeepsTheOldFile()
    {
        Ini ini(&kSmallFile);
        // An empty batch is no write at all: it creates no file.
        const QString missing = ini.folder.file(QStringLiteral("missing.ini"));
        QVERIFY(WriteIniValues(missing, kSection, {}).ok());
        QVERIFY(!QFileInfo::exists(missing));

        failWrites(QStringLiteral("no space"));
        const Status single = WriteIniValue(ini.path, kSection, u"Item01"_qs, u"x"_qs);
        QCOMPARE(single.ok(), false);
        QCOMPARE(single.error(), u"no space"_qs);
        const Status batch =
            WriteIniValues(ini.path, kSection, {{u"Item01"_qs, u"x"_qs}, {u"Item02"_qs, u"y"_qs}});
        QCOMPARE(batch.ok(), false);
        QCOMPARE(batch.error(), u"no space"_qs);
        QCOMPARE(test::readAll(ini.path), kSmallFile);
    }

    void writtenValuesReadBack_data()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("plain") << u"Red light"_qs;
        QTest::newRow("empty") << QString();
        QTest::newRow("equals signs") << u"=a=b="_qs;
        QTest::newRow("inner blanks") << u"  two  blanks  "_qs;
        QTest::newRow("Windows-1252") << u"\u00E9\u20AC\u0160\u0178\u00FF"_qs;
    }
    void writtenValuesReadBack()
    {
        QFETCH(QString, value);
        Ini ini;
        // Item05 sits in the middle of the section, so both a line end and a neighbour follow it.
        for (int i = 1; i <= 10; ++i)
            QVERIFY(WriteIniValue(ini.path, kSection, itemKey(i), QStringLiteral("v%1").arg(i)).ok());
        QVERIFY(WriteIniValue(ini.path, kSection, u"Item05"_qs, value).ok());
        QCOMPARE(ReadIniValue(ini.path, kSection, u"item05"_qs).value(), value);
        QCOMPARE(ReadIniValue(ini.path, kSection, u"Item04"_qs).value(), u"v4"_qs);
        QCOMPARE(ReadIniValue(ini.path, kSection, u"Item06"_qs).value(), u"v6"_qs);
        QCOMPARE(test::readAll(ini.path).count("\r\n"), 11);
    }

    void readOnlyFileIsReportedAndKept()
    {
        Ini ini(&kSmallFile);
        QVERIFY(QFile::setPermissions(ini.path, QFile::ReadOwner | QFile::ReadGroup));
        const QFile::Permissions permissions = QFile::permissions(ini.path);
        // Reading a read-only file works and leaves it read-only.
        QCOMPARE(ReadIniValue(ini.path, kSection, u"Item01"_qs).value(), u"Gatso"_qs);
        QCOMPARE(QFile::permissions(ini.path), permissions);
        if (geteuid() == 0)
            QSKIP("root can write a read-only file");
        const Status result = WriteIniValue(ini.path, kSection, u"Item01"_qs, u"x"_qs);
        QVERIFY(!result.ok() && !result.error().isEmpty());
        QCOMPARE(test::readAll(ini.path), kSmallFile);
        QCOMPARE(QFile::permissions(ini.path), permissions);
    }
};

QTEST_GUILESS_MAIN(IniTest)
#include "test_ini.moc"
