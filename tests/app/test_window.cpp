#include "app/module2.h"
#include "windowfixture.h"

#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

using namespace tollvik;
using tollvik::test::WindowFixture;

namespace {

QColor baseOf(const QWidget* w)
{
    return w->palette().color(QPalette::Base);
}
QColor textOf(const QWidget* w)
{
    return w->palette().color(QPalette::Text);
}

const QColor kDarkBlue(0x00, 0x00, 0xC0);
const QColor kYellow(0xFF, 0xFF, 0x00);
const QColor kLightGreen(0xC0, 0xFF, 0xC0);
const QColor kDarkGreen(0x00, 0x40, 0x00);
const QColor kLightYellow(0xFF, 0xFF, 0xC0);
const QColor kLightCyan(0xC0, 0xFF, 0xFF);

} // namespace

class WindowTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { configureApplication(*qApp); }

    void opensWithTitleSizeAndControlsInPlace()
    {
        WindowFixture f;
        f.open();
        frmmemory& w = *f.window;
        QCOMPARE(w.windowTitle(), QStringLiteral("Tollvik Alerts 1.0f"));
        QCOMPARE(w.size(), QSize(728, 601));
        QCOMPARE(w.palette().color(QPalette::Window), QColor(0xC0, 0x40, 0x00));
        QCOMPARE(w.Load2()->geometry(), QRect(620, 32, 53, 21));
        QCOMPARE(w.Text2()->geometry(), QRect(248, 32, 373, 19));
        QCOMPARE(w.Command5()->geometry(), QRect(88, 32, 161, 19));
        QCOMPARE(w.Load1()->geometry(), QRect(24, 440, 53, 17));
        QCOMPARE(w.Text3()->geometry(), QRect(80, 440, 377, 19));
        QCOMPARE(w.Command7()->geometry(), QRect(456, 440, 177, 21));
        QCOMPARE(w.Text4()->geometry(), QRect(12, 460, 405, 137));
        QCOMPARE(w.Frame1()->geometry(), QRect(420, 460, 305, 141));
        QCOMPARE(w.Label3(4)->geometry().top(), 24);
        QCOMPARE(w.Label3(0)->geometry().top(), 44);
        QCOMPARE(w.Label3(2)->geometry().top(), 104);
        QCOMPARE(w.Image2()->geometry(), QRect(168, 12, 130, 100));
        QCOMPARE(w.Image3()->geometry(), QRect(204, 12, 71, 121));
        QCOMPARE(w.Label1()->font().italic(), true);
        QCOMPARE(w.Label1()->font().pointSizeF(), 9.75);
        QCOMPARE(w.Load1()->font().pointSizeF(), 8.25);
        QCOMPARE(w.Load1()->text(), QStringLiteral("Load"));
        QCOMPARE(w.Command5()->text(), QStringLiteral("Build CUSTOM .Chk"));
        QCOMPARE(w.Command7()->text(), QStringLiteral("Save modified TTN file"));
        QCOMPARE(w.Label2(0)->text(), QStringLiteral("TTGO 5.201"));
        QCOMPARE(w.Label2(8)->text(), QStringLiteral("TTN 5.21a"));
        f.close();
    }

    void slotGridFollowsTheTwoColumnLayout_data()
    {
        QTest::addColumn<int>("slot");
        QTest::addColumn<int>("x0");
        QTest::addColumn<int>("top");
        QTest::newRow("slot 0") << 0 << 0 << 64;
        QTest::newRow("slot 14") << 14 << 0 << 400;
        QTest::newRow("slot 15") << 15 << 360 << 64;
        QTest::newRow("slot 29") << 29 << 360 << 400;
    }
    void slotGridFollowsTheTwoColumnLayout()
    {
        QFETCH(int, slot);
        QFETCH(int, x0);
        QFETCH(int, top);
        WindowFixture f;
        f.open();
        frmmemory& w = *f.window;
        QCOMPARE(w.Text1(slot)->geometry(), QRect(x0 + 8, top, 167, 19));
        QCOMPARE(w.Command1(slot)->geometry(), QRect(x0 + 180, top, 17, 17));
        QCOMPARE(w.Text1(slot + 30)->geometry(), QRect(x0 + 200, top, 120, 19));
        QCOMPARE(w.Command3(slot)->geometry(), QRect(x0 + 324, top, 20, 17));
        QCOMPARE(w.Command4(slot)->geometry(), QRect(x0 + 348, top, 17, 17));
        QCOMPARE(w.Command3(slot)->toolTip(), QStringLiteral("Get .Ogg file"));
        QCOMPARE(w.Command4(slot)->toolTip(), QStringLiteral("Save Sound as oGG"));
        QCOMPARE(w.Command4(slot)->text(), QStringLiteral("S"));
        QCOMPARE(w.Command3(slot)->text(), QStringLiteral("..."));
        QVERIFY(w.Text1(slot + 30)->isReadOnly());
        QCOMPARE(w.Text1(slot)->font().family(), QStringLiteral("Arial"));
        QCOMPARE(w.Text1(slot)->font().pointSizeF(), 9.0);
        QVERIFY(w.Text1(slot)->font().bold());
        f.close();
    }

    void startsWithDefaultsHiddenButtonsAndSlotZeroHighlighted()
    {
        WindowFixture f;
        f.open();
        frmmemory& w = *f.window;
        QCOMPARE(w.Text1(0)->text(), QStringLiteral("Gatso"));
        QCOMPARE(w.Text1(7)->text(), QStringLiteral("Gatso TBA"));
        QCOMPARE(w.Text1(18)->text(), QStringLiteral("Red light"));
        QCOMPARE(w.Text1(19)->text(), QString());
        QVERIFY(w.Text2()->text().isEmpty());
        QVERIFY(w.Text2()->isReadOnly() && w.Text3()->isReadOnly());
        QVERIFY(!w.Command5()->isVisible());
        QVERIFY(!w.Command7()->isVisible());
        QVERIFY(!w.Label1()->isVisible());
        QVERIFY(!w.Image2()->isVisible() && !w.Image3()->isVisible() && !w.Image4()->isVisible());
        for (int slot = 0; slot < 30; ++slot) {
            QVERIFY(!w.Command1(slot)->isVisible());
            QVERIFY(!w.Command3(slot)->isVisible());
            QVERIFY(!w.Command4(slot)->isVisible());
            QVERIFY(!w.Command1(slot)->icon().isNull());
        }
        QCOMPARE(w.HighlightedSlot(), qint16(0));
        QCOMPARE(baseOf(w.Text1(0)), kDarkBlue);
        QCOMPARE(textOf(w.Text1(0)), kYellow);
        QCOMPARE(baseOf(w.Text1(30)), kLightCyan);
        // Never highlighted: the left column in the system colour, the right one dark green.
        QCOMPARE(textOf(w.Text1(1)), QApplication::palette().color(QPalette::WindowText));
        QCOMPARE(textOf(w.Text1(16)), kDarkGreen);
        QCOMPARE(baseOf(w.Text1(31)), kLightYellow);
        QCOMPARE(textOf(w.Text1(31)), kDarkBlue);
        f.close();
    }

    void focusOnAnySlotBoxHighlightsItsSlot()
    {
        WindowFixture f;
        f.open();
        frmmemory& w = *f.window;
        w.Label3(0)->setText(QStringLiteral("Duration: 1.0 seconds"));
        w.Label3(4)->setText(QStringLiteral("File: x"));
        w.Text1(3)->setFocus();
        QCOMPARE(w.HighlightedSlot(), qint16(3));
        w.Text1(47)->setFocus();
        QCOMPARE(w.HighlightedSlot(), qint16(17));
        for (int i = 0; i < 5; ++i)
            QVERIFY(w.Label3(i)->text().isEmpty());
        QCOMPARE(baseOf(w.Text1(3)), kLightGreen);
        QCOMPARE(textOf(w.Text1(3)), kDarkGreen);
        QCOMPARE(baseOf(w.Text1(33)), kLightYellow);
        QCOMPARE(baseOf(w.Text1(17)), kDarkBlue);
        QCOMPARE(baseOf(w.Text1(47)), kLightCyan);
        // From a slot's menu box to its own sound box: still highlighted.
        w.Text1(17)->setFocus();
        w.Text1(47)->setFocus();
        QCOMPARE(baseOf(w.Text1(17)), kDarkBlue);
        f.close();
    }

    void tabOrderRunsThroughTheGridAsDesigned()
    {
        WindowFixture f;
        f.open();
        frmmemory& w = *f.window;
        QList<QWidget*> expected;
        for (int s = 0; s < 30; ++s)
            expected << w.Text1(s);
        for (int s = 0; s < 30; ++s)
            expected << w.Command1(s);
        expected << w.Text2();
        for (int s = 14; s >= 0; --s)
            expected << w.Text1(s + 30);
        for (int s = 29; s >= 15; --s)
            expected << w.Text1(s + 30);
        for (int s = 0; s < 30; ++s)
            expected << w.Command3(s);
        for (int s = 0; s < 30; ++s)
            expected << w.Command4(s);
        QWidget* current = w.Text1(0);
        for (qsizetype i = 1; i < expected.size(); ++i) {
            current = current->nextInFocusChain();
            QCOMPARE(current, expected[i]);
        }
        // The buttons are hidden, so the tab key goes from the last menu box to Text2.
        w.Text1(29)->setFocus();
        QTest::keyClick(w.Text1(29), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), w.Text2());
        f.close();
    }

    void linesRunBehindTheColumns()
    {
        WindowFixture f;
        f.open();
        const QImage image = f.window->grab().toImage();
        // Between Text2's row and the first slot row, and between two slot rows.
        QCOMPARE(image.pixelColor(256, 58), kLightYellow);
        QCOMPARE(image.pixelColor(616, 86), kLightYellow);
        QCOMPARE(image.pixelColor(88, 86), kLightGreen);
        QCOMPARE(image.pixelColor(452, 86), kLightGreen);
        QCOMPARE(image.pixelColor(100, 86), QColor(0xC0, 0x40, 0x00));
        f.close();
    }

    void logLinesAreAppendedAtTheEnd()
    {
        WindowFixture f;
        f.open();
        frmmemory& w = *f.window;
        w.Text4()->clear();
        w.AddText(QStringLiteral("first"));
        QCOMPARE(w.Text4()->toPlainText(), QStringLiteral("first\n"));
        w.Text4()->moveCursor(QTextCursor::Start);
        w.AddText(QStringLiteral("second"));
        QCOMPARE(w.Text4()->toPlainText(), QStringLiteral("first\nsecond\n"));
        f.close();
    }

    void captionColoursFollowTheButtonState()
    {
        WindowFixture f;
        f.open();
        GraphicalButton* save = f.window->Command7();
        QVERIFY(save->hasCaptionColour());
        QCOMPARE(save->captionColour(), kLightGreen);
        QCOMPARE(f.window->Command5()->captionColour(), kLightYellow);
        const QRect up = save->captionRect();
        save->setDown(true);
        QCOMPARE(save->captionRect(), up.translated(1, 1));
        save->setDown(false);
        save->show();
        const QImage face = save->grab().toImage();
        bool captionDrawn = false;
        for (int x = 0; x < face.width() && !captionDrawn; ++x)
            for (int y = 0; y < face.height() && !captionDrawn; ++y)
                captionDrawn = face.pixelColor(x, y) == kLightGreen;
        QVERIFY(captionDrawn);
        QCOMPARE(face.pixelColor(4, face.height() / 2), kDarkGreen);
        ClearCaptionColour(save);
        QVERIFY(!save->hasCaptionColour());
        QCOMPARE(save->captionColour(), save->palette().color(QPalette::ButtonText));
        f.close();
    }

    void missingWorkingFoldersAreCreatedWithALogLine()
    {
        WindowFixture f;
        QVERIFY(QDir(f.folder.temp()).removeRecursively());
        QVERIFY(QDir(f.folder.modified()).removeRecursively());
        QVERIFY(test::writeAll(f.folder.path() + QStringLiteral("Modified"), "not a folder"));
        f.open();
        QVERIFY(QFileInfo(f.folder.temp()).isDir());
        const QStringList log = f.window->logLines();
        QCOMPARE(log.size(), 2);
        QVERIFY(log[0].startsWith(QStringLiteral("Created the missing working folder")));
        QVERIFY(log[1].contains(QStringLiteral("is a file")));
        QCOMPARE(test::readAll(f.folder.path() + QStringLiteral("Modified")),
                 QByteArray("not a folder"));
        f.close();
    }
};

QTEST_MAIN(WindowTest)
#include "test_window.moc"
