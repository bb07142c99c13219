// The preview on our library with real Ogg sounds, on SDL's disk output, and the library's
// refusals.

#include "audio/audiopreview.h"
#include "playedchannel.h"
#include "testsupport.h"

#include <QLocale>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <QtEndian>
#include <array>
#include <condition_variable>
#include <mutex>
#include <thread>

using namespace tollvik;
using namespace Qt::StringLiterals;

namespace {

// Records labels as "index=text" and box texts. While held, the worker waits in its first label
// (it is still starting), for at most 10 s; a box stays open until the test closes it.
struct FakeUi : PreviewUi
{
    void showFigure(int index, const QString& text) override
    {
        std::unique_lock lock(mutex);
        labels.append(QString::number(index) + u'=' + text);
        changed.wait_for(lock, std::chrono::seconds(10), [this] { return !held; });
    }
    void ShowAudioError(const AudioMessage& box, std::function<void()> boxClosed) override
    {
        std::lock_guard lock(mutex);
        boxes.append(box.text);
        pending = std::move(boxClosed);
    }
    void hold(bool on)
    {
        std::lock_guard lock(mutex);
        held = on;
        changed.notify_all();
    }
    template <typename T> T read(const T& member)
    {
        std::lock_guard lock(mutex);
        return member;
    }
    std::mutex mutex;
    std::condition_variable changed;
    QStringList labels;
    QStringList boxes;
    std::function<void()> pending;
    bool held = false;
};

const QByteArray kNotPlayable = "OggS"_ba + QByteArray(64, '\0');

// The library's calls on a channel, each true when it gave its failure value.
struct ChannelCall
{
    const char* name;
    bool (*fails)(const BassApi& api, tvb_handle handle);
};
bool attributesFail(const BassApi& a, tvb_handle h)
{
    tvb_dword frequency = 7, volume = 7;
    std::int32_t pan = 7;
    return a.BASS_ChannelGetAttributes(h, &frequency, &volume, &pan) == 0 && frequency == 7 &&
           volume == 7 && pan == 7;
}
// clang-format off
#define CALL(name, failed) {#name, [](const BassApi& a, tvb_handle h) { return failed; }}
const std::array<ChannelCall, 9> kChannelCalls = {{
    CALL(StreamFree, (a.BASS_StreamFree(h), true)),
    CALL(MusicFree, (a.BASS_MusicFree(h), true)),
    CALL(ChannelPlay, a.BASS_ChannelPlay(h, 1) == 0),
    CALL(StreamGetLength, ~a.BASS_StreamGetLength(h) == 0),
    CALL(MusicGetLength, ~a.BASS_MusicGetLength(h, 1) == 0),
    CALL(ChannelBytes2Seconds, a.BASS_ChannelBytes2Seconds(h, 4, 0) == -1.0f),
    CALL(ChannelGetPosition, ~a.BASS_ChannelGetPosition(h) == 0),
    CALL(ChannelGetAttributes, attributesFail(a, h)),
    CALL(ChannelGetInfo, a.BASS_ChannelGetInfo(h, nullptr) == 0), // the handle before the record
}};
#undef CALL
// clang-format on

} // namespace

class TestAudioPreview : public QObject
{
    Q_OBJECT

private:
    AudioLibrary m_library;
    BassApi m_api;
    std::unique_ptr<FakeUi> m_ui;
    QTemporaryDir m_dir;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_library.load(QStringLiteral(TOLLVIK_BASS_PATH)).ok());
        m_api = test::PlayedChannel::watch(m_library.api());
    }
    void init() // on SDL's disk output, which captures every sample
    {
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(m_dir.filePath(u"out.raw"_s)));
        QVERIFY(m_api.BASS_Init(1, 44100, 0, nullptr, nullptr) != 0);
        m_ui = std::make_unique<FakeUi>();
    }
    void cleanup() { (void)m_api.BASS_Free(); }

    // A click while a worker starts is busy; one after it cuts the playing sound. A shutdown
    // waits for a starting worker: it finishes before the engine goes.
    void clicksWhileAndAfterTheStartUp()
    {
        AudioPreview preview(m_api, *m_ui);
        for (const QByteArray& notOgg : {"Ogg"_ba, "xOggS"_ba})
            QCOMPARE(preview.startPreview(notOgg).refusal(), Refusal::Failed);
        m_ui->hold(true);
        const auto release = qScopeGuard([this] { m_ui->hold(false); });
        QVERIFY(preview.startPreview(test::makeOggSine(440.0, 3.0)).ok());
        QTRY_VERIFY(!m_ui->read(m_ui->labels).isEmpty());
        QCOMPARE(preview.startPreview(test::makeOggSine(440.0, 1.0)).refusal(), Refusal::Busy);
        m_ui->hold(false);
        QTRY_VERIFY(!preview.isStarting());
        QCOMPARE(m_ui->read(m_ui->labels).value(0), u"0=Duration: 3.0 seconds / 00:00:03"_s);
        const tvb_handle first = test::PlayedChannel::last();
        QTRY_VERIFY(m_api.BASS_ChannelGetPosition(first) > 0);
        m_ui->hold(true);
        QVERIFY(preview.startPreview(test::makeOggSine(440.0, 0.5)).ok());
        QTRY_VERIFY(m_ui->read(m_ui->labels).size() == 5);
        std::thread releaser([this] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            m_ui->hold(false);
        });
        preview.shutdown();
        releaser.join();
        QCOMPARE(m_api.BASS_StreamGetLength(first), ~tvb_qword{0});
        QCOMPARE(m_ui->read(m_ui->labels).size(), 8);
        QCOMPARE(preview.startPreview(test::makeOggSine()).refusal(), Refusal::Busy);
    }

    // The worker shows the box and stays busy until it is closed; the labels stay as they were.
    // A shutdown does not wait for an open box, which may close after the preview is gone.
    void refusedDataShowsTheErrorBoxUntilClosed()
    {
        std::function<void()> lateClose;
        {
            AudioPreview preview(m_api, *m_ui);
            QVERIFY(preview.startPreview(kNotPlayable).ok());
            QTRY_COMPARE(m_ui->read(m_ui->boxes),
                         QStringList{u"Couldn't Get Data from Memory\r\n(error code: 2)"_s});
            QTest::qWait(50);
            QCOMPARE(preview.startPreview(kNotPlayable).refusal(), Refusal::Busy);
            m_ui->read(m_ui->pending)();
            QTRY_VERIFY(!preview.isStarting());
            QVERIFY(m_ui->read(m_ui->labels).isEmpty());
            QVERIFY(preview.startPreview(kNotPlayable).ok());
            QTRY_COMPARE(m_ui->read(m_ui->boxes).size(), 2);
            preview.shutdown();
            QVERIFY(!preview.isStarting());
            lateClose = m_ui->read(m_ui->pending);
        }
        lateClose();
    }

    // Every call on a channel refuses a handle that names none (never made, or freed) with its
    // failure value and the handle error, and changes nothing it was given.
    void unknownChannelsAreRefused_data()
    {
        QTest::addColumn<int>("call");
        for (std::size_t i = 0; i < kChannelCalls.size(); ++i)
            QTest::addRow("%s", kChannelCalls[i].name) << int(i);
    }
    void unknownChannelsAreRefused()
    {
        QFETCH(int, call);
        const QByteArray sound = test::makeOggSine(440.0, 0.1);
        const tvb_handle freed =
            m_api.BASS_StreamCreateFile(1, sound.constData(), 0, 0, tvb_dword(sound.size()), 0, 0);
        QVERIFY(freed != 0);
        m_api.BASS_StreamFree(freed);
        for (const tvb_handle handle : {tvb_handle(0x7FFF), freed}) {
            (void)m_api.BASS_GetVersion(); // the last code is TVB_OK again
            QVERIFY(kChannelCalls[std::size_t(call)].fails(m_api, handle));
            QCOMPARE(m_api.BASS_ErrorGetCode(), TVB_ERROR_HANDLE);
        }
    }

    // Six channels count as two; a decimal comma; 2.5 s rounds to the even second; the bit rate
    // is that of the bytes handed to the library.
    void labelsShowTheFigures()
    {
        QLocale::setDefault(QLocale(u"de_DE"_s));
        const QByteArray sound = test::makeOggSine(440.0, 2.5, 48000, 6);
        AudioPreview preview(m_api, *m_ui);
        QVERIFY(preview.startPreview(sound).ok());
        QTRY_VERIFY(!preview.isStarting());
        QLocale::setDefault(QLocale::c());
        QCOMPARE(m_ui->read(m_ui->labels),
                 (QStringList{u"0=Duration: 2,5 seconds / 00:00:02"_s,
                              u"1=Frequency: 48000 Hz, 16 bits, 6 MultiChannel"_s,
                              u"2=Bytes/s: 192000"_s,
                              u"3=Kbp/s: %1 [avg kbp/s]"_s.arg(qRound(sound.size() * 0.0032))}));
        QCOMPARE(CBASS_TIME(m_api).GetTime(3660), u"01:01:00"_s); // past the minute and the hour
    }

    // Half a second of 440 Hz at 22050 Hz stereo comes out whole, as 16-bit stereo at 44100 Hz,
    // between the silence of whole buffers.
    void wholeSoundComesOut()
    {
        {
            AudioPreview preview(m_api, *m_ui);
            QVERIFY(preview.startPreview(test::makeOggSine(440.0, 0.5, 22050, 2)).ok());
            QTRY_VERIFY(!preview.isStarting());
            QCOMPARE(m_ui->read(m_ui->labels).value(1),
                     u"1=Frequency: 22050 Hz, 16 bits, Stereo"_s);
            const tvb_handle h = test::PlayedChannel::last();
            QTRY_COMPARE_WITH_TIMEOUT(m_api.BASS_ChannelGetPosition(h),
                                      m_api.BASS_StreamGetLength(h), 20000);
            QTest::qWait(150); // the buffer holding the end reaches the file
        }
        const QByteArray raw = test::readAll(m_dir.filePath(u"out.raw"_s));
        const auto at = [&raw](qsizetype frame, int channel) {
            return int(qFromLittleEndian<qint16>(raw.constData() + 4 * frame + 2 * channel));
        };
        qsizetype first = -1, last = 0, crossings = 0;
        for (qsizetype i = 0; i + 1 < raw.size() / 4; ++i) {
            QVERIFY(std::abs(at(i, 0) - at(i, 1)) <= 1); // both channels alike
            crossings += (at(i, 0) < 0) != (at(i + 1, 0) < 0) ? 1 : 0;
            first = first < 0 && at(i, 0) != 0 ? i : first;
            last = at(i, 0) != 0 ? i : last;
        }
        QVERIFY(std::abs(last - first + 1 - 22050) <= 16 && std::abs(crossings - 440) <= 4);
    }
};

QTEST_GUILESS_MAIN(TestAudioPreview)
#include "test_audio_preview.moc"
