#include "app/module2.h"
#include "windowfixture.h"

#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace tollvik;
using tollvik::test::WindowFixture;

namespace {

// A file that identifies as the Navigator 5.0 build: its three probe bytes, filler elsewhere.
QByteArray navigator50()
{
    QByteArray bytes(0x190000, '\x11');
    bytes[0x18D9C4] = '\x02';
    bytes[0x18DA20] = '\x7C';
    bytes[0x18DA80] = '\xF0';
    return bytes;
}

} // namespace

class ShutdownTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { configureApplication(*qApp); }

    void closingDeletesTheWorkingCopiesItOwns()
    {
        WindowFixture f;
        const QString chosen = f.folder.file(QStringLiteral("device/ttn"));
        QVERIFY(test::writeAll(chosen, navigator50()));
        QVERIFY(test::writeAll(f.folder.temp(QStringLiteral("data.chk")), "stale archive"));
        QVERIFY(test::writeAll(f.folder.temp(QStringLiteral("other.chk")), "kept"));
        QVERIFY(test::writeAll(f.folder.temp(QStringLiteral("Data.Chk.bak")), "kept"));
        QVERIFY(test::writeAll(f.folder.modified(QStringLiteral("ttn")), "result"));
        f.open();
        f.dialogs.answers << chosen;
        f.window->Load1()->click();
        QCOMPARE(f.window->Label1()->text(), QStringLiteral("TomTom Navigator 5.0 loaded."));
        QVERIFY(f.window->Image3()->isVisible());
        QVERIFY(f.window->Command7()->isVisible());
        QCOMPARE(f.window->Text3()->text(), f.folder.temp(QStringLiteral("ttn")));
        QVERIFY(QFile::exists(f.folder.temp(QStringLiteral("ttn"))));

        f.close();
        QVERIFY(!QFile::exists(f.folder.temp(QStringLiteral("ttn"))));
        QVERIFY(!QFile::exists(f.folder.temp(QStringLiteral("data.chk"))));
        QVERIFY(QFile::exists(f.folder.temp(QStringLiteral("other.chk"))));
        QVERIFY(QFile::exists(f.folder.temp(QStringLiteral("Data.Chk.bak"))));
        QCOMPARE(test::readAll(f.folder.modified(QStringLiteral("ttn"))), QByteArray("result"));
        QVERIFY(QFile::exists(f.folder.file(QStringLiteral("Tollvik.ini"))));
        QCOMPARE(test::readAll(chosen), navigator50());
    }

    void closingWithoutALoadDeletesNothingElse()
    {
        WindowFixture f;
        QVERIFY(test::writeAll(f.folder.temp(QStringLiteral("ttn")), "someone's copy"));
        f.open();
        f.close();
        QVERIFY(QFile::exists(f.folder.temp(QStringLiteral("ttn"))));
        QVERIFY(QFileInfo(f.folder.temp()).isDir());
    }
};

QTEST_MAIN(ShutdownTest)
#include "test_shutdown.moc"
