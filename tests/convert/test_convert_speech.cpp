// Speech with espeak-ng, into a slot sound.

#include "convert/speech.h"
#include "soundfiles.h"

#include <QTest>
#include <cmath>
#include <thread>

using namespace tollvik;
using namespace tollvik::convert;

class ConvertSpeechTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        const Result<QList<Voice>> list = voices();
        if (!list)
            QSKIP(qPrintable(QStringLiteral("espeak-ng cannot start here: ") + list.error()));
    }

    void defaultVoiceFollowsTheLocale_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QStringList>("languages");
        QTest::addColumn<QString>("voice");
        const QStringList all{"en-029", "en-gb", "en-us", "de", "pt-br", "sv"};
        QTest::newRow("territory") << "en_US" << all << "en-us";
        QTest::newRow("language") << "de_AT" << all << "de";
        QTest::newRow("family") << "pt_PT" << all << "pt-br";
        QTest::newRow("unknown language") << "fi_FI" << all << "en-gb";
        QTest::newRow("C locale") << "C" << all << "en-gb";
        QTest::newRow("English family only")
            << "fi_FI" << QStringList{"en-029", "en-us"} << "en-us";
        QTest::newRow("no English") << "fi_FI" << QStringList{"sv"} << "";
    }
    void defaultVoiceFollowsTheLocale()
    {
        QFETCH(QString, locale);
        QFETCH(QStringList, languages);
        QFETCH(QString, voice);
        QList<Voice> list;
        for (const QString& language : languages)
            list.append({QStringLiteral("voice ") + language, language});
        const QString chosen = defaultVoice(list, QLocale(locale));
        QCOMPARE(chosen, voice.isEmpty() ? QString() : QStringLiteral("voice ") + voice);
    }

    void speaksIntoASlotSound()
    {
        const Result<Pcm> spoken = speak(QStringLiteral("Speed camera ahead"),
                                         defaultVoice(voices().value(), QLocale(QLocale::English)));
        QVERIFY2(spoken.ok(), qPrintable(spoken.error()));
        QCOMPARE(spoken->format(), (SoundFormat{22050, 1}));
        QVERIFY(spoken->seconds() > 0.5 && spoken->seconds() < 5.0);
        QVERIFY(loudness(spoken.value()).value() > -40.0);

        const Result<Converted> c =
            convertPcm(spoken.value(), QStringLiteral("speech"), Target{{11025, 1}, -20.0, 131056});
        QVERIFY2(c.ok(), qPrintable(c.error()));
        QCOMPARE(test::decodeWithVorbisfile(c->ogg).format(), (SoundFormat{11025, 1}));
    }

    void refusesUnknownVoices()
    {
        const Result<Pcm> spoken = speak(QStringLiteral("Hello"), QStringLiteral("no such voice"));
        QVERIFY(!spoken.ok());
        QVERIFY(spoken.error().contains(QStringLiteral("no such voice")));
    }

    // Both threads get the whole sound and only theirs: espeak-ng sees one synthesis at a time.
    // (Its output varies a little from call to call, so the lengths are compared.)
    void speaksFromTwoThreadsAtOnce()
    {
        const QString text = QStringLiteral("School zone, reduce speed");
        Result<Pcm> first = fail({});
        Result<Pcm> second = fail({});
        std::thread other([&] { second = speak(text); });
        first = speak(text);
        other.join();
        QVERIFY(first.ok() && second.ok());
        QVERIFY(std::abs(first->seconds() / second->seconds() - 1.0) < 0.1);
        QVERIFY(std::abs(first->seconds() / speak(text)->seconds() - 1.0) < 0.1);
    }

    void stopsWhenAsked()
    {
        const std::atomic<bool> stop = true;
        QCOMPARE(speak(QStringLiteral("Hello"), {}, &stop).refusal(), Refusal::Cancelled);
    }
};

QTEST_GUILESS_MAIN(ConvertSpeechTest)
#include "test_convert_speech.moc"
