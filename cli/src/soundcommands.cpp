// convert and speak: any sound, or a spoken text, into a sound a slot can hold.
#include "archive/archive.h"
#include "command.h"
#include "convert/slotsounds.h"
#include "convert/speech.h"
#include "core/fileio.h"

namespace tollvik::cli {
namespace {

const QCommandLineOption kLike(QStringLiteral("like"),
                               QStringLiteral("Match slot SLOT (1-30) of the archive ARCHIVE: its "
                                              "rate, channels and the archive's loudness."),
                               QStringLiteral("ARCHIVE:SLOT"));
const QCommandLineOption kRate(QStringLiteral("rate"), QStringLiteral("Sample rate in Hz."),
                               QStringLiteral("R"));
const QCommandLineOption kChannels(QStringLiteral("channels"),
                                   QStringLiteral("1 (mono) or 2 (stereo)."), QStringLiteral("C"));

Result<convert::Target> targetLike(const QString& like)
{
    const qsizetype colon = like.lastIndexOf(u':');
    const Result<int> slot = slotNumber(like.mid(colon + 1));
    if (colon < 0 || !slot)
        return fail(QStringLiteral("--like needs ARCHIVE:SLOT with a slot from 1 to 30"));
    return targetLikeSlot(like.left(colon), slot.value());
}

// The archive that --like names, which the command then reads; none without --like.
QStringList likeArchive(const QCommandLineParser& parser)
{
    if (!parser.isSet(kLike))
        return {};
    const QString like = parser.value(kLike);
    return {like.left(like.lastIndexOf(u':'))};
}

// The target the options describe: --like, or --rate with --channels; `fallback` without any.
Result<convert::Target> targetOf(const QCommandLineParser& parser,
                                 std::optional<convert::Target> fallback)
{
    if (parser.isSet(kLike) && (parser.isSet(kRate) || parser.isSet(kChannels)))
        return fail(QStringLiteral("--like takes the rate and channels of the slot; give either "
                                   "--like or --rate and --channels"));
    if (parser.isSet(kLike))
        return targetLike(parser.value(kLike));
    if (!parser.isSet(kRate) && !parser.isSet(kChannels) && fallback)
        return *fallback;
    bool rateOk = false;
    bool channelsOk = false;
    const int rate = parser.value(kRate).toInt(&rateOk);
    const int channels = parser.value(kChannels).toInt(&channelsOk);
    if (!rateOk || rate < 8000 || rate > 192000 || !channelsOk || channels < 1 || channels > 2)
        return fail(QStringLiteral("give --like ARCHIVE:SLOT, or --rate R (8000-192000) with "
                                   "--channels C (1 or 2)"));
    return convert::Target{{rate, channels}, convert::kDefaultLoudnessLufs, kMaxExternalSoundBytes};
}

int writeConverted(const Call& call, const Result<convert::Converted>& converted,
                   const QString& out, const QStringList& inputs)
{
    if (!converted)
        return refuse(call, converted.failure());
    if (const Status written = writeOutput(out, converted->ogg, inputs); !written)
        return refuse(call, written.failure());
    call.out << convert::describe(converted.value()) << Qt::endl;
    return kOk;
}

} // namespace

Result<SlotTargets> targetsOf(const QString& archive)
{
    if (const Status limits = checkArchiveLimitsOf(archive); !limits)
        return limits.failure();
    QuietLog log; // the command prints only its own lines
    const Result<ChkListing> listing = Get_Chk_info(archive, log);
    if (!listing)
        return fail(QStringLiteral("%1 cannot be listed: %2").arg(archive, listing.error()));
    return convert::slotTargets(convert::ListedArchive{QString(), archive, listing->table});
}

Result<convert::Target> targetLikeSlot(const QString& archive, int slot)
{
    const Result<SlotTargets> targets = targetsOf(archive);
    if (!targets)
        return targets.failure();
    return targets->at(static_cast<std::size_t>(slot - 1));
}

int convertCommand(const Call& call)
{
    QCommandLineParser parser;
    parser.addOptions({kLike, kRate, kChannels});
    const ParsedCall parsed = parseCall(
        parser, call,
        QStringLiteral("convert IN OUT (--like ARCHIVE:SLOT | --rate R --channels C)"), 2);
    if (!parsed.ok)
        return parsed.exitCode();
    const QString in = parser.positionalArguments().at(0);
    const QString out = parser.positionalArguments().at(1);
    const QStringList inputs = QStringList{in} + likeArchive(parser);
    if (const Status checked = checkFiles(inputs, out); !checked)
        return refuse(call, checked.failure());
    const Result<convert::Target> target = targetOf(parser, std::nullopt);
    if (!target)
        return refuse(call, target.failure());
    return writeConverted(call, convert::convertFile(in, target.value()), out, inputs);
}

int speakCommand(const Call& call)
{
    QCommandLineParser parser;
    const QCommandLineOption voice(QStringLiteral("voice"),
                                   QStringLiteral("The espeak-ng voice (default: the system's "
                                                  "language)."),
                                   QStringLiteral("V"));
    parser.addOptions({voice, kLike, kRate, kChannels});
    const ParsedCall parsed = parseCall(
        parser, call, QStringLiteral("speak TEXT OUT [--voice V] [--like ARCHIVE:SLOT]"), 2);
    if (!parsed.ok)
        return parsed.exitCode();
    const QString text = parser.positionalArguments().at(0);
    if (text.trimmed().isEmpty())
        return refuse(call, QStringLiteral("speak needs a text to speak, not an empty one"));
    const QString out = parser.positionalArguments().at(1);
    const QStringList inputs = likeArchive(parser);
    if (const Status checked = checkFiles(inputs, out); !checked)
        return refuse(call, checked.failure());
    // Without a format, the voice's own: 22050 Hz, mono.
    const Result<convert::Target> target = targetOf(
        parser, convert::Target{{22050, 1}, convert::kDefaultLoudnessLufs, kMaxExternalSoundBytes});
    if (!target)
        return refuse(call, target.failure());
    const Result<convert::Pcm> spoken = convert::speak(text, parser.value(voice));
    if (!spoken)
        return refuse(call, spoken.failure());
    return writeConverted(
        call,
        convert::convertPcm(spoken.value(), QStringLiteral("\"%1\"").arg(text), target.value()),
        out, inputs);
}

} // namespace tollvik::cli
