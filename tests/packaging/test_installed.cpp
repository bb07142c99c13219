// The two layouts as `cmake --install` lays them out into temporary folders: the installed
// tree (component program) and the portable folder (component portable, the .tar.gz's
// content). Their programs are run as a user would run them, with no display.
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace Qt::StringLiterals;

class TestInstalled : public QObject
{
    Q_OBJECT

    QTemporaryDir m_installed, m_portable, m_users;

    QString program(bool installed, const QString& name) const
    {
        return installed ? m_installed.filePath(u"bin/"_s + name) : m_portable.filePath(name);
    }
    // Starts a program with HOME (and XDG_DATA_HOME when given) below the test's own folder.
    void start(QProcess& process, const QString& program, const QStringList& arguments,
               const QString& home, const QString& dataHome = {}) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const QString& name : {u"XDG_DATA_HOME"_s, u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s})
            env.remove(name);
        if (!arguments.isEmpty()) // only the window itself needs the offscreen platform
            env.remove(u"QT_QPA_PLATFORM"_s);
        env.insert(u"HOME"_s, m_users.filePath(home));
        if (!dataHome.isEmpty())
            env.insert(u"XDG_DATA_HOME"_s, m_users.filePath(dataHome));
        QDir().mkpath(m_users.filePath(home));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(m_users.path());
        process.start(program, arguments);
    }
    // The exit code and standard output, then standard error.
    std::tuple<int, QString, QString> run(const QString& program, const QStringList& arguments,
                                          const QString& home, const QString& dataHome = {}) const
    {
        QProcess process;
        start(process, program, arguments, home, dataHome);
        if (!process.waitForFinished(60000))
            process.kill();
        process.waitForFinished();
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardOutput()),
                QString::fromUtf8(process.readAllStandardError())};
    }
    // Starts the window, waits until its first-start settings file
    // appears, then ends it.
    QByteArray firstSettingsFile(bool installed, const QString& settings) const
    {
        QProcess window;
        start(window, program(installed, u"tollvik-alerts"_s), {}, u"first"_s);
        QByteArray bytes;
        for (int i = 0; i < 600 && bytes.isEmpty() && window.waitForStarted(); ++i) {
            QThread::msleep(50);
            QFile file(settings);
            bytes = file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        }
        window.terminate();
        if (!window.waitForFinished(10000))
            window.kill();
        window.waitForFinished();
        return bytes;
    }

private Q_SLOTS:
    void initTestCase()
    {
        for (const auto& [component, prefix] : {std::pair{u"program"_s, m_installed.path()},
                                                std::pair{u"portable"_s, m_portable.path()}}) {
            QProcess install;
            install.start(QStringLiteral(TOLLVIK_CMAKE),
                          {u"--install"_s, QStringLiteral(TOLLVIK_BUILD_DIR), u"--prefix"_s, prefix,
                           u"--component"_s, component});
            QVERIFY(install.waitForFinished(60000));
            QVERIFY2(install.exitCode() == 0, install.readAllStandardError().constData());
        }
    }

    // The folder rule: the portable folder is the executable's; the installed one is in the
    // user's data folder. Each program names it, and the command line reads its settings file.
    void theProgramFolder_data()
    {
        QTest::addColumn<bool>("installed");
        QTest::addColumn<QString>("dataHome"); // XDG_DATA_HOME below the test's folder, or none
        QTest::addColumn<QString>("folder");   // expected, below the test's folder; @ the portable
        QTest::newRow("installed") << true << QString() << u"home/.local/share/tollvik-alerts/"_s;
        QTest::newRow("installed, XDG_DATA_HOME set")
            << true << u"xdg"_s << u"xdg/tollvik-alerts/"_s;
        QTest::newRow("portable") << false << QString() << u"@"_s;
        QTest::newRow("portable, XDG_DATA_HOME set") << false << u"xdg"_s << u"@"_s;
    }

    void theProgramFolder()
    {
        QFETCH(bool, installed);
        QFETCH(QString, dataHome);
        QFETCH(QString, folder);
        const QString expected =
            folder == u"@"_s ? m_portable.path() + u'/' : m_users.filePath(folder);
        for (const QString& name : {u"tollvik-alerts"_s, u"tollvik-alerts-cli"_s}) {
            const auto version =
                run(program(installed, name), {u"--version"_s}, u"home"_s, dataHome);
            QCOMPARE(version, std::tuple(0, name + u' ' + QStringLiteral(TOLLVIK_VERSION) + u'\n',
                                         QString()));
        }
        const auto [code, help, _] =
            run(program(installed, u"tollvik-alerts"_s), {u"--help"_s}, u"home"_s, dataHome);
        QCOMPARE(code, 0);
        QVERIFY2(help.contains(u"Program folder: "_s + expected + u'\n'), qPrintable(help));
        QVERIFY(help.contains(installed ? u"is installed"_s : u"is a portable folder"_s));
        QVERIFY(!QFileInfo::exists(m_users.filePath(u"home/.local"_s))); // they write nothing
        const auto texts = run(program(installed, u"tollvik-alerts-cli"_s),
                               {u"patch"_s, u"ttn"_s, u"-o"_s, u"out"_s}, u"home"_s, dataHome);
        QCOMPARE(std::get<2>(texts), u"tollvik-alerts-cli: the menu texts in "_s + expected +
                                         u"Tollvik.ini: it does not exist\n"_s);
    }

    // Installed, the window makes its folder in the user's data folder on first start, with the
    // same first-start settings file as a portable folder gets: also when the test runs as root.
    void firstStartMakesTheSameSettingsFile()
    {
        const QString data = m_users.filePath(u"first/.local/share/tollvik-alerts/"_s);
        const QByteArray installed = firstSettingsFile(true, data + u"Tollvik.ini"_s);
        QVERIFY(!installed.isEmpty());
        QCOMPARE(installed, firstSettingsFile(false, m_portable.filePath(u"Tollvik.ini"_s)));
        QVERIFY(QFileInfo(data + u"Temp"_s).isDir() && QFileInfo(data + u"Modified"_s).isDir());
        QCOMPARE(
            QDir(m_installed.filePath(u"bin"_s)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
            (QStringList{u"tollvik-alerts"_s, u"tollvik-alerts-cli"_s}));
        QFile::remove(m_portable.filePath(u"Tollvik.ini"_s));
    }
};

QTEST_GUILESS_MAIN(TestInstalled)
#include "test_installed.moc"
