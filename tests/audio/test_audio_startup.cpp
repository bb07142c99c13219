// The start-up checks, against our library and stand-ins copied into a program folder.

#include "audio/audiostartup.h"
#include "testsupport.h"

#include <QDir>
#include <QFile>
#include <QTest>

using namespace tollvik;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(tollvik::AudioMessage)

class TestAudioStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // Each failure shows exactly one box and fails with its text; a text ending in CR LF is
    // followed by the loader's own reason. An empty text: no box, the output opens.
    void eachFailureShowsItsBox_data()
    {
        const QString standins = QStringLiteral(TOLLVIK_STANDIN_DIR "/");
        const AudioMessage missing{u"BASS.DLL does not exists"_s, u"BASS.DLL"_s};
        const AudioMessage version{u"BASS version 2.1 was not loaded"_s, u"Incorrect BASS.DLL"_s};
        QTest::addColumn<QString>("library");
        QTest::addColumn<AudioMessage>("box");
        QTest::newRow("missing") << QString() << missing;
        QTest::newRow("a folder of that name") << u"/"_s << missing;
        QTest::newRow("not a library")
            << u"text"_s << AudioMessage{version.text + u"\r\n"_s, version.caption};
        QTest::newRow("2.0") << standins + u"libstandin_v20.so"_s << version;
        QTest::newRow("2.2") << standins + u"libstandin_v22.so"_s << version;
        QTest::newRow("lacking a function")
            << standins + u"libstandin_lacking.so"_s
            << AudioMessage{version.text + u"\r\nMissing function: BASS_ChannelGetInfo"_s,
                            version.caption};
        QTest::newRow("ours") << QStringLiteral(TOLLVIK_BASS_PATH) << AudioMessage{};
        QTest::newRow("ours without a working driver: no silent output")
            << QStringLiteral(TOLLVIK_BASS_PATH)
            << AudioMessage{u"Couldn't Initialize Digital Output\r\n(error code: 6)"_s, u"Error"_s,
                            AudioMessage::Icon::Exclamation};
    }
    void eachFailureShowsItsBox()
    {
        QFETCH(QString, library);
        QFETCH(AudioMessage, box);
        test::ProgramFolder folder;
        const QString target = folder.file(audioLibraryFileName());
        if (library == u"/"_s)
            QVERIFY(QDir().mkpath(target));
        else if (library == u"text"_s)
            QVERIFY(test::writeAll(target, "This is not a library\r\n"));
        else if (!library.isEmpty())
            QVERIFY(QFile::copy(library, target));
        // Only the row whose box is an output error runs without a working driver.
        qputenv("SDL_AUDIODRIVER", box.caption == u"Error"_s ? "nosuchdriver" : "dummy");

        QList<AudioMessage> shown;
        const ShowMessage show = [&shown](const AudioMessage& m) {
            shown.append(m);
        };
        AudioLibrary loaded;
        Status status = checkAudioLibrary(folder.path(), loaded, show);
        if (status)
            status = openOutput(loaded.api(), nullptr, show);
        if (status)
            QVERIFY(loaded.api().BASS_Free() != 0);

        QCOMPARE(shown.size(), box.text.isEmpty() ? 0 : 1);
        const AudioMessage m = shown.value(0);
        QVERIFY2(m.text.startsWith(box.text), qPrintable(m.text));
        QCOMPARE(m.text.size() > box.text.size(), box.text.endsWith(u"\r\n"_s));
        QCOMPARE((AudioMessage{box.text, m.caption, m.icon}), box);
        QCOMPARE(status.ok() ? QString() : status.error(), m.text);
    }
};

QTEST_GUILESS_MAIN(TestAudioStartup)
#include "test_audio_startup.moc"
