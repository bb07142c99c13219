#pragma once

#include "app/frmmemory.h"
#include "archive/archive.h"
#include "audio/audiopreview.h"
#include "convert/convert.h"
#include "patcher/patcher.h"

#include <QDateTime>
#include <optional>

namespace tollvik {

// What each slot's converted sound must match, for the listed archive.
using SlotTargets = std::array<convert::Target, kSlotCount>;

// The window-level state. The window is its only owner; the subsystems receive what they need
// as arguments and return what changed.
struct frmmemory::State
{
    explicit State(AppContext c) : context(std::move(c)) {}

    AppContext context;
    bool archiveLoaded = false;
    qint16 HighlightedSlot = -1;
    bool loaded = false; // Form_Load ran: the menu boxes hold the settings file's texts
    bool unloaded = false;

    // Sound archive side.
    tollvik::SlotSoundTable SlotSoundTable{};
    // Measured by the first conversion or speech job after a listing.
    std::optional<SlotTargets> slotTargets;
    QString baseArchiveName;
    // The working copies of the archives loaded while the window is open, removed at shutdown.
    QStringList archiveWorkingCopies;
    QString archiveSourcePath; // the file the listed archive was loaded from
    QDateTime archiveLoadedAt;
    QString deviceStartFolder; // where the device's folder chooser opens; empty: home

    // Navigator side.
    NavigatorState navigator;
    QDateTime navigatorLoadedAt;

    [[nodiscard]] QString navigatorWorkingName() const
    {
        const auto index = static_cast<std::size_t>(navigator.VersionIndex);
        return index < navigator.WorkingFileNames.size() ? navigator.WorkingFileNames[index]
                                                         : QString();
    }

    // Audio engine preview; owned by the start-up, released at shutdown.
    AudioPreview* preview = nullptr;

    // Sets the menu boxes to `texts` as the settings file replaces them.
    void loadMenuTexts(frmmemory& window, QStringList texts);
    void releaseAudio()
    {
        if (preview)
            preview->shutdown();
        preview = nullptr;
    }
};

} // namespace tollvik
