#include "windowfixture.h"

#include <QFile>
#include <QLineEdit>
#include <QTest>

using namespace tollvik;
using tollvik::test::WindowFixture;

class SettingsStartupTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { configureApplication(*qApp); }

    void firstStartCreatesTheSettingsFileFromTheDefaults()
    {
        WindowFixture f;
        f.open();
        QByteArray expected = "[MenuText]\r\n";
        for (int n = 30; n >= 20; --n)
            expected += "Item" + QByteArray::number(n) + "=\r\n";
        const char* texts[] = {"Gatso",      "Gatso 20",  "Gatso 30",  "Gatso 40",  "Gatso 50",
                               "Gatso 60",   "Gatso 70",  "Gatso TBA", "Mobile",    "Mobile 20",
                               "Mobile 30",  "Mobile 40", "Mobile 50", "Mobile 60", "Mobile 70",
                               "Mobile TBA", "Specs",     "Temporary", "Red light"};
        for (int n = 19; n >= 1; --n)
            expected += QStringLiteral("Item%1=").arg(n, 2, 10, QLatin1Char('0')).toLatin1() +
                        texts[n - 1] + "\r\n";
        QCOMPARE(test::readAll(f.folder.file(QStringLiteral("Tollvik.ini"))), expected);
        QCOMPARE(expected.count("\r\n"), 31);
        f.close();
    }

    void laterStartsReadTheStoredTexts()
    {
        WindowFixture f;
        QVERIFY(test::writeAll(f.folder.file(QStringLiteral("Tollvik.ini")),
                               "[menutext]\r\nitem02=Caf\xE9 \x80\r\nItem30=Last\r\n"));
        f.open();
        QCOMPARE(f.window->Text1(1)->text(), QStringLiteral("Café €"));
        QCOMPARE(f.window->Text1(29)->text(), QStringLiteral("Last"));
        // Keys that are missing empty their slots; the defaults are not kept.
        QCOMPARE(f.window->Text1(0)->text(), QString());
        f.close();
    }

    void unreadableSettingsKeepTheDefaults()
    {
        WindowFixture f;
        // A folder where the file should be cannot be read as a file.
        QVERIFY(QDir(f.folder.path()).mkdir(QStringLiteral("Tollvik.ini")));
        f.open();
        QCOMPARE(f.window->Text1(0)->text(), QStringLiteral("Gatso"));
        QVERIFY(!f.window->logLines().isEmpty());
        QVERIFY(f.window->logLines().constFirst().contains(QStringLiteral("Tollvik.ini")));
        f.close();
    }
};

QTEST_MAIN(SettingsStartupTest)
#include "test_settings_startup.moc"
