#include "dialogs/commondialog.h"
#include "testsupport.h"

#include <QList>
#include <QTest>
#include <type_traits>

using namespace tollvik;

namespace {

// Records every request and gives the prepared answer at once.
class FakeBackend : public FileDialogBackend
{
public:
    FileDialogAnswer show(const FileDialogRequest& request) override
    {
        requests.append(request);
        return answer;
    }
    QList<FileDialogRequest> requests;
    FileDialogAnswer answer;
};

QString nul(const char* text)
{
    QString s = QString::fromLatin1(text);
    s.replace(u'0', QChar(u'\0'));
    return s;
}

FileDialogAnswer accepted(const QString& path, int filterIndex = 1, quint32 flags = 0)
{
    FileDialogAnswer a;
    a.apiReturn = 1;
    a.fileName = path;
    a.fileTitle = path.mid(path.lastIndexOf(u'/') + 1);
    a.filterIndex = filterIndex;
    a.flags = flags;
    return a;
}

// Runs the open or the save dialog, whichever the arguments are for.
bool run(cCommonDialog& dialog, OpenFileArgs& args)
{
    return dialog.VBGetOpenFileName(args);
}
bool run(cCommonDialog& dialog, SaveFileArgs& args)
{
    return dialog.VBGetSaveFileName(args);
}

// A cancelled or refused call empties what it hands back; the filter index becomes -1 for an
// open dialog and 0 for a save dialog.
template <class Args> void checkEmptied(const Args& args)
{
    QCOMPARE(args.Filename, QString());
    QCOMPARE(args.FileTitle, QString());
    QCOMPARE(args.flags, 0);
    QCOMPARE(args.FilterIndex, (std::is_same_v<Args, OpenFileArgs> ? -1 : 0));
    QCOMPARE(args.Filter, QString());
}

} // namespace

class CommonDialogTest : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void openFlags_data()
    {
        QTest::addColumn<bool>("mustExist");
        QTest::addColumn<bool>("multi");
        QTest::addColumn<bool>("readOnly");
        QTest::addColumn<bool>("hideReadOnly");
        QTest::addColumn<qint32>("flags");
        QTest::addColumn<quint32>("expected");
        QTest::newRow("defaults") << true << false << false << false << 0 << 0x1000u;
        QTest::newRow("nothing") << false << false << false << false << 0 << 0u;
        QTest::newRow("multi-select") << false << true << false << false << 0 << 0x200u;
        QTest::newRow("read-only") << false << false << true << false << 0 << 0x1u;
        QTest::newRow("hide read-only") << false << false << false << true << 0 << 0x4u;
        QTest::newRow("all four") << true << true << true << true << 0 << 0x1205u;
        QTest::newRow("hook and template bits have no effect")
            << true << false << false << false << 0x60 << 0x1000u;
        QTest::newRow("caller bits pass, hook bits cleared")
            << false << false << false << false << 0x7F << 0x1Fu;
        QTest::newRow("all caller bits") << false << false << false << false << -1 << 0xFFFFFF9Fu;
    }
    void openFlags()
    {
        QFETCH(bool, mustExist);
        QFETCH(bool, multi);
        QFETCH(bool, readOnly);
        QFETCH(bool, hideReadOnly);
        QFETCH(qint32, flags);
        QFETCH(quint32, expected);
        FakeBackend backend;
        OpenFileArgs args;
        args.Filename = QStringLiteral("*.chk");
        args.FileMustExist = mustExist;
        args.MultiSelect = multi;
        args.ReadOnly = readOnly;
        args.HideReadOnly = hideReadOnly;
        args.flags = flags;
        QVERIFY(!cCommonDialog(backend).VBGetOpenFileName(args));
        QCOMPARE(backend.requests.size(), 1);
        const FileDialogRequest& r = backend.requests.first();
        QCOMPARE(r.flags, expected);
        QCOMPARE(r.kind, FileDialogRequest::Kind::Open);
        // The default filter and index reach the backend as they are.
        QCOMPARE(r.filter, nul("All (*.*)0 *.*00"));
        QCOMPARE(r.filterIndex, 1);
        QCOMPARE(r.fileName, u"*.chk"_qs);
    }

    void saveFlags_data()
    {
        QTest::addColumn<bool>("overwritePrompt");
        QTest::addColumn<qint32>("flags");
        QTest::addColumn<quint32>("expected");
        QTest::newRow("defaults") << true << 0 << 0x6u;
        QTest::newRow("no prompt") << false << 0 << 0x4u;
        QTest::newRow("hook and template bits have no effect") << true << 0x60 << 0x6u;
        QTest::newRow("caller bits pass") << false << 0x1008 << 0x100Cu;
    }
    void saveFlags()
    {
        QFETCH(bool, overwritePrompt);
        QFETCH(qint32, flags);
        QFETCH(quint32, expected);
        FakeBackend backend;
        SaveFileArgs args;
        args.Filename = QStringLiteral("/prog/Sound 01.ogg");
        args.OverWritePrompt = overwritePrompt;
        args.flags = flags;
        QVERIFY(!cCommonDialog(backend).VBGetSaveFileName(args));
        QCOMPARE(backend.requests.first().flags, expected);
        QCOMPARE(backend.requests.first().kind, FileDialogRequest::Kind::Save);
    }

    void convertFilter_data()
    {
        QTest::addColumn<QString>("filter");
        QTest::addColumn<QString>("expected");
        QTest::newRow("default") << u"All (*.*)| *.*"_qs << nul("All (*.*)0 *.*00");
        QTest::newRow("colon splits") << u"Sounds:*.ogg"_qs << nul("Sounds0*.ogg00");
        QTest::newRow("two pairs") << u"Chk|*.chk|All|*.*"_qs << nul("Chk0*.chk0All0*.*00");
        QTest::newRow("empty") << QString() << nul("00");
    }
    void convertFilter()
    {
        QFETCH(QString, filter);
        QFETCH(QString, expected);
        QCOMPARE(cCommonDialog::convertFilter(filter), expected);
    }

    void filterLookup_data()
    {
        QTest::addColumn<QString>("filters");
        QTest::addColumn<qint32>("index");
        QTest::addColumn<QString>("expected");
        const QString two = nul("Chk0*.chk0All0*.*00");
        QTest::newRow("first") << two << 1 << nul("Chk0*.chk");
        QTest::newRow("second") << two << 2 << nul("All0*.*");
        QTest::newRow("past the end") << two << 3 << QString();
        QTest::newRow("zero") << two << 0 << QString();
        QTest::newRow("negative") << two << -1 << QString();
        QTest::newRow("empty text") << QString() << 1 << QString();
        QTest::newRow("no NUL") << u"Chk"_qs << 1 << QString();
        QTest::newRow("pattern without its NUL") << nul("Chk0*.chk") << 1 << QString();
        QTest::newRow("default") << nul("All (*.*)0 *.*00") << 1 << nul("All (*.*)0 *.*");
    }
    void filterLookup()
    {
        QFETCH(QString, filters);
        QFETCH(qint32, index);
        QFETCH(QString, expected);
        QCOMPARE(cCommonDialog::FilterLookup(filters, index), expected);
    }

    void trimAtNull_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        QTest::newRow("no NUL") << u"abc"_qs << u"abc"_qs;
        QTest::newRow("padded") << nul("abc000") << u"abc"_qs;
        QTest::newRow("several names") << nul("dir0a0b00") << u"dir"_qs;
        QTest::newRow("NUL first") << nul("0abc") << QString();
        QTest::newRow("empty") << QString() << QString();
    }
    void trimAtNull()
    {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        QCOMPARE(cCommonDialog::TrimAtNull(text), expected);
    }

    void requestCarriesTheArguments()
    {
        FakeBackend backend;
        QWidget* owner = reinterpret_cast<QWidget*>(quintptr(0x1234));
        SaveFileArgs args;
        args.Filename = QStringLiteral("/prog/Sound 03.ogg");
        args.Filter = QStringLiteral("Sounds:*.ogg");
        args.FilterIndex = 2;
        args.InitDir = QStringLiteral("/init");
        args.DlgTitle = QStringLiteral("Save sound");
        args.DefaultExt = QStringLiteral("ogg");
        args.Owner = owner;
        QVERIFY(!cCommonDialog(backend).VBGetSaveFileName(args));
        const FileDialogRequest& r = backend.requests.first();
        QCOMPARE(r.owner, owner);
        QCOMPARE(r.fileName, u"/prog/Sound 03.ogg"_qs);
        QCOMPARE(r.filter, nul("Sounds0*.ogg00"));
        QCOMPARE(r.filterIndex, 2);
        QCOMPARE(r.initialDir, u"/init"_qs);
        QCOMPARE(r.title, u"Save sound"_qs);
        QCOMPARE(r.defaultExt, u"ogg"_qs);
    }

    void cancelledDialogEmptiesTheArguments()
    {
        FakeBackend backend;
        backend.answer.extendedError = 0x3002; // ignored: a cancel is no failure
        cCommonDialog dialog(backend);
        OpenFileArgs open;
        open.Filename = QStringLiteral("*.chk");
        open.FileTitle = QStringLiteral("title");
        open.flags = 0x8;
        QVERIFY(!dialog.VBGetOpenFileName(open));
        checkEmptied(open);
        QCOMPARE(dialog.APIReturn(), 0);
        QCOMPARE(dialog.ExtendedError(), 0);
        SaveFileArgs save;
        save.Filename = QStringLiteral("/prog/Sound 01.ogg");
        save.FilterIndex = 3;
        save.flags = 0x8;
        QVERIFY(!dialog.VBGetSaveFileName(save));
        checkEmptied(save);
    }

    void acceptedOpenReturnsTheChoice()
    {
        FakeBackend backend;
        backend.answer = accepted(QStringLiteral("/home/u/DATA.CHK"), 2, 0x1001);
        cCommonDialog dialog(backend);
        OpenFileArgs args;
        args.Filename = QStringLiteral("*.chk");
        args.Filter = QStringLiteral("Chk files|*.chk|All|*.*");
        QVERIFY(dialog.VBGetOpenFileName(args));
        QCOMPARE(dialog.APIReturn(), 1);
        QCOMPARE(args.Filename, u"/home/u/DATA.CHK"_qs);
        QCOMPARE(args.FileTitle, u"DATA.CHK"_qs);
        QCOMPARE(args.FilterIndex, 2);
        QCOMPARE(args.Filter, nul("All0*.*"));
        QCOMPARE(args.flags, 0x1001);
        QVERIFY(args.ReadOnly);

        // Without the read-only bit in the answer ReadOnly comes back false.
        backend.answer = accepted(QStringLiteral("/a/b.ogg"), 1, 0x1000);
        OpenFileArgs plain;
        QVERIFY(dialog.VBGetOpenFileName(plain));
        QVERIFY(!plain.ReadOnly);
        QCOMPARE(plain.Filter, nul("All (*.*)0 *.*"));

        // Several names come back as the folder, the part before the first NUL.
        backend.answer = accepted(nul("/a0b.ogg0c.ogg00"));
        OpenFileArgs multi;
        multi.MultiSelect = true;
        QVERIFY(dialog.VBGetOpenFileName(multi));
        QCOMPARE(multi.Filename, u"/a"_qs);
    }

    void acceptedSaveReturnsTheChoice()
    {
        FakeBackend backend;
        backend.answer = accepted(QStringLiteral("/prog/out.ogg"), 1, 0x6);
        SaveFileArgs args;
        args.Filename = QStringLiteral("/prog/Sound 01.ogg");
        QVERIFY(cCommonDialog(backend).VBGetSaveFileName(args));
        QCOMPARE(args.Filename, u"/prog/out.ogg"_qs);
        QCOMPARE(args.FileTitle, u"out.ogg"_qs);
        QCOMPARE(args.FilterIndex, 1);
        QCOMPARE(args.flags, 0x6);
    }

    void failedDialogSetsTheExtendedError()
    {
        FakeBackend backend;
        backend.answer.apiReturn = 2;
        backend.answer.extendedError = 0x3002;
        backend.answer.fileName = QStringLiteral("/should/not/come/back");
        cCommonDialog dialog(backend);
        OpenFileArgs args;
        QVERIFY(!dialog.VBGetOpenFileName(args));
        QCOMPARE(dialog.APIReturn(), 2);
        QCOMPARE(dialog.ExtendedError(), 0x3002);
        checkEmptied(args);

        // The next call starts from zero again.
        backend.answer = {};
        SaveFileArgs save;
        QVERIFY(!dialog.VBGetSaveFileName(save));
        QCOMPARE(dialog.APIReturn(), 0);
        QCOMPARE(dialog.ExtendedError(), 0);
    }

    // Names and titles longer than the 260-character buffer are refused before any dialog shows.
    void namesLongerThanTheBufferCannotBePassed_data()
    {
        QTest::addColumn<int>("filenameLength");
        QTest::addColumn<int>("titleLength");
        QTest::addColumn<bool>("called");
        QTest::newRow("260 fits") << 260 << 0 << true;
        QTest::newRow("261 name") << 261 << 0 << false;
        QTest::newRow("260 title fits") << 1 << 260 << true;
        QTest::newRow("261 title") << 1 << 261 << false;
    }
    void namesLongerThanTheBufferCannotBePassed()
    {
        OpenFileArgs open;
        checkBufferLimit(open);
        SaveFileArgs save;
        checkBufferLimit(save);
    }

    void chosenNameMustFitTheBuffer_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<bool>("ok");
        QTest::newRow("259") << 259 << true;
        QTest::newRow("260") << 260 << false;
    }
    void chosenNameMustFitTheBuffer()
    {
        QFETCH(int, length);
        QFETCH(bool, ok);
        FakeBackend backend;
        backend.answer = accepted(u'/' + QString(length - 1, u'x'));
        cCommonDialog dialog(backend);
        OpenFileArgs args;
        QCOMPARE(dialog.VBGetOpenFileName(args), ok);
        QCOMPARE(args.Filename.size(), ok ? length : 0);
        QCOMPARE(dialog.ExtendedError(), ok ? 0 : cCommonDialog::kBufferTooSmall);
    }

    void fileTitle_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("title");
        QTest::newRow("full path") << u"/home/u/Sound 01.ogg"_qs << u"Sound 01.ogg"_qs;
        QTest::newRow("bare name") << u"ttn"_qs << u"ttn"_qs;
        QTest::newRow("folder") << u"/home/u/"_qs << QString();
        QTest::newRow("empty") << QString() << QString();
    }
    void fileTitle()
    {
        QFETCH(QString, path);
        QFETCH(QString, title);
        FakeBackend backend;
        QCOMPARE(cCommonDialog(backend).VBGetFileTitle(path), title);
    }

    void customColorsOutsideTheTableAreIgnored()
    {
        FakeBackend backend;
        cCommonDialog dialog(backend);
        dialog.CustomColor(0, 0x00123456);
        dialog.CustomColor(15, 7);
        dialog.CustomColor(16, 7);
        dialog.CustomColor(-1, 7);
        QCOMPARE(dialog.CustomColor(0), 0x00123456);
        QCOMPARE(dialog.CustomColor(15), 7);
        QCOMPARE(dialog.CustomColor(16), -1);
        QCOMPARE(dialog.CustomColor(-1), -1);
    }

    void printDialogsReportNotShown()
    {
        FakeBackend backend;
        cCommonDialog dialog(backend);
        PrintDlgArgs print;
        PageSetupDlgArgs page;
        QVERIFY(!dialog.VBPrintDlg(print));
        QVERIFY(!dialog.VBPageSetupDlg(page));
        QCOMPARE(dialog.APIReturn(), 0);
    }

private:
    template <class Args> void checkBufferLimit(Args& args)
    {
        QFETCH(int, filenameLength);
        QFETCH(int, titleLength);
        QFETCH(bool, called);
        FakeBackend backend;
        backend.answer = accepted(QStringLiteral("/a/b.ogg"));
        cCommonDialog dialog(backend);
        args.Filename = QString(filenameLength, u'x');
        args.FileTitle = QString(titleLength, u't');
        QCOMPARE(run(dialog, args), called);
        QCOMPARE(backend.requests.size(), called ? 1 : 0);
        if (!called) {
            checkEmptied(args);
            QCOMPARE(dialog.APIReturn(), 0);
            QCOMPARE(dialog.ExtendedError(), cCommonDialog::kBufferTooSmall);
        }
    }
};

QTEST_GUILESS_MAIN(CommonDialogTest)
#include "test_commondialog.moc"
