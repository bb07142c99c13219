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
    // 0x60 (hook and template), which never reach the dialog. The folder chooser asks for a
    // folder where it starts, with the extra places.
    void fileDialogAnswerComesBack_data()
    {
        QTest::addColumn<int>("kind"); // 0 open, 1 save, 2 folder
        QTest::addColumn<QString>("name");
        QTest::addColumn<FileDialogAnswer>("answer");
        QTest::addColumn<int>("refusal"); // -1: accepted
        const FileDialogAnswer chosen{1, 0, u"/home/u/DATA.CHK"_s, u"DATA.CHK"_s, 1, 0x1000};
        const FileDialogAnswer tooLong{1, 0, u'/' + QString(259, u'x'), u"x"_s, 1, 0};
        const FileDialogAnswer failing{2, 0x3002, u"/media/GO"_s, {}, 0, 0};
        const int failed = int(Refusal::Failed), cancelled = int(Refusal::Cancelled);
        QTest::newRow("save") << 1 << u"/p/Sound 01.ogg"_s << chosen << -1;
        QTest::newRow("cancelled") << 0 << u"*.chk"_s << FileDialogAnswer{} << cancelled;
        QTest::newRow("fails") << 1 << u"*"_s << failing << failed;
        QTest::newRow("chosen name outgrows the buffer") << 0 << u"*"_s << tooLong << failed;
        QTest::newRow("name too long: no dialog") << 1 << QString(261, u'x') << chosen << failed;
        QTest::newRow("folder") << 2 << u"/media"_s << chosen << -1;
        QTest::newRow("folder cancelled")
            << 2 << u"/media"_s << FileDialogAnswer{0, 0, u"/media/GO"_s, {}, 0, 0} << cancelled;
        QTest::newRow("folder fails") << 2 << u"/media"_s << failing << failed;
    }
    void fileDialogAnswerComesBack()
    {
        QFETCH(int, kind);
        QFETCH(QString, name);
        QFETCH(FileDialogAnswer, answer);
        QFETCH(int, refusal);
        FakeFiles backend;
        backend.answer = answer;
        if (kind == 2) {
            QCOMPARE(chooseExistingFolder(backend, nullptr, u"t"_s, name, {u"/mnt/card"_s}),
                     refusal < 0 ? QDir::toNativeSeparators(answer.fileName) : QString());
            const FileDialogRequest r = backend.requests.value(0);
            QVERIFY(backend.requests.size() == 1 && r.kind == FileDialogRequest::Kind::Folder &&
                    r.initialDir == QDir::toNativeSeparators(name) &&
                    r.sideBar == QStringList{u"/mnt/card"_s});
            return;
        }
        cCommonDialog dialog(backend);
        OpenFileArgs open;
        SaveFileArgs save;
        open.Filename = save.Filename = name;
        open.flags = save.flags = 0x60;
        const Status result =
            kind ? dialog.VBGetSaveFileName(save) : dialog.VBGetOpenFileName(open);
        QCOMPARE(result.ok() ? -1 : int(result.refusal()), refusal);
        QCOMPARE(kind ? save.Filename : open.Filename, result ? answer.fileName : QString());
        QCOMPARE(backend.requests.size(), name.size() > 260 ? 0 : 1);
        // Names must exist to be opened; saving over a file asks first.
        for (const FileDialogRequest& request : backend.requests)
            QVERIFY(request.flags == (kind ? 0x6u : 0x1000u) && request.fileName == name);
    }

    // The real dialogs, shown offscreen and answered as a user would. The name given (in the
    // program folder) starts the file dialog: its pattern filters the list; the filter
    // "Sounds|*.ogg|All:*.*" is offered after it; accepting gives the full path. The folder
    // chooser opens where it is asked to, lists the extra folders that exist after its own
    // places, and gives back the folder the user chose.
    void qtDialogsAnswerAsAUserWould()
    {
        test::ProgramFolder folder;
        QVERIFY(test::writeAll(folder.file(u"a.ogg"_s), "x"));
        const QString dir = QDir(folder.path()).absolutePath(), start = dir + u"/Temp"_s;
        QStringList seen;
        QList<QUrl> side;
        QTimer timer; // until the dialog shows
        connect(&timer, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            auto* files = qobject_cast<QFileDialog*>(dialog);
            if (files && files->fileMode() == QFileDialog::Directory) {
                seen << files->directory().absolutePath();
                side = files->sidebarUrls();
            } else if (files) {
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
        QCOMPARE(open.Filename, QDir::toNativeSeparators(dir + u"/a.ogg"_s));
        QCOMPARE(chooseExistingFolder(defaultFileDialogBackend(), nullptr, u"Load from a device"_s,
                                      start, {dir + u"/Modified"_s, dir + u"/missing"_s}),
                 QDir::toNativeSeparators(start));
        QCOMPARE(seen, (QStringList{u"*.ogg"_s, u"*.ogg"_s, u"Sounds (*.ogg)"_s, u"All (*)"_s, dir,
                                    start}));
        QVERIFY(side.contains(QUrl::fromLocalFile(dir + u"/Modified"_s)));
        QVERIFY(!side.contains(QUrl::fromLocalFile(dir + u"/missing"_s)));
    }
};

QTEST_MAIN(DialogsTest)
#include "test_dialogs.moc"
