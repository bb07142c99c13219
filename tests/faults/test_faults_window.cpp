// Faults met through the real window, offscreen, with the dialogs answered by a script: files
// that vanish or change between the click and the read, unusable working folders during a
// build, a save and a load. The window logs a clear line, keeps what it showed, and every
// earlier file stays as it was.
#include "chkfactory.h"
#include "faultkit.h"
#include "navigatorfiles.h"
#include "scenes.h"
#include "windowfixture.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace tollvik;
using namespace tollvik::test;

namespace {

// Answers like the scripted backend, then changes the file system once, as a user or another
// program might between the click in the dialog and the program's read.
class TamperingDialogs : public ScriptedDialogs
{
public:
    FileDialogAnswer show(const FileDialogRequest& request) override
    {
        FileDialogAnswer answer = ScriptedDialogs::show(request);
        if (afterAnswer) {
            auto change = std::move(afterAnswer);
            afterAnswer = nullptr;
            change();
        }
        return answer;
    }
    std::function<void()> afterAnswer;
};

// A window fixture whose dialogs can tamper.
struct TamperFixture
{
    ProgramFolder& folder() { return f.folder; }
    WindowFixture f;
    TamperingDialogs dialogs;
    int beeps = 0;

    frmmemory& open()
    {
        AppContext context{f.folder.path(), &dialogs, [this] { ++beeps; },
                           [](const AudioMessage&) {
                           }};
        f.window = std::make_unique<frmmemory>(std::move(context));
        f.window->Form_Load();
        f.window->show();
        QApplication::setActiveWindow(f.window.get());
        QApplication::processEvents();
        return *f.window;
    }
};

// The window's last log line begins with `text`.
#define QVERIFY_LAST_LINE(w, text)                                                                 \
    QVERIFY2((w).logLines().constLast().startsWith(text), qPrintable((w).logLines().constLast()))

QStringList soundBoxes(const frmmemory& w)
{
    QStringList boxes;
    for (int s = 0; s < 30; ++s)
        boxes << w.Text1(30 + s)->text();
    return boxes;
}

} // namespace

class WindowFaultTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { configureApplication(*qApp); }

    // Load2: the chosen archive vanishes or is overwritten right after the dialog's answer.
    void archiveLoadOfAFileChangedAfterTheClick_data()
    {
        QTest::addColumn<bool>("vanish");
        QTest::addColumn<QString>("logged");
        QTest::newRow("vanished") << true << QStringLiteral("Problem loading file.");
        QTest::newRow("overwritten") << false << QStringLiteral("Problem loading file ");
    }

    void archiveLoadOfAFileChangedAfterTheClick()
    {
        QFETCH(bool, vanish);
        QFETCH(QString, logged);
        TamperFixture t;
        const QString first = t.folder().file(QStringLiteral("device/first.chk"));
        const QString second = t.folder().file(QStringLiteral("device2/first.chk"));
        QVERIFY(writeAll(first, makeChk(40).bytes()));
        QVERIFY(writeAll(second, makeChk(31).bytes()));
        frmmemory& w = t.open();
        t.dialogs.answers << first;
        QTest::mouseClick(w.Load2(), Qt::LeftButton);
        QVERIFY(w.archiveLoaded());
        const QString working = w.Text2()->text();
        const QStringList boxes = soundBoxes(w);
        const FolderSnapshot before = snapshot(t.folder().path());

        t.dialogs.answers << second;
        t.dialogs.afterAnswer = [&] {
            if (vanish)
                QFile::remove(second);
            else
                writeAll(second, QByteArray(2000, 'g'));
        };
        QTest::mouseClick(w.Load2(), Qt::LeftButton);
        QVERIFY_LAST_LINE(w, logged);
        QCOMPARE(w.Text2()->text(), working);
        QCOMPARE(soundBoxes(w), boxes);
        QVERIFY(w.archiveLoaded());
        QCOMPARE(differencesBesides(before, snapshot(t.folder().path()),
                                    QStringLiteral("device2/first.chk")),
                 QString());
        t.f.close();
    }

    // Command5 after the imported .ogg vanished, and with Modified/ unusable.
    void buildThroughTheWindowKeepsTheEarlierFiles_data()
    {
        QTest::addColumn<int>("variant");
        QTest::addColumn<QString>("logged");
        QTest::newRow("imported .ogg vanished") << 0 << QStringLiteral("....Cannot read ");
        QTest::newRow("Modified/ read-only")
            << 1 << QStringLiteral("....Writing the new archive failed");
        QTest::newRow("Modified/ a file") << 2 << QStringLiteral("is missing or is not a folder");
    }

    void buildThroughTheWindowKeepsTheEarlierFiles()
    {
        QFETCH(int, variant);
        QFETCH(QString, logged);
        TamperFixture t;
        const QString chosen = t.folder().file(QStringLiteral("device/voice.chk"));
        const QString ogg = t.folder().file(QStringLiteral("sounds/radar.ogg"));
        QVERIFY(writeAll(chosen, makeChk(40).bytes()));
        QVERIFY(writeAll(ogg, makeOggSine(880.0, 0.3)));
        frmmemory& w = t.open();
        t.dialogs.answers << chosen;
        QTest::mouseClick(w.Load2(), Qt::LeftButton);
        QVERIFY(w.archiveLoaded());
        // An earlier build in Modified/.
        QTest::mouseClick(w.Command5(), Qt::LeftButton);
        QVERIFY(QFile::exists(t.folder().modified(QStringLiteral("voice.chk"))));
        const QString working = w.Text2()->text();

        t.dialogs.answers << ogg;
        QTest::mouseClick(w.Command3(0), Qt::LeftButton);
        QCOMPARE(w.Text1(30)->text(), ogg);
        const QStringList boxes = soundBoxes(w);

        std::unique_ptr<ScopedFolderFault> faulty;
        if (variant == 0) {
            QVERIFY(QFile::remove(ogg));
        } else {
            faulty = std::make_unique<ScopedFolderFault>(
                t.folder().modified(),
                variant == 1 ? FolderFault::ReadOnly : FolderFault::ReplacedByFile);
            if (!faulty->unavailable().isEmpty())
                QSKIP(qPrintable(faulty->unavailable()));
        }
        const FolderSnapshot before = snapshot(t.folder().path());
        const qsizetype lines = w.logLines().size();
        QTest::mouseClick(w.Command5(), Qt::LeftButton);
        const QStringList added = w.logLines().mid(lines);
        QVERIFY_LOGGED(added, logged);
        QVERIFY(!anyLineContains(added, QStringLiteral("Done")));
        QCOMPARE(w.Text2()->text(), working);
        // The imported sound stays in its box for the next try.
        QCOMPARE(soundBoxes(w), boxes);
        QVERIFY_UNCHANGED(before, t.folder().path());

        // Repaired, the next click builds.
        if (faulty)
            faulty->repair();
        else
            QVERIFY(writeAll(ogg, makeOggSine(880.0, 0.3)));
        QTest::mouseClick(w.Command5(), Qt::LeftButton);
        QVERIFY_LOGGED(w.logLines().mid(lines), QStringLiteral("Done"));
        QCOMPARE(w.Text1(30)->text(), QStringLiteral("Sound 01"));
        t.f.close();
    }

    // Load1 and Command7: the chosen navigator file vanishes after the click; Modified/ is a
    // file at the save.
    void navigatorRowSurvivesVanishedFilesAndAnUnusableModifiedFolder()
    {
        TamperFixture t;
        const QString chosen = t.folder().file(QStringLiteral("device/TomTom.exe"));
        const QString other = t.folder().file(QStringLiteral("device2/TomTom.exe"));
        QVERIFY(writeAll(chosen, makeNavigatorFile(4)));
        QVERIFY(writeAll(other, makeNavigatorFile(10)));
        frmmemory& w = t.open();
        t.dialogs.answers << chosen;
        QTest::mouseClick(w.Load1(), Qt::LeftButton);
        QVERIFY(w.Command7()->isVisible());
        const QString caption = w.Label1()->text();
        const QString working = w.Text3()->text();
        QTest::mouseClick(w.Command7(), Qt::LeftButton);
        const QString ini = t.folder().path() + QStringLiteral("Tollvik.ini");
        QVERIFY(QFile::exists(t.folder().modified(QStringLiteral("TomTom.exe"))));

        // The other file vanishes between the dialog and the read.
        t.dialogs.answers << other;
        t.dialogs.afterAnswer = [&] {
            QFile::remove(other);
        };
        QTest::mouseClick(w.Load1(), Qt::LeftButton);
        QVERIFY_LAST_LINE(w, QStringLiteral("Cannot read the TTN file "));
        QCOMPARE(w.Label1()->text(), caption);
        QCOMPARE(w.Text3()->text(), working);

        // The save with Modified/ replaced by a file.
        w.Text1(0)->setText(QStringLiteral("Changed text"));
        ScopedFolderFault faulty(t.folder().modified(), FolderFault::ReplacedByFile);
        QVERIFY2(faulty.unavailable().isEmpty(), qPrintable(faulty.unavailable()));
        const FolderSnapshot before = snapshot(t.folder().path());
        const qsizetype lines = w.logLines().size();
        QTest::mouseClick(w.Command7(), Qt::LeftButton);
        const QStringList added = w.logLines().mid(lines);
        QVERIFY_LOGGED(added, QStringLiteral("....Could not save"));
        QVERIFY_UNCHANGED(before, t.folder().path());
        QCOMPARE(w.Text3()->text(), working);
        QVERIFY(QFile::exists(ini));

        // Repaired, the same click saves.
        faulty.repair();
        QTest::mouseClick(w.Command7(), Qt::LeftButton);
        QVERIFY(QFile::exists(t.folder().modified(QStringLiteral("TomTom.exe"))));
        t.f.close();
    }

    // A Temp/ that is a file at start-up: the window says so, and a load says why it fails.
    void startUpWithTempReplacedByAFile()
    {
        TamperFixture t;
        const QString chosen = t.folder().file(QStringLiteral("device/voice.chk"));
        QVERIFY(writeAll(chosen, makeChk(40).bytes()));
        ScopedFolderFault faulty(t.folder().temp(), FolderFault::ReplacedByFile);
        QVERIFY2(faulty.unavailable().isEmpty(), qPrintable(faulty.unavailable()));
        frmmemory& w = t.open();
        QVERIFY_LOGGED(w.logLines(), QStringLiteral("is a file, not a folder"));
        const FolderSnapshot before = snapshot(t.folder().path());
        t.dialogs.answers << chosen;
        QTest::mouseClick(w.Load2(), Qt::LeftButton);
        QVERIFY_LAST_LINE(w, QStringLiteral("Problem loading file: "));
        QVERIFY(!w.archiveLoaded());
        QVERIFY(w.Text2()->text().isEmpty());
        QVERIFY_UNCHANGED(before, t.folder().path());
        t.f.close();
    }
};

TOLLVIK_FAULT_TEST_MAIN(WindowFaultTest, QApplication)
#include "test_faults_window.moc"
