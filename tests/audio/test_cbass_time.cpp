#include "audio/cbass_time.h"
#include "fakebass.h"

#include <QTest>

using namespace tollvik;
using tollvik::test::fakeBass;
using namespace Qt::StringLiterals;

class TestCbassTime : public QObject
{
    Q_OBJECT

private:
    BassApi m_api = test::fakeBassApi();

private Q_SLOTS:
    void init() { fakeBass().reset(); }

    void getTimeFormatsClock_data()
    {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QString>("expected");
        QTest::newRow("zero") << 0 << u"00:00:00"_s;
        QTest::newRow("59") << 59 << u"00:00:59"_s;
        QTest::newRow("60") << 60 << u"00:01:00"_s;
        QTest::newRow("3599") << 3599 << u"00:59:59"_s;
        QTest::newRow("3600") << 3600 << u"01:00:00"_s;
        QTest::newRow("3660 keeps its minute") << 3660 << u"01:01:00"_s;
        QTest::newRow("100 hours") << 360000 << u"100:00:00"_s;
        QTest::newRow("largest") << 2147483647 << u"596523:14:07"_s;
        QTest::newRow("negative") << -61 << u"-00:01:01"_s;
    }
    void getTimeFormatsClock()
    {
        QFETCH(int, seconds);
        QFETCH(QString, expected);
        CBASS_TIME time(m_api);
        QCOMPARE(time.GetTime(seconds), expected);
    }

    // Bytes per second count at most two channels; mode and bits follow the channel record.
    void figuresFollowTheChannelRecord_data()
    {
        QTest::addColumn<uint>("frequency");
        QTest::addColumn<uint>("channels");
        QTest::addColumn<uint>("flags");
        QTest::addColumn<int>("bytesPerSecond");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("bits");
        QTest::newRow("mono 8-bit 22050") << 22050u << 1u << 1u << 22050 << u"Mono"_s << 8;
        QTest::newRow("stereo 16-bit 44100") << 44100u << 2u << 0u << 176400 << u"Stereo"_s << 16;
        QTest::newRow("six channels 48000")
            << 48000u << 6u << 0u << 192000 << u"6 MultiChannel"_s << 16;
        QTest::newRow("mono 16-bit 11025") << 11025u << 1u << 0u << 22050 << u"Mono"_s << 16;
        QTest::newRow("other flag bits") << 44100u << 2u << 0xFFFEu << 176400 << u"Stereo"_s << 16;
        QTest::newRow("no channels") << 44100u << 0u << 0u << 0 << u"0 MultiChannel"_s << 16;
    }
    void figuresFollowTheChannelRecord()
    {
        QFETCH(uint, frequency);
        QFETCH(uint, channels);
        QFETCH(uint, flags);
        QFETCH(int, bytesPerSecond);
        QFETCH(QString, mode);
        QFETCH(int, bits);
        fakeBass().frequency = frequency;
        fakeBass().info = {frequency, channels, flags, TVB_CHANNEL_TYPE_OGG};
        CBASS_TIME time(m_api);
        QCOMPARE(time.GetBytesPerSecond(7), bytesPerSecond);
        QCOMPARE(time.GetMode(3), mode);
        QCOMPARE(int(time.GetBits(3)), bits);
    }

    void failedQueriesUseClearedFrequencyAndPreviousRecord()
    {
        CBASS_TIME time(m_api);
        fakeBass().info = {44100, 2, 0, TVB_CHANNEL_TYPE_OGG};
        QCOMPARE(time.GetMode(1), u"Stereo"_s);
        fakeBass().infoOk = false;
        fakeBass().attributesOk = false;
        fakeBass().info = {22050, 1, 1, 0};
        QCOMPARE(time.GetMode(1), u"Stereo"_s);
        QCOMPARE(time.GetFrequency(1), 0);
        QCOMPARE(time.GetBytesPerSecond(1), 0);
    }

    void durationFallsBackToMusicLength()
    {
        CBASS_TIME time(m_api);
        fakeBass().streamLength = 352800;
        QCOMPARE(time.GetDuration(1), 2.0f);
        QVERIFY(fakeBass().takeCalls().filter(u"MusicGetLength"_s).isEmpty());

        fakeBass().streamLength = ~tvb_qword{0};
        fakeBass().musicLength = 176400;
        QCOMPARE(time.GetDuration(1), 1.0f);
        QCOMPARE(fakeBass().takeCalls(), QStringList{u"MusicGetLength 1"_s});

        // Only the low half of the length counts.
        fakeBass().streamLength = (tvb_qword{5} << 32) | 176400;
        QCOMPARE(time.GetDuration(1), 1.0f);
        fakeBass().position = 88200;
        QCOMPARE(time.GetPlayingPos(1), 0.5f);
    }

    void bitsPerSecond_data()
    {
        QTest::addColumn<qulonglong>("streamBytes");
        QTest::addColumn<int>("fileLength");
        QTest::addColumn<int>("expected");
        // 176400 bytes per second in the fake.
        QTest::newRow("16000 bytes in 2 s") << 352800ull << 16000 << 64;
        QTest::newRow("example 18900 bytes in 2.36 s") << 416304ull << 18900 << 64;
        QTest::newRow("62.5 to even 62") << 352800ull << 15625 << 62;
        QTest::newRow("63.5 to even 64") << 352800ull << 15875 << 64;
        QTest::newRow("62.496 to 62") << 176400ull << 7812 << 62;
        QTest::newRow("zero duration") << 0ull << 16000 << 0;
        QTest::newRow("beyond 16 bits clamps") << 1764ull << 2000000000 << 32767;
        QTest::newRow("largest length") << 176400ull << 2147483647 << 32767;
    }
    void bitsPerSecond()
    {
        QFETCH(qulonglong, streamBytes);
        QFETCH(int, fileLength);
        QFETCH(int, expected);
        fakeBass().streamLength = streamBytes;
        CBASS_TIME time(m_api);
        QCOMPARE(time.GetBitsPerSecond(1, fileLength), expected);
    }

    void roundsHalvesToEven_data()
    {
        QTest::addColumn<double>("value");
        QTest::addColumn<double>("expected");
        QTest::newRow("0.5") << 0.5 << 0.0;
        QTest::newRow("1.5") << 1.5 << 2.0;
        QTest::newRow("2.5") << 2.5 << 2.0;
        QTest::newRow("2.6") << 2.6 << 3.0;
        QTest::newRow("-1.5") << -1.5 << -2.0;
    }
    void roundsHalvesToEven()
    {
        QFETCH(double, value);
        QFETCH(double, expected);
        QCOMPARE(roundHalfEven(value), expected);
    }

    void directSoundVersionFitsAByte_data()
    {
        QTest::addColumn<uint>("reported");
        QTest::addColumn<int>("expected");
        QTest::newRow("none") << 0u << 0;
        QTest::newRow("9") << 9u << 9;
        QTest::newRow("255") << 255u << 255;
        QTest::newRow("beyond a byte") << 256u << 0;
    }
    void directSoundVersionFitsAByte()
    {
        QFETCH(uint, reported);
        QFETCH(int, expected);
        fakeBass().directSoundVer = reported;
        CBASS_TIME time(m_api);
        QCOMPARE(int(time.GetDXver()), expected);
    }
};

QTEST_GUILESS_MAIN(TestCbassTime)
#include "test_cbass_time.moc"
