// Sounds from anything for the warning slots: the slot's context menu, files dropped on the
// window, and the conversion and speech jobs that run on the sound worker.
#include "app/frmmemory.h"
#include "converter.h"
#include "core/fileio.h"
#include "core/paths.h"
#include "device/device.h"
#include "dialogs/folderdialog.h"
#include "recentfolders.h"
#include "settings/ini.h"
#include "soundworker.h"
#include "windowstate.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QInputDialog>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>

namespace tollvik {

// One slot's part of a job: a file to convert or take as it is, or a text to speak.
struct SlotWork
{
    int slot = 0;
    QString source;
    enum class Kind
    {
        Convert,
        Speak
    } kind = Kind::Convert;
    QString note; // logged when the job starts: why the file is converted
};

namespace {

const QString kSoundFilter = QStringLiteral(
    "Sounds (*.wav;*.aif;*.aiff;*.flac;*.ogg;*.oga;*.opus;*.mp3)|*.wav;*.aif;*.aiff;*.flac;*.ogg;"
    "*.oga;*.opus;*.mp3|All files (*.*)|*.*");
const QString kSpeechSection = QStringLiteral("Speech");
const QString kVoiceKey = QStringLiteral("Voice");

Result<convert::SlotSoundMade> runWork(const convert::ModuleCalls& calls,
                                       const convert::ListedArchive& archive,
                                       const SlotTargets& targets, const SlotWork& work,
                                       const QString& voice, const std::atomic<bool>* stop)
{
    const convert::Target& target = targets[static_cast<std::size_t>(work.slot)];
    if (work.kind == SlotWork::Kind::Speak)
        return calls.speakIntoSlot(archive, work.slot, target, work.source, voice, stop);
    return calls.convertIntoSlot(archive, work.slot, target, work.source, stop);
}

} // namespace

void frmmemory::attachSlotMenu(QWidget* widget, int slot)
{
    widget->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(widget, &QWidget::customContextMenuRequested, this,
            [this, widget, slot](QPoint at) { slotMenu(slot)->popup(widget->mapToGlobal(at)); });
}

QMenu* frmmemory::slotMenu(int slot)
{
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const bool listed = m_state->archiveLoaded;
    const auto add = [&](const QString& text, bool enabled, auto&& handler) {
        QAction* action = menu->addAction(text);
        action->setEnabled(enabled);
        connect(action, &QAction::triggered, this, handler);
    };
    add(QStringLiteral("Import and convert a sound\u2026"), listed,
        [this, slot] { importConvertedSound(slot); });
    add(QStringLiteral("Speak the menu text"), listed, [this, slot] { speakMenuText(slot); });
    add(QStringLiteral("Voice\u2026"), true, [this] { chooseVoice(); });
    if (isExternalSound(Text1(slot + kSlotCount)->text()))
        add(QStringLiteral("Use the archive's sound again"), listed,
            [this, slot] { useArchiveSound(slot); });
    menu->addSeparator();
    add(QStringLiteral("Export all sounds\u2026"), listed, [this] { exportAllSounds(); });
    add(QStringLiteral("Import a folder\u2026"), listed, [this] { importFolder(); });
    return menu;
}

bool frmmemory::needsListedArchive()
{
    if (m_state->archiveLoaded)
        return true;
    AddText(QStringLiteral("Load a sound archive first: a slot's new sound is made to match the "
                           "archive's own."));
    beep();
    return false;
}

void frmmemory::importConvertedSound(int slot)
{
    if (const std::optional<QString> chosen =
            chooseFileToOpen(FolderKind::SlotSound, QString(), kSoundFilter))
        runSlotJob({{slot, *chosen, SlotWork::Kind::Convert, {}}});
}

void frmmemory::importAnySound(int slot, const QString& path)
{
    if (!needsListedArchive())
        return;
    QString note;
    if (isExternalSound(path)) { // an .ogg file the navigator plays is taken as "..." takes it
        const std::optional<QString> why = whyConverted(path);
        if (!why)
            return;
        if (why->isEmpty()) {
            takeSlotSound(slot, path, importLogLine(path, slot));
            return;
        }
        note = *why;
    }
    runSlotJob({{slot, path, SlotWork::Kind::Convert, note}});
}

std::optional<QString> frmmemory::whyConverted(const QString& path)
{
    const QString name = QFileInfo(path).fileName();
    if (fileLength(path) > kMaxExternalSoundBytes)
        return QStringLiteral("%1 is larger than a slot holds (%2 bytes): it is converted.")
            .arg(name)
            .arg(kMaxExternalSoundBytes);
    const Result<QByteArray> ogg = readWholeFile(path, kMaxExternalSoundBytes);
    if (!ogg) {
        AddText(QStringLiteral("Cannot read %1: %2").arg(path, ogg.error()));
        beep();
        return std::nullopt;
    }
    const Result<const convert::ModuleCalls*> calls = converter();
    if (!calls)
        return std::nullopt;
    Status playable;
    try {
        playable = calls.value()->checkPlayable(ogg.value(), nullptr);
    } catch (...) {
        AddText(calls.value()->failureOfException(std::current_exception()).error);
        beep();
        return std::nullopt;
    }
    if (playable)
        return QString();
    return QStringLiteral("%1 is not an Ogg Vorbis sound the navigator can play (%2): it is "
                          "converted.")
        .arg(name, playable.error());
}

void frmmemory::speakMenuText(int slot)
{
    runSlotJob({{slot, Text1(slot)->text(), SlotWork::Kind::Speak, {}}});
}

void frmmemory::importSlotFiles(const QStringList& paths)
{
    if (!needsListedArchive())
        return;
    const QMap<int, QString> matched = convert::matchSlots(paths);
    if (matched.isEmpty()) {
        AddText(QStringLiteral("None of the files is named for a slot (\"Sound 07.ogg\", "
                               "\"07 bell.wav\")."));
        beep();
        return;
    }
    // Sounds the navigator plays as they are go in at once; the others are converted.
    QList<SlotWork> work;
    for (auto it = matched.cbegin(); it != matched.cend(); ++it) {
        std::optional<QString> why = QString(); // a sound of another kind is always converted
        if (isExternalSound(it.value()) && !(why = whyConverted(it.value())))
            continue;
        if (isExternalSound(it.value()) && why->isEmpty())
            takeSlotSound(it.key(), it.value(), importLogLine(it.value(), it.key()));
        else
            work.append({it.key(), it.value(), SlotWork::Kind::Convert, *why});
    }
    if (!work.isEmpty())
        runSlotJob(work);
}

void frmmemory::runSlotJob(const QList<SlotWork>& work)
{
    if (refusedWhileConverting())
        return;
    const Result<const convert::ModuleCalls*> loaded = converter();
    if (!loaded)
        return;
    // The module's table lives as long as the process.
    const convert::ModuleCalls* calls = loaded.value();
    const convert::ListedArchive archive{programFolder(), m_text2->text(), m_state->SlotSoundTable};
    const bool speaks = std::any_of(work.cbegin(), work.cend(), [](const SlotWork& w) {
        return w.kind == SlotWork::Kind::Speak;
    });
    const QString voice = speaks ? storedVoice() : QString();
    // The targets depend only on the listed archive, which cannot change while a job runs (a
    // load or a build waits for it): they are measured by the first job and kept.
    auto job = [this, calls, archive, work, voice, known = m_state->slotTargets](
                   const std::atomic<bool>* stop, const SoundWorker::Post& post) {
        std::optional<Result<SlotTargets>> measured;
        if (!known) {
            measured = calls->slotTargets(archive, stop);
            if (!*measured) {
                post([this, failure = measured->failure()] { showSlotSound(failure); });
                return;
            }
            post([this, targets = measured->value()] { m_state->slotTargets = targets; });
        }
        const SlotTargets& targets = known ? *known : measured->value();
        for (const SlotWork& w : work) {
            if (stop->load())
                return;
            post([this, made = runWork(*calls, archive, targets, w, voice, stop)] {
                showSlotSound(made);
            });
        }
    };
    const auto failed = [this, calls](std::exception_ptr error) {
        AddText(calls->failureOfException(std::move(error)).error);
        beep();
    };
    if (!m_worker->start(
            std::move(job), [] { QApplication::restoreOverrideCursor(); }, failed)) {
        beep();
        return;
    }
    for (const SlotWork& w : work) {
        if (!w.note.isEmpty())
            AddText(w.note);
    }
    QApplication::setOverrideCursor(Qt::BusyCursor);
}

void frmmemory::showSlotSound(const Result<convert::SlotSoundMade>& made)
{
    if (!made) {
        if (made.refusal() != Refusal::Cancelled) {
            AddText(made.error());
            beep();
        }
        return;
    }
    takeSlotSound(made->slot, made->path, made->logLine);
}

void frmmemory::takeSlotSound(int slot, const QString& path, const QString& logLine)
{
    setSoundBoxText(slot, path);
    Command4(slot)->hide();
    AddText(logLine);
}

void frmmemory::useArchiveSound(int slot)
{
    setSoundBoxText(slot, slotLabel(slot));
    if (m_state->HighlightedSlot == slot)
        showSlotButtons(slot);
    AddText(QStringLiteral("Position %1 plays %2 of the archive again.")
                .arg(slot + 1)
                .arg(slotLabel(slot)));
}

Result<const convert::ModuleCalls*> frmmemory::converter()
{
    Result<const convert::ModuleCalls*> calls = converterCalls(m_state->context.converterModule);
    if (!calls) {
        AddText(calls.error());
        beep();
    }
    return calls;
}

QString frmmemory::storedVoice() const
{
    const Result<QString> voice =
        ReadIniValue(settingsFilePath(programFolder()), kSpeechSection, kVoiceKey);
    return voice ? voice.value() : QString();
}

void frmmemory::chooseVoice()
{
    const Result<const convert::ModuleCalls*> loaded = converter();
    if (!loaded)
        return;
    const Result<QList<convert::Voice>> voices = loaded.value()->voices();
    if (!voices || voices->isEmpty()) {
        AddText(QStringLiteral("No voices for spoken menu texts: %1")
                    .arg(voices ? QStringLiteral("espeak-ng has none") : voices.error()));
        return;
    }
    QStringList names;
    for (const convert::Voice& voice : voices.value())
        names.append(voice.name);
    // The setting may name the voice as `espeak-ng --voices` prints it: by language or file.
    QString current = loaded.value()->findVoice(voices.value(), storedVoice());
    if (current.isEmpty())
        current = loaded.value()->defaultVoice(voices.value(), QLocale::system());
    const QString chosen = m_state->context.chooseVoice
                               ? m_state->context.chooseVoice(names, current)
                               : QInputDialog::getItem(this, QStringLiteral("Voice"),
                                                       QStringLiteral("Voice for menu texts:"),
                                                       names, int(names.indexOf(current)), false);
    if (chosen.isEmpty())
        return;
    if (const Status stored =
            WriteIniValue(settingsFilePath(programFolder()), kSpeechSection, kVoiceKey, chosen);
        !stored) {
        AddText(QStringLiteral("Could not store the voice in %1: %2")
                    .arg(settingsFilePath(programFolder()), stored.error()));
        return;
    }
    AddText(QStringLiteral("Menu texts are spoken with the voice %1.").arg(chosen));
}

QString frmmemory::chooseFolder(FolderKind kind, const QString& caption)
{
    const QString folder = m_state->context.chooseFolder
                               ? m_state->context.chooseFolder(caption)
                               : chooseExistingFolder(fileDialogs(), this, caption,
                                                      rememberedFolder(programFolder(), kind),
                                                      device::deviceVolumes());
    if (!folder.isEmpty())
        rememberFolder(programFolder(), kind, folder);
    return folder;
}

void frmmemory::exportAllSounds()
{
    const QString folder =
        chooseFolder(FolderKind::ExportAll, QStringLiteral("Export all sounds into"));
    if (folder.isEmpty())
        return;
    std::array<QString, kSlotCount> boxes;
    for (int slot = 0; slot < kSlotCount; ++slot)
        boxes[static_cast<std::size_t>(slot)] = Text1(slot + kSlotCount)->text();
    const QString shown = QDir::toNativeSeparators(folder);
    if (const int present = convert::exportFilesPresent(boxes, folder);
        present > 0 && !ask(QStringLiteral("Replace the %1 sound file%2 already in %3?")
                                .arg(present)
                                .arg(present == 1 ? QString() : QStringLiteral("s"), shown),
                            false)) {
        AddText(QStringLiteral("Nothing was exported: %1 already holds %2 of the sound files.")
                    .arg(shown)
                    .arg(present));
        return;
    }
    const convert::ListedArchive archive{programFolder(), m_text2->text(), m_state->SlotSoundTable};
    if (const Status saved = convert::exportAllSounds(archive, boxes, folder); !saved) {
        AddText(saved.error());
        beep();
        return;
    }
    AddText(QStringLiteral("Saved the 30 sounds into %1 as \"Sound 01.ogg\" to \"Sound 30.ogg\".")
                .arg(shown));
}

void frmmemory::importFolder()
{
    const QString folder =
        chooseFolder(FolderKind::ImportAll, QStringLiteral("Import the sounds of"));
    if (folder.isEmpty())
        return;
    dropFiles(DropTarget{DropTarget::Where::Grid}, {folder}); // as a folder dropped on the grid
}

} // namespace tollvik
