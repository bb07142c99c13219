#include "testsupport.h"

#include <cmath>
#include <numbers>
#include <vorbis/vorbisenc.h>

namespace tollvik::test {

QByteArray makeOggSine(double frequencyHz, double seconds, int sampleRate, int channels,
                       double amplitude)
{
    vorbis_info info;
    vorbis_info_init(&info);
    if (vorbis_encode_init_vbr(&info, channels, sampleRate, 0.1f) != 0)
        qFatal("libvorbisenc cannot encode %d channels at %d Hz", channels, sampleRate);
    vorbis_comment comment;
    vorbis_comment_init(&comment);
    vorbis_dsp_state dsp;
    vorbis_analysis_init(&dsp, &info);
    vorbis_block block;
    vorbis_block_init(&dsp, &block);
    ogg_stream_state stream;
    ogg_stream_init(&stream, 0x746f6c6c);
    QByteArray out;
    ogg_page page;
    const auto pagesOut = [&](int (*next)(ogg_stream_state*, ogg_page*)) {
        while (next(&stream, &page) != 0) {
            out.append(reinterpret_cast<const char*>(page.header), page.header_len);
            out.append(reinterpret_cast<const char*>(page.body), page.body_len);
        }
    };
    ogg_packet packet[3];
    vorbis_analysis_headerout(&dsp, &comment, &packet[0], &packet[1], &packet[2]);
    for (ogg_packet& header : packet)
        ogg_stream_packetin(&stream, &header);
    pagesOut(ogg_stream_flush);

    // Blocks of 1024 frames; the last, empty write ends the stream.
    const long total = std::lround(seconds * sampleRate);
    for (long written = 0, count = 1; count > 0; written += count) {
        count = std::min<long>(1024, total - written);
        float** buffer = count > 0 ? vorbis_analysis_buffer(&dsp, int(count)) : nullptr;
        for (long i = 0; i < count; ++i) {
            const double t = double(written + i) / sampleRate;
            for (int c = 0; c < channels; ++c)
                buffer[c][i] =
                    float(amplitude * std::sin(2.0 * std::numbers::pi * frequencyHz * t));
        }
        vorbis_analysis_wrote(&dsp, int(count));
        while (vorbis_analysis_blockout(&dsp, &block) == 1) {
            vorbis_analysis(&block, nullptr);
            vorbis_bitrate_addblock(&block);
            while (vorbis_bitrate_flushpacket(&dsp, &packet[0]) == 1) {
                ogg_stream_packetin(&stream, &packet[0]);
                pagesOut(ogg_stream_pageout);
            }
        }
    }
    pagesOut(ogg_stream_flush);
    ogg_stream_clear(&stream);
    vorbis_block_clear(&block);
    vorbis_dsp_clear(&dsp);
    vorbis_comment_clear(&comment);
    vorbis_info_clear(&info);
    return out;
}

} // namespace tollvik::test
