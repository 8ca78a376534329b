// Deleting the selected files: the questions, the remembered answer, what
// stays on disk, the list afterwards and the status line.
#include "ViewerFixture.h"
#include "base/Error.h"

#include <unistd.h>

using namespace mg;
using namespace mg::test;

namespace {
const QStringList kEight{"f0", "f1", "f2", "f3", "f4", "f5", "f6", "f7"};
const QStringList kThree{"a", "b", "c"};
} // namespace

class TestDeletion : public QObject {
    Q_OBJECT
private slots:
    void answers_data()
    {
        QTest::addColumn<QStringList>("files");
        QTest::addColumn<QList<int>>("selected");
        QTest::addColumn<QList<int>>("answers");
        QTest::addColumn<QStringList>("prompts");   // "kind/buttons/text"; %1 = the folder
        QTest::addColumn<QStringList>("remaining"); // on disk
        QTest::addColumn<int>("listCount");
        QTest::addColumn<int>("itemIndex");
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("background"); // the folder is re-read on the list's worker thread

        QTest::newRow("No then All erases the rest without asking")
            << kThree << QList<int>{0, 1, 2} << QList<int>{mrNo, mrAll}
            << QStringList{"3/139/Delete: \"%1/a\"", "3/139/Delete: \"%1/b\""} << QStringList{"a"} << 1 << 0 << "Ready"
            << false;
        QTest::newRow("Yes then Cancel stops with the list unread")
            << kThree << QList<int>{0, 1, 2} << QList<int>{mrYes, mrCancel}
            << QStringList{"3/139/Delete: \"%1/a\"", "3/139/Delete: \"%1/b\""} << QStringList{"b", "c"} << 3 << -1
            << "Deleting \"%1/a\"" << false;
        QTest::newRow("one file is asked Yes/No and No keeps it")
            << kThree << QList<int>{1} << QList<int>{mrNo} << QStringList{"3/3/Delete: \"%1/b\""} << kThree << 3 << 1
            << "Ready" << false;
        QTest::newRow("positions 2 and 5 of 8: the next file becomes current")
            << kEight << QList<int>{2, 5} << QList<int>{mrYes, mrYes}
            << QStringList{"3/139/Delete: \"%1/f2\"", "3/139/Delete: \"%1/f5\""}
            << QStringList{"f0", "f1", "f3", "f4", "f6", "f7"} << 6 << 2 << "Ready" << false;
        QTest::newRow("last item erased leaves no current item")
            << kEight << QList<int>{7} << QList<int>{mrYes} << QStringList{"3/3/Delete: \"%1/f7\""} << kEight.mid(0, 7)
            << 7 << -1 << "Ready" << false;
        QTest::newRow("close box on the single question stops without re-reading")
            << kThree << QList<int>{2} << QList<int>{mrCancel} << QStringList{"3/3/Delete: \"%1/c\""} << kThree << 3
            << -1 << "before" << false;
        QTest::newRow("nothing selected only warns")
            << kThree << QList<int>{} << QList<int>{} << QStringList{"0/4/No files selected for deletion!"} << kThree
            << 3 << -1 << "before" << false;
        QTest::newRow("re-read in the background lost the next file's caret")
            << kEight << QList<int>{2, 5} << QList<int>{mrYes, mrYes}
            << QStringList{"3/139/Delete: \"%1/f2\"", "3/139/Delete: \"%1/f5\""}
            << QStringList{"f0", "f1", "f3", "f4", "f6", "f7"} << 6 << 2 << "Ready" << true;
        QTest::newRow("re-read in the background left a caret past the end")
            << kEight << QList<int>{7} << QList<int>{mrYes} << QStringList{"3/3/Delete: \"%1/f7\""} << kEight.mid(0, 7)
            << 7 << -1 << "Ready" << true;
    }
    void answers()
    {
        QFETCH(QStringList, files);
        QFETCH(QList<int>, selected);
        QFETCH(QList<int>, answers);
        QFETCH(QStringList, prompts);
        QFETCH(QStringList, remaining);
        QFETCH(int, listCount);
        QFETCH(int, itemIndex);
        QFETCH(QString, status);
        QFETCH(bool, background);
        TestFolder folder;
        for (const QString& f : files)
            folder.Add(f.toStdString(), {'x'});
        ScriptedDialogs dialogs;
        for (int a : answers)
            dialogs.Answer(a);
        auto window = ShowMain(folder);
        QCOMPARE(window->FileListBox1->Count(), files.size());
        for (int i : selected)
            window->FileListBox1->SetSelected(i, true);
        window->SetStatusText("before");

        TFileListBox::SetEntriesReadAtOnce(background ? 1 : TFileListBox::kEntriesReadAtOnce);
        window->DeleteSelectedFiles();
        TFileListBox::SetEntriesReadAtOnce(TFileListBox::kEntriesReadAtOnce);
        QCOMPARE(window->FileListBox1->Reading(), background);
        QTRY_VERIFY(!window->FileListBox1->Reading());

        const QString root = QString::fromStdString(folder.Root());
        QStringList shown;
        for (const DialogRequest& r : dialogs.seen)
            shown << QStringLiteral("%1/%2/%3").arg(int(r.kind)).arg(r.buttons).arg(r.text);
        for (QString& p : prompts)
            p.replace("%1", root);
        QCOMPARE(shown, prompts);
        for (const QString& f : files)
            QCOMPARE(folder.Exists(f.toStdString()), remaining.contains(f));
        QCOMPARE(window->FileListBox1->Count(), listCount);
        QCOMPARE(window->FileListBox1->ItemIndex(), itemIndex);
        QCOMPARE(window->StatusText(), status.replace("%1", root));
        if (listCount != files.size() || status == "Ready")
            QCOMPARE(window->FileListBox1->SelCount(), 0);
    }

    void eraseErrors_data()
    {
        QTest::addColumn<int>("err");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing file") << ENOENT << "File not found";
        QTest::newRow("name too long") << ENAMETOOLONG << "Invalid filename";
        QTest::newRow("bad byte sequence") << EILSEQ << "Invalid filename";
        QTest::newRow("no access") << EACCES << "File access denied";
        QTest::newRow("not permitted") << EPERM << "File access denied";
        QTest::newRow("read-only file system") << EROFS << "File access denied";
        QTest::newRow("busy gives its number") << EBUSY << QString("I/O error %1").arg(EBUSY);
    }
    void eraseErrors()
    {
        QFETCH(int, err);
        QFETCH(QString, message);
        QCOMPARE(QString::fromStdString(FileErrorMessage(err)), message);
    }

    void nameThatIsNotUtf8IsErasedByItsBytes()
    {
        TestFolder folder;
        const std::string name = "\xe9t\xe9";
        folder.Add(name, {'x'});
        folder.Add("other", {'x'});
        QVERIFY(folder.Exists(name));
        ScriptedDialogs dialogs;
        dialogs.Answer(mrYes);
        auto window = ShowMain(folder);
        const int index = IndexOf(*window->FileListBox1, name);
        QVERIFY(index >= 0);
        window->FileListBox1->SetSelected(index, true);
        window->DeleteSelectedFiles();
        QCOMPARE(dialogs.Texts(), QStringList{"Delete: \"" + QString::fromUtf8(folder.Path(name)) + "\""});
        QVERIFY(!folder.Exists(name));
        QVERIFY(folder.Exists("other"));
        QCOMPARE(window->FileListBox1->Count(), 1);
    }

    void virtualFolderActsOnTheListedFolder()
    {
        // With the tree on "Computer" the list stays on its folder, and Delete
        // acts on what the list shows there: never on a name joined to the
        // display name, which would resolve against whatever the current
        // directory is by then (another window may have moved it).
        TestFolder folder;
        folder.Add("a", {'x'});
        QVERIFY(QDir().mkpath(QString::fromStdString(folder.Path("elsewhere/Computer"))));
        folder.Add("elsewhere/Computer/a", {'x'});
        ScriptedDialogs dialogs;
        dialogs.Answer(mrYes);
        auto window = ShowMain(folder);
        QVERIFY(window->ShellTreeView1->SelectPath("Computer"));
        QCOMPARE(window->ShellTreeView1->Path(), std::string("Computer"));
        QCOMPARE(window->FileListBox1->Directory(), folder.Root());
        QVERIFY(::chdir(folder.Path("elsewhere").c_str()) == 0);
        const int index = IndexOf(*window->FileListBox1, "a");
        QVERIFY(index >= 0);
        window->FileListBox1->SetSelected(index, true);
        window->DeleteSelectedFiles();
        QCOMPARE(dialogs.Texts(), QStringList{"Delete: \"" + QString::fromStdString(folder.Path("a")) + "\""});
        QVERIFY(!folder.Exists("a"));
        QVERIFY(folder.Exists("elsewhere/Computer/a"));
        QVERIFY(::chdir("/") == 0);
    }

    // The tree and the list disagreeing: Delete erases the file the list
    // shows, in the folder the list shows, or fails; never another file.
    void deletesWhatTheListShows_data()
    {
        QTest::addColumn<QStringList>("files");  // made under the root
        QTest::addColumn<QString>("clickFirst"); // a file clicked before the tree moves
        QTest::addColumn<QString>("treeFolder"); // selected in the tree
        QTest::addColumn<QString>("renameAway"); // renamed after, then the tree refreshed
        QTest::addColumn<QString>("listFolder"); // the list's folder then
        QTest::addColumn<QString>("erased");     // "" when the erase fails
        QTest::addColumn<QStringList>("kept");
        QTest::newRow("folder named with a wildcard is a folder, not a mask")
            << QStringList{"whatX", "what?/whatX"} << ""
            << "what?"
            << ""
            << "what?"
            << "what?/whatX" << QStringList{"whatX"};
        QTest::newRow("folder named like the clicked file in other letter case is opened")
            << QStringList{"pic.jpg", "PIC.JPG/pic.jpg"} << "pic.jpg"
            << "PIC.JPG"
            << ""
            << "PIC.JPG"
            << "PIC.JPG/pic.jpg" << QStringList{"pic.jpg"};
        QTest::newRow("tree node gone after a refresh: the list's folder, not the root")
            << QStringList{"sub/victim.txt"} << ""
            << "sub"
            << "sub2"
            << "sub"
            << "" << QStringList{"sub2/victim.txt"};
    }
    void deletesWhatTheListShows()
    {
        QFETCH(QStringList, files);
        QFETCH(QString, clickFirst);
        QFETCH(QString, treeFolder);
        QFETCH(QString, renameAway);
        QFETCH(QString, listFolder);
        QFETCH(QString, erased);
        QFETCH(QStringList, kept);
        TestFolder folder;
        for (const QString& f : files) {
            const QString dir = QFileInfo(f).path();
            if (dir != ".")
                QVERIFY(QDir().mkpath(QString::fromStdString(folder.Path(dir.toStdString()))));
            folder.Add(f.toStdString(), {'x'});
        }
        ScriptedDialogs dialogs;
        dialogs.Answer(mrYes);
        auto window = ShowMain(folder);
        if (!clickFirst.isEmpty())
            ClickItem(*window, clickFirst.toStdString());
        QVERIFY(window->ShellTreeView1->SelectPath(folder.Path(treeFolder.toStdString())));
        if (!renameAway.isEmpty()) {
            QVERIFY(QDir(QString::fromStdString(folder.Root())).rename(treeFolder, renameAway));
            window->ShellTreeView1->RefreshNode(window->ShellTreeView1->RootNode());
            QCOMPARE(window->ShellTreeView1->Path(), std::string());
        }
        const std::string shownFolder = folder.Path(listFolder.toStdString());
        QCOMPARE(window->FileListBox1->Directory(), shownFolder);
        QCOMPARE(window->FileListBox1->Mask(), std::string("*.*"));
        QCOMPARE(window->FileListBox1->Count(), 1);
        const std::string name = window->FileListBox1->Items(0);
        window->FileListBox1->SetSelected(0, true);
        try {
            window->DeleteSelectedFiles();
            QVERIFY2(!erased.isEmpty(), "the erase should have failed");
        } catch (const Error& error) {
            QVERIFY2(erased.isEmpty(), error.what());
            QCOMPARE(QString::fromUtf8(error.what()), QStringLiteral("File not found"));
        }
        QCOMPARE(dialogs.Texts(), QStringList{"Delete: \"" + QString::fromStdString(shownFolder + "/" + name) + "\""});
        if (!erased.isEmpty())
            QVERIFY(!folder.Exists(erased.toStdString()));
        for (const QString& f : kept)
            QVERIFY2(folder.Exists(f.toStdString()), qPrintable(f));
    }

    void fileGoneMeanwhileStopsTheCommand()
    {
        // Delete with Shift held, through the application's event dispatch.
        TestFolder folder;
        for (const char* f : {"a", "b", "c"})
            folder.Add(f, {'x'});
        ScriptedDialogs dialogs;
        dialogs.Answer(mrAll);
        auto window = ShowMain(folder);
        window->FileListBox1->SetSelected(0, true);
        window->FileListBox1->SetSelected(1, true);
        window->FileListBox1->SetSelected(2, true);
        QVERIFY(::unlink(folder.Path("b").c_str()) == 0);
        window->FileListBox1->setFocus();
        QTest::keyClick(window->FileListBox1, Qt::Key_Delete, Qt::ShiftModifier);
        QCOMPARE(dialogs.Texts().size(), 2);
        QCOMPARE(dialogs.seen[1].text, QStringLiteral("File not found."));
        QCOMPARE(dialogs.seen[1].kind, mtError);
        QVERIFY(!folder.Exists("a"));
        QVERIFY(folder.Exists("c"));                // after the error nothing more is erased
        QCOMPARE(window->FileListBox1->Count(), 3); // not re-read
        QCOMPARE(window->StatusText(), QString("Deleting \"%1/b\"").arg(QString::fromStdString(folder.Root())));
    }
};

MG_VIEWER_TEST_MAIN(TestDeletion)
#include "tst_deletion.moc"
