// Ogg Vorbis encoding with libvorbisenc, in VBR quality mode, into memory.

#include "internal.h"

#include <algorithm>
#include <vorbis/vorbisenc.h>

namespace tollvik::convert {
namespace {

// Every stream gets the same serial number, so that a build is reproducible byte for byte.
constexpr int kStreamSerial = 0x546f6c76;
constexpr qint64 kChunkFrames = 1024;

Failure encoderRefused(SoundFormat format, float quality)
{
    return fail(QStringLiteral("The Vorbis encoder does not take %1 Hz, %2 channels at quality "
                               "%3.")
                    .arg(format.sampleRate)
                    .arg(format.channels)
                    .arg(static_cast<double>(quality), 0, 'f', 1));
}

void appendPage(QByteArray& out, const ogg_page& page)
{
    out.append(reinterpret_cast<const char*>(page.header), page.header_len);
    out.append(reinterpret_cast<const char*>(page.body), page.body_len);
}

// The encoder's state, cleared in the order libvorbis asks for.
class VorbisEncoder
{
public:
    VorbisEncoder()
    {
        vorbis_info_init(&m_info);
        vorbis_comment_init(&m_comment);
    }
    ~VorbisEncoder()
    {
        if (m_started) {
            ogg_stream_clear(&m_stream);
            vorbis_block_clear(&m_block);
            vorbis_dsp_clear(&m_dsp);
        }
        vorbis_comment_clear(&m_comment);
        vorbis_info_clear(&m_info);
    }
    VorbisEncoder(const VorbisEncoder&) = delete;
    VorbisEncoder& operator=(const VorbisEncoder&) = delete;

    [[nodiscard]] bool start(SoundFormat format, float quality)
    {
        if (vorbis_encode_init_vbr(&m_info, format.channels, format.sampleRate, quality) != 0)
            return false;
        vorbis_analysis_init(&m_dsp, &m_info);
        vorbis_block_init(&m_dsp, &m_block);
        ogg_stream_init(&m_stream, kStreamSerial);
        m_started = true;
        return true;
    }

    // The three header packets; the first page holds the identification header alone.
    void writeHeaders(QByteArray& out)
    {
        ogg_packet id, comment, setup;
        vorbis_analysis_headerout(&m_dsp, &m_comment, &id, &comment, &setup);
        ogg_stream_packetin(&m_stream, &id);
        ogg_stream_packetin(&m_stream, &comment);
        ogg_stream_packetin(&m_stream, &setup);
        ogg_page page;
        while (ogg_stream_flush(&m_stream, &page) != 0)
            appendPage(out, page);
    }

    // Hands `count` frames from `at` to the encoder; no frames marks the end of the sound.
    void feed(const Pcm& pcm, qint64 at, qint64 count)
    {
        if (count > 0) {
            float** buffer = vorbis_analysis_buffer(&m_dsp, static_cast<int>(count));
            const float* src = pcm.samples.data() + at * pcm.channels;
            for (qint64 i = 0; i < count; ++i)
                for (int c = 0; c < pcm.channels; ++c)
                    buffer[c][i] = *src++;
        }
        vorbis_analysis_wrote(&m_dsp, static_cast<int>(count));
    }

    // Appends the pages that are ready; true once the last page is out.
    bool drain(QByteArray& out)
    {
        bool last = false;
        while (vorbis_analysis_blockout(&m_dsp, &m_block) == 1) {
            vorbis_analysis(&m_block, nullptr);
            vorbis_bitrate_addblock(&m_block);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&m_dsp, &packet) == 1) {
                ogg_stream_packetin(&m_stream, &packet);
                ogg_page page;
                while (!last && ogg_stream_pageout(&m_stream, &page) != 0) {
                    appendPage(out, page);
                    m_granule = std::max<qint64>(m_granule, ogg_page_granulepos(&page));
                    last = ogg_page_eos(&page) != 0;
                }
            }
        }
        return last;
    }

    // Frames of sound in the pages written so far.
    [[nodiscard]] qint64 framesWritten() const { return m_granule; }

private:
    vorbis_info m_info;
    vorbis_comment m_comment;
    vorbis_dsp_state m_dsp{};
    vorbis_block m_block{};
    ogg_stream_state m_stream{};
    bool m_started = false;
    qint64 m_granule = 0;
};

} // namespace

namespace {

// What the floor run still added after the point where `frames` of sound were out: counted from
// its first mark at or past that point, so that it never counts more than it should.
class FloorRest
{
public:
    explicit FloorRest(const detail::EncodeRun* floor) : m_floor(floor) {}

    [[nodiscard]] qint64 after(qint64 frames)
    {
        if (m_floor == nullptr || m_floor->marks.empty())
            return 0;
        const auto& marks = m_floor->marks;
        while (m_next + 1 < marks.size() && marks[m_next].frames < frames)
            ++m_next;
        return m_floor->ogg.size() - marks[m_next].bytes;
    }

private:
    const detail::EncodeRun* m_floor;
    size_t m_next = 0;
};

} // namespace

Result<detail::EncodeRun> detail::encodeUpTo(const Pcm& pcm, float quality, qint64 maxBytes,
                                             StopFlag stop, const EncodeRun* floor)
{
    VorbisEncoder encoder;
    if (pcm.channels <= 0 || pcm.sampleRate <= 0 || !encoder.start(pcm.format(), quality))
        return encoderRefused(pcm.format(), quality);
    EncodeRun run;
    encoder.writeHeaders(run.ogg);
    run.headerBytes = run.ogg.size();
    FloorRest rest(floor);
    const qint64 frames = pcm.frames();
    for (qint64 at = 0;;) {
        if (stopped(stop))
            return cancelled();
        const qint64 count = std::min(kChunkFrames, frames - at);
        encoder.feed(pcm, at, count);
        at += count;
        const bool done = encoder.drain(run.ogg);
        const qint64 written = encoder.framesWritten();
        run.secondsEncoded = static_cast<double>(written) / pcm.sampleRate;
        run.marks.push_back({written, run.ogg.size()});
        if (maxBytes > 0 && run.ogg.size() + (done ? 0 : rest.after(written)) > maxBytes) {
            run.over = true;
            return run;
        }
        if (done)
            return run;
    }
}

Result<QByteArray> encodeOgg(const Pcm& pcm, float quality, StopFlag stop)
{
    Result<detail::EncodeRun> run = detail::encodeUpTo(pcm, quality, 0, stop);
    if (!run)
        return run.failure();
    return std::move(run->ogg);
}

double detail::nominalBitrate(SoundFormat format, float quality)
{
    vorbis_info info;
    vorbis_info_init(&info);
    const bool ok = vorbis_encode_init_vbr(&info, format.channels, format.sampleRate, quality) == 0;
    const double bitrate = ok ? static_cast<double>(info.bitrate_nominal) : 0.0;
    vorbis_info_clear(&info);
    return bitrate;
}

} // namespace tollvik::convert
