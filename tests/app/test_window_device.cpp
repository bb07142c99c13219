// The device round trip through the window: both files loaded from a device's folder, the
// results written back over the originals with backups, refused writes that change nothing,
// and the folders the file dialogs remember.
#include "chkfactory.h"
#include "device/device.h"
#include "fatimage.h"
#include "navigatorfiles.h"
#include "windowfixture.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QLabel>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QTest>
#include <QTimer>

using namespace tollvik;
using namespace tollvik::test;
using namespace Qt::StringLiterals;

namespace {

constexpr int kBuild = 5; // TomTom GO 5.2
constexpr qint64 kImageBytes = qint64(16) << 20;

#define REQUIRE_FAT()                                                                              \
    do {                                                                                           \
        if (const QString why = FatImage::unavailable(); !why.isEmpty())                           \
            QSKIP(qPrintable(why));                                                                \
    } while (false)

// A navigator's storage: the main executable at the top, two voices below, other files beside.
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

// The context menu a row's widget opens, as a right click opens it.
QMenu* menuOf(QWidget* widget)
{
    Q_EMIT widget->customContextMenuRequested(QPoint(1, 1));
    return qobject_cast<QMenu*>(QApplication::activePopupWidget());
}

QAction* actionOf(QMenu* menu, const QString& text)
{
    for (QAction* action : menu->actions()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

// Triggers the item when it is enabled; true when it was.
bool trigger(QWidget* widget, const QString& text)
{
    QMenu* menu = menuOf(widget);
    if (!menu)
        return false;
    QAction* action = actionOf(menu, text);
    const bool enabled = action && action->isEnabled();
    menu->close();
    if (enabled)
        action->trigger();
    return enabled;
}

const QString kLoad = u"Load from a device\u2026"_s;
const QString kWrite = u"Write to the device\u2026"_s;
const QString kRestore = u"Restore the original\u2026"_s;

// Loads from `folder` through the menu and waits for the search to end.
bool loadFromDevice(WindowFixture& f, QWidget* widget, const QString& folder)
{
    f.dialogs.answers << folder;
    const qsizetype lines = logLines(*f.window).size();
    if (!trigger(widget, kLoad))
        return false;
    return QTest::qWaitFor(
        [&] { return logLines(*f.window).size() > lines && !QApplication::overrideCursor(); });
}

// Every file below `root`, by its path below root, with its bytes.
QMap<QString, QByteArray> treeOf(const QString& root)
{
    QMap<QString, QByteArray> files;
    QDirIterator it(root, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString path = it.next();
        files.insert(QDir(root).relativeFilePath(path), readAll(path));
    }
    return files;
}

// The log with the fixture's program folder written as "<program>/".
QStringList inProgramFolder(const WindowFixture& f)
{
    return logLines(*f.window).replaceInStrings(f.folder.path(), u"<program>/"_s);
}

// A new menu text saved into the navigator file, a new sound for slot 4 built into the archive.
void saveAndBuild(WindowFixture& f, const QString& sound)
{
    frmmemory& w = *f.window;
    w.Text1(3)->setText(u"Camera 40"_s);
    QTest::mouseClick(w.Command7(), Qt::LeftButton);
    w.Text1(34)->setFocus();
    f.dialogs.answers << sound;
    QTest::mouseClick(w.Command3(4), Qt::LeftButton);
    QTest::mouseClick(w.Command5(), Qt::LeftButton);
}

} // namespace

class WindowDeviceTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { configureApplication(*qApp); }

    void menuItemsInOrderOnBothRows()
    {
        WindowFixture f;
        f.open();
        frmmemory& w = *f.window;
        for (QWidget* widget :
             {static_cast<QWidget*>(w.Load1()), static_cast<QWidget*>(w.Text3()),
              static_cast<QWidget*>(w.Load2()), static_cast<QWidget*>(w.Text2())}) {
            QMenu* menu = menuOf(widget);
            QVERIFY(menu);
            QStringList texts;
            for (const QAction* action : menu->actions())
                texts << action->text() + (action->isEnabled() ? u""_s : u" (off)"_s);
            menu->close();
            QCOMPARE(texts, QStringList({kLoad, kWrite + u" (off)"_s, kRestore + u" (off)"_s}));
        }
        f.close();
    }

    // Both files load through exactly the lines of Load1 and Load2 with the found paths.
    void loadsBothFoundFilesAsTheLoadButtonsDo()
    {
        QTemporaryDir device;
        const DeviceFiles files;
        QVERIFY(files.writeInto(device.path(), false));
        WindowFixture byButtons;
        byButtons.open();
        byButtons.dialogs.answers << device.path() + u"/ttn"_s
                                  << device.path() + u"/voices/data0.chk"_s;
        QTest::mouseClick(byButtons.window->Load1(), Qt::LeftButton);
        QTest::mouseClick(byButtons.window->Load2(), Qt::LeftButton);

        WindowFixture f;
        f.open();
        QVERIFY(loadFromDevice(f, f.window->Text2(), device.path()));
        QCOMPARE(f.dialogs.requests.size(), 1);
        QCOMPARE(f.dialogs.requests[0].kind, FileDialogRequest::Kind::Folder);
        QCOMPARE(f.dialogs.requests[0].initialDir,
                 QDir::toNativeSeparators(device::deviceStartFolder()));
        QCOMPARE(f.dialogs.requests[0].sideBar, device::deviceVolumes());
        QCOMPARE(f.lists.size(), 0); // one of each: no list
        QCOMPARE(inProgramFolder(f), inProgramFolder(byButtons));
        QCOMPARE(f.window->Label1()->text(), byButtons.window->Label1()->text());
        QCOMPARE(f.window->Text2()->text(), f.folder.temp(u"data0.chk"_s));
        QCOMPARE(f.window->Text1(30)->text(), u"Sound 01"_s);
        f.close();
        byButtons.close();
    }

    // None picked from the list of archives: the navigator file still loads, no archive does.
    void noneChosenAmongSeveralLoadsOnlyTheOtherKind()
    {
        QTemporaryDir device;
        const DeviceFiles files;
        QVERIFY(files.writeInto(device.path()));
        WindowFixture f;
        f.open();
        QVERIFY(loadFromDevice(f, f.window->Load2(), device.path()));
        QCOMPARE(f.lists.size(), 1);
        QCOMPARE(f.lists[0].size(), 2);
        QVERIFY(f.window->Command7()->isVisible());
        QVERIFY(!f.window->Command5()->isVisible());
        QVERIFY(f.window->Text2()->text().isEmpty());
        f.close();
    }

    void nothingFoundIsOneLineNamingTheFolder()
    {
        QTemporaryDir device;
        QVERIFY(writeAll(device.path() + u"/maps/readme.txt"_s, "no navigator here"));
        WindowFixture f;
        f.open();
        const QStringList before = logLines(*f.window);
        QVERIFY(loadFromDevice(f, f.window->Load1(), device.path()));
        QCOMPARE(logLines(*f.window), before + QStringList{u"No navigator file or sound archive "
                                                           "found in "_s +
                                                           device.path()});
        QVERIFY(!f.window->Command7()->isVisible() && !f.window->Command5()->isVisible());
        // A cancelled folder chooser searches nothing.
        f.dialogs.answers << QString();
        QVERIFY(trigger(f.window->Load1(), kLoad));
        QVERIFY(QTest::qWaitFor(
            [&] { return f.dialogs.requests.size() == 2 && !QApplication::overrideCursor(); }));
        QTest::qWait(20);
        QCOMPARE(logLines(*f.window).size(), before.size() + 1);
        f.close();
    }

    // A folder dropped on a row is searched as the menu's folder is.
    void droppedFolderLoadsWhatItHolds()
    {
        QTemporaryDir device;
        const DeviceFiles files;
        QVERIFY(files.writeInto(device.path(), false));
        WindowFixture f;
        f.open();
        frmmemory& w = *f.window;
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(device.path())});
        QDragEnterEvent enter(QPoint(2, 2), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w.Text3(), &enter);
        QDropEvent drop(QPointF(2, 2), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(w.Text3(), &drop);
        QVERIFY(QTest::qWaitFor([&] { return w.Command5()->isVisible(); }));
        QCOMPARE(w.Label1()->text(), QString::fromLatin1(expectedBuild(kBuild).caption));
        f.close();
    }

    // The whole round trip on a FAT file system: load (the list answered), save, build, write
    // both back, then restore.
    void roundTripOnAFatDevice()
    {
        REQUIRE_FAT();
        FatImage fat(kImageBytes);
        QVERIFY(fat.made() && fat.mount());
        const DeviceFiles files;
        QVERIFY(files.writeInto(fat.root()));
        QTemporaryDir sounds;
        const QString sound = sounds.path() + u"/radar.ogg"_s;
        QVERIFY(writeAll(sound, makeOggSine(880.0, 0.3)));
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
        QCOMPARE(f.lists[0][1][0], u"voices/Dutch/data1.chk"_s);
        QCOMPARE(w.Text2()->text(), f.folder.temp(u"data1.chk"_s));
        QVERIFY(w.Command7()->isVisible());

        saveAndBuild(f, sound);
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
        QCOMPARE(readAll(fat.file(u"ttn"_s)), patched);
        QCOMPARE(readAll(fat.file(u"voices/Dutch/data1.chk"_s)), built);
        QCOMPARE(readAll(fat.file(u"voices/data0.chk"_s)), files.voice);
        const QString backups = device::backupRootOf(f.folder.path());
        QCOMPARE(readAll(device::newestBackup(fat.file(u"ttn"_s), backups)), files.navigator);
        QCOMPARE(readAll(device::newestBackup(fat.file(u"voices/Dutch/data1.chk"_s), backups)),
                 files.dutch);
        for (const QString& name : treeOf(fat.root()).keys())
            QVERIFY2(!name.endsWith(u".tollvik-part"_s), qPrintable(name));

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
        FatImage fat(kImageBytes);
        QVERIFY(fat.made() && fat.mount());
        const DeviceFiles files;
        QVERIFY(files.writeInto(fat.root(), false));
        QTemporaryDir sounds;
        const QString sound = sounds.path() + u"/radar.ogg"_s;
        QVERIFY(writeAll(sound, makeOggSine(880.0, 0.3)));
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
        if (fault == u"read-only"_s) {
            saveAndBuild(f, sound);
            QVERIFY(fat.unmount() && fat.mount(false));
        } else if (fault == u"vanished"_s) {
            saveAndBuild(f, sound);
            QVERIFY(QFile::remove(fat.file(u"ttn"_s)));
        }
        const QMap<QString, QByteArray> device = treeOf(fat.root());
        const QMap<QString, QByteArray> program = treeOf(f.folder.path());

        const bool offered = trigger(w.Text3(), kWrite);
        QCOMPARE(offered, fault == u"read-only"_s); // the others are not offered
        if (offered)
            QCOMPARE(f.beeps, 1);
        QCOMPARE(treeOf(fat.root()), device);
        QMap<QString, QByteArray> programAfter = treeOf(f.folder.path());
        programAfter.remove(u"Tollvik.ini"_s);
        QMap<QString, QByteArray> programBefore = program;
        programBefore.remove(u"Tollvik.ini"_s);
        QCOMPARE(programAfter.keys(), programBefore.keys()); // no backup left behind
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
        f.dialogs.answers << QString(); // cancelled: nothing remembered
        QTest::mouseClick(w.Load1(), Qt::LeftButton);
        QCOMPARE(readAll(ini), firstStart);
        QCOMPARE(f.dialogs.requests.constLast().initialDir, QString());

        f.dialogs.answers << first;
        QTest::mouseClick(w.Load1(), Qt::LeftButton);
        QVERIFY(readAll(ini).startsWith(firstStart));
        QVERIFY(readAll(ini).contains(
            "[RecentFolders]\r\nNavigator=" + QFile::encodeName(elsewhere.path()) + "/a\r\n"));
        const QDateTime past = QDateTime::currentDateTime().addDays(-3);
        const auto stamp = [&] {
            QFile file(ini);
            return file.open(QIODevice::ReadWrite) &&
                   file.setFileTime(past, QFileDevice::FileModificationTime);
        };
        QVERIFY(stamp());

        f.dialogs.answers << first; // the same folder again: the file is not rewritten
        QTest::mouseClick(w.Load1(), Qt::LeftButton);
        QCOMPARE(f.dialogs.requests.constLast().fileName, u"*.*"_s);
        QCOMPARE(f.dialogs.requests.constLast().initialDir, elsewhere.path() + u"/a"_s);
        QCOMPARE(QFileInfo(ini).lastModified(), past);
        // The archive's Load has a folder of its own.
        f.dialogs.answers << QString();
        QTest::mouseClick(w.Load2(), Qt::LeftButton);
        QCOMPARE(f.dialogs.requests.constLast().initialDir, QString());

        f.dialogs.answers << second;
        QTest::mouseClick(w.Load1(), Qt::LeftButton);
        QVERIFY(QFileInfo(ini).lastModified() != past);
        f.dialogs.answers << QString();
        QTest::mouseClick(w.Load1(), Qt::LeftButton);
        QCOMPARE(f.dialogs.requests.constLast().initialDir, elsewhere.path() + u"/b"_s);
        QCOMPARE(f.dialogs.requests.constLast().sideBar, device::deviceVolumes());
        f.close();
    }

    // A slot's "..." and "S" start in the program folder until a file of their kind has been
    // chosen elsewhere; a name the box already holds is kept.
    void slotDialogsMoveIntoTheFolderLastUsed()
    {
        QTemporaryDir elsewhere;
        const QString chk = elsewhere.path() + u"/data.chk"_s;
        const QString radar = elsewhere.path() + u"/in/radar.ogg"_s;
        const QString exported = elsewhere.path() + u"/out/Sound 01.ogg"_s;
        QVERIFY(writeAll(chk, makeChk(200).bytes()) && writeAll(radar, makeOggSine(880.0, 0.3)));
        QVERIFY(QDir().mkpath(elsewhere.path() + u"/out"_s));
        WindowFixture f;
        f.open();
        frmmemory& w = *f.window;
        f.dialogs.answers << chk;
        QTest::mouseClick(w.Load2(), Qt::LeftButton);

        w.Text1(30)->setFocus();
        f.dialogs.answers << exported;
        QTest::mouseClick(w.Command4(0), Qt::LeftButton);
        QCOMPARE(f.dialogs.requests.constLast().fileName, f.folder.file(u"Sound 01.ogg"_s));
        f.dialogs.answers << QString();
        QTest::mouseClick(w.Command4(0), Qt::LeftButton);
        QCOMPARE(f.dialogs.requests.constLast().fileName, exported);

        w.Text1(31)->setFocus();
        f.dialogs.answers << radar;
        QTest::mouseClick(w.Command3(1), Qt::LeftButton);
        QCOMPARE(f.dialogs.requests.constLast().fileName, f.folder.path() + u"*.ogg"_s);
        w.Text1(32)->setFocus();
        f.dialogs.answers << QString();
        QTest::mouseClick(w.Command3(2), Qt::LeftButton);
        QCOMPARE(f.dialogs.requests.constLast().fileName, elsewhere.path() + u"/in/*.ogg"_s);
        f.dialogs.answers << QString(); // slot 1's box holds the file: its name is kept
        w.Text1(31)->setFocus();
        QTest::mouseClick(w.Command3(1), Qt::LeftButton);
        QCOMPARE(f.dialogs.requests.constLast().fileName, radar);
        f.close();
    }
};

QTEST_MAIN(WindowDeviceTest)
#include "test_window_device.moc"
