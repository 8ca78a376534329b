// The viewer's command line: the rules on their own, and the built program
// answering --help and --version with no display at all.
#include "viewer/CommandLine.h"

#include <QFileInfo>
#include <QProcess>
#include <QtTest>

using mg::viewer::StartRequest;

class TestCommandLine : public QObject {
    Q_OBJECT
private slots:
    void parse_data();
    void parse();
    void absolutePath_data();
    void absolutePath();
    void answersWithoutDisplay_data();
    void answersWithoutDisplay();
};

void TestCommandLine::parse_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("action");
    QTest::addColumn<QString>("path");
    QTest::newRow("nothing runs on the desktop") << QStringList{} << int(StartRequest::Run) << "";
    QTest::newRow("one file") << QStringList{"a.jpg"} << int(StartRequest::Run) << "a.jpg";
    QTest::newRow("help next to an unknown option still helps")
        << QStringList{"-platform", "xcb", "--help"} << int(StartRequest::Help) << "";
    QTest::newRow("short help") << QStringList{"-h"} << int(StartRequest::Help) << "";
    QTest::newRow("version after a path") << QStringList{"a.jpg", "--version"} << int(StartRequest::Version) << "";
    QTest::newRow("after -- a file may be called --help")
        << QStringList{"--", "--help"} << int(StartRequest::Run) << "--help";
    QTest::newRow("a lone dash is a path") << QStringList{"-"} << int(StartRequest::Run) << "-";
    QTest::newRow("unknown option") << QStringList{"--fullscreen"} << int(StartRequest::Error) << "";
    QTest::newRow("two paths") << QStringList{"a.jpg", "b.jpg"} << int(StartRequest::Error) << "";
    QTest::newRow("empty path") << QStringList{""} << int(StartRequest::Error) << "";
}

void TestCommandLine::parse()
{
    QFETCH(QStringList, args);
    QFETCH(int, action);
    QFETCH(QString, path);
    std::vector<std::string> bytes;
    for (const QString& arg : args)
        bytes.push_back(arg.toStdString());
    const StartRequest request = mg::viewer::ParseArguments(bytes);
    QCOMPARE(int(request.action), action);
    QCOMPARE(QString::fromStdString(request.path), path);
    QCOMPARE(request.error.empty(), action != int(StartRequest::Error));
}

void TestCommandLine::absolutePath_data()
{
    QTest::addColumn<QByteArray>("path");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("relative name joins the start folder") << QByteArray("a.jpg") << QByteArray("/start/here/a.jpg");
    QTest::newRow("dot parts go") << QByteArray("./x/../b.jpg") << QByteArray("/start/here/b.jpg");
    QTest::newRow("trailing slash of a folder goes") << QByteArray("album/") << QByteArray("/start/here/album");
    QTest::newRow("absolute path kept") << QByteArray("/pics//a.jpg") << QByteArray("/pics/a.jpg");
    QTest::newRow("root stays root") << QByteArray("/") << QByteArray("/");
    QTest::newRow("bytes that are not UTF-8 kept")
        << QByteArray("caf\xE9.jpg") << QByteArray("/start/here/caf\xE9.jpg");
}

void TestCommandLine::absolutePath()
{
    QFETCH(QByteArray, path);
    QFETCH(QByteArray, expected);
    QCOMPARE(QByteArray::fromStdString(mg::viewer::AbsoluteStartPath(path.toStdString(), "/start/here")), expected);
}

void TestCommandLine::answersWithoutDisplay_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("output");
    QTest::newRow("help") << QStringList{"--help"} << "Usage: murkglass [FILE|FOLDER]\n";
    QTest::newRow("version") << QStringList{"--version"} << "murkglass " MURKGLASS_TEST_VERSION "\n";
}

void TestCommandLine::answersWithoutDisplay()
{
    QFETCH(QStringList, args);
    QFETCH(QString, output);
    const QString program = qEnvironmentVariable("MURKGLASS_BINARY_DIR") + QStringLiteral("/viewer/murkglass");
    if (!QFileInfo(program).isExecutable())
        QSKIP("the viewer is not built (a build without the windows)");
    QProcess process;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
        environment.remove(QString::fromLatin1(name));
    process.setProcessEnvironment(environment);
    process.start(program, args);
    QVERIFY(process.waitForFinished(20000));
    QCOMPARE(process.exitStatus(), QProcess::NormalExit);
    QCOMPARE(process.exitCode(), 0);
    QVERIFY2(QString::fromUtf8(process.readAllStandardOutput()).startsWith(output), qPrintable(output));
    QCOMPARE(process.readAllStandardError(), QByteArray());
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
