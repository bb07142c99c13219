// The two layouts as `cmake --install` lays them out into temporary folders: the installed
// tree (component program) and the portable folder (component portable, the .tar.gz's
// content). Their programs are run as a user would run them.
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>

using namespace Qt::StringLiterals;

namespace {

struct Run
{
    int exitCode = -1;
    QString out;
    QString err;
};

QString version()
{
    return QStringLiteral(TOLLVIK_VERSION);
}

} // namespace

class TestInstalled : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void versions_data();
    void versions();
    void helpNamesTheProgramFolder_data();
    void helpNamesTheProgramFolder();
    void firstStartMakesTheSameSettingsFile();
    void commandLineReadsTheWindowsTexts_data();
    void commandLineReadsTheWindowsTexts();

private:
    // Runs a program of one of the trees with HOME set to a fresh folder of the test's own.
    Run run(const QString& program, const QStringList& arguments,
            const QProcessEnvironment& env) const;
    QProcessEnvironment userEnvironment(const QString& home, const QString& dataHome = {}) const;
    // Starts the window and waits until its first-start settings file appears, then ends it.
    QByteArray firstSettingsFile(const QString& program, const QString& settings,
                                 const QProcessEnvironment& env) const;
    QString installed(const QString& rel) const { return m_installed.filePath(rel); }
    QString portable(const QString& rel) const { return m_portable.filePath(rel); }

    QTemporaryDir m_installed;
    QTemporaryDir m_portable;
    QTemporaryDir m_users;
};

void TestInstalled::initTestCase()
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
    QVERIFY(QFileInfo(installed(u"bin/tollvik-alerts"_s)).isExecutable());
    QVERIFY(QFileInfo(portable(u"tollvik-alerts"_s)).isExecutable());
    // The installed tree's bin/ holds the two executables and nothing else.
    QCOMPARE(QDir(installed(u"bin"_s)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             (QStringList{u"tollvik-alerts"_s, u"tollvik-alerts-cli"_s}));
}

QProcessEnvironment TestInstalled::userEnvironment(const QString& home,
                                                   const QString& dataHome) const
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    const QString folder = m_users.filePath(home);
    QDir().mkpath(folder);
    env.insert(u"HOME"_s, folder);
    env.remove(u"XDG_DATA_HOME"_s);
    if (!dataHome.isEmpty())
        env.insert(u"XDG_DATA_HOME"_s, m_users.filePath(dataHome));
    return env;
}

Run TestInstalled::run(const QString& program, const QStringList& arguments,
                       const QProcessEnvironment& env) const
{
    QProcess process;
    process.setProcessEnvironment(env);
    process.setWorkingDirectory(m_users.path());
    process.start(program, arguments);
    Run result;
    if (!process.waitForFinished(60000)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.out = QString::fromUtf8(process.readAllStandardOutput());
    result.err = QString::fromUtf8(process.readAllStandardError());
    return result;
}

void TestInstalled::versions_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("name");
    QTest::newRow("installed window") << u"bin/tollvik-alerts"_s << u"tollvik-alerts"_s;
    QTest::newRow("installed command line")
        << u"bin/tollvik-alerts-cli"_s << u"tollvik-alerts-cli"_s;
    QTest::newRow("portable window") << u"@tollvik-alerts"_s << u"tollvik-alerts"_s;
    QTest::newRow("portable command line") << u"@tollvik-alerts-cli"_s << u"tollvik-alerts-cli"_s;
}

// The same version everywhere, and no display needed to ask for it.
void TestInstalled::versions()
{
    QFETCH(QString, program);
    QFETCH(QString, name);
    const QString path = program.startsWith(u'@') ? portable(program.mid(1)) : installed(program);
    QProcessEnvironment env = userEnvironment(u"versions"_s);
    env.remove(u"QT_QPA_PLATFORM"_s);
    env.remove(u"DISPLAY"_s);
    env.remove(u"WAYLAND_DISPLAY"_s);

    const Run result = run(path, {u"--version"_s}, env);

    QCOMPARE(result.exitCode, 0);
    QCOMPARE(result.out, name + u' ' + version() + u'\n');
}

void TestInstalled::helpNamesTheProgramFolder_data()
{
    QTest::addColumn<bool>("isInstalled");
    QTest::addColumn<QString>("dataHome"); // XDG_DATA_HOME below the test's folder, or none
    QTest::addColumn<QString>("folder");   // expected, below the test's folder; @ the portable
    QTest::newRow("installed") << true << QString() << u"help/.local/share/tollvik-alerts/"_s;
    QTest::newRow("installed, XDG_DATA_HOME set") << true << u"xdg"_s << u"xdg/tollvik-alerts/"_s;
    QTest::newRow("portable") << false << QString() << u"@"_s;
    QTest::newRow("portable, XDG_DATA_HOME set") << false << u"xdg"_s << u"@"_s;
}

void TestInstalled::helpNamesTheProgramFolder()
{
    QFETCH(bool, isInstalled);
    QFETCH(QString, dataHome);
    QFETCH(QString, folder);
    const QString program =
        isInstalled ? installed(u"bin/tollvik-alerts"_s) : portable(u"tollvik-alerts"_s);
    const QString expected = folder == u"@"_s ? m_portable.path() + u'/' : m_users.filePath(folder);

    const Run result = run(program, {u"--help"_s}, userEnvironment(u"help"_s, dataHome));

    QCOMPARE(result.exitCode, 0);
    QVERIFY2(result.out.contains(u"Program folder: "_s + expected + u'\n'), qPrintable(result.out));
    QVERIFY(result.out.contains(isInstalled ? u"is installed"_s : u"is a portable folder"_s));
    QVERIFY(!QFileInfo::exists(m_users.filePath(u"help/.local"_s))); // --help writes nothing
}

QByteArray TestInstalled::firstSettingsFile(const QString& program, const QString& settings,
                                            const QProcessEnvironment& env) const
{
    QProcess window;
    window.setProcessEnvironment(env);
    window.setWorkingDirectory(m_users.path());
    window.start(program, {});
    if (!window.waitForStarted())
        return {};
    QByteArray bytes;
    for (int i = 0; i < 600 && bytes.isEmpty() && window.state() == QProcess::Running; ++i) {
        QThread::msleep(50);
        QFile file(settings);
        if (file.open(QIODevice::ReadOnly))
            bytes = file.readAll();
    }
    window.terminate();
    if (!window.waitForFinished(10000)) {
        window.kill();
        window.waitForFinished();
    }
    return bytes;
}

// Installed, the window makes its folder in the user's data folder on first start, with the
// same first-start settings file as a portable folder gets: also when the test runs as root.
void TestInstalled::firstStartMakesTheSameSettingsFile()
{
    const QProcessEnvironment env = userEnvironment(u"first"_s);
    const QString data = m_users.filePath(u"first/.local/share/tollvik-alerts/"_s);

    const QByteArray installedIni =
        firstSettingsFile(installed(u"bin/tollvik-alerts"_s), data + u"Tollvik.ini"_s, env);
    const QByteArray portableIni =
        firstSettingsFile(portable(u"tollvik-alerts"_s), portable(u"Tollvik.ini"_s), env);

    QVERIFY(!installedIni.isEmpty());
    QCOMPARE(installedIni, portableIni);
    QVERIFY(QFileInfo(data + u"Temp"_s).isDir());
    QVERIFY(QFileInfo(data + u"Modified"_s).isDir());
    QCOMPARE(QDir(installed(u"bin"_s)).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
             (QStringList{u"tollvik-alerts"_s, u"tollvik-alerts-cli"_s}));
    QVERIFY(!QFileInfo::exists(m_users.filePath(u"first/.local/share/tollvik-alerts-cli"_s)));
    QFile::remove(portable(u"Tollvik.ini"_s));
}

void TestInstalled::commandLineReadsTheWindowsTexts_data()
{
    QTest::addColumn<bool>("isInstalled");
    QTest::newRow("installed") << true;
    QTest::newRow("portable") << false;
}

// Without --texts the command line reads the settings file of the window's program folder.
void TestInstalled::commandLineReadsTheWindowsTexts()
{
    QFETCH(bool, isInstalled);
    const QString program =
        isInstalled ? installed(u"bin/tollvik-alerts-cli"_s) : portable(u"tollvik-alerts-cli"_s);
    const QString settings =
        isInstalled ? m_users.filePath(u"texts/.local/share/tollvik-alerts/Tollvik.ini"_s)
                    : portable(u"Tollvik.ini"_s);

    const Run result =
        run(program, {u"patch"_s, u"ttn"_s, u"-o"_s, u"out"_s}, userEnvironment(u"texts"_s));

    QCOMPARE(result.exitCode, 2);
    QCOMPARE(result.err,
             u"tollvik-alerts-cli: the menu texts in "_s + settings + u": it does not exist\n"_s);
}

QTEST_GUILESS_MAIN(TestInstalled)
#include "test_installed.moc"
