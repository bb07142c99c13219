// The dialog classes over backends that answer at once, and the Qt file dialog shown offscreen
// and answered as a user would.

#include "dialogs/chooserdialogs.h"
#include "dialogs/commondialog.h"
#include "testsupport.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
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

// Chooses colour 0x123456 and a 72-point font; the system colours are their own indexes.
struct FakeChooser : ChooserBackend
{
    qint32 systemColor(int index) override { return index; }
    qint32 show(ChooseColorArgs& args, CustomColors& custom) override
    {
        args.Color = 0x123456;
        custom[0] = 99;
        return answer;
    }
    qint32 show(ChooseFontArgs& args) override
    {
        args.CurFont.setPointSize(72);
        return answer;
    }
    qint32 show(PrintDlgArgs&) override { return answer; }
    qint32 show(PageSetupDlgArgs&) override { return answer; }
    qint32 answer = 1;
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
        const auto failed = int(Refusal::Failed);
        QTest::newRow("open") << false << u"*.chk"_s << chosen << -1;
        QTest::newRow("save") << true << u"/p/Sound 01.ogg"_s << chosen << -1;
        QTest::newRow("cancelled")
            << false << u"*.chk"_s << FileDialogAnswer{} << int(Refusal::Cancelled);
        QTest::newRow("failed") << true << u"*.chk"_s
                                << FileDialogAnswer{2, 0x3002, chosen.fileName, {}, 1, 0} << failed;
        QTest::newRow("chosen name outgrows the buffer") << false << u"*"_s << tooLong << failed;
        QTest::newRow("name given too long: no dialog")
            << true << QString(261, u'x') << chosen << failed;
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
        for (const FileDialogRequest& request : backend.requests) {
            // Names must exist to be opened; saving over a file asks first.
            QCOMPARE(request.flags, saving ? 0x6u : 0x1000u);
            QCOMPARE(request.fileName, name);
        }
    }

    // The chosen values come back only when accepted; the custom colours are filled from the
    // system colours on first use and keep the dialog's changes either way.
    void chosenValuesComeBackOnlyWhenAccepted()
    {
        for (const int answer : {1, 0}) {
            FakeChooser backend;
            backend.answer = answer;
            ChooserDialogs dialogs(backend);
            ChooseColorArgs colour;
            colour.Color = 7;
            ChooseFontArgs font;
            font.CurFont.setPointSize(10);
            PrintDlgArgs print;
            PageSetupDlgArgs page;
            for (const Status& shown : {dialogs.VBChooseColor(colour), dialogs.VBChooseFont(font),
                                        dialogs.VBPrintDlg(print), dialogs.VBPageSetupDlg(page)})
                QCOMPARE(shown.ok() ? -1 : int(shown.refusal()),
                         answer ? -1 : int(Refusal::Cancelled));
            QCOMPARE(colour.Color, answer ? 0x123456 : -1);
            QCOMPARE(font.CurFont.pointSize(), answer ? 72 : 10);
            QVERIFY(dialogs.CustomColor(0) == 99 && dialogs.CustomColor(15) == 15);
            QCOMPARE(dialogs.CustomColor(16), -1);
        }
    }

    // The name given (in the program folder) starts the real dialog: its pattern filters the
    // list; the filter "Sounds|*.ogg|All:*.*" is offered after it; accepting gives the full path.
    void qtFileDialogStartsFromTheGivenName()
    {
        test::ProgramFolder folder;
        QVERIFY(test::writeAll(folder.file(u"a.ogg"_s), "x"));
        QStringList seen;
        QTimer timer; // until the dialog shows
        connect(&timer, &QTimer::timeout, [&] {
            auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!files)
                return;
            timer.stop();
            seen << files->findChild<QLineEdit*>(u"fileNameEdit"_s)->text()
                 << files->findChild<QFileSystemModel*>()->nameFilters()
                 << files->nameFilters().mid(files->nameFilters().size() - 2)
                 << files->directory().absolutePath();
            files->selectFile(u"a.ogg"_s);
            static_cast<QDialog*>(files)->accept();
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
    }
};

QTEST_MAIN(DialogsTest)
#include "test_dialogs.moc"
