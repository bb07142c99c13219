// The real window driven end to end: navigator load, edit and save; archive load, import,
// export and build; the information labels and the focus. Dialogs are answered by a script.
#include "chkfactory.h"
#include "navigatorfiles.h"
#include "windowfixture.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace tollvik;
using tollvik::test::WindowFixture;
using namespace Qt::StringLiterals;

class WindowTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { configureApplication(*qApp); }

    void navigatorLoadEditAndSaveThroughTheWindow()
    {
        WindowFixture f;
        const QString chosen = f.folder.file(u"device/ttn"_s);
        const QByteArray original = test::makeNavigatorFile(13);
        QVERIFY(test::writeAll(chosen, original));
        f.open();
        frmmemory& w = *f.window;

        f.click(w.Load1(), chosen);
        QCOMPARE(f.dialogs.requests[0].owner, &w);
        QCOMPARE(w.Label1()->text(), u"TomTom GO 5.4 loaded."_s);
        QVERIFY(w.Label1()->isVisible() && w.Image2()->isVisible() && !w.Image3()->isVisible());
        const QString working = f.folder.temp(u"ttn"_s);
        QCOMPARE(w.Text3()->text(), working);

        w.Text1(19)->setFocus();
        QTest::keyClicks(w.Text1(19), u"Caf"_s);
        w.Text1(19)->insert(u"é €"_s);
        w.Text1(2)->clear();
        QTest::mouseClick(w.Command7(), Qt::LeftButton);

        std::array<QString, kSlotCount> texts;
        for (int i = 0; i < kSlotCount; ++i)
            texts[static_cast<std::size_t>(i)] = w.Text1(i)->text();
        QCOMPARE(texts[19], u"Café €"_s);
        const QByteArray expected = test::expectedPatch(original, test::expectedBuild(13), texts);
        QCOMPARE(test::readAll(f.folder.modified(u"ttn"_s)), expected);
        const QByteArray ini = test::readAll(f.folder.file(u"Tollvik.ini"_s));
        QVERIFY(ini.contains("\r\nItem20=Caf\xE9 \x80\r\n"));
        QVERIFY(ini.contains("\r\nItem03=\r\n"));

        // A refused load keeps everything: the same file by another route.
        f.click(w.Load1(), f.folder.path() + u"Modified/../Temp/ttn"_s);
        QCOMPARE(f.beeps, 1);
        QCOMPARE(test::logLines(w).constLast(),
                 u"Connot load file from the working Temp directory!"_s);
        f.close();
    }

    void archiveLoadImportExportAndBuildThroughTheWindow()
    {
        WindowFixture f;
        const test::ChkArchive archive = test::makeChk(200);
        const QString chosen = f.folder.file(u"device/data.chk"_s);
        const QByteArray radar = test::makeOggSine(880.0, 0.3);
        const QString radarPath = f.folder.file(u"sounds/radar.ogg"_s);
        QVERIFY(test::writeAll(radarPath, radar));
        f.open();
        frmmemory& w = *f.window;

        f.loadArchive(archive.bytes(), u"device/data.chk"_s);
        QCOMPARE(f.dialogs.requests.last().fileName, u"*.chk"_s);
        const QString working = f.folder.temp(u"data.chk"_s);
        QCOMPARE(w.Text2()->text(), working);
        QCOMPARE(w.Text1(30)->text(), u"Sound 01"_s);
        QCOMPARE(w.Text1(59)->text(), u"Sound 30"_s);
        // Slot 0 is highlighted: its three buttons appear with the listing.
        QVERIFY(w.Command1(0)->isVisible() && w.Command3(0)->isVisible() &&
                w.Command4(0)->isVisible());
        QCOMPARE(test::logLines(w).size(), 1 + 4 + 31);

        // Import into slot 4.
        w.Text1(34)->setFocus();
        QCOMPARE(test::highlightedSlot(w), 4);
        QVERIFY(!w.Command1(0)->isVisible());
        f.click(w.Command3(4), radarPath);
        QCOMPARE(f.dialogs.requests.last().fileName, f.folder.path() + u"*.ogg"_s);
        QCOMPARE(w.Text1(34)->text(), radarPath);
        QVERIFY(!w.Command4(4)->isVisible() && w.Command3(4)->isVisible());
        QCOMPARE(test::logLines(w).constLast(), u"Load "_s + radarPath + u" to position 5"_s);
        // A second import opens on the chosen file, another slot's in its folder; the export
        // starts in the program folder until a sound was exported elsewhere.
        f.click(w.Command3(4), QString());
        QCOMPARE(f.dialogs.requests.last().fileName, radarPath);
        w.Text1(35)->setFocus();
        f.click(w.Command3(5), QString());
        QCOMPARE(f.dialogs.requests.last().fileName, f.folder.file(u"sounds/*.ogg"_s));

        // Export slot 0 over a longer file.
        w.Text1(0)->setFocus();
        const QString exported = f.folder.file(u"out/Sound 01.ogg"_s);
        QVERIFY(test::writeAll(exported, QByteArray(400000, 'x')));
        f.click(w.Command4(0), exported);
        QCOMPARE(f.dialogs.requests.last().kind, FileDialogRequest::Kind::Save);
        QCOMPARE(f.dialogs.requests.last().fileName, f.folder.file(u"Sound 01.ogg"_s));
        w.Text1(1)->setFocus();
        f.click(w.Command4(1), QString());
        QCOMPARE(f.dialogs.requests.last().fileName, f.folder.file(u"out/Sound 02.ogg"_s));
        const QByteArray sound0 =
            archive.entries[169].mid(16, test::be32(archive.entries[169], 12));
        QCOMPARE(test::readAll(exported), sound0);

        // Build: the output carries the imported sound in slot 4's entry (entry 174).
        QTest::mouseClick(w.Command5(), Qt::LeftButton);
        test::ChkArchive expected = archive;
        expected.entries[173] = test::slotEntry(radar);
        QCOMPARE(test::readAll(f.folder.modified(u"data.chk"_s)), expected.bytes());
        QCOMPARE(w.Text1(34)->text(), u"Sound 05"_s);
        QVERIFY(test::logLines(w).contains(u"....Including "_s + radarPath + u" for Gatso 50"_s));
        // Loading the working copy itself is refused with a beep; the archive stays listed.
        f.click(w.Load2(), working);
        QCOMPARE(f.beeps, 1);
        f.close();
        // Shutdown removes the archive working copy data.chk, whatever its letter case.
        QVERIFY(!QFile::exists(working));
        QVERIFY(QFile::exists(f.folder.modified(u"data.chk"_s)));
        QCOMPARE(test::readAll(chosen), archive.bytes());
    }

    void typedMenuTextsSurviveAClose_data()
    {
        QTest::addColumn<QString>("typed"); // into slot 19; slot 2 is cleared as well
        QTest::addColumn<bool>("kept");
        QTest::newRow("typed without a navigator file") << u"Caf\u00e9 \u20ac"_s << true;
        QTest::newRow("nothing typed") << QString() << false;
        // Windows-1252 has no such characters: the file is left as it was, with a line.
        QTest::newRow("a text the file cannot hold") << u"\u65e5\u672c"_s << false;
    }
    void typedMenuTextsSurviveAClose()
    {
        QFETCH(QString, typed);
        QFETCH(bool, kept);
        WindowFixture f;
        f.open();
        const QString ini = f.folder.file(u"Tollvik.ini"_s);
        const QByteArray before = test::readAll(ini);
        QVERIFY(before.contains("\r\nItem03=Gatso 30\r\n"));
        if (!typed.isEmpty()) {
            f.window->Text1(19)->setText(typed);
            f.window->Text1(2)->clear();
        }
        f.close();
        QCOMPARE(test::readAll(ini) != before, kept);
        if (!typed.isEmpty() && !kept)
            QVERIFY(test::logLines(*f.window).constLast().contains(u"Tollvik.ini"_s));
        f.open();
        QCOMPARE(f.window->Text1(19)->text(), kept ? typed : QString());
        QCOMPARE(f.window->Text1(2)->text(), kept ? QString() : u"Gatso 30"_s);
        f.close();
    }

    // A write cut short by a kill leaves its temporary file beside the result; the next start
    // removes those of the file layer that are stale, and nothing else.
    void startUpRemovesWhatAKilledWriteLeft()
    {
        WindowFixture f;
        const QDateTime old = QDateTime::currentDateTime().addSecs(-120);
        const QStringList stale{f.folder.temp(u".tollvik-alerts-partial-a1B2c3"_s),
                                f.folder.modified(u".tollvik-alerts-partial-Zz0099"_s)};
        const QStringList kept{f.folder.temp(u".tollvik-alerts-partial-long-one"_s),
                               f.folder.modified(u"notes.txt"_s),
                               f.folder.modified(u".tollvik-alerts-partial-fresh1"_s)};
        for (const QString& path : stale + kept) {
            QFile file(path);
            QVERIFY(test::writeAll(path, "partial") && file.open(QIODevice::ReadWrite));
            QVERIFY(path.endsWith(u"fresh1"_s) ||
                    file.setFileTime(old, QFileDevice::FileModificationTime));
        }
        f.open();
        for (const QString& path : stale + kept)
            QVERIFY2(QFileInfo::exists(path) == kept.contains(path), qPrintable(path));
        f.close();
    }

    void figuresStayWhenTheFocusOnlyReturnsToASlot()
    {
        WindowFixture f;
        f.open();
        frmmemory& w = *f.window;
        const auto focusIn = [&](int box, Qt::FocusReason reason) {
            QFocusEvent event(QEvent::FocusIn, reason);
            QApplication::sendEvent(w.Text1(box), &event);
        };
        w.Label3(0)->setText(u"Duration: 1.0 seconds / 00:00:01"_s);
        focusIn(33, Qt::ActiveWindowFocusReason);
        focusIn(33, Qt::PopupFocusReason);
        QCOMPARE(w.Label3(0)->text(), u"Duration: 1.0 seconds / 00:00:01"_s);
        QCOMPARE(test::highlightedSlot(w), 3);
        focusIn(4, Qt::TabFocusReason);
        QCOMPARE(w.Label3(0)->text(), QString());
        QCOMPARE(test::highlightedSlot(w), 4);
        // The boxes' panels are drawn once and copied: the very pixels Fusion itself draws, for
        // the box with the focus and the highlighted slot as well.
        w.Text1(34)->setFocus();
        const QImage copied = w.grab().toImage();
        QApplication::setStyle(u"Fusion"_s);
        QCOMPARE(w.grab().toImage(), copied);
        configureApplication(*qApp);
    }
};

QTEST_MAIN(WindowTest)
#include "test_window.moc"
