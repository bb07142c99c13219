// The Qt dialogs, shown offscreen and answered as a user would.

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
#include <functional>

using namespace tollvik;
using namespace Qt::StringLiterals;

namespace {

// Runs `answer` on the dialog once it is shown; `answer` accepts or rejects it.
void whenDialogShows(std::function<void(QDialog*)> answer)
{
    QTimer::singleShot(0, qApp, [answer = std::move(answer)] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            answer(dialog);
        else
            whenDialogShows(answer); // not shown yet
    });
}

} // namespace

class QtDialogsTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    // The name given (in the program folder) starts the dialog: its pattern filters the list,
    // "*.*" lists names without an extension too; accepting gives the full path. The filter
    // "Sounds|*.ogg|All:*.*" is offered after the pattern.
    void fileDialogStartsFromTheGivenName_data()
    {
        QTest::addColumn<bool>("saving");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QStringList>("listed");
        QTest::addColumn<QString>("chosen");
        QTest::newRow("pattern") << false << u"*.ogg"_s << QStringList{u"*.ogg"_s} << u"a.ogg"_s;
        QTest::newRow("all files") << false << u"*.*"_s << QStringList{u"*"_s} << u"ttn"_s;
        QTest::newRow("save") << true << u"Sound 01.ogg"_s << QStringList{u"*.ogg"_s}
                              << u"Sound 01.ogg"_s;
    }
    void fileDialogStartsFromTheGivenName()
    {
        QFETCH(bool, saving);
        QFETCH(QString, name);
        QFETCH(QStringList, listed);
        QFETCH(QString, chosen);
        test::ProgramFolder folder;
        for (const QString& file : {u"a.ogg"_s, u"b.wav"_s, u"ttn"_s})
            QVERIFY(test::writeAll(folder.file(file), "x"));
        QString nameBox;
        QStringList filters;
        QStringList offered;
        QString directory;
        whenDialogShows([&](QDialog* dialog) {
            auto* files = qobject_cast<QFileDialog*>(dialog);
            nameBox = files->findChild<QLineEdit*>(u"fileNameEdit"_s)->text();
            filters = files->findChild<QFileSystemModel*>()->nameFilters();
            offered = files->nameFilters();
            directory = files->directory().absolutePath();
            files->selectFile(chosen);
            dialog->accept();
        });
        cCommonDialog dialog;
        OpenFileArgs open;
        SaveFileArgs save;
        open.Filename = save.Filename = folder.path() + name;
        open.Filter = save.Filter = u"Sounds|*.ogg|All:*.*"_s;
        QVERIFY(saving ? dialog.VBGetSaveFileName(save) : dialog.VBGetOpenFileName(open));
        QCOMPARE(nameBox, name);
        QCOMPARE(filters, listed);
        QCOMPARE(offered.mid(offered.size() - 2), (QStringList{u"Sounds (*.ogg)"_s, u"All (*)"_s}));
        QCOMPARE(QDir(directory), QDir(folder.path()));
        QCOMPARE(saving ? save.Filename : open.Filename,
                 QDir::toNativeSeparators(QDir(folder.path()).filePath(chosen)));
    }

    void colourDialogGivesTheChosenColour()
    {
        whenDialogShows([](QDialog* dialog) {
            qobject_cast<QColorDialog*>(dialog)->setCurrentColor(QColor(0x12, 0x34, 0x56));
            dialog->accept();
        });
        ChooserDialogs dialogs;
        ChooseColorArgs args;
        QVERIFY(dialogs.VBChooseColor(args));
        QCOMPARE(args.Color, 0x563412); // 0x00BBGGRR
    }

    // The page set-up starts from the arguments and gives back what the user changed.
    void pageSetupShowsAndReturnsTheLayout()
    {
        QPageLayout shown;
        whenDialogShows([&shown](QDialog* dialog) {
            shown = qobject_cast<QPageSetupDialog*>(dialog)->printer()->pageLayout();
            dialog->findChild<QRadioButton*>(u"portrait"_s)->click();
            dialog->accept();
        });
        ChooserDialogs dialogs;
        PageSetupDlgArgs args;
        args.PaperSize = 9; // DMPAPER_A4
        args.Orientation = 2;
        args.Units = PageSetupDlgArgs::kHundredthsOfMillimetres;
        args.LeftMargin = args.TopMargin = args.RightMargin = args.BottomMargin = 2000;
        QVERIFY(dialogs.VBPageSetupDlg(args));
        QCOMPARE(shown.pageSize().id(), QPageSize::A4);
        QCOMPARE(shown.orientation(), QPageLayout::Landscape);
        QCOMPARE(shown.margins(QPageLayout::Millimeter), QMarginsF(20, 20, 20, 20));
        QCOMPARE(args.Orientation, 1);
        QCOMPARE(args.LeftMargin, 2000);
        QCOMPARE(args.PaperSize, 9);
    }
};

QTEST_MAIN(QtDialogsTest)
#include "test_qtdialogs.moc"
