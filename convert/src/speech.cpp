// Speech with espeak-ng in its synchronous mode: the sound comes back through the synthesis
// callback into a buffer, never to a sound device.

#include "convert/speech.h"

#include "internal.h"

#include <algorithm>
#include <espeak-ng/espeak_ng.h>
#include <espeak-ng/speak_lib.h>
#include <mutex>

namespace tollvik::convert {
namespace {

// What one synthesis collects.
struct Collector
{
    std::vector<float> samples;
    StopFlag stop = nullptr;
};

// The process's one espeak-ng state; every member is used with the mutex held.
struct Espeak
{
    std::mutex mutex;
    bool tried = false;
    Status ready;
    int sampleRate = 0;
    Collector* collector = nullptr; // of the synthesis under way
};

Espeak& espeak()
{
    static Espeak state;
    return state;
}

// Called by espeak_Synth() on the calling thread while the mutex is held; a null buffer ends the
// synthesis. Returning 1 asks espeak-ng to stop.
int collect(short* wav, int count, espeak_EVENT*)
{
    Collector* collector = espeak().collector;
    if (collector == nullptr || wav == nullptr)
        return 0;
    for (int i = 0; i < count; ++i)
        collector->samples.push_back(static_cast<float>(wav[i]) / 32768.0f);
    return detail::stopped(collector->stop) ? 1 : 0;
}

// Starts espeak-ng on first use; later calls give the first outcome.
Status initialise(Espeak& state)
{
    if (state.tried)
        return state.ready;
    state.tried = true;
    espeak_ng_InitializePath(nullptr);
    espeak_ng_ERROR_CONTEXT context = nullptr;
    espeak_ng_STATUS status = espeak_ng_Initialize(&context);
    if (status == ENS_OK)
        status = espeak_ng_InitializeOutput(ENOUTPUT_MODE_SYNCHRONOUS, 0, nullptr);
    espeak_ng_ClearErrorContext(&context);
    if (status != ENS_OK) {
        char why[512] = {};
        espeak_ng_GetStatusCodeMessage(status, why, sizeof why);
        state.ready = fail(QStringLiteral("Speech is not available: espeak-ng cannot start: %1.")
                               .arg(QString::fromUtf8(why)));
        return state.ready;
    }
    espeak_SetSynthCallback(collect);
    state.sampleRate = espeak_ng_GetSampleRate();
    return state.ready;
}

// The voices espeak-ng lists (its MBROLA voices need a program of their own and are left out).
QList<Voice> listVoices()
{
    QList<Voice> out;
    const espeak_VOICE** list = espeak_ListVoices(nullptr);
    for (; list != nullptr && *list != nullptr; ++list) {
        const espeak_VOICE& voice = **list;
        if (voice.name == nullptr || voice.languages == nullptr || voice.languages[0] == 0 ||
            QByteArrayView(voice.identifier).startsWith("mb/"))
            continue;
        // Each language is a priority byte followed by its zero-terminated tag.
        out.append({QString::fromUtf8(voice.name), QString::fromUtf8(voice.languages + 1),
                    QString::fromUtf8(voice.identifier != nullptr ? voice.identifier : "")});
    }
    std::stable_sort(out.begin(), out.end(), [](const Voice& a, const Voice& b) {
        return QString::localeAwareCompare(a.name, b.name) < 0;
    });
    return out;
}

QString voiceOfLanguage(const QList<Voice>& voices, const QString& tag)
{
    for (const Voice& voice : voices) {
        if (voice.language == tag)
            return voice.name;
    }
    return {};
}

// The voice with the shortest tag of the language's family ("de" finds "de-ch").
QString voiceOfFamily(const QList<Voice>& voices, const QString& language)
{
    const QString prefix = language + QLatin1Char('-');
    const Voice* best = nullptr;
    for (const Voice& voice : voices) {
        if (voice.language.startsWith(prefix) &&
            (best == nullptr || voice.language.size() < best->language.size()))
            best = &voice;
    }
    return best != nullptr ? best->name : QString();
}

} // namespace

QString defaultVoice(const QList<Voice>& voices, const QLocale& locale)
{
    const QString tag = locale.name().toLower().replace(QLatin1Char('_'), QLatin1Char('-'));
    const QString language = tag.section(QLatin1Char('-'), 0, 0);
    const QString english = QStringLiteral("en");
    for (const QString& name :
         {voiceOfLanguage(voices, tag), voiceOfLanguage(voices, language),
          voiceOfFamily(voices, language), voiceOfLanguage(voices, QStringLiteral("en-gb")),
          voiceOfLanguage(voices, english), voiceOfFamily(voices, english)}) {
        if (!name.isEmpty())
            return name;
    }
    return {};
}

QString findVoice(const QList<Voice>& voices, const QString& given)
{
    const QString wanted = given.trimmed();
    QString printed = wanted; // the name as `espeak-ng --voices` prints it
    printed.replace(QLatin1Char('_'), QLatin1Char(' '));
    const auto same = [](const QString& a, const QString& b) {
        return !a.isEmpty() && a.compare(b, Qt::CaseInsensitive) == 0;
    };
    // A name first, then a language code, then a voice file.
    for (int pass = 0; pass < 3 && !wanted.isEmpty(); ++pass) {
        for (const Voice& voice : voices) {
            const bool matches = pass == 0   ? same(voice.name, wanted) || same(voice.name, printed)
                                 : pass == 1 ? same(voice.language, wanted)
                                             : same(voice.file, wanted);
            if (matches)
                return voice.name;
        }
    }
    return {};
}

Result<QList<Voice>> voices()
{
    Espeak& state = espeak();
    const std::lock_guard lock(state.mutex);
    if (const Status ready = initialise(state); !ready)
        return ready.failure();
    return listVoices();
}

Result<Pcm> speak(const QString& text, const QString& voiceName, StopFlag stop)
{
    Espeak& state = espeak();
    const std::lock_guard lock(state.mutex);
    if (const Status ready = initialise(state); !ready)
        return ready.failure();
    const QList<Voice> list = listVoices();
    const QString name =
        voiceName.trimmed().isEmpty() ? defaultVoice(list) : findVoice(list, voiceName);
    if (name.isEmpty() || espeak_SetVoiceByName(name.toUtf8().constData()) != EE_OK)
        return fail(QStringLiteral("espeak-ng has no voice named %1.")
                        .arg(voiceName.trimmed().isEmpty() ? name : voiceName));
    Collector collector{{}, stop};
    state.collector = &collector;
    const QByteArray utf8 = text.toUtf8();
    const espeak_ERROR error =
        espeak_Synth(utf8.constData(), static_cast<size_t>(utf8.size()) + 1, 0, POS_CHARACTER, 0,
                     espeakCHARS_UTF8, nullptr, nullptr);
    state.collector = nullptr;
    if (detail::stopped(stop))
        return detail::cancelled();
    if (error != EE_OK || collector.samples.empty())
        return fail(QStringLiteral("espeak-ng made no sound of \"%1\".").arg(text));
    Pcm pcm;
    pcm.samples = std::move(collector.samples);
    pcm.sampleRate = state.sampleRate;
    pcm.channels = 1;
    return pcm;
}

} // namespace tollvik::convert
