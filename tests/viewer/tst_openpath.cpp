// Opening a file or folder named on the command line ("Open With" from a file
// manager): the tree and the list move to its folder through Home or
// Computer, a file is selected and shown upright, and a path the window
// cannot show is reported without moving anything.
#include "ViewerFixture.h"

#include <QDir>
#include <QTemporaryDir>
#include <filesystem>

using namespace mg;
using namespace mg::test;

class TestOpenPath : public QObject {
    Q_OBJECT
private slots:
    void opensPath_data();
    void opensPath();
};

void TestOpenPath::opensPath_data()
{
    QTest::addColumn<QByteArray>("folder"); // below the test's base folder
    QTest::addColumn<QByteArray>("name");   // the file given; empty: the folder itself
    QTest::addColumn<int>("orientation");   // of the JPEG written; 0: write nothing
    QTest::addColumn<QString>("error");     // start of the error report; empty: none
    QTest::addColumn<QSize>("natural");     // of the picture shown

    QTest::newRow("file under Home") << QByteArray("home/pics") << QByteArray("a.jpg") << 1 << "" << QSize(64, 48);
    QTest::newRow("file reached through Computer")
        << QByteArray("elsewhere/pics") << QByteArray("b.jpg") << 1 << "" << QSize(64, 48);
    QTest::newRow("phone photo opens upright")
        << QByteArray("home") << QByteArray("turned.jpg") << 6 << "" << QSize(48, 64);
    QTest::newRow("name that is not UTF-8")
        << QByteArray("home") << QByteArray("caf\xE9.jpg") << 1 << "" << QSize(64, 48);
    QTest::newRow("folder opens without showing a file")
        << QByteArray("home/album") << QByteArray() << 1 << "" << QSize();
    QTest::newRow("folder named like a mask is a folder")
        << QByteArray("home/a*b?") << QByteArray() << 1 << "" << QSize();
    QTest::newRow("missing file is reported")
        << QByteArray("home") << QByteArray("gone.jpg") << 0 << "Cannot open \"%1\": File not found" << QSize();
    QTest::newRow("file in a hidden folder is reported, not opened behind the tree")
        << QByteArray("home/.secret") << QByteArray("c.jpg") << 1
        << "Cannot open \"%1\": its folder is not in the folder tree" << QSize();
}

void TestOpenPath::opensPath()
{
    QFETCH(QByteArray, folder);
    QFETCH(QByteArray, name);
    QFETCH(int, orientation);
    QFETCH(QString, error);
    QFETCH(QSize, natural);

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
    window.OpenStartPath(path);
    qputenv("HOME", savedHome);

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

MG_VIEWER_TEST_MAIN(TestOpenPath)
#include "tst_openpath.moc"
