// Ogg Vorbis read with libvorbisfile, from a file or from memory: the decoder of chained
// streams, the length of a stream from its pages, and the check of a sound the navigator plays.

#include "archive/archive.h"
#include "internal.h"

#include <QBuffer>
#include <QFile>
#include <QLocale>
#include <ogg/ogg.h>
#include <vorbis/vorbisfile.h>

namespace tollvik::convert {
namespace {

// libvorbisfile's callbacks over a QIODevice (a QFile, or a QBuffer over the bytes).
size_t deviceRead(void* to, size_t size, size_t count, void* device)
{
    const qint64 got = static_cast<QIODevice*>(device)->read(static_cast<char*>(to),
                                                             static_cast<qint64>(size * count));
    return got > 0 ? static_cast<size_t>(got) / size : 0;
}

int deviceSeek(void* device, ogg_int64_t offset, int whence)
{
    auto* d = static_cast<QIODevice*>(device);
    const qint64 base = whence == SEEK_CUR ? d->pos() : whence == SEEK_END ? d->size() : 0;
    return base + offset >= 0 && d->seek(base + offset) ? 0 : -1;
}

long deviceTell(void* device)
{
    return static_cast<long>(static_cast<QIODevice*>(device)->pos());
}

constexpr ov_callbacks kDeviceCalls{deviceRead, deviceSeek, nullptr, deviceTell};

class VorbisDecoder final : public Decoder
{
public:
    VorbisDecoder() = default;
    ~VorbisDecoder() override
    {
        if (m_open)
            ov_clear(&m_file);
    }
    VorbisDecoder(const VorbisDecoder&) = delete;
    VorbisDecoder& operator=(const VorbisDecoder&) = delete;

    // Opens the stream and checks every chained stream's format before any is decoded.
    Status open(const QString& name)
    {
        if (!m_device->open(QIODevice::ReadOnly))
            return fail(QStringLiteral("%1 cannot be read: %2").arg(name, m_device->errorString()));
        if (ov_open_callbacks(m_device.get(), &m_file, nullptr, 0, kDeviceCalls) != 0)
            return fail(
                QStringLiteral("%1 is not an Ogg Vorbis stream libvorbisfile can read.").arg(name));
        m_open = true;
        for (int link = 0; link < ov_streams(&m_file); ++link) {
            const vorbis_info* info = ov_info(&m_file, link);
            if (info == nullptr)
                return fail(QStringLiteral("%1 has a damaged stream header.").arg(name));
            const Status bounded = checkSourceFormat(
                {static_cast<int>(std::clamp<long>(info->rate, 0, 1L << 30)), info->channels},
                name);
            if (!bounded)
                return bounded;
        }
        return {};
    }

    Status next(std::vector<float>& chunk, SoundFormat& format) override
    {
        chunk.clear();
        for (;;) {
            float** channels = nullptr;
            int link = 0;
            const long got = ov_read_float(&m_file, &channels, 4096, &link);
            if (got == OV_HOLE)
                continue; // a gap in the pages: decoding goes on after it
            if (got < 0)
                return fail(QStringLiteral("a packet is damaged"));
            if (got == 0)
                return {};
            const vorbis_info* info = ov_info(&m_file, link);
            format = {static_cast<int>(info->rate), info->channels};
            chunk.resize(static_cast<size_t>(got * info->channels));
            for (long f = 0; f < got; ++f)
                for (int c = 0; c < info->channels; ++c)
                    chunk[static_cast<size_t>(f * info->channels + c)] = channels[c][f];
            return {};
        }
    }

    double headerSeconds() const override
    {
        const double total = ov_time_total(const_cast<OggVorbis_File*>(&m_file), -1);
        return total >= 0 ? total : -1.0;
    }

    bool statesExactLength() const override { return true; }

    std::unique_ptr<QIODevice> m_device;
    QByteArray m_bytes; // what a QBuffer reads: a view of the caller's bytes
    OggVorbis_File m_file{};
    bool m_open = false;
};

Result<std::unique_ptr<VorbisDecoder>> openVorbisDecoder(const QString& path, QByteArrayView bytes,
                                                         const QString& name)
{
    auto decoder = std::make_unique<VorbisDecoder>();
    QByteArray start;
    if (path.isEmpty()) {
        decoder->m_bytes = QByteArray::fromRawData(bytes.data(), bytes.size());
        decoder->m_device = std::make_unique<QBuffer>(&decoder->m_bytes);
        start = decoder->m_bytes.left(4096);
    } else {
        auto file = std::make_unique<QFile>(path);
        if (file->open(QIODevice::ReadOnly))
            start = file->read(4096);
        file->close();
        decoder->m_device = std::move(file);
    }
    const Result<SoundFormat> format = oggFormat(start);
    if (!format)
        return fail(QStringLiteral("%1 cannot be decoded. %2").arg(name, format.error()));
    if (const Status bounded = checkSourceFormat(format.value(), name); !bounded)
        return bounded.failure();
    if (const Status opened = decoder->open(name); !opened)
        return opened.failure();
    return decoder;
}

} // namespace

bool isOggVorbis(QByteArrayView start)
{
    if (start.size() < 27 || !start.startsWith("OggS"))
        return false;
    const qsizetype body = 27 + static_cast<quint8>(start[26]);
    return start.size() >= body + 7 && start.sliced(body, 7) == QByteArrayView("\x01vorbis", 7);
}

Result<std::unique_ptr<Decoder>> openVorbis(const QString& path, QByteArrayView bytes,
                                            const QString& name)
{
    Result<std::unique_ptr<VorbisDecoder>> decoder = openVorbisDecoder(path, bytes, name);
    if (!decoder)
        return decoder.failure();
    return std::unique_ptr<Decoder>(std::move(decoder).value());
}

Result<double> oggSeconds(QByteArrayView ogg)
{
    const Result<std::unique_ptr<VorbisDecoder>> decoder =
        openVorbisDecoder({}, ogg, QStringLiteral("The sound"));
    if (!decoder)
        return decoder.failure();
    const double seconds = decoder.value()->headerSeconds();
    if (seconds < 0)
        return fail(QStringLiteral("The sound's length is not known."));
    return seconds;
}

namespace {

// The codec of a stream from its first packet.
QString codecOf(QByteArrayView packet)
{
    static const struct
    {
        QByteArrayView magic;
        const char* name;
    } known[] = {{"\x01vorbis", "Vorbis"},
                 {"OpusHead", "an Opus"},
                 {"\x7f"
                  "FLAC",
                  "a FLAC"},
                 {"Speex   ", "a Speex"},
                 {"\x80theora", "a Theora"},
                 {"\x80kate", "a Kate"}};
    for (const auto& codec : known)
        if (packet.startsWith(codec.magic))
            return QLatin1String(codec.name);
    return QStringLiteral("an unknown");
}

struct Pages
{
    int streams = 0;       // beginning-of-stream pages
    bool together = false; // a stream began before the one before it ended
    bool ended = false;    // the last page ends its stream
    QString codec;
};

// Walks the pages with libogg, which checks each page's checksum.
Result<Pages> walkPages(QByteArrayView ogg)
{
    ogg_sync_state sync;
    ogg_sync_init(&sync);
    char* buffer = ogg_sync_buffer(&sync, static_cast<long>(ogg.size()));
    std::copy(ogg.begin(), ogg.end(), buffer);
    ogg_sync_wrote(&sync, static_cast<long>(ogg.size()));
    Pages pages;
    qint64 at = 0;
    ogg_page page;
    for (int got; (got = ogg_sync_pageout(&sync, &page)) != 0;) {
        if (got < 0) {
            ogg_sync_clear(&sync);
            return fail(QStringLiteral("it is damaged at byte %1")
                            .arg(QLocale(QLocale::English).toString(at)));
        }
        at += page.header_len + page.body_len;
        if (ogg_page_bos(&page) != 0) {
            pages.together = pages.together || (pages.streams > 0 && !pages.ended);
            if (++pages.streams == 1)
                pages.codec = codecOf({reinterpret_cast<const char*>(page.body), page.body_len});
        }
        pages.ended = ogg_page_eos(&page) != 0;
    }
    ogg_sync_clear(&sync);
    if (pages.streams == 0 || at < ogg.size() || !pages.ended)
        return fail(QStringLiteral("it is cut short"));
    return pages;
}

} // namespace

Status checkSlotFormat(SoundFormat format)
{
    if (format.sampleRate >= kMinSlotRate && format.sampleRate <= kMaxSlotRate &&
        format.channels >= 1 && format.channels <= kMaxSlotChannels)
        return {};
    return fail(QStringLiteral("it is %1; a slot sound is 8,000–48,000 Hz, mono or stereo")
                    .arg(detail::formatText(format)));
}

Status checkPlayable(QByteArrayView ogg, StopFlag stop)
{
    const QLocale english(QLocale::English);
    if (ogg.size() > kMaxExternalSoundBytes)
        return fail(
            QStringLiteral("it is %1 bytes; a slot sound is at most %2")
                .arg(english.toString(ogg.size()), english.toString(kMaxExternalSoundBytes)));
    if (!ogg.startsWith("OggS"))
        return fail(QStringLiteral("it is not an Ogg file"));
    const Result<Pages> pages = walkPages(ogg);
    if (!pages)
        return pages.failure();
    if (pages->codec != QLatin1String("Vorbis"))
        return fail(QStringLiteral("it holds %1 stream").arg(pages->codec));
    if (pages->streams > 1)
        return fail(pages->together
                        ? QStringLiteral("it holds %1 streams at once").arg(pages->streams)
                        : QStringLiteral("it holds %1 chained streams").arg(pages->streams));
    const Result<SoundFormat> format = oggFormat(ogg);
    if (!format)
        return fail(QStringLiteral("its Vorbis header is damaged"));
    if (const Status slot = checkSlotFormat(format.value()); !slot)
        return slot;
    Result<std::unique_ptr<VorbisDecoder>> decoder = openVorbisDecoder({}, ogg, QString());
    if (!decoder)
        return fail(QStringLiteral("its Vorbis headers are damaged"));
    std::vector<float> chunk;
    double seconds = 0.0;
    for (SoundFormat at{};;) {
        if (detail::stopped(stop))
            return detail::cancelled();
        if (const Status got = decoder.value()->next(chunk, at); !got)
            return fail(QStringLiteral("it does not decode to its end: %1 at %2")
                            .arg(got.error(), detail::minutesSeconds(seconds)));
        if (chunk.empty())
            return {};
        seconds += static_cast<double>(chunk.size()) / at.channels / at.sampleRate;
        if (seconds > kMaxSourceSeconds)
            return fail(QStringLiteral("it plays longer than %1")
                            .arg(detail::minutesSeconds(kMaxSourceSeconds)));
    }
}

} // namespace tollvik::convert
