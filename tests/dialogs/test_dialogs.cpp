// The dialog classes over backends that answer at once, and the Qt file dialog shown offscreen
// and answered as a user would.

#include "dialogs/chooserdialogs.h"
#include "dialogs/commondialog.h"
#include "testsupport.h"

#include <QApplication>
#include <QColorDialog>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QPageSetupDialog>
#include <QPrinter>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

using namespace tollvik;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(tollvik::FileDialogAnswer)

namespace {

struct FakeFiles : FileDialogBackend
{
    FileDialogAnswer show(const FileDialogRequest& r) override
    {
        requests.append(r);
        return answer;
    }
    QList<FileDialogRequest> requests;
    FileDialogAnswer answer;
};

// Every chooser is cancelled after the colour chooser changed custom colour 0; the system
// colours are their own indexes.
struct CancelledChooser : ChooserBackend
{
    qint32 systemColor(int index) override { return index; }
    qint32 show(ChooseColorArgs&, CustomColors& custom) override
    {
        custom[0] = 99;
        return 0;
    }
    qint32 show(ChooseFontArgs&) override { return 0; }
    qint32 show(PrintDlgArgs&) override { return 0; }
    qint32 show(PageSetupDlgArgs&) override { return 0; }
};

} // namespace

class DialogsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // What the file dialog is asked for and what the caller gets back. The caller passes flags
    // 0x60 (hook and template), which never reach the dialog.
    void fileDialogAnswerComesBack_data()
    {
        QTest::addColumn<bool>("saving");
        QTest::addColumn<QString>("name");
        QTest::addColumn<FileDialogAnswer>("answer");
        QTest::addColumn<int>("refusal"); // -1: accepted
        const FileDialogAnswer chosen{1, 0, u"/home/u/DATA.CHK"_s, u"DATA.CHK"_s, 1, 0x1000};
        const FileDialogAnswer tooLong{1, 0, u'/' + QString(259, u'x'), u"x"_s, 1, 0};
        const int failed = int(Refusal::Failed), cancelled = int(Refusal::Cancelled);
        QTest::newRow("save") << true << u"/p/Sound 01.ogg"_s << chosen << -1;
        QTest::newRow("cancelled") << false << u"*.chk"_s << FileDialogAnswer{} << cancelled;
        QTest::newRow("fails") << true << u"*"_s << FileDialogAnswer{2, 0x3002, {}, {}, 0, 0}
                               << failed;
        QTest::newRow("chosen name outgrows the buffer") << false << u"*"_s << tooLong << failed;
        QTest::newRow("name too long: no dialog") << true << QString(261, u'x') << chosen << failed;
    }
    void fileDialogAnswerComesBack()
    {
        QFETCH(bool, saving);
        QFETCH(QString, name);
        QFETCH(FileDialogAnswer, answer);
        FakeFiles backend;
        backend.answer = answer;
        cCommonDialog dialog(backend);
        OpenFileArgs open;
        SaveFileArgs save;
        open.Filename = save.Filename = name;
        open.flags = save.flags = 0x60;
        const Status result =
            saving ? dialog.VBGetSaveFileName(save) : dialog.VBGetOpenFileName(open);
        QTEST(result.ok() ? -1 : int(result.refusal()), "refusal");
        QCOMPARE(saving ? save.Filename : open.Filename, result ? answer.fileName : QString());
        QCOMPARE(backend.requests.size(), name.size() > 260 ? 0 : 1);
        // Names must exist to be opened; saving over a file asks first.
        for (const FileDialogRequest& request : backend.requests)
            QVERIFY(request.flags == (saving ? 0x6u : 0x1000u) && request.fileName == name);
    }

    // A cancelled chooser gives nothing back; the custom colours are filled from the system
    // colours on first use and keep the dialog's changes either way.
    void cancelledChoosersGiveNothingBack()
    {
        CancelledChooser backend;
        ChooserDialogs dialogs(backend);
        ChooseColorArgs colour;
        ChooseFontArgs font;
        PrintDlgArgs print;
        PageSetupDlgArgs page;
        for (const Status& shown : {dialogs.VBChooseColor(colour), dialogs.VBChooseFont(font),
                                    dialogs.VBPrintDlg(print), dialogs.VBPageSetupDlg(page)})
            QCOMPARE(shown.refusal(), Refusal::Cancelled);
        QCOMPARE(colour.Color, -1);
        QVERIFY(dialogs.CustomColor(0) == 99 && dialogs.CustomColor(15) == 15);
    }

    // The real dialogs, shown offscreen and answered as a user would. The name given (in the
    // program folder) starts the file dialog: its pattern filters the list; the filter
    // "Sounds|*.ogg|All:*.*" is offered after it; accepting gives the full path. The colour comes
    // back as 0x00BBGGRR; the page set-up starts from the arguments and gives back the change.
    void qtDialogsAnswerAsAUserWould()
    {
        test::ProgramFolder folder;
        QVERIFY(test::writeAll(folder.file(u"a.ogg"_s), "x"));
        QStringList seen;
        QPageLayout shown;
        QTimer timer; // until each dialog shows
        connect(&timer, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (auto* files = qobject_cast<QFileDialog*>(dialog)) {
                seen << files->findChild<QLineEdit*>(u"fileNameEdit"_s)->text()
                     << files->findChild<QFileSystemModel*>()->nameFilters()
                     << files->nameFilters().mid(files->nameFilters().size() - 2)
                     << files->directory().absolutePath();
                files->selectFile(u"a.ogg"_s);
            } else if (auto* colour = qobject_cast<QColorDialog*>(dialog)) {
                colour->setCurrentColor(QColor(0x12, 0x34, 0x56));
            } else if (auto* page = qobject_cast<QPageSetupDialog*>(dialog)) {
                shown = page->printer()->pageLayout();
                page->findChild<QRadioButton*>(u"portrait"_s)->click();
            }
            if (dialog)
                dialog->accept();
        });
        timer.start(10);
        OpenFileArgs open;
        open.Filename = folder.path() + u"*.ogg"_s;
        open.Filter = u"Sounds|*.ogg|All:*.*"_s;
        QVERIFY(cCommonDialog().VBGetOpenFileName(open));
        const QString dir = QDir(folder.path()).absolutePath();
        QCOMPARE(seen,
                 (QStringList{u"*.ogg"_s, u"*.ogg"_s, u"Sounds (*.ogg)"_s, u"All (*)"_s, dir}));
        QCOMPARE(open.Filename, QDir::toNativeSeparators(dir + u"/a.ogg"_s));
        ChooserDialogs dialogs;
        ChooseColorArgs colour;
        PageSetupDlgArgs page;
        page.Orientation = 2;
        QVERIFY(dialogs.VBChooseColor(colour) && dialogs.VBPageSetupDlg(page));
        QCOMPARE(colour.Color, 0x563412);
        QVERIFY(shown.orientation() == QPageLayout::Landscape && page.Orientation == 1);
    }
};

QTEST_MAIN(DialogsTest)
#include "test_dialogs.moc"
