// The window's click handlers: each gathers its inputs from the controls, calls the subsystem
// and shows the result.
#include "app/frmmemory.h"
#include "app/module2.h"
#include "converter.h"
#include "core/fileio.h"
#include "device/device.h"
#include "devicepictures.h"
#include "dialogs/commondialog.h"
#include "recentfolders.h"
#include "settings/ini.h"
#include "windowstate.h"

#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>

namespace tollvik {

FileDialogBackend& frmmemory::fileDialogs() const
{
    return m_state->context.dialogs ? *m_state->context.dialogs : defaultFileDialogBackend();
}

std::optional<QString> frmmemory::chooseFileToOpen(FolderKind kind, const QString& name,
                                                   const QString& filter)
{
    cCommonDialog dialog(fileDialogs());
    OpenFileArgs args;
    const DialogStart start = startInRememberedFolder(programFolder(), kind, name);
    args.Filename = start.fileName;
    args.InitDir = start.initialDir;
    args.SideBar = device::deviceVolumes();
    if (!filter.isEmpty())
        args.Filter = filter;
    args.Owner = this;
    if (!dialog.VBGetOpenFileName(args))
        return std::nullopt;
    rememberFolder(programFolder(), kind, QFileInfo(args.Filename).absolutePath());
    return args.Filename;
}

void frmmemory::State::loadMenuTexts(frmmemory& window, QStringList texts)
{
    // A failure has been logged; the given texts stay.
    (void)GetINIData(context.programFolder, texts, window);
    for (int slot = 0; slot < kSlotCount && slot < texts.size(); ++slot)
        window.Text1(slot)->setText(texts[slot]);
}

void frmmemory::Load1_Click()
{
    if (const std::optional<QString> chosen =
            chooseFileToOpen(FolderKind::Navigator, QStringLiteral("*.*")))
        loadNavigatorFrom(*chosen);
}

void frmmemory::loadNavigatorFrom(const QString& path)
{
    NavigatorState& nav = m_state->navigator;
    const Result<const NavigatorBuild*> loaded =
        loadNavigatorFile(path, programFolder(), nav, *this);
    if (!loaded) {
        if (loaded.refusal() == Refusal::SameFile)
            beep();
        return;
    }
    const NavigatorBuild& build = *loaded.value();
    m_state->navigatorLoadedAt = QDateTime::currentDateTimeUtc();
    m_label1->setText(build.caption.toString());
    m_label1->show();
    showDevicePicture(build.picture);
    m_text3->setText(nav.workingCopyPath);
    m_command7->show();
}

// Shows the picture of the recognised device, drawn the first time it is shown.
void frmmemory::showDevicePicture(DevicePicture picture)
{
    const std::array<std::pair<QLabel*, DevicePicture>, 3> images = {
        {{m_image2, DevicePicture::GoDevice},
         {m_image3, DevicePicture::Handheld},
         {m_image4, DevicePicture::Phone}}};
    for (const auto& [image, shows] : images) {
        if (shows == picture && image->pixmap().isNull())
            image->setPixmap(drawDevicePicture(shows));
        image->setVisible(shows == picture);
    }
}

void frmmemory::Command7_Click()
{
    std::array<QString, kSlotCount> texts;
    for (int slot = 0; slot < kSlotCount; ++slot)
        texts[static_cast<std::size_t>(slot)] = Text1(slot)->text();
    NavigatorState& nav = m_state->navigator;
    (void)saveModifiedNavigator(nav, texts, programFolder(), *this);
    m_text3->setText(nav.workingCopyPath);
}

void frmmemory::Load2_Click()
{
    if (const std::optional<QString> chosen =
            chooseFileToOpen(FolderKind::Archive, QStringLiteral("*.chk")))
        loadArchiveFrom(*chosen);
}

void frmmemory::loadArchiveFrom(const QString& path)
{
    if (refusedWhileConverting()) // a conversion reads the listed archive's working copy
        return;
    const Result<LoadedChk> loaded = LoadBaseChk(path, programFolder(), *this);
    if (!loaded) {
        if (loaded.refusal() == Refusal::SameFile)
            beep();
        return;
    }
    m_state->baseArchiveName = loaded->baseArchiveName;
    if (!m_state->archiveWorkingCopies.contains(loaded->workingPath))
        m_state->archiveWorkingCopies.append(loaded->workingPath);
    m_state->archiveSourcePath = path;
    m_state->archiveLoadedAt = QDateTime::currentDateTimeUtc();
    m_text2->setText(loaded->workingPath);
    applyListing(loaded->listing);
    m_command5->show();
}

void frmmemory::applyListing(const ChkListing& listing)
{
    m_state->SlotSoundTable = listing.table;
    m_state->slotTargets.reset();
    for (int slot = 0; slot < kSlotCount; ++slot)
        setSoundBoxText(slot, listing.labels.value(slot));
    m_state->archiveLoaded = true;
    if (m_state->HighlightedSlot >= 0)
        showSlotButtons(m_state->HighlightedSlot);
}

void frmmemory::Command3_Click(int slot)
{
    const QString current = Text1(slot + kSlotCount)->text();
    if (const std::optional<QString> chosen =
            chooseFileToOpen(FolderKind::SlotSound, importInitialName(current, programFolder())))
        takeSlotSound(slot, *chosen, importLogLine(*chosen, slot));
}

void frmmemory::Command4_Click(int slot)
{
    cCommonDialog dialog(fileDialogs());
    SaveFileArgs args;
    const DialogStart start = startInRememberedFolder(
        programFolder(), FolderKind::SlotExport,
        exportSuggestedName(programFolder(), Text1(slot + kSlotCount)->text()));
    args.Filename = start.fileName;
    args.InitDir = start.initialDir;
    args.SideBar = device::deviceVolumes();
    args.Owner = this;
    if (!dialog.VBGetSaveFileName(args))
        return;
    rememberFolder(programFolder(), FolderKind::SlotExport,
                   QFileInfo(args.Filename).absolutePath());
    (void)exportSlotSound(m_text2->text(), m_state->SlotSoundTable[static_cast<std::size_t>(slot)],
                          args.Filename, *this);
}

void frmmemory::Command5_Click()
{
    if (refusedWhileConverting()) // a conversion reads the working copy the build replaces
        return;
    BuildInput input;
    input.programFolder = programFolder();
    input.workingPath = m_text2->text();
    input.baseArchiveName = m_state->baseArchiveName;
    for (int slot = 0; slot < kSlotCount; ++slot) {
        const auto index = static_cast<std::size_t>(slot);
        input.soundBoxes[index] = Text1(slot + kSlotCount)->text();
        input.menuTexts[index] = Text1(slot)->text();
    }
    // Without the converter the build refuses any .ogg, which it cannot check.
    if (const auto calls = converterCalls(m_state->context.converterModule); calls)
        input.check = convert::soundCheckOf(*calls.value());
    const Result<BuiltChk> built = data_chk_reload(input, *this);
    if (!built)
        return;
    m_text2->setText(built->workingPath);
    if (built->listing)
        applyListing(built->listing.value());
}

void frmmemory::attachAudio(AudioPreview* preview)
{
    m_state->preview = preview;
}

void frmmemory::Command1_Click(int slot)
{
    const QString soundText = Text1(slot + kSlotCount)->text();
    Label3(4)->setText(QStringLiteral("File: ") + soundText);
    const bool external = isExternalSound(soundText);
    const QString what =
        external ? soundText : slotLabel(slot) + QStringLiteral(" from ") + m_text2->text();
    const auto refuse = [&](const QString& why) {
        AddText(QStringLiteral("Cannot play ") + what + QStringLiteral(": ") + why);
        beep();
    };
    AudioPreview* preview = m_state->preview;
    if (!preview) {
        refuse(QStringLiteral("the sound output is not open."));
        return;
    }
    if (preview->isStarting()) {
        refuse(QStringLiteral("the sound before it is still starting; try again."));
        return;
    }
    Result<QByteArray> read =
        external ? readWholeFile(soundText)
                 : readSlotSound(m_text2->text(),
                                 m_state->SlotSoundTable[static_cast<std::size_t>(slot)]);
    if (!read) {
        refuse(read.error());
        return;
    }
    if (const Status started = preview->startPreview(std::move(read).value()); !started)
        refuse(started.error());
}

void frmmemory::showFigure(int line, const QString& text)
{
    QMetaObject::invokeMethod(
        this, [this, line, text] { Label3(line)->setText(text); }, Qt::QueuedConnection);
}

void frmmemory::ShowAudioError(const AudioMessage& box, std::function<void()> boxClosed)
{
    QMetaObject::invokeMethod(
        this,
        [this, box, boxClosed = std::move(boxClosed)] {
            showMessage(box);
            boxClosed();
        },
        Qt::QueuedConnection);
}

void frmmemory::showMessage(const AudioMessage& box)
{
    if (m_state->context.showMessage) {
        m_state->context.showMessage(box);
        return;
    }
    QMessageBox message(box.icon == AudioMessage::Icon::Critical ? QMessageBox::Critical
                                                                 : QMessageBox::Warning,
                        box.caption, box.text, QMessageBox::Ok, this);
    message.exec();
}

} // namespace tollvik
