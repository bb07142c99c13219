// The preview on our library with real Ogg sounds, on SDL's dummy output (and once on its disk
// output, to hear what comes out).

#include "audio/audiopreview.h"
#include "testsupport.h"

#include <QLocale>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

using namespace tollvik;
using namespace Qt::StringLiterals;

namespace {

// Records labels as "index=text" and box texts. While held, the worker waits in its first label
// (it is still starting), for at most 10 s; a box closes at once unless kept open.
struct FakeUi : PreviewUi
{
    void setLabel3(int index, const QString& text) override
    {
        std::unique_lock lock(mutex);
        labels.append(QString::number(index) + u'=' + text);
        changed.notify_all();
        changed.wait_for(lock, std::chrono::seconds(10), [this] { return !held; });
    }
    void ShowAudioError(const AudioMessage& box, std::function<void()> boxClosed) override
    {
        std::lock_guard lock(mutex);
        boxes.append(box.text);
        pending = std::move(boxClosed);
        if (!keepOpen)
            std::exchange(pending, {})();
    }
    void hold(bool on)
    {
        std::lock_guard lock(mutex);
        held = on;
        changed.notify_all();
    }
    bool waitForLabel()
    {
        std::unique_lock lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(5),
                                [this] { return !labels.isEmpty(); });
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
    bool keepOpen = false; // set before the first click
    bool held = false;
};

const QByteArray kNotPlayable = "OggS"_ba + QByteArray(64, '\0');

} // namespace

class TestAudioPreview : public QObject
{
    Q_OBJECT

private:
    AudioLibrary m_library;
    BassApi m_api;
    std::unique_ptr<FakeUi> m_ui;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_library.load(QStringLiteral(TOLLVIK_BASS_PATH)).ok());
        m_api = m_library.api();
    }
    void init()
    {
        QVERIFY(m_api.BASS_Init(1, 44100, 0, nullptr, nullptr) != 0);
        m_ui = std::make_unique<FakeUi>();
        QLocale::setDefault(QLocale::c());
    }
    void cleanup() { (void)m_api.BASS_Free(); }

    void labelsShowTheFigures_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<int>("rate");
        QTest::addColumn<int>("channels");
        QTest::addColumn<double>("seconds");
        QTest::addColumn<QStringList>("labels");
        QTest::newRow("stereo") << u"C"_s << 44100 << 2 << 2.36
                                << QStringList{u"0=Duration: 2.4 seconds / 00:00:02"_s,
                                               u"1=Frequency: 44100 Hz, 16 bits, Stereo"_s,
                                               u"2=Bytes/s: 176400"_s};
        QTest::newRow("six channels count as two; decimal comma; 2.5 s to the even second")
            << u"de_DE"_s << 48000 << 6 << 2.5
            << QStringList{u"0=Duration: 2,5 seconds / 00:00:02"_s,
                           u"1=Frequency: 48000 Hz, 16 bits, 6 MultiChannel"_s,
                           u"2=Bytes/s: 192000"_s};
    }
    void labelsShowTheFigures()
    {
        QFETCH(QString, locale);
        QFETCH(int, rate);
        QFETCH(int, channels);
        QFETCH(double, seconds);
        QFETCH(QStringList, labels);
        QLocale::setDefault(QLocale(locale));
        const QByteArray sound = test::makeOggSine(440.0, seconds, rate, channels);
        AudioPreview preview(m_api, *m_ui);
        QVERIFY(preview.startPreview(sound).ok());
        QTRY_VERIFY(!preview.isStarting());
        // The bit rate is that of the bytes handed to the library.
        labels << u"3=Kbp/s: %1 [avg kbp/s]"_s.arg(qRound(sound.size() * 8 / seconds / 1000));
        QCOMPARE(m_ui->read(m_ui->labels), labels);
        QVERIFY(m_ui->read(m_ui->boxes).isEmpty());
    }

    // The clock beside the duration, past the minute and the hour.
    void durationClock_data()
    {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QString>("clock");
        QTest::newRow("59") << 59 << u"00:00:59"_s;
        QTest::newRow("60") << 60 << u"00:01:00"_s;
        QTest::newRow("3599") << 3599 << u"00:59:59"_s;
        QTest::newRow("3660") << 3660 << u"01:01:00"_s;
    }
    void durationClock()
    {
        QFETCH(int, seconds);
        QTEST(CBASS_TIME(m_api).GetTime(seconds), "clock");
    }

    // A click while a worker starts is busy; one after it cuts the playing sound.
    void clicksWhileAndAfterTheStartUp()
    {
        AudioPreview preview(m_api, *m_ui);
        for (const QByteArray& notOgg : {"Ogg"_ba, "xOggS"_ba})
            QCOMPARE(preview.startPreview(notOgg).refusal(), Refusal::Failed);
        m_ui->hold(true);
        const auto release = qScopeGuard([this] { m_ui->hold(false); });
        QVERIFY(preview.startPreview(test::makeOggSine(440.0, 3.0)).ok());
        QVERIFY(m_ui->waitForLabel());
        QCOMPARE(preview.startPreview(test::makeOggSine(440.0, 1.0)).refusal(), Refusal::Busy);
        m_ui->hold(false);
        QTRY_VERIFY(!preview.isStarting());
        QCOMPARE(m_ui->read(m_ui->labels).value(0), u"0=Duration: 3.0 seconds / 00:00:03"_s);
        const tvb_handle first = preview.previewChannel();
        QTRY_VERIFY(m_api.BASS_ChannelGetPosition(first) > 0);

        QVERIFY(preview.startPreview(test::makeOggSine(440.0, 0.5)).ok());
        QTRY_VERIFY(!preview.isStarting());
        QCOMPARE(m_api.BASS_StreamGetLength(first), ~tvb_qword{0});
        QCOMPARE(m_ui->read(m_ui->labels).size(), 8);
    }

    // The worker shows the box and stays busy until it is closed; the labels stay as they were.
    void refusedDataShowsTheErrorBoxUntilClosed()
    {
        m_ui->keepOpen = true;
        AudioPreview preview(m_api, *m_ui);
        QVERIFY(preview.startPreview(kNotPlayable).ok());
        QTRY_COMPARE(m_ui->read(m_ui->boxes),
                     QStringList{u"Couldn't Get Data from Memory\r\n(error code: 2)"_s});
        QTest::qWait(50);
        QCOMPARE(preview.startPreview(kNotPlayable).refusal(), Refusal::Busy);
        m_ui->read(m_ui->pending)();
        QTRY_VERIFY(!preview.isStarting());
        QCOMPARE(m_ui->read(m_ui->boxes).size(), 1);
        QVERIFY(m_ui->read(m_ui->labels).isEmpty());
        QVERIFY(!preview.holdsBlock());
    }

    void shutdownWaitsForAStartingWorker()
    {
        AudioPreview preview(m_api, *m_ui);
        m_ui->hold(true);
        const auto release = qScopeGuard([this] { m_ui->hold(false); });
        QVERIFY(preview.startPreview(test::makeOggSine()).ok());
        QVERIFY(m_ui->waitForLabel());
        std::thread releaser([this] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            m_ui->hold(false);
        });
        preview.shutdown();
        releaser.join();
        // The worker finished before the engine went.
        QCOMPARE(m_ui->read(m_ui->labels).size(), 4);
        QVERIFY(!preview.holdsBlock());
        QCOMPARE(preview.startPreview(test::makeOggSine()).refusal(), Refusal::Busy);
    }

    void shutdownDoesNotWaitForAnOpenErrorBox()
    {
        m_ui->keepOpen = true;
        std::function<void()> lateClose;
        {
            AudioPreview preview(m_api, *m_ui);
            QVERIFY(preview.startPreview(kNotPlayable).ok());
            QTRY_COMPARE(m_ui->read(m_ui->boxes).size(), 1);
            preview.shutdown();
            QVERIFY(!preview.isStarting());
            lateClose = m_ui->read(m_ui->pending);
        }
        lateClose(); // the box closes after the preview is gone
    }

    // SDL's disk output captures every sample: half a second of 440 Hz at 22050 Hz mono comes
    // out whole, as 16-bit stereo at 44100 Hz, between the silence of whole buffers.
    void wholeSoundComesOut()
    {
        QTemporaryDir dir;
        const QString capture = dir.filePath(u"out.raw"_s);
        QVERIFY(m_api.BASS_Free() != 0);
        qputenv("SDL_AUDIODRIVER", "disk");
        qputenv("SDL_DISKAUDIOFILE", QFile::encodeName(capture));
        QVERIFY(m_api.BASS_Init(1, 44100, 0, nullptr, nullptr) != 0);
        qputenv("SDL_AUDIODRIVER", "dummy");
        {
            AudioPreview preview(m_api, *m_ui);
            QVERIFY(preview.startPreview(test::makeOggSine(440.0, 0.5)).ok());
            QTRY_VERIFY(!preview.isStarting());
            const tvb_handle h = preview.previewChannel();
            QTRY_COMPARE_WITH_TIMEOUT(m_api.BASS_ChannelGetPosition(h),
                                      m_api.BASS_StreamGetLength(h), 20000);
            QTest::qWait(150); // the buffer holding the end reaches the file
        }
        const QByteArray raw = test::readAll(capture);
        std::vector<std::int16_t> s(static_cast<std::size_t>(raw.size()) / 4 * 2);
        std::memcpy(s.data(), raw.constData(), s.size() * 2);
        std::size_t first = s.size();
        std::size_t last = 0;
        int crossings = 0;
        for (std::size_t i = 0; i + 2 < s.size(); i += 2) {
            QVERIFY(std::abs(s[i] - s[i + 1]) <= 1); // both channels alike
            crossings += (s[i] < 0) != (s[i + 2] < 0) ? 1 : 0;
            if (s[i] != 0) {
                first = std::min(first, i / 2);
                last = i / 2;
            }
        }
        const auto frames = static_cast<long>(last - first + 1);
        QVERIFY2(std::abs(frames - 22050) <= 16, qPrintable(u"%1 frames"_s.arg(frames)));
        QVERIFY2(std::abs(crossings - 440) <= 4, qPrintable(u"%1 crossings"_s.arg(crossings)));
    }
};

QTEST_GUILESS_MAIN(TestAudioPreview)
#include "test_audio_preview.moc"
