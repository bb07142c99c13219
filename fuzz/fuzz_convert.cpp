// The converter's decode and target path: a sound file or a slot sound from a generated seed.
//
// Input, read by FuzzedDataProvider: the seed (a 0.2 s Ogg Vorbis tone of 8,000 to 48,000 Hz,
// mono or stereo, or a WAV of 16-bit PCM whose header states any rate and 1 to 255 channels),
// up to 8 byte edits (the new byte, then its offset), a count of bytes to cut from its end, and
// the slot format converted to. The empty input is a whole 22,050 Hz mono Ogg Vorbis tone.
//
// Invariants: a sound the navigator can play has a slot sound's format and a known length; a
// sound read as a slot sound has a loudness or none; a converted sound is one the navigator can
// play, of the slot's format, no larger than a slot holds, with its true peak at the ceiling or
// below; nothing throws.
#include "convert/convert.h"
#include "fuzzsupport.h"
#include "soundfiles.h"

#include <QTemporaryDir>

using namespace tollvik;
using namespace tollvik::convert;

namespace {

QByteArray seed(FuzzedDataProvider& in)
{
    static const int rates[] = {22050, 8000, 11025, 16000, 32000, 44100, 48000};
    const int rate = rates[in.ConsumeIntegralInRange(0, 6)];
    const int channels = in.ConsumeIntegralInRange(1, 2);
    if (!in.ConsumeBool())
        return test::makeOggSine(440, 0.2, rate, channels);
    const auto stated = in.ConsumeIntegral<quint32>();
    return test::wavStating(stated, in.ConsumeIntegralInRange(1, 255), 1600);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static QTemporaryDir dir;
    FuzzedDataProvider in(data, size);
    QByteArray bytes = seed(in);
    for (int edits = in.ConsumeIntegralInRange(0, 8); edits > 0; --edits) {
        const char value = in.ConsumeIntegral<char>();
        bytes[in.ConsumeIntegralInRange<qsizetype>(0, bytes.size() - 1)] = value;
    }
    bytes.chop(in.ConsumeIntegralInRange<qsizetype>(0, bytes.size() - 1));
    const SoundFormat slot{in.ConsumeBool() ? 8000 : 22050, in.ConsumeIntegralInRange(1, 2)};

    if (checkPlayable(bytes)) {
        const Result<SoundFormat> format = oggFormat(bytes);
        FUZZ_CHECK(format && checkSlotFormat(format.value()));
        FUZZ_CHECK(oggSeconds(bytes).ok());
    }
    const Result<double> median = medianLoudness({bytes});
    FUZZ_CHECK(median.ok());

    const QString path = dir.filePath(QStringLiteral("sound"));
    FUZZ_CHECK(test::writeAll(path, bytes));
    const Result<Converted> c = convertFile(path, Target{slot, median.value(), 131056});
    if (c) {
        FUZZ_CHECK(c->ogg.size() <= 131056 && checkPlayable(c->ogg));
        FUZZ_CHECK(oggFormat(c->ogg).ok() && oggFormat(c->ogg).value() == slot);
        FUZZ_CHECK(c->truePeakDbtp <= kPeakCeilingDbfs);
    }
    return 0;
}
