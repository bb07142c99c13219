#pragma once

#include "audio/previewui.h"
#include "core/logsink.h"
#include "core/result.h"
#include "core/slots.h"

#include <QStringList>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <optional>

class QFrame;
class QLabel;
class QMenu;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace tollvik {

class AudioPreview;
class FileDialogBackend;
class GraphicalButton;
class SoundWorker;
struct ChkListing;
enum class DevicePicture;
struct SlotWork;
enum class FolderKind : int;
namespace device {
struct ScanResult;
} // namespace device
namespace convert {
struct ModuleCalls;
struct SlotSoundMade;
} // namespace convert

// What the window needs from the outside world. Tests pass a temporary program folder, a dialog
// backend that answers at once and a beep counter.
struct AppContext
{
    QString programFolder;                // ends in a separator
    FileDialogBackend* dialogs = nullptr; // null: the real file dialogs
    std::function<void()> beep;           // null: the toolkit's beep
    // null: a modal message box owned by the window
    std::function<void(const AudioMessage&)> showMessage;
    // null: Qt's folder dialog; the folder chosen, empty when cancelled
    std::function<QString(const QString& caption)> chooseFolder;
    // null: Qt's list dialog; the voice chosen among `voices`, empty when cancelled
    std::function<QString(const QStringList& voices, const QString& current)> chooseVoice;
    // null: a question box with Yes and No, the default answer preselected; true for Yes
    std::function<bool(const QString& question, bool yesByDefault)> ask;
    // null: a list dialog; the index of the row chosen among `rows` (each row its columns),
    // -1 for none
    std::function<int(const QString& title, const QList<QStringList>& rows)> chooseFromList;
    // empty: the sound converter module beside the program (a path without the platform's
    // prefix and suffix)
    QString converterModule;
};

// The main window: the 30 warning slots, the navigator row, the sound archive row, the progress
// log and the information frame. It owns the window-level state; the subsystems do the work.
class frmmemory : public QWidget, public LogSink, public PreviewUi
{
    Q_OBJECT

public:
    explicit frmmemory(AppContext context, QWidget* parent = nullptr);
    ~frmmemory() override;

    // The start-up sequence of the window: defaults, settings file, hidden buttons, folders.
    void Form_Load();

    // Appends one line to the progress log.
    void AddText(const QString& text) override;

    // The audio engine's preview, once the output is open. Without one the play buttons beep.
    void attachAudio(AudioPreview* preview);

    // What the preview worker hands over; both post the work to the window's thread.
    void showFigure(int line, const QString& text) override;
    void ShowAudioError(const AudioMessage& box, std::function<void()> boxClosed) override;

    // A modal message box owned by the window (or the context's stand-in).
    void showMessage(const AudioMessage& box);

    // Highlights a slot and shows its buttons as far as the state allows.
    void Hilight(int slot);

    // Controls, by the names the rest of the program knows them by.
    [[nodiscard]] QLineEdit* Text1(int index) const { return m_text1.at(index); }
    [[nodiscard]] QPushButton* Command1(int slot) const { return m_command1.at(slot); }
    [[nodiscard]] QPushButton* Command3(int slot) const { return m_command3.at(slot); }
    [[nodiscard]] QPushButton* Command4(int slot) const { return m_command4.at(slot); }
    [[nodiscard]] QLabel* Label3(int index) const { return m_label3.at(index); }
    [[nodiscard]] QLabel* Label2(int index) const { return m_label2.at(index); }
    [[nodiscard]] QLabel* Label1() const { return m_label1; }
    [[nodiscard]] QLabel* Image2() const { return m_image2; }
    [[nodiscard]] QLabel* Image3() const { return m_image3; }
    [[nodiscard]] QLabel* Image4() const { return m_image4; }
    [[nodiscard]] QLineEdit* Text2() const { return m_text2; }
    [[nodiscard]] QLineEdit* Text3() const { return m_text3; }
    [[nodiscard]] QPlainTextEdit* Text4() const { return m_text4; }
    [[nodiscard]] GraphicalButton* Command5() const { return m_command5; }
    [[nodiscard]] GraphicalButton* Command7() const { return m_command7; }
    [[nodiscard]] QPushButton* Load1() const { return m_load1; }
    [[nodiscard]] QPushButton* Load2() const { return m_load2; }
    [[nodiscard]] QFrame* Frame1() const { return m_frame1; }

public Q_SLOTS:
    void Load1_Click();
    void Command7_Click();
    void Load2_Click();
    void Command5_Click();
    void Command1_Click(int slot);
    void Command3_Click(int slot);
    void Command4_Click(int slot);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    struct State;

    [[nodiscard]] QString programFolder() const;
    void buildControls();
    void buildSlot(int slot);
    void setTabOrder();
    void Form_Unload();
    void restoreSlot(int slot);
    void showSlotButtons(int slot);
    void ensureWorkingFolders();
    void beep();
    void setSoundBoxText(int slot, const QString& text);
    void applyListing(const ChkListing& listing);
    [[nodiscard]] FileDialogBackend& fileDialogs() const;
    // The file the user picks in the open dialog that starts on `name` (a pattern, a file or
    // nothing) and offers `filter` (empty: all files); none when cancelled.
    // The dialog opens in the folder last used for `kind`, which it remembers.
    [[nodiscard]] std::optional<QString> chooseFileToOpen(FolderKind kind, const QString& name,
                                                          const QString& filter = QString());
    void loadNavigatorFrom(const QString& path);
    void showDevicePicture(DevicePicture picture);
    void loadArchiveFrom(const QString& path);

    // Converted and spoken slot sounds (slotsoundactions.cpp).
    void attachSlotMenu(QWidget* widget, int slot);
    // A slot's context menu (its sound box and its "..." button), deleted when it closes.
    [[nodiscard]] QMenu* slotMenu(int slot);
    // A sound for the slot: an .ogg file as "..." takes it, anything else converted to match
    // the archive's own sound on the sound worker.
    void importAnySound(int slot, const QString& path);
    // Sounds for the slots their file names point to ("Sound 07.ogg", "07 bell.wav").
    void importSlotFiles(const QStringList& paths);
    // True while a conversion or speech runs on the sound worker.
    [[nodiscard]] bool soundWorkBusy() const;
    // True, with a line and a beep, while a conversion runs: the click is refused.
    [[nodiscard]] bool refusedWhileConverting();
    // Why the .ogg file must be converted before a slot takes it (a line for the log), empty
    // when the navigator plays it as it is; none when it cannot be checked (the line is logged).
    [[nodiscard]] std::optional<QString> whyConverted(const QString& path);
    // Stores the menu texts in the settings file when they differ from those it holds.
    void keepMenuTexts();
    void removeWorkingCopies();
    [[nodiscard]] bool needsListedArchive();
    void importConvertedSound(int slot);
    void speakMenuText(int slot);
    void chooseVoice();
    void useArchiveSound(int slot);
    void exportAllSounds();
    void importFolder();
    void runSlotJob(const QList<SlotWork>& work);
    void showSlotSound(const Result<convert::SlotSoundMade>& made);
    // Puts the file into the slot's sound box, as the "..." button does, and logs the line.
    void takeSlotSound(int slot, const QString& path, const QString& logLine);
    [[nodiscard]] QString storedVoice() const;
    // The converter, loaded on first use; a failure is logged with a beep.
    [[nodiscard]] Result<const convert::ModuleCalls*> converter();
    [[nodiscard]] QString chooseFolder(FolderKind kind, const QString& caption);

    // The device round trip (devicemenu.cpp): the context menu of both Load buttons and their
    // path boxes, the search of a device's folder on a worker, the writes back.
    enum class DeviceRow
    {
        Navigator,
        Archive
    };
    void attachDeviceMenus();
    [[nodiscard]] QMenu* deviceMenu(DeviceRow row);
    void loadFromDevice();
    void chooseDeviceFolder();
    // Searches the folder on the device search worker and loads what it finds.
    void searchDeviceFolder(const QString& folder);
    void takeFoundFiles(const device::ScanResult& found, const QString& folder);
    // The row's result in Modified/ and the file it was loaded from; empty when there is none.
    [[nodiscard]] std::pair<QString, QString> deviceFilesOf(DeviceRow row) const;
    // The result was made since the row's file was loaded, and that file is still there.
    [[nodiscard]] bool canWriteToDevice(DeviceRow row) const;
    void writeToDevice(DeviceRow row);
    void restoreOnDevice(DeviceRow row);
    [[nodiscard]] bool ask(const QString& question, bool yesByDefault);

    // Files dropped on the window (drops.cpp).
    struct DropTarget
    {
        enum class Where
        {
            None,
            Slot,
            Grid,
            ArchiveRow,
            NavigatorRow
        } where = Where::None;
        int slot = -1;
    };
    void acceptDropsOn(QWidget* widget);
    [[nodiscard]] DropTarget dropTargetOf(const QObject* widget) const;
    bool handleDrop(QObject* watched, QEvent* event);
    void dropFiles(const DropTarget& target, const QStringList& paths);

    std::unique_ptr<State> m_state;
    std::unique_ptr<SoundWorker> m_worker;
    std::unique_ptr<SoundWorker> m_deviceSearch; // runs the search of a device's folder
    std::array<QLineEdit*, 2 * kSlotCount> m_text1{};
    std::array<QPushButton*, kSlotCount> m_command1{};
    std::array<QPushButton*, kSlotCount> m_command3{};
    std::array<QPushButton*, kSlotCount> m_command4{};
    std::array<QLabel*, 5> m_label3{};
    std::array<QLabel*, 9> m_label2{};
    QLabel* m_label1 = nullptr;
    QLabel* m_image2 = nullptr;
    QLabel* m_image3 = nullptr;
    QLabel* m_image4 = nullptr;
    QLineEdit* m_text2 = nullptr;
    QLineEdit* m_text3 = nullptr;
    QPlainTextEdit* m_text4 = nullptr;
    GraphicalButton* m_command5 = nullptr;
    GraphicalButton* m_command7 = nullptr;
    QPushButton* m_load1 = nullptr;
    QPushButton* m_load2 = nullptr;
    QFrame* m_frame1 = nullptr;
};

} // namespace tollvik
