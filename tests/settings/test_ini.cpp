#include "settings/ini.h"
#include "testsupport.h"

#include <QFileInfo>
#include <QScopeGuard>
#include <QTest>
#include <sys/inotify.h>
#include <unistd.h>

using namespace tollvik;
using namespace tollvik::test;
using namespace Qt::StringLiterals;

namespace {

const QString kSection = u"MenuText"_s;
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

// The texts of the first start, read back from its file.
QStringList defaultTexts()
{
    QStringList texts;
    for (const QByteArray& line : kFirstStart.split('\n').mid(1, 30))
        texts.prepend(QString::fromLatin1(line.mid(7).chopped(1)));
    return texts;
}

// The times a file named `name` appeared (created or renamed into place) in the folder that the
// inotify descriptor watches: each atomic write of that file makes it appear once.
int appearances(int fd, const QByteArray& name)
{
    int count = 0;
    alignas(inotify_event) char buffer[4096];
    for (ssize_t n = 0; (n = read(fd, buffer, sizeof buffer)) > 0;) {
        for (const char* at = buffer; at < buffer + n;) {
            const auto* event = reinterpret_cast<const inotify_event*>(at);
            count += event->len > 0 && name == event->name ? 1 : 0;
            at += sizeof(inotify_event) + event->len;
        }
    }
    return count;
}

// A settings file in a fresh program folder, holding `before` unless that is kAbsent.
struct Ini
{
    explicit Ini(const QByteArray& before) { (void)(before == kAbsent || writeAll(path, before)); }
    QByteArray content() const { return QFileInfo::exists(path) ? readAll(path) : kAbsent; }
    ProgramFolder folder;
    QString path = folder.file(u"Tollvik.ini"_s);
};

} // namespace

class TestIni : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // A missing or empty file is written from the default texts; at a later start every text
    // becomes its stored value, empty when its key is missing.
    void exchangesTheTextsAtStartUp()
    {
        const QByteArray stored = "[MenuText]\r\nItem30=Last\r\nitem01=First\r\n";
        for (const QByteArray& before : {kAbsent, QByteArray(), stored}) {
            Ini ini(before);
            RecordingLog log;
            QStringList texts = defaultTexts();
            QVERIFY(GetINIData(ini.folder.path(), texts, log).ok() && log.lines.isEmpty());
            QCOMPARE(ini.content(), before == stored ? stored : kFirstStart);
            // Keys that are missing give empty texts.
            QCOMPARE(texts, before != stored
                                ? defaultTexts()
                                : QStringList{u"First"_s} << QStringList(28) << u"Last"_s);
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
        const auto row = [](const char* name, const char* before, const char* key,
                            const QString& read, const char* after) {
            QTest::newRow(name) << QByteArray(before) << QString::fromLatin1(key) << read
                                << QByteArray(after);
        };
        row("no file", kAbsent, "Item01", {}, "[MenuText]\r\nItem01=v\r\n");
        row("names in any case; a key line keeps the writer's case",
            "[menutext]\r\nItem02=b\r\nitem01=Mixed Case", "ITEM01", u"Mixed Case"_s,
            "[menutext]\r\nItem02=b\r\nITEM01=v\r\n");
        row("lone LF and CR end lines for the reader, not for the writer",
            "[MenuText]\nItem02=b\rItem01=a", "Item01", u"a"_s,
            "[MenuText]\nItem02=b\rItem01=a\r\n\r\n[MenuText]\r\nItem01=v\r\n");
        row("a header with a blank is none: a second section", "[MenuText] \r\nItem01=a\r\n",
            "Item01", {}, "[MenuText] \r\nItem01=a\r\n\r\n[MenuText]\r\nItem01=v\r\n");
        row("blanks around the equals sign: no key; a bracket in a value ends the section",
            "[MenuText]\r\nItem01 = a\r\nItem02=a[b\r\nItem01=c\r\n", "Item01", {},
            "[MenuText]\r\nItem01=v\r\nItem01 = a\r\nItem02=a[b\r\nItem01=c\r\n");
        row("the first section and the first line win",
            "[MenuText]\r\nItem011=x\r\nItem01==\xE9\x80=\r\n[MenuText]\r\nItem01=2", "Item01",
            u"=\u00E9\u20AC="_s,
            "[MenuText]\r\nItem011=x\r\nItem01=v\r\n[MenuText]\r\nItem01=2\r\n");
        row("empty line runs shrink, control characters at the ends go",
            "\t\r\n\r\n[MenuText]\r\nItem01=x\r\n\r\n\r\n\r\nItem02=z\r\n\r\n\x01", "Item01",
            u"x"_s, "[MenuText]\r\nItem01=v\r\n\r\nItem02=z\r\n");
    }
    void readsAndWritesValues()
    {
        QFETCH(QByteArray, before);
        QFETCH(QString, key);
        Ini ini(before);
        QTEST(ReadIniValue(ini.path, kSection, key).value(), "read");
        // Reading changes nothing, but leaves an empty file where there was none.
        QCOMPARE(readAll(ini.path), before == kAbsent ? QByteArray() : before);
        QVERIFY(WriteIniValue(ini.path, kSection, key, u"v"_s).ok());
        QTEST(readAll(ini.path), "after");
    }

    // The save's one rewrite leaves the very bytes of 30 single writes; its undo puts the earlier
    // file back, or removes the file when there was none. A character Windows-1252 cannot store
    // refuses the save and every single write, and changes no file.
    void putINIDataEqualsThirtyWritesAndUndoes_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::newRow("no file") << kAbsent;
        QTest::newRow("edited by hand") << QByteArray("[Other]\r\nItem01=keep\r\n\r\n\r\n[menutext]"
                                                      "\r\nItem06 = x\r\nItem07=a[b\r\nItem08=y");
        QTest::newRow("first start, a text not in Windows-1252") << kFirstStart;
    }
    void putINIDataEqualsThirtyWritesAndUndoes()
    {
        QFETCH(QByteArray, before);
        Ini ini(before), reference(before);
        std::array<QString, kSlotCount> texts;
        for (int i = 0; i < 30; ++i) {
            texts[std::size_t(i)] = i % 4 ? u"Camera %1 \u20AC"_s.arg(i) : QString();
            const QString key = u"Item%1"_s.arg(i + 1, 2, 10, QChar(u'0'));
            QVERIFY(WriteIniValue(reference.path, kSection, key, texts[std::size_t(i)]).ok());
        }
        RecordingLog log;
        if (before == kFirstStart) {
            texts[29] = u"Turn \u2192"_s;
            QVERIFY(!WriteIniValue(ini.path, kSection, u"Item01"_s, texts[29]).ok());
            QVERIFY(!WriteIniValue(ini.path, u"Menu\U0001F697"_s, u"Item01"_s, u"x"_s).ok());
            QVERIFY(!PutINIData(ini.folder.path(), texts, log).ok());
            QCOMPARE(ini.content(), before);
            return;
        }
        // One rewrite: all texts are stored or none.
        const int fd = inotify_init1(IN_NONBLOCK);
        const auto closeFd = qScopeGuard([fd] { (void)(fd < 0 || close(fd)); });
        QVERIFY(fd >= 0 && inotify_add_watch(fd, QFile::encodeName(ini.folder.path()).constData(),
                                             IN_CREATE | IN_MOVED_TO) >= 0);
        const Result<IniUndo> undo = PutINIData(ini.folder.path(), texts, log);
        QVERIFY(undo.ok());
        QCOMPARE(appearances(fd, "Tollvik.ini"), 1);
        QCOMPARE(readAll(ini.path), readAll(reference.path));
        QVERIFY(undo->restore(log).ok());
        QCOMPARE(ini.content(), before);
    }
};

QTEST_GUILESS_MAIN(TestIni)
#include "test_ini.moc"
