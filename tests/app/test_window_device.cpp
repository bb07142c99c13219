// The device round trip through the window: both files loaded from a device's folder, the
// results written back over the originals with backups, refused writes that change nothing,
// and the folders the file dialogs remember.
#include "chkfactory.h"
#include "device/device.h"
#include "fatimage.h"
#include "navigatorfiles.h"
#include "windowfixture.h"

#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTest>

using namespace tollvik;
using namespace tollvik::test;
using namespace Qt::StringLiterals;

namespace {

constexpr int kBuild = 5; // TomTom GO 5.2
const QString kLoad = u"Load from a device\u2026"_s;
const QString kWrite = u"Write to the device\u2026"_s;
const QString kRestore = u"Restore the original\u2026"_s;

#define REQUIRE_FAT()                                                                              \
    if (const QString why = FatImage::unavailable(); !why.isEmpty())                               \
    QSKIP(qPrintable(why))

// A navigator's storage: the main executable at the top, one or two voices below, a text beside.
struct DeviceFiles
{
    QByteArray navigator = makeNavigatorFile(kBuild);
    QByteArray voice = makeChk(200).bytes();
    QByteArray dutch = makeChk(210).bytes();

    [[nodiscard]] bool writeInto(const QString& root, bool bothVoices = true) const
    {
        return writeAll(root + u"/ttn"_s, navigator) &&
               writeAll(root + u"/voices/data0.chk"_s, voice) &&
               (!bothVoices || writeAll(root + u"/voices/Dutch/data1.chk"_s, dutch)) &&
               writeAll(root + u"/voices/readme.txt"_s, "not an archive");
    }
};

// Loads from `folder` through the menu and waits for the search to end.
bool loadFromDevice(WindowFixture& f, QWidget* widget, const QString& folder)
{
    f.dialogs.answers << folder;
    const qsizetype lines = logLines(*f.window).size();
    return trigger(widget, kLoad) && QTest::qWaitFor([&] {
               return logLines(*f.window).size() > lines && !QApplication::overrideCursor();
           });
}

// A new menu text saved into the navigator file, a new sound for slot 4 built into the archive.
void saveAndBuild(WindowFixture& f)
{
    frmmemory& w = *f.window;
    const QString sound = f.folder.file(u"sounds/radar.ogg"_s);
    QVERIFY(writeAll(sound, makeOggSine(880.0, 0.3)));
    w.Text1(3)->setText(u"Camera 40"_s);
    QTest::mouseClick(w.Command7(), Qt::LeftButton);
    w.Text1(34)->setFocus();
    f.click(w.Command3(4), sound);
    QTest::mouseClick(w.Command5(), Qt::LeftButton);
}

} // namespace

class WindowDeviceTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { configureApplication(*qApp); }

    void searchLoadsWhatItFinds_data()
    {
        QTest::addColumn<int>("voices");   // archives on the device; none chosen from a list
        QTest::addColumn<bool>("dropped"); // the folder dropped on the row, not chosen
        QTest::addColumn<bool>("navigator");
        QTest::addColumn<bool>("archive");
        QTest::newRow("nothing there") << 0 << false << false << false;
        QTest::newRow("several, none chosen") << 2 << false << true << false;
        QTest::newRow("one of each, dropped") << 1 << true << true << true;
    }
    void searchLoadsWhatItFinds()
    {
        QFETCH(int, voices);
        QFETCH(bool, dropped);
        QFETCH(bool, navigator);
        QFETCH(bool, archive);
        QTemporaryDir device;
        QVERIFY(voices == 0 ? writeAll(device.path() + u"/maps/readme.txt"_s, "none")
                            : DeviceFiles().writeInto(device.path(), voices == 2));
        WindowFixture f;
        f.open();
        frmmemory& w = *f.window;
        const QStringList before = logLines(w);
        if (dropped) {
            drop(w.Text3(), device.path());
            QVERIFY(QTest::qWaitFor([&] { return w.Command5()->isVisible(); }));
        } else {
            QVERIFY(loadFromDevice(f, w.Load2(), device.path()));
            QCOMPARE(f.dialogs.requests[0].kind, FileDialogRequest::Kind::Folder);
            QCOMPARE(f.dialogs.requests[0].initialDir,
                     QDir::toNativeSeparators(device::deviceStartFolder()));
            QCOMPARE(f.dialogs.requests[0].sideBar, device::deviceVolumes());
        }
        QCOMPARE(f.lists.size(), voices == 2 ? 1 : 0);
        QCOMPARE(w.Command7()->isVisible(), navigator);
        QCOMPARE(w.Command5()->isVisible(), archive);
        QVERIFY(!trigger(w.Load1(), kRestore)); // no backup yet
        if (navigator)
            QCOMPARE(w.Label1()->text(), QString::fromLatin1(expectedBuild(kBuild).caption));
        if (archive)
            QCOMPARE(w.Text2()->text(), f.folder.temp(u"data0.chk"_s));
        if (voices == 0)
            QCOMPARE(logLines(w), before + QStringList{u"No navigator file or sound archive "
                                                       "found in "_s +
                                                       device.path()});
        f.close();
    }

    // The whole round trip on a FAT file system: load (the list answered), save, build, write
    // both back, then restore.
    void roundTripOnAFatDevice()
    {
        REQUIRE_FAT();
        FatImage fat(qint64(16) << 20);
        QVERIFY(fat.made() && fat.mount());
        const DeviceFiles files;
        QVERIFY(files.writeInto(fat.root()));
        WindowFixture f;
        f.listAnswers << 1; // voices/Dutch/data1.chk
        f.open();
        frmmemory& w = *f.window;
        QVERIFY(loadFromDevice(f, w.Load2(), fat.root()));
        QCOMPARE(f.lists.size(), 1);
        QCOMPARE(f.lists[0].size(), 2);
        QCOMPARE(f.lists[0][0].mid(0, 3),
                 QStringList({u"voices/data0.chk"_s, u"200 entries"_s,
                              QLocale().toString(files.voice.size()) + u" bytes"_s}));
        QCOMPARE(w.Text2()->text(), f.folder.temp(u"data1.chk"_s));
        QVERIFY(w.Command7()->isVisible());

        saveAndBuild(f);
        const QByteArray patched = readAll(f.folder.modified(u"ttn"_s));
        const QByteArray built = readAll(f.folder.modified(u"data1.chk"_s));
        QVERIFY(!patched.isEmpty() && patched != files.navigator);
        QVERIFY(!built.isEmpty() && built != files.dutch);

        QVERIFY(trigger(w.Text3(), kWrite));
        QCOMPARE(f.questions.constLast(),
                 u"Replace "_s + fat.file(u"ttn"_s) + u" with the patched copy "_s +
                     f.folder.modified(u"ttn"_s) + u"? The original is kept in Backup/."_s);
        QVERIFY(trigger(w.Load2(), kWrite));
        QCOMPARE(f.beeps, 0);
        QMap<QString, QByteArray> expected{{u"ttn"_s, patched},
                                           {u"voices/data0.chk"_s, files.voice},
                                           {u"voices/Dutch/data1.chk"_s, built},
                                           {u"voices/readme.txt"_s, "not an archive"},
                                           {u"voices"_s, "<folder>"},
                                           {u"voices/Dutch"_s, "<folder>"}};
        QCOMPARE(filesUnder(fat.root()), expected); // and no temporary file left
        const QString backups = device::backupRootOf(f.folder.path());
        QCOMPARE(readAll(device::newestBackup(fat.file(u"ttn"_s), backups)), files.navigator);
        QCOMPARE(readAll(device::newestBackup(fat.file(u"voices/Dutch/data1.chk"_s), backups)),
                 files.dutch);

        // Restoring asks first; No writes nothing, Yes puts the original back.
        f.confirmations = {false};
        QVERIFY(trigger(w.Text3(), kRestore));
        QCOMPARE(readAll(fat.file(u"ttn"_s)), patched);
        QVERIFY(trigger(w.Load1(), kRestore));
        QCOMPARE(readAll(fat.file(u"ttn"_s)), files.navigator);
        f.close();
        QVERIFY(fat.unmount());
        QCOMPARE(fat.fsckFaults(), QString());
    }

    void refusedWriteChangesNothing_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addRow("read-only mount") << u"read-only"_s;
        QTest::addRow("original vanished") << u"vanished"_s;
        QTest::addRow("result from before the load") << u"earlier result"_s;
    }
    void refusedWriteChangesNothing()
    {
        REQUIRE_FAT();
        QFETCH(QString, fault);
        FatImage fat(qint64(16) << 20);
        QVERIFY(fat.made() && fat.mount());
        QVERIFY(DeviceFiles().writeInto(fat.root(), false));
        WindowFixture f;
        f.open();
        frmmemory& w = *f.window;
        if (fault == u"earlier result"_s) { // another device's result, saved a day ago
            QFile earlier(f.folder.modified(u"ttn"_s));
            QVERIFY(earlier.open(QIODevice::WriteOnly) && earlier.write("patched elsewhere") &&
                    earlier.flush() &&
                    earlier.setFileTime(QDateTime::currentDateTime().addDays(-1),
                                        QFileDevice::FileModificationTime));
        }
        QVERIFY(loadFromDevice(f, w.Load1(), fat.root()));
        if (fault != u"earlier result"_s)
            saveAndBuild(f);
        if (fault == u"read-only"_s)
            QVERIFY(fat.unmount() && fat.mount(false));
        if (fault == u"vanished"_s)
            QVERIFY(QFile::remove(fat.file(u"ttn"_s)));
        const QMap<QString, QByteArray> device = filesUnder(fat.root());
        const QStringList program = filesUnder(f.folder.path()).keys();

        const bool offered = trigger(w.Text3(), kWrite);
        QCOMPARE(offered, fault == u"read-only"_s); // the others are not offered
        QCOMPARE(f.beeps, offered ? 1 : 0);
        QCOMPARE(filesUnder(fat.root()), device);
        QCOMPARE(filesUnder(f.folder.path()).keys(), program); // no backup left behind
        f.close();
        QVERIFY(fat.unmount());
        QCOMPARE(fat.fsckFaults(), QString());
    }

    // The Load dialogs open where the last file of their kind was chosen; the settings file is
    // rewritten only when a remembered folder changes.
    void fileDialogsOpenInTheFolderLastUsed()
    {
        QTemporaryDir elsewhere;
        const QString first = elsewhere.path() + u"/a/ttn"_s;
        const QString second = elsewhere.path() + u"/b/ttn"_s;
        QVERIFY(writeAll(first, makeNavigatorFile(kBuild)) &&
                writeAll(second, makeNavigatorFile(kBuild)));
        WindowFixture f;
        f.open();
        frmmemory& w = *f.window;
        const QString ini = f.folder.file(u"Tollvik.ini"_s);
        const QByteArray firstStart = readAll(ini);
        const auto load = [&](QPushButton* button, const QString& answer) {
            f.click(button, answer);
            return f.dialogs.requests.constLast().initialDir;
        };
        QCOMPARE(load(w.Load1(), QString()), QString()); // cancelled: nothing remembered
        QCOMPARE(readAll(ini), firstStart);
        load(w.Load1(), first);
        QVERIFY(readAll(ini).startsWith(firstStart));
        QVERIFY(readAll(ini).contains(
            "[RecentFolders]\r\nNavigator=" + QFile::encodeName(elsewhere.path()) + "/a\r\n"));
        const QDateTime past = QDateTime::currentDateTime().addDays(-3);
        QFile file(ini);
        QVERIFY(file.open(QIODevice::ReadWrite) &&
                file.setFileTime(past, QFileDevice::FileModificationTime));
        file.close();

        // The same folder again: the file is not rewritten.
        QCOMPARE(load(w.Load1(), first), elsewhere.path() + u"/a"_s);
        QCOMPARE(f.dialogs.requests.constLast().fileName, u"*.*"_s);
        QCOMPARE(QFileInfo(ini).lastModified(), past);
        QCOMPARE(load(w.Load2(), QString()), QString()); // the archive's Load has its own
        load(w.Load1(), second);
        QVERIFY(QFileInfo(ini).lastModified() != past);
        QCOMPARE(load(w.Load1(), QString()), elsewhere.path() + u"/b"_s);
        QCOMPARE(f.dialogs.requests.constLast().sideBar, device::deviceVolumes());
        f.close();
    }
};

QTEST_MAIN(WindowDeviceTest)
#include "test_window_device.moc"
