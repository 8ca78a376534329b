// Opening a file or folder named on the command line ("Open With" from a file
// manager): the tree and the list move to its folder through Home or
// Computer, a file is selected and shown upright, and a path the window
// cannot show is reported without moving anything.
#include "ViewerFixture.h"

#include <QDir>
#include <QSemaphore>
#include <QTemporaryDir>
#include <filesystem>

using namespace mg;
using namespace mg::test;

class TestOpenPath : public QObject {
    Q_OBJECT
private slots:
    void opensPath_data();
    void opensPath();
    void listMovedOnBeforeTheFileWasListed();
};

void TestOpenPath::opensPath_data()
{
    QTest::addColumn<QByteArray>("folder"); // below the test's base folder
    QTest::addColumn<QByteArray>("name");   // the file given; empty: the folder itself
    QTest::addColumn<int>("orientation");   // of the JPEG written; 0: write nothing
    QTest::addColumn<QString>("error");     // start of the error report; empty: none
    QTest::addColumn<QSize>("natural");     // of the picture shown
    QTest::addColumn<bool>("background");   // the folder is read on the list's worker thread

    QTest::newRow("file under Home") << QByteArray("home/pics") << QByteArray("a.jpg") << 1 << "" << QSize(64, 48)
                                     << false;
    QTest::newRow("file reached through Computer")
        << QByteArray("elsewhere/pics") << QByteArray("b.jpg") << 1 << "" << QSize(64, 48) << false;
    QTest::newRow("phone photo opens upright")
        << QByteArray("home") << QByteArray("turned.jpg") << 6 << "" << QSize(48, 64) << false;
    QTest::newRow("name that is not UTF-8")
        << QByteArray("home") << QByteArray("caf\xE9.jpg") << 1 << "" << QSize(64, 48) << false;
    QTest::newRow("folder opens without showing a file")
        << QByteArray("home/album") << QByteArray() << 1 << "" << QSize() << false;
    QTest::newRow("folder named like a mask is a folder")
        << QByteArray("home/a*b?") << QByteArray() << 1 << "" << QSize() << false;
    QTest::newRow("missing file is reported") << QByteArray("home") << QByteArray("gone.jpg") << 0
                                              << "Cannot open \"%1\": File not found" << QSize() << false;
    QTest::newRow("file in a hidden folder is reported, not opened behind the tree")
        << QByteArray("home/.secret") << QByteArray("c.jpg") << 1
        << "Cannot open \"%1\": its folder is not in the folder tree" << QSize() << false;
    QTest::newRow("file in a huge folder not chosen once listed")
        << QByteArray("home/pics") << QByteArray("a.jpg") << 1 << "" << QSize(64, 48) << true;
}

void TestOpenPath::opensPath()
{
    QFETCH(QByteArray, folder);
    QFETCH(QByteArray, name);
    QFETCH(int, orientation);
    QFETCH(QString, error);
    QFETCH(QSize, natural);
    QFETCH(bool, background);

    QTemporaryDir base;
    const std::string root = base.path().toStdString();
    // QTemporaryDir cannot remove a name that is not UTF-8.
    struct Cleanup {
        std::string root;
        ~Cleanup()
        {
            std::error_code ignored;
            std::filesystem::remove_all(root, ignored);
        }
    } cleanup{root};
    QDir(base.path()).mkpath(QStringLiteral("desk"));
    QDir(base.path()).mkpath(QStringLiteral("home"));
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", QByteArray::fromStdString(root + "/home"));
    const std::string directory = root + "/" + folder.toStdString();
    std::filesystem::create_directories(directory);
    std::string path = directory;
    if (!name.isEmpty()) {
        path += "/" + name.toStdString();
        if (orientation > 0)
            WriteFile(path, WithExifOrientation(MakeJpeg(64, 48), orientation));
    }
    WriteFile(directory + "/other.jpg", MakeJpeg(16, 16));

    ScriptedDialogs dialogs;
    TfrmMain window(root + "/desk");
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const std::string treeBefore = window.ShellTreeView1->Path();
    if (background)
        TFileListBox::SetEntriesReadAtOnce(1);
    window.OpenStartPath(path);
    TFileListBox::SetEntriesReadAtOnce(TFileListBox::kEntriesReadAtOnce);
    qputenv("HOME", savedHome);
    QTRY_VERIFY(!window.FileListBox1->Reading());

    if (!error.isEmpty()) {
        QCOMPARE(dialogs.seen.size(), 1);
        QVERIFY2(dialogs.seen[0].text.startsWith(error.arg(QString::fromStdString(path))),
                 qPrintable(dialogs.seen[0].text));
        QCOMPARE(window.ShellTreeView1->Path(), treeBefore);
        QVERIFY(!window.Image1->Picture().Graphic());
        return;
    }
    QCOMPARE(dialogs.Texts(), QStringList());
    QCOMPARE(window.ShellTreeView1->Path(), directory);
    QCOMPARE(window.FileListBox1->Directory(), directory);
    QVERIFY(IndexOf(*window.FileListBox1, "other.jpg") >= 0);
    if (name.isEmpty()) {
        QCOMPARE(window.FileListBox1->FileName(), std::string());
        QVERIFY(!window.Image1->Picture().Graphic());
        return;
    }
    QCOMPARE(window.FileListBox1->FileName(), path);
    QCOMPARE(window.FileListBox1->SelCount(), 1);
    QCOMPARE(QSize(window.Image1->Picture().Width(), window.Image1->Picture().Height()), natural);
    QCOMPARE(window.StatusText(), QStringLiteral("Display Image ") + QString::fromUtf8(path));
    // Fitted to the pane in the upright shape.
    QCOMPARE(window.Image1->height() > window.Image1->width(), natural.height() > natural.width());
}

// The user moves the list elsewhere while the start file's huge folder is
// still being read: the file is not chosen afterwards, and nothing is
// reported.
void TestOpenPath::listMovedOnBeforeTheFileWasListed()
{
    QTemporaryDir base;
    const std::string root = base.path().toStdString();
    QDir(base.path()).mkpath(QStringLiteral("home/pics"));
    const QByteArray savedHome = qgetenv("HOME");
    qputenv("HOME", QByteArray::fromStdString(root + "/home"));
    const std::string picture = root + "/home/pics/a.jpg";
    WriteFile(picture, MakeJpeg(64, 48));
    WriteFile(root + "/home/pics/b.jpg", MakeJpeg(16, 16));

    ScriptedDialogs dialogs;
    TfrmMain window(root + "/home");
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSemaphore hold;
    TFileListBox::SetBackgroundReadGate([&hold] { hold.acquire(); });
    TFileListBox::SetEntriesReadAtOnce(1);
    window.OpenStartPath(picture);
    TFileListBox::SetEntriesReadAtOnce(TFileListBox::kEntriesReadAtOnce);
    TFileListBox::SetBackgroundReadGate({});
    qputenv("HOME", savedHome);
    QVERIFY(window.FileListBox1->Reading());
    // The user picks the tree's root: a small folder, read at once.
    window.ShellTreeView1->setCurrentItem(window.ShellTreeView1->RootNode());
    QCOMPARE(window.FileListBox1->Directory(), root + "/home");
    hold.release();
    QTRY_COMPARE(window.FileListBox1->ThreadsRunning(), std::size_t(0));
    // The folder is read again in the background: the file chosen at the
    // start must not be chosen now either.
    TFileListBox::SetEntriesReadAtOnce(1);
    window.FileListBox1->SetFolder(root + "/home/pics");
    TFileListBox::SetEntriesReadAtOnce(TFileListBox::kEntriesReadAtOnce);
    QTRY_VERIFY(!window.FileListBox1->Reading());
    QCOMPARE(window.FileListBox1->Count(), 2);
    QCOMPARE(window.FileListBox1->SelCount(), 0);
    QVERIFY(!window.Image1->Picture().Graphic());
    QCOMPARE(dialogs.Texts(), QStringList());
}

MG_VIEWER_TEST_MAIN(TestOpenPath)
#include "tst_openpath.moc"
