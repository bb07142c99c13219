#include "scenes.h"

#include "chkfactory.h"
#include "navigatorfiles.h"

namespace tollvik::test {
namespace {

bool fail(QString* why, const QString& text)
{
    if (why)
        *why = text;
    return false;
}

} // namespace

ArchiveScene::ArchiveScene(const ProgramFolder& f, int entries, int fillerSize)
    : folder(f), m_entries(entries), m_fillerSize(fillerSize)
{
    chosen = folder.file(QStringLiteral("device/") + name);
    working = folder.temp(name);
    output = folder.modified(name);
    ChkArchive archive = makeChk(m_entries);
    if (m_fillerSize > 0) {
        // Large entries before the slots, so that a build takes long enough to be interrupted.
        for (int entry = 1; entry <= m_entries - 31; ++entry)
            archive.entries[entry - 1] = fillerEntry(entry, m_fillerSize);
    }
    original = archive.bytes();
    for (int i = 0; i < 3; ++i) {
        sounds << folder.file(QStringLiteral("sounds/tone%1.ogg").arg(i));
        soundBytes << makeOggSine(500.0 + 150.0 * i, 0.2 + 0.1 * i);
    }
}

bool ArchiveScene::prepare(QString* why)
{
    if (!writeAll(chosen, original))
        return fail(why, QStringLiteral("cannot write %1").arg(chosen));
    for (int i = 0; i < sounds.size(); ++i) {
        if (!writeAll(sounds[i], soundBytes[i]))
            return fail(why, QStringLiteral("cannot write %1").arg(sounds[i]));
    }
    RecordingLog log;
    if (!reload(log))
        return fail(why, log.lines.join(u'\n'));
    if (!data_chk_reload(input({{0, 0}}), log) || readAll(output).isEmpty())
        return fail(why, log.lines.join(u'\n'));
    return true;
}

bool ArchiveScene::reload(RecordingLog& log)
{
    const Result<LoadedChk> loaded = LoadBaseChk(chosen, folder.path(), log);
    return loaded && loaded->workingPath == working;
}

BuildInput ArchiveScene::input(std::initializer_list<std::pair<int, int>> slotSounds) const
{
    BuildInput in;
    in.programFolder = folder.path();
    in.workingPath = working;
    in.baseArchiveName = name;
    for (int s = 0; s < kSlotCount; ++s) {
        in.soundBoxes[static_cast<std::size_t>(s)] = slotLabel(s);
        in.menuTexts[static_cast<std::size_t>(s)] = QStringLiteral("Item %1").arg(s + 1);
    }
    for (const auto& [slot, sound] : slotSounds)
        in.soundBoxes[static_cast<std::size_t>(slot)] = sounds.value(sound);
    return in;
}

QByteArray expectedBuild(const QByteArray& original, const QList<QByteArray>& soundBytes,
                         std::initializer_list<std::pair<int, int>> slotSounds)
{
    ProgramFolder f;
    ArchiveScene scene(f);
    RecordingLog log;
    if (!writeAll(scene.chosen, original) || !scene.reload(log))
        return {};
    for (int i = 0; i < soundBytes.size(); ++i)
        writeAll(scene.sounds.value(i), soundBytes[i]);
    return data_chk_reload(scene.input(slotSounds), log).ok() ? readAll(scene.output)
                                                              : QByteArray();
}

NavigatorScene::NavigatorScene(const ProgramFolder& f, int buildIndex)
    : folder(f), m_buildIndex(buildIndex)
{
    chosen = folder.file(QStringLiteral("device/") + name);
    working = folder.temp(name);
    output = folder.modified(name);
    ini = folder.path() + QStringLiteral("Tollvik.ini");
    original = makeNavigatorFile(m_buildIndex);
}

bool NavigatorScene::prepare(QString* why)
{
    if (!writeAll(chosen, original))
        return fail(why, QStringLiteral("cannot write %1").arg(chosen));
    RecordingLog log;
    if (!reload(log))
        return fail(why, log.lines.join(u'\n'));
    if (!saveModifiedNavigator(state, textsA(), folder.path(), log).ok())
        return fail(why, log.lines.join(u'\n'));
    return true;
}

bool NavigatorScene::reload(RecordingLog& log)
{
    state = NavigatorState();
    return loadNavigatorFile(chosen, folder.path(), state, log).ok();
}

std::array<QString, 30> NavigatorScene::textsA()
{
    std::array<QString, 30> texts;
    for (std::size_t i = 0; i < texts.size(); ++i)
        texts[i] = QStringLiteral("Camera %1").arg(i + 1);
    return texts;
}

std::array<QString, 30> NavigatorScene::textsB()
{
    std::array<QString, 30> texts;
    for (std::size_t i = 0; i < texts.size(); ++i)
        texts[i] = i % 3 == 0 ? QStringLiteral("Blitzer %1 \u00e9").arg(i + 1) : QString();
    return texts;
}

std::pair<QByteArray, QByteArray> expectedSave(const QByteArray& original,
                                               const std::array<QString, 30>& texts)
{
    ProgramFolder f;
    NavigatorScene scene(f);
    RecordingLog log;
    if (!writeAll(scene.chosen, original) || !scene.reload(log) ||
        !saveModifiedNavigator(scene.state, texts, f.path(), log).ok())
        return {};
    return {readAll(scene.output), readAll(scene.ini)};
}

} // namespace tollvik::test
