// The dialog classes over backends that answer at once, and the Qt file dialog shown offscreen
// and answered as a user would.

#include "dialogs/commondialog.h"
#include "dialogs/folderdialog.h"
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

    // The real file dialog, shown offscreen and answered as a user would. The name given (in the
    // program folder) starts it: its pattern filters the list; the filter "Sounds|*.ogg|All:*.*"
    // is offered after it; accepting gives the full path.
    void qtFileDialogAnswersAsAUserWould()
    {
        test::ProgramFolder folder;
        QVERIFY(test::writeAll(folder.file(u"a.ogg"_s), "x"));
        QStringList seen;
        QTimer timer; // until the dialog shows
        connect(&timer, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            if (auto* files = qobject_cast<QFileDialog*>(dialog)) {
                seen << files->findChild<QLineEdit*>(u"fileNameEdit"_s)->text()
                     << files->findChild<QFileSystemModel*>()->nameFilters()
                     << files->nameFilters().mid(files->nameFilters().size() - 2)
                     << files->directory().absolutePath();
                files->selectFile(u"a.ogg"_s);
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
    }

    // The folder chooser opens where it is asked to, lists the extra folders that exist after its
    // own places, and gives back the folder the user chose.
    void qtFolderChooserOpensOnTheStartFolderWithTheVolumes()
    {
        test::ProgramFolder folder;
        const QString start = QDir(folder.path()).absoluteFilePath(u"Temp"_s);
        const QString volume = QDir(folder.path()).absoluteFilePath(u"Modified"_s);
        QString opened;
        QList<QUrl> side;
        QFileDialog::FileMode mode = QFileDialog::AnyFile;
        QTimer timer;
        connect(&timer, &QTimer::timeout, [&] {
            if (auto* files = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
                opened = files->directory().absolutePath();
                side = files->sidebarUrls();
                mode = files->fileMode();
                static_cast<QDialog*>(files)->accept();
            }
        });
        timer.start(10);
        const QString chosen =
            chooseExistingFolder(defaultFileDialogBackend(), nullptr, u"Load from a device"_s,
                                 start, {volume, folder.file(u"missing"_s)});
        QCOMPARE(opened, start);
        QCOMPARE(mode, QFileDialog::Directory);
        QVERIFY(side.contains(QUrl::fromLocalFile(volume)));
        QVERIFY(!side.contains(QUrl::fromLocalFile(folder.file(u"missing"_s))));
        QCOMPARE(chosen, QDir::toNativeSeparators(start));
    }

    void folderChooserAnswersThroughTheBackend_data()
    {
        QTest::addColumn<int>("apiReturn");
        QTest::addColumn<QString>("expected");
        QTest::addRow("accepted") << 1 << u"/media/GO"_s;
        QTest::addRow("cancelled") << 0 << QString();
        QTest::addRow("failed") << 0x3003 << QString();
    }

    void folderChooserAnswersThroughTheBackend()
    {
        QFETCH(int, apiReturn);
        QFETCH(QString, expected);
        FakeFiles fake;
        fake.answer.apiReturn = apiReturn;
        fake.answer.fileName = u"/media/GO"_s;
        QCOMPARE(chooseExistingFolder(fake, nullptr, u"t"_s, u"/media"_s, {u"/mnt/card"_s}),
                 QDir::toNativeSeparators(expected));
        QCOMPARE(fake.requests.size(), 1);
        QCOMPARE(fake.requests[0].kind, FileDialogRequest::Kind::Folder);
        QCOMPARE(fake.requests[0].initialDir, QDir::toNativeSeparators(u"/media"_s));
        QCOMPARE(fake.requests[0].sideBar, QStringList{u"/mnt/card"_s});
    }
};

QTEST_MAIN(DialogsTest)
#include "test_dialogs.moc"
