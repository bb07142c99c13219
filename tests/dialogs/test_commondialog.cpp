#include "dialogs/commondialog.h"
#include "testsupport.h"

#include <QList>
#include <QTest>

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
        cCommonDialog dialog(backend);
        OpenFileArgs args;
        args.Filename = QStringLiteral("*.*");
        args.FileMustExist = mustExist;
        args.MultiSelect = multi;
        args.ReadOnly = readOnly;
        args.HideReadOnly = hideReadOnly;
        args.flags = flags;
        QCOMPARE(cCommonDialog::openDialogFlags(args), expected);
        QVERIFY(!dialog.VBGetOpenFileName(args));
        QCOMPARE(backend.requests.size(), 1);
        QCOMPARE(backend.requests.first().flags, expected);
        QCOMPARE(backend.requests.first().kind, FileDialogRequest::Kind::Open);
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
        cCommonDialog dialog(backend);
        SaveFileArgs args;
        args.Filename = QStringLiteral("/prog/Sound 01.ogg");
        args.OverWritePrompt = overwritePrompt;
        args.flags = flags;
        QCOMPARE(cCommonDialog::saveDialogFlags(args), expected);
        QVERIFY(!dialog.VBGetSaveFileName(args));
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

    void defaultFilterReachesTheBackend()
    {
        FakeBackend backend;
        cCommonDialog dialog(backend);
        OpenFileArgs args;
        args.Filename = QStringLiteral("*.chk");
        QVERIFY(!dialog.VBGetOpenFileName(args));
        const FileDialogRequest& r = backend.requests.first();
        QCOMPARE(r.filter, nul("All (*.*)0 *.*00"));
        QCOMPARE(r.filterIndex, 1);
        QCOMPARE(r.fileName, u"*.chk"_qs);
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
        cCommonDialog dialog(backend);
        QWidget* owner = reinterpret_cast<QWidget*>(quintptr(0x1234));
        SaveFileArgs args;
        args.Filename = QStringLiteral("/prog/Sound 03.ogg");
        args.Filter = QStringLiteral("Sounds:*.ogg");
        args.FilterIndex = 2;
        args.InitDir = QStringLiteral("/init");
        args.DlgTitle = QStringLiteral("Save sound");
        args.DefaultExt = QStringLiteral("ogg");
        args.Owner = owner;
        QVERIFY(!dialog.VBGetSaveFileName(args));
        const FileDialogRequest& r = backend.requests.first();
        QCOMPARE(r.owner, owner);
        QCOMPARE(r.fileName, u"/prog/Sound 03.ogg"_qs);
        QCOMPARE(r.filter, nul("Sounds0*.ogg00"));
        QCOMPARE(r.filterIndex, 2);
        QCOMPARE(r.initialDir, u"/init"_qs);
        QCOMPARE(r.title, u"Save sound"_qs);
        QCOMPARE(r.defaultExt, u"ogg"_qs);
    }

    void cancelledOpenEmptiesTheArguments()
    {
        FakeBackend backend;
        cCommonDialog dialog(backend);
        OpenFileArgs args;
        args.Filename = QStringLiteral("*.chk");
        args.FileTitle = QStringLiteral("title");
        args.flags = 0x8;
        QVERIFY(!dialog.VBGetOpenFileName(args));
        QCOMPARE(args.Filename, QString());
        QCOMPARE(args.FileTitle, QString());
        QCOMPARE(args.flags, 0);
        QCOMPARE(args.FilterIndex, -1);
        QCOMPARE(args.Filter, QString());
        QCOMPARE(dialog.APIReturn(), 0);
        QCOMPARE(dialog.ExtendedError(), 0);
    }

    void cancelledSaveEmptiesTheArguments()
    {
        FakeBackend backend;
        cCommonDialog dialog(backend);
        SaveFileArgs args;
        args.Filename = QStringLiteral("/prog/Sound 01.ogg");
        args.FilterIndex = 3;
        args.flags = 0x8;
        QVERIFY(!dialog.VBGetSaveFileName(args));
        QCOMPARE(args.Filename, QString());
        QCOMPARE(args.FileTitle, QString());
        QCOMPARE(args.flags, 0);
        QCOMPARE(args.FilterIndex, 0);
        QCOMPARE(args.Filter, QString());
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
    }

    void acceptedOpenWithoutReadOnlyBitKeepsReadOnly()
    {
        FakeBackend backend;
        backend.answer = accepted(QStringLiteral("/a/b.ogg"), 1, 0x1000);
        cCommonDialog dialog(backend);
        OpenFileArgs args;
        args.Filename = QStringLiteral("*.ogg");
        QVERIFY(dialog.VBGetOpenFileName(args));
        QVERIFY(!args.ReadOnly);
        QCOMPARE(args.Filter, nul("All (*.*)0 *.*"));
    }

    void severalNamesReturnTheFirstPart()
    {
        FakeBackend backend;
        backend.answer = accepted(nul("/a0b.ogg0c.ogg00"));
        backend.answer.fileTitle = QStringLiteral("b.ogg");
        cCommonDialog dialog(backend);
        OpenFileArgs args;
        args.Filename = QStringLiteral("*.ogg");
        args.MultiSelect = true;
        QVERIFY(dialog.VBGetOpenFileName(args));
        QCOMPARE(args.Filename, u"/a"_qs);
    }

    void acceptedSaveReturnsTheChoice()
    {
        FakeBackend backend;
        backend.answer = accepted(QStringLiteral("/prog/out.ogg"), 1, 0x6);
        cCommonDialog dialog(backend);
        SaveFileArgs args;
        args.Filename = QStringLiteral("/prog/Sound 01.ogg");
        QVERIFY(dialog.VBGetSaveFileName(args));
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
        args.Filename = QStringLiteral("*.*");
        QVERIFY(!dialog.VBGetOpenFileName(args));
        QCOMPARE(dialog.APIReturn(), 2);
        QCOMPARE(dialog.ExtendedError(), 0x3002);
        QCOMPARE(args.Filename, QString());
        QCOMPARE(args.FilterIndex, -1);

        // The next call starts from zero again.
        backend.answer = {};
        SaveFileArgs save;
        save.Filename = QStringLiteral("x.ogg");
        QVERIFY(!dialog.VBGetSaveFileName(save));
        QCOMPARE(dialog.APIReturn(), 0);
        QCOMPARE(dialog.ExtendedError(), 0);
        QCOMPARE(save.FilterIndex, 0);
    }

    void cancelledDialogIgnoresItsExtendedError()
    {
        FakeBackend backend;
        backend.answer.apiReturn = 0;
        backend.answer.extendedError = 0x3002;
        cCommonDialog dialog(backend);
        OpenFileArgs args;
        QVERIFY(!dialog.VBGetOpenFileName(args));
        QCOMPARE(dialog.ExtendedError(), 0);
    }

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
        QFETCH(int, filenameLength);
        QFETCH(int, titleLength);
        QFETCH(bool, called);
        FakeBackend backend;
        backend.answer = accepted(QStringLiteral("/a/b.ogg"));
        for (int save = 0; save < 2; ++save) {
            backend.requests.clear();
            cCommonDialog dialog(backend);
            bool result = false;
            QString filename;
            qint32 filterIndex = 0;
            if (save == 0) {
                OpenFileArgs args;
                args.Filename = QString(filenameLength, u'x');
                args.FileTitle = QString(titleLength, u't');
                result = dialog.VBGetOpenFileName(args);
                filename = args.Filename;
                filterIndex = args.FilterIndex;
            } else {
                SaveFileArgs args;
                args.Filename = QString(filenameLength, u'x');
                args.FileTitle = QString(titleLength, u't');
                result = dialog.VBGetSaveFileName(args);
                filename = args.Filename;
                filterIndex = args.FilterIndex;
            }
            QCOMPARE(result, called);
            QCOMPARE(backend.requests.size(), called ? 1 : 0);
            if (!called) {
                QCOMPARE(filename, QString());
                QCOMPARE(filterIndex, save == 0 ? -1 : 0);
                QCOMPARE(dialog.APIReturn(), 0);
                QCOMPARE(dialog.ExtendedError(), cCommonDialog::kBufferTooSmall);
            }
        }
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
        args.Filename = QStringLiteral("*.*");
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
        dialog.CustomColor(3, 0x00123456);
        QCOMPARE(dialog.CustomColor(3), 0x00123456);
        dialog.CustomColor(15, 7);
        QCOMPARE(dialog.CustomColor(15), 7);
        dialog.CustomColor(16, 7);
        dialog.CustomColor(-1, 7);
        QCOMPARE(dialog.CustomColor(16), -1);
        QCOMPARE(dialog.CustomColor(-1), -1);
    }

    void printDialogsReportNotShown()
    {
        FakeBackend backend;
        cCommonDialog dialog(backend);
        PrintDlgArgs print;
        QVERIFY(!dialog.VBPrintDlg(print));
        QCOMPARE(dialog.APIReturn(), 0);
        PageSetupDlgArgs page;
        QVERIFY(!dialog.VBPageSetupDlg(page));
        QCOMPARE(dialog.APIReturn(), 0);
    }
};

QTEST_GUILESS_MAIN(CommonDialogTest)
#include "test_commondialog.moc"
