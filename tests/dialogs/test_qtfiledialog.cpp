#include "dialogs/commondialog.h"
#include "dialogs/filedialogbackend.h"
#include "testsupport.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <functional>

using namespace tollvik;

namespace {

QString nul(const char* text)
{
    QString s = QString::fromLatin1(text);
    s.replace(u'0', QChar(u'\0'));
    return s;
}

// Runs `check` on the file dialog once it is shown; `check` accepts or rejects it.
void whenDialogShows(std::function<void(QFileDialog*)> check)
{
    QTimer::singleShot(0, qApp, [check = std::move(check)] {
        auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
        if (!dialog) {
            // Not shown yet: try again on the next round of the event loop.
            whenDialogShows(check);
            return;
        }
        check(dialog);
    });
}

} // namespace

class QtFileDialogTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void nameFilters_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("default") << nul("All (*.*)0 *.*00") << QStringList{u"All (*.*) (*)"_qs};
        QTest::newRow("two pairs") << nul("Chk files0*.chk0All0*.*00")
                                   << QStringList{u"Chk files (*.chk)"_qs, u"All (*)"_qs};
        QTest::newRow("patterns separated by semicolons")
            << nul("Sounds0*.ogg; *.wav0") << QStringList{u"Sounds (*.ogg *.wav)"_qs};
        QTest::newRow("double NUL ends the list")
            << nul("A0*.a00B0*.b00") << QStringList{u"A (*.a)"_qs};
        QTest::newRow("description without patterns") << nul("A00") << QStringList{u"A (*)"_qs};
        QTest::newRow("empty") << QString() << QStringList();
        QTest::newRow("only NULs") << nul("00") << QStringList();
    }
    void nameFilters()
    {
        QFETCH(QString, filter);
        QFETCH(QStringList, expected);
        QCOMPARE(qtNameFilters(filter), expected);
    }

    void dialogStart_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<QString>("initialDir");
        QTest::addColumn<QString>("directory");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("bare pattern")
            << u"*.chk"_qs << QString() << QString() << u"*.chk"_qs << u"*.chk"_qs;
        QTest::newRow("pattern in a folder")
            << u"/prog/*.ogg"_qs << u"/init"_qs << u"/prog"_qs << u"*.ogg"_qs << u"*.ogg"_qs;
        QTest::newRow("full path") << u"/prog/Sound 01.ogg"_qs << QString() << u"/prog"_qs
                                   << u"Sound 01.ogg"_qs << QString();
        QTest::newRow("bare name uses the initial folder")
            << u"x.ogg"_qs << u"/init"_qs << u"/init"_qs << u"x.ogg"_qs << QString();
        QTest::newRow("file in the root")
            << u"/x.ogg"_qs << QString() << u"/"_qs << u"x.ogg"_qs << QString();
        QTest::newRow("question mark")
            << u"a?.chk"_qs << QString() << QString() << u"a?.chk"_qs << u"a?.chk"_qs;
        QTest::newRow("nothing") << QString() << u"/init"_qs << u"/init"_qs << QString()
                                 << QString();
    }
    void dialogStart()
    {
        QFETCH(QString, fileName);
        QFETCH(QString, initialDir);
        QFETCH(QString, directory);
        QFETCH(QString, name);
        QFETCH(QString, pattern);
        const FileDialogStart start = fileDialogStart(fileName, initialDir);
        QCOMPARE(start.directory, directory);
        QCOMPARE(start.name, name);
        QCOMPARE(start.pattern, pattern);
    }

    void openDialogShowsThePatternAndReturnsTheFullPath()
    {
        test::ProgramFolder folder;
        QVERIFY(test::writeAll(folder.file(u"DATA.CHK"_qs), "x"));
        QVERIFY(test::writeAll(folder.file(u"ttn"_qs), "x"));
        QString nameBox;
        QStringList filters;
        QString selectedFilter;
        QString directory;
        QStringList modelFilters;
        whenDialogShows([&](QFileDialog* dialog) {
            if (auto* edit = dialog->findChild<QLineEdit*>(u"fileNameEdit"_qs))
                nameBox = edit->text();
            filters = dialog->nameFilters();
            selectedFilter = dialog->selectedNameFilter();
            directory = dialog->directory().absolutePath();
            if (auto* model = dialog->findChild<QFileSystemModel*>())
                modelFilters = model->nameFilters();
            dialog->selectFile(u"DATA.CHK"_qs);
            static_cast<QDialog*>(dialog)->accept();
        });
        cCommonDialog dialog;
        OpenFileArgs args;
        args.Filename = folder.path() + u"*.chk"_qs;
        args.Filter = QStringLiteral("Chk files|*.chk|All|*.*");
        args.FilterIndex = 2;
        QVERIFY(dialog.VBGetOpenFileName(args));
        QCOMPARE(nameBox, u"*.chk"_qs);
        QCOMPARE(filters,
                 (QStringList{u"*.chk (*.chk)"_qs, u"Chk files (*.chk)"_qs, u"All (*)"_qs}));
        QCOMPARE(selectedFilter, u"*.chk (*.chk)"_qs);
        QCOMPARE(modelFilters, QStringList{u"*.chk"_qs});
        QCOMPARE(QDir(directory), QDir(folder.path()));
        QCOMPARE(args.Filename,
                 QDir::toNativeSeparators(QDir(folder.path()).filePath(u"DATA.CHK"_qs)));
        QCOMPARE(args.FileTitle, u"DATA.CHK"_qs);
        // The pattern stood in for the chosen filter, which comes back unchanged.
        QCOMPARE(args.FilterIndex, 2);
        QCOMPARE(args.Filter, nul("All0*.*"));
        QCOMPARE(dialog.APIReturn(), 1);
    }

    void allFilesListsNamesWithoutExtension()
    {
        test::ProgramFolder folder;
        QVERIFY(test::writeAll(folder.file(u"ttn"_qs), "x"));
        QStringList modelFilters;
        whenDialogShows([&](QFileDialog* dialog) {
            if (auto* model = dialog->findChild<QFileSystemModel*>())
                modelFilters = model->nameFilters();
            dialog->selectFile(u"ttn"_qs);
            static_cast<QDialog*>(dialog)->accept();
        });
        cCommonDialog dialog;
        OpenFileArgs args;
        args.Filename = u"*.*"_qs;
        args.InitDir = folder.path();
        QVERIFY(dialog.VBGetOpenFileName(args));
        QCOMPARE(modelFilters, QStringList{u"*"_qs});
        QCOMPARE(args.FileTitle, u"ttn"_qs);
        QCOMPARE(args.FilterIndex, 1);
    }

    void saveDialogAddsTheDefaultExtension()
    {
        test::ProgramFolder folder;
        bool overwritePrompt = false;
        QString title;
        whenDialogShows([&](QFileDialog* dialog) {
            overwritePrompt = !dialog->testOption(QFileDialog::DontConfirmOverwrite);
            title = dialog->windowTitle();
            dialog->selectFile(u"out"_qs);
            static_cast<QDialog*>(dialog)->accept();
        });
        cCommonDialog dialog;
        SaveFileArgs args;
        args.Filename = folder.path() + u"Sound 01.ogg"_qs;
        args.DefaultExt = u"ogg"_qs;
        args.DlgTitle = u"Save the sound"_qs;
        QVERIFY(dialog.VBGetSaveFileName(args));
        QVERIFY(overwritePrompt);
        QCOMPARE(title, u"Save the sound"_qs);
        QCOMPARE(args.FileTitle, u"out.ogg"_qs);
        QCOMPARE(args.Filename,
                 QDir::toNativeSeparators(QDir(folder.path()).filePath(u"out.ogg"_qs)));
    }

    void rejectedDialogIsACancel()
    {
        whenDialogShows([](QFileDialog* dialog) { dialog->reject(); });
        cCommonDialog dialog;
        SaveFileArgs args;
        args.Filename = u"x.ogg"_qs;
        args.OverWritePrompt = false;
        QVERIFY(!dialog.VBGetSaveFileName(args));
        QCOMPARE(dialog.APIReturn(), 0);
        QCOMPARE(args.FilterIndex, 0);
        QCOMPARE(args.Filename, QString());
    }
};

QTEST_MAIN(QtFileDialogTest)
#include "test_qtfiledialog.moc"
