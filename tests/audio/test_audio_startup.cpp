// The start-up checks against the real library and stand-ins. CTest runs every function in a
// process of its own: a library loaded once stays loaded.

#include "audio/audiostartup.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>

using namespace tollvik;
using namespace Qt::StringLiterals;

namespace {

const AudioMessage kVersionBox{u"BASS version 2.1 was not loaded"_s, u"Incorrect BASS.DLL"_s,
                               AudioMessage::Icon::Critical};

QString standin(const char* name)
{
    return QStringLiteral(TOLLVIK_STANDIN_DIR "/") + QLatin1String(name);
}

} // namespace

Q_DECLARE_METATYPE(tollvik::AudioMessage)

class TestAudioStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // No library, a folder of that name, other versions (2.0 and 2.2 in the library's encoding,
    // low word major, high word minor; 2.1 with its words swapped) and a missing function: each
    // gives its box; none but the other versions leaves a library loaded.
    void refusedLibraryGivesItsBox_data()
    {
        const AudioMessage missing{u"BASS.DLL does not exists"_s, u"BASS.DLL"_s,
                                   AudioMessage::Icon::Critical};
        QTest::addColumn<QString>("library");
        QTest::addColumn<AudioMessage>("box");
        QTest::newRow("missing") << QString() << missing;
        QTest::newRow("a folder") << u"/"_s << missing;
        QTest::newRow("2.0") << standin("libstandin_v20.so") << kVersionBox;
        QTest::newRow("2.2") << standin("libstandin_v22.so") << kVersionBox;
        QTest::newRow("words swapped") << standin("libstandin_swapped.so") << kVersionBox;
        QTest::newRow("lacking a function")
            << standin("libstandin_lacking.so")
            << AudioMessage{kVersionBox.text + u"\r\nMissing function: BASS_ChannelGetInfo"_s,
                            kVersionBox.caption, AudioMessage::Icon::Critical};
    }
    void refusedLibraryGivesItsBox()
    {
        QFETCH(QString, library);
        QFETCH(AudioMessage, box);
        test::ProgramFolder folder;
        if (library == u"/"_s)
            QVERIFY(QDir().mkpath(folder.file(audioLibraryFileName())));
        else if (!library.isEmpty())
            QVERIFY(QFile::copy(library, folder.file(audioLibraryFileName())));
        AudioLibrary loaded;
        const auto shown = checkAudioLibrary(folder.path(), loaded);
        QVERIFY(shown);
        QCOMPARE(*shown, box);
        if (box != kVersionBox)
            QVERIFY(!loaded.isLoaded());
    }

    void fileThatIsNoLibraryIsIncorrect_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("text") << QByteArray("This is not a library\r\n");
        QTest::newRow("elf magic only") << QByteArray("\x7f"
                                                      "ELF\2\1\1",
                                                      7);
        QTest::newRow("empty") << QByteArray();
    }
    void fileThatIsNoLibraryIsIncorrect()
    {
        QFETCH(QByteArray, content);
        test::ProgramFolder folder;
        QVERIFY(test::writeAll(folder.file(audioLibraryFileName()), content));
        AudioLibrary library;
        const auto box = checkAudioLibrary(folder.path(), library);
        QVERIFY(box);
        QCOMPARE(box->caption, u"Incorrect BASS.DLL"_s);
        QCOMPARE(box->icon, AudioMessage::Icon::Critical);
        QVERIFY2(box->text.startsWith(u"BASS version 2.1 was not loaded\r\n"_s),
                 qPrintable(box->text));
        QVERIFY(box->text.size() > kVersionBox.text.size() + 2);
        QVERIFY(!library.isLoaded());
        QCOMPARE(test::readAll(folder.file(audioLibraryFileName())), content);
    }

    void outputThatCannotOpenGivesTheErrorBox()
    {
        test::ProgramFolder folder;
        QVERIFY(QFile::copy(standin("libstandin_noinit.so"), folder.file(audioLibraryFileName())));
        AudioLibrary library;
        QVERIFY(!checkAudioLibrary(folder.path(), library));
        const auto box = openOutput(library.api(), nullptr);
        QVERIFY(box);
        QCOMPARE(*box, (AudioMessage{u"Couldn't Initialize Digital Output\r\n(error code: 6)"_s,
                                     u"Error"_s, AudioMessage::Icon::Exclamation}));
        QCOMPARE(box->text.count(u"\r\n"_s), 1);
        QCOMPARE(box->text.count(u'\n'), 1);
    }

    void ourLibraryPassesAndOpensTheDummyOutput()
    {
        const QString programFolder = QFileInfo(QStringLiteral(TOLLVIK_BASS_PATH)).absolutePath();
        AudioLibrary library;
        QVERIFY(!checkAudioLibrary(programFolder, library));
        QVERIFY(library.isLoaded());
        QVERIFY(!openOutput(library.api(), nullptr));
        QVERIFY(library.api().BASS_Free() != 0);
    }

    void ourLibraryHasNoSilentFallback()
    {
        // As on a machine where no driver works.
        qputenv("SDL_AUDIODRIVER", "nosuchdriver");
        const QString programFolder = QFileInfo(QStringLiteral(TOLLVIK_BASS_PATH)).absolutePath();
        AudioLibrary library;
        QVERIFY(!checkAudioLibrary(programFolder, library));
        const auto box = openOutput(library.api(), nullptr);
        QVERIFY(box);
        QCOMPARE(box->text, u"Couldn't Initialize Digital Output\r\n(error code: %1)"_s.arg(
                                TVB_ERROR_NO_OUTPUT));
    }
};

QTEST_GUILESS_MAIN(TestAudioStartup)
#include "test_audio_startup.moc"
