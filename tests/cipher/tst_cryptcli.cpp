// murkglass-crypt run as a separate process: keys, passphrase sources,
// round trips, exit codes and one-line failure reports.
#include "TestJpeg.h"
#include "cipher/KeyText.h"
#include "cipher/Keystream.h"
#include "cipher/passKey.h"

#include <QtTest>
#include <csignal>
#include <fcntl.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

namespace {

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

// Runs murkglass-crypt with `input` on standard input; an input of the form
// "<PATH" connects standard input to that file (or folder) instead.
Run Crypt(const QStringList& args, const QByteArray& input = {})
{
    QProcess process;
    const bool fromFile = input.startsWith('<');
    if (fromFile)
        process.setStandardInputFile(QString::fromUtf8(input.mid(1)));
    process.start(QStringLiteral(MURKGLASS_CRYPT_PATH), args);
    if (!fromFile)
        process.write(input);
    process.closeWriteChannel();
    process.waitForFinished(60000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(),
            process.readAllStandardError()};
}

std::vector<std::uint8_t> Xored(std::vector<std::uint8_t> bytes, std::int32_t key)
{
    mg::SetSeed(key);
    mg::ApplyKeystreamSerial(bytes.data(), bytes.size());
    return bytes;
}

// Files and folders a test made, and who may use them.
void Own(const QString& path, uid_t uid, mode_t mode)
{
    QCOMPARE(::chown(path.toLocal8Bit().constData(), uid, uid), 0);
    QCOMPARE(::chmod(path.toLocal8Bit().constData(), mode), 0);
}

// One field of /proc/PID/io, 0 when it cannot be read.
quint64 ProcessIo(qint64 pid, const char* field)
{
    QFile io(QStringLiteral("/proc/%1/io").arg(pid));
    if (!io.open(QIODevice::ReadOnly))
        return 0;
    for (const QByteArray& line : io.readAll().split('\n'))
        if (line.startsWith(QByteArray(field) + ':'))
            return line.mid(int(qstrlen(field)) + 1).trimmed().toULongLong();
    return 0;
}

constexpr uid_t kNobody = 65534;

} // namespace

class TestCryptCli : public QObject {
    Q_OBJECT
private slots:
    void init();
    void keyFromStandardInput_data();
    void keyFromStandardInput();
    void roundTripWithPassphraseFile();
    void encryptWithPassphraseOnStandardInput();
    void failures_data();
    void failures();
    void helpPrintsUsage();
    void passphraseFromTerminal_data();
    void passphraseFromTerminal();
    void permissionsOfAnotherUser_data();
    void permissionsOfAnotherUser();
    void interruptionLeavesNothing_data();
    void interruptionLeavesNothing();
    void severalSourcesIntoAFolder();
    void severalSourcesRefused_data();
    void severalSourcesRefused();

private:
    QString Path(const char* name) const { return dir_->filePath(name); }
    std::unique_ptr<QTemporaryDir> dir_;
};

void TestCryptCli::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
}

void TestCryptCli::keyFromStandardInput_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("key");
    QTest::newRow("passphrase line") << QByteArray("abc\n") << 5196;
    QTest::newRow("CR LF line end is not part of it") << QByteArray("abc\r\nignored\n") << 5196;
    QTest::newRow("last line without line end") << QByteArray("ABC") << 3232;
    QTest::newRow("255 characters, the field's limit, are taken")
        << QByteArray(255, '\xff').replace('\xff', "\xc3\xbf") + '\n'
        << 306689368;
    QTest::newRow("integer text is the key") << QByteArray("  -42\n") << -42;
    QTest::newRow("hex text is the key") << QByteArray("$FFFFFFFF\n") << -1;
    QTest::newRow("accented letter uses its Windows-1252 byte")
        << QByteArray("\xc3\xa9\n") << mg::PassphraseKey("\xe9");
}

void TestCryptCli::keyFromStandardInput()
{
    QFETCH(QByteArray, input);
    QFETCH(int, key);
    const Run run = Crypt({"key"}, input);
    QCOMPARE(run.exitCode, 0);
    QCOMPARE(run.out, QByteArray::number(key) + '\n');
}

void TestCryptCli::roundTripWithPassphraseFile()
{
    const auto jpeg = mg::test::MakeJpeg(20, 10);
    mg::test::WriteFile(Path("a.jpg").toStdString(), jpeg);
    mg::test::WriteFile(Path("pass").toStdString(), {'s', 'e', 'c', 'r', 'e', 't', '\r', '\n', 'x'});
    const Run enc = Crypt({"encrypt", Path("a.jpg"), Path("a.bin"), "--passphrase-file", Path("pass")});
    QCOMPARE(enc.exitCode, 0);
    QVERIFY(mg::test::ReadFile(Path("a.bin").toStdString()) == Xored(jpeg, mg::PassphraseKey("secret")));
    const Run dec = Crypt({"decrypt", Path("a.bin"), Path("a.bin"), "--passphrase-file", Path("pass")});
    QCOMPARE(dec.exitCode, 0);
    QVERIFY(mg::test::ReadFile(Path("a.bin").toStdString()) == jpeg);
}

void TestCryptCli::encryptWithPassphraseOnStandardInput()
{
    // Standard input is a pipe here, so its first line is the passphrase and
    // no confirmation is asked for.
    mg::test::WriteFile(Path("plain").toStdString(), {1, 2, 3, 4, 5});
    const Run run = Crypt({"encrypt", Path("plain"), Path("enc")}, "0x10\n");
    QCOMPARE(run.exitCode, 0);
    QVERIFY(mg::test::ReadFile(Path("enc").toStdString()) == Xored({1, 2, 3, 4, 5}, 16));
}

void TestCryptCli::failures_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing source") << QStringList{"encrypt", "@/missing", "@/out"} << QByteArray("pw\n") << 1
                                    << "cannot read \"@/missing\"";
    QTest::newRow("destination folder missing")
        << QStringList{"encrypt", "@/plain", "@/no/out"} << QByteArray("pw\n") << 1 << "cannot write \"@/no/out\"";
    QTest::newRow("wrong passphrase on decrypt")
        << QStringList{"decrypt", "@/plain", "@/out"} << QByteArray("pw\n") << 1
        << "not a JPEG picture after decryption: wrong passphrase or not an encrypted JPEG";
    QTest::newRow("refused header names libjpeg's reason")
        << QStringList{"decrypt", "@/plain", "@/out"} << QByteArray("pw\n") << 1
        << "not an encrypted JPEG (JPEG error #";
    QTest::newRow("empty passphrase refused")
        << QStringList{"encrypt", "@/plain", "@/out"} << QByteArray("\n") << 2 << "empty passphrase";
    QTest::newRow("passphrase longer than the viewer's field refused")
        << QStringList{"encrypt", "@/plain", "@/out"} << QByteArray(256, 'p') + '\n'
        << 2 << "longer than 255 characters";
    QTest::newRow("standard input that cannot be read is named as such")
        << QStringList{"encrypt", "@/plain", "@/out"} << QByteArray("<@/folder") << 1
        << "cannot read standard input: Is a directory";
    QTest::newRow("no input at all refused") << QStringList{"key"} << QByteArray() << 2 << "empty passphrase";
    QTest::newRow("missing passphrase file")
        << QStringList{"encrypt", "@/plain", "@/out", "--passphrase-file", "@/nopass"} << QByteArray() << 1
        << "cannot read \"@/nopass\"";
    QTest::newRow("passphrase file option without a file")
        << QStringList{"encrypt", "@/plain", "@/out", "--passphrase-file"} << QByteArray("pw\n") << 2 << "needs a FILE";
    QTest::newRow("no command") << QStringList{} << QByteArray() << 2 << "no command";
    QTest::newRow("unknown command") << QStringList{"scramble"} << QByteArray() << 2 << "unknown command";
    QTest::newRow("destination missing") << QStringList{"encrypt", "@/plain"} << QByteArray("pw\n") << 2
                                         << "needs SOURCE and DEST";
    QTest::newRow("source is a folder") << QStringList{"encrypt", "@/folder", "@/out"} << QByteArray("pw\n") << 1
                                        << "cannot read \"@/folder\": Is a directory";
    QTest::newRow("source is a FIFO: refused, no hang")
        << QStringList{"decrypt", "@/fifo", "@/out"} << QByteArray("pw\n") << 1
        << "cannot read \"@/fifo\": not a regular file";
    QTest::newRow("destination is a FIFO: refused, not replaced")
        << QStringList{"encrypt", "@/plain", "@/fifo"} << QByteArray("pw\n") << 1
        << "cannot write \"@/fifo\": not a regular file";
    QTest::newRow("source after -- that begins with a dash")
        << QStringList{"encrypt", "--", "-missing", "@/out"} << QByteArray("pw\n") << 1 << "cannot read \"-missing\"";
    QTest::newRow("passphrase option on the command line is unknown")
        << QStringList{"encrypt", "@/plain", "@/out", "--passphrase", "pw"} << QByteArray() << 2 << "unknown option";
}

void TestCryptCli::failures()
{
    QFETCH(QStringList, args);
    QFETCH(QByteArray, input);
    QFETCH(int, exitCode);
    QFETCH(QString, message);
    mg::test::WriteFile(Path("plain").toStdString(), {'n', 'o', 't', ' ', 'j', 'p', 'g'});
    QVERIFY(QDir(dir_->path()).mkdir("folder"));
    QCOMPARE(::mkfifo(Path("fifo").toLocal8Bit().constData(), 0600), 0);
    for (QString& arg : args)
        arg.replace("@", dir_->path());
    input.replace("@", dir_->path().toUtf8());
    message.replace("@", dir_->path());
    const Run run = Crypt(args, input);
    QCOMPARE(run.exitCode, exitCode);
    QCOMPARE(run.err.count('\n'), 1);
    QVERIFY2(run.err.contains(message.toUtf8()), run.err.constData());
    QVERIFY(!QFile::exists(Path("out")));
    // Nothing else appeared either: no temporary file is left behind.
    QCOMPARE(QDir(dir_->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
             QStringList({"fifo", "folder", "plain"}));
}

void TestCryptCli::helpPrintsUsage()
{
    const Run run = Crypt({"--help"});
    QCOMPARE(run.exitCode, 0);
    QVERIFY(run.out.startsWith("Usage: murkglass-crypt"));
    QVERIFY(run.err.isEmpty());
}

void TestCryptCli::passphraseFromTerminal_data()
{
    QTest::addColumn<QString>("command");
    QTest::addColumn<QByteArrayList>("lines");
    QTest::addColumn<int>("exitCode");
    QTest::addColumn<int>("prompts");
    QTest::newRow("encrypt asks twice and takes a matching pair")
        << "encrypt" << QByteArrayList{"secret", "secret"} << 0 << 2;
    QTest::newRow("encrypt refuses a confirmation that differs")
        << "encrypt" << QByteArrayList{"secret", "Secret"} << 2 << 2;
    QTest::newRow("decrypt asks once") << "decrypt" << QByteArrayList{"secret"} << 1 << 1;
}

void TestCryptCli::passphraseFromTerminal()
{
    QFETCH(QString, command);
    QFETCH(QByteArrayList, lines);
    QFETCH(int, exitCode);
    QFETCH(int, prompts);
    const std::vector<std::uint8_t> plain = {'n', 'o', 't', ' ', 'j', 'p', 'g'};
    mg::test::WriteFile(Path("plain").toStdString(), plain);

    // Standard input is a pseudo-terminal whose other side the test types on.
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    QVERIFY(master >= 0);
    QCOMPARE(::grantpt(master), 0);
    QCOMPARE(::unlockpt(master), 0);
    const QByteArray slave = ::ptsname(master);
    QProcess process;
    process.setChildProcessModifier([slave] {
        const int fd = ::open(slave.constData(), O_RDWR);
        if (fd >= 0)
            ::dup2(fd, STDIN_FILENO);
    });
    process.setReadChannel(QProcess::StandardError);
    process.start(QStringLiteral(MURKGLASS_CRYPT_PATH), {command, Path("plain"), Path("out")});
    QByteArray err;
    const QByteArrayList promptTexts = {"Passphrase: ", "Confirm passphrase: "};
    for (int i = 0; i < lines.size(); ++i) {
        // Type only once the prompt is on show, as a person would.
        QElapsedTimer wait;
        wait.start();
        while (!err.endsWith(promptTexts[i]) && wait.elapsed() < 10000) {
            process.waitForReadyRead(100);
            err += process.readAllStandardError();
        }
        QVERIFY2(err.endsWith(promptTexts[i]), err.constData());
        const QByteArray line = lines[i] + '\n';
        QCOMPARE(::write(master, line.constData(), std::size_t(line.size())), ssize_t(line.size()));
    }
    QVERIFY(process.waitForFinished(10000));
    err += process.readAllStandardError();
    QCOMPARE(process.exitCode(), exitCode);
    QCOMPARE(err.count("assphrase: "), qsizetype(prompts));

    // Nothing typed was echoed, and echo is back on afterwards.
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    QByteArray echoed;
    char buffer[256];
    for (ssize_t n; (n = ::read(master, buffer, sizeof buffer)) > 0;)
        echoed.append(buffer, n);
    QVERIFY2(!echoed.contains("ecret"), echoed.constData());
    termios settings{};
    QCOMPARE(::tcgetattr(master, &settings), 0);
    QVERIFY(settings.c_lflag & ECHO);
    ::close(master);

    if (exitCode == 0)
        QVERIFY(mg::test::ReadFile(Path("out").toStdString()) == Xored(plain, mg::PassphraseKey("secret")));
    else
        QVERIFY(!QFile::exists(Path("out")));
}

// One run over several sources writes each into the destination folder under
// its own name with one passphrase; a source that fails is reported alone and
// the ones after it are still done.
void TestCryptCli::severalSourcesIntoAFolder()
{
    const auto a = mg::test::MakeJpeg(20, 10), b = mg::test::MakeJpeg(12, 30);
    mg::test::WriteFile(Path("a.jpg").toStdString(), a);
    QVERIFY(QDir(dir_->path()).mkpath("sub"));
    mg::test::WriteFile(Path("sub/b.jpg").toStdString(), b);
    QVERIFY(QDir(dir_->path()).mkpath("enc"));
    QVERIFY(QDir(dir_->path()).mkpath("dec"));
    const Run enc = Crypt({"encrypt", Path("a.jpg"), Path("missing.jpg"), Path("sub/b.jpg"), Path("enc")}, "pw\n");
    QCOMPARE(enc.exitCode, 1);
    QCOMPARE(enc.err.count('\n'), 1);
    QVERIFY2(enc.err.contains("missing.jpg"), enc.err.constData());
    const std::int32_t key = mg::PassphraseKey("pw");
    QVERIFY(mg::test::ReadFile(Path("enc/a.jpg").toStdString()) == Xored(a, key));
    QVERIFY(mg::test::ReadFile(Path("enc/b.jpg").toStdString()) == Xored(b, key));
    QCOMPARE(QDir(Path("enc")).entryList(QDir::Files | QDir::Hidden), QStringList({"a.jpg", "b.jpg"}));

    // A single source into a folder, with and without a trailing "/".
    const Run one = Crypt({"decrypt", Path("enc/a.jpg"), Path("dec/")}, "pw\n");
    QCOMPARE(one.exitCode, 0);
    QVERIFY(mg::test::ReadFile(Path("dec/a.jpg").toStdString()) == a);
    // A folder of the source's name in the destination folder is not
    // replaced by a file.
    QVERIFY(QDir(dir_->path()).mkpath("dec/b.jpg"));
    const Run both = Crypt({"decrypt", Path("enc/a.jpg"), Path("enc/b.jpg"), Path("dec")}, "pw\n");
    QCOMPARE(both.exitCode, 1);
    QVERIFY2(both.err.contains("cannot write \"" + Path("dec/b.jpg").toUtf8() + "\": Is a directory"),
             both.err.constData());
    QVERIFY(QFileInfo(Path("dec/b.jpg")).isDir());
    QVERIFY(mg::test::ReadFile(Path("dec/a.jpg").toStdString()) == a);
}

void TestCryptCli::severalSourcesRefused_data()
{
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<QString>("message");
    QTest::newRow("second source overwritten by the first")
        << QStringList{"encrypt", "@/a.jpg", "@/sub/a.jpg", "@/enc"} << "two sources are named \"a.jpg\"";
    QTest::newRow("sources joined into one file")
        << QStringList{"encrypt", "@/a.jpg", "@/sub/a.jpg", "@/out"} << "\"@/out\" is not a folder";
    QTest::newRow("a source taken for the destination")
        << QStringList{"decrypt", "@/a.jpg", "@/enc", "@/sub/a.jpg"} << "\"@/sub/a.jpg\" is not a folder";
}

// Refused before the passphrase is asked for, nothing written or changed.
void TestCryptCli::severalSourcesRefused()
{
    QFETCH(QStringList, args);
    QFETCH(QString, message);
    const std::vector<std::uint8_t> a{1, 2, 3}, subA{4, 5, 6};
    mg::test::WriteFile(Path("a.jpg").toStdString(), a);
    QVERIFY(QDir(dir_->path()).mkpath("sub"));
    QVERIFY(QDir(dir_->path()).mkpath("enc"));
    mg::test::WriteFile(Path("sub/a.jpg").toStdString(), subA);
    for (QString& arg : args)
        arg.replace("@", dir_->path());
    message.replace("@", dir_->path());
    const Run run = Crypt(args, "pw\n");
    QCOMPARE(run.exitCode, 2);
    QCOMPARE(run.err.count('\n'), 1);
    QVERIFY2(run.err.contains(message.toUtf8()), run.err.constData());
    QVERIFY(mg::test::ReadFile(Path("a.jpg").toStdString()) == a);
    QVERIFY(mg::test::ReadFile(Path("sub/a.jpg").toStdString()) == subA);
    QVERIFY(QDir(Path("enc")).isEmpty());
    QVERIFY(!QFile::exists(Path("out")));
}

void TestCryptCli::permissionsOfAnotherUser_data()
{
    QTest::addColumn<QString>("destination");
    QTest::addColumn<uid_t>("owner");
    QTest::addColumn<int>("mode");
    QTest::addColumn<int>("exitCode");
    // The folder is writable by everyone, so the rename of a temporary file
    // alone would succeed in every row.
    QTest::newRow("read-only destination is refused") << "dst" << kNobody << 0444 << 1;
    QTest::newRow("read-only file encrypted in place is refused") << "src" << kNobody << 0444 << 1;
    QTest::newRow("another user's file in a shared folder is refused") << "dst" << uid_t(0) << 0644 << 1;
    QTest::newRow("own writable file is replaced, mode kept") << "dst" << kNobody << 0640 << 0;
}

void TestCryptCli::permissionsOfAnotherUser()
{
    QFETCH(QString, destination);
    QFETCH(uid_t, owner);
    QFETCH(int, mode);
    QFETCH(int, exitCode);
    if (::geteuid() != 0)
        QSKIP("needs root to run the program as another user (nobody)");
    if (QProcess::execute("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", "test", "-x",
                                      QStringLiteral(MURKGLASS_CRYPT_PATH)})
        != 0)
        QSKIP("the user nobody cannot run the built program from this folder");
    Own(dir_->path(), 0, 0777);
    const std::vector<std::uint8_t> before{'o', 'l', 'd'};
    mg::test::WriteFile(Path("src").toStdString(), {'n', 'e', 'w'});
    Own(Path("src"), kNobody, 0644);
    mg::test::WriteFile(Path("pass").toStdString(), {'p', 'w', '\n'});
    Own(Path("pass"), kNobody, 0644);
    if (destination != "src")
        mg::test::WriteFile(Path("dst").toStdString(), before);
    Own(Path(destination.toUtf8().constData()), owner, mode_t(mode));
    const auto content = mg::test::ReadFile(Path(destination.toUtf8().constData()).toStdString());

    QProcess process;
    process.start("setpriv", {"--reuid=65534", "--regid=65534", "--clear-groups", MURKGLASS_CRYPT_PATH, "encrypt",
                              Path("src"), Path(destination.toUtf8().constData()), "--passphrase-file", Path("pass")});
    QVERIFY(process.waitForFinished(60000));
    QCOMPARE(process.exitCode(), exitCode);
    struct stat st {};
    QCOMPARE(::stat(Path(destination.toUtf8().constData()).toLocal8Bit().constData(), &st), 0);
    QCOMPARE(int(st.st_mode & 07777), mode);
    if (exitCode != 0) {
        QVERIFY2(process.readAllStandardError().contains("Permission denied"), "the system's reason is given");
        QVERIFY(mg::test::ReadFile(Path(destination.toUtf8().constData()).toStdString()) == content);
        QCOMPARE(st.st_uid, owner);
    }
    QCOMPARE(QDir(dir_->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(),
             destination == "src" ? 2 : 3);
}

void TestCryptCli::interruptionLeavesNothing_data()
{
    QTest::addColumn<int>("signal");
    QTest::newRow("kill -9 mid-write") << int(SIGKILL);
    QTest::newRow("SIGTERM mid-write") << int(SIGTERM);
    QTest::newRow("Ctrl-C (SIGINT) mid-write") << int(SIGINT);
    QTest::newRow("hang-up (SIGHUP) mid-write") << int(SIGHUP);
}

void TestCryptCli::interruptionLeavesNothing()
{
    QFETCH(int, signal);
    // A picture followed by many megabytes: the header passes at once and
    // the rest streams while the process is stopped.
    std::vector<std::uint8_t> plain = mg::test::MakeJpeg(16, 16);
    plain.resize(std::size_t(48) << 20, 0);
    mg::SetSeed(42);
    mg::ApplyKeystream(plain.data(), plain.size()); // the fast form: megabytes here
    mg::test::WriteFile(Path("src").toStdString(), plain);
    plain = {};
    QProcess process;
    mg::test::WriteFile(Path("pass").toStdString(), {'4', '2', '\n'});
    process.start(MURKGLASS_CRYPT_PATH, {"decrypt", Path("src"), Path("out.jpg"), "--passphrase-file", Path("pass")});
    QVERIFY(process.waitForStarted());
    // Stopped once a good part is written, long before the end.
    QElapsedTimer waited;
    waited.start();
    while (ProcessIo(process.processId(), "wchar") < (quint64(4) << 20) && process.state() == QProcess::Running
           && waited.elapsed() < 30000)
        QThread::usleep(200);
    QVERIFY2(process.state() == QProcess::Running, "the decryption ended before it could be stopped");
    QVERIFY2(ProcessIo(process.processId(), "wchar") >= (quint64(4) << 20), "the decryption never got going");
    ::kill(pid_t(process.processId()), signal);
    QVERIFY(process.waitForFinished(30000));
    QCOMPARE(process.exitStatus(), QProcess::CrashExit);
    QCOMPARE(QDir(dir_->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot),
             QStringList({"pass", "src"}));
}

QTEST_APPLESS_MAIN(TestCryptCli)
#include "tst_cryptcli.moc"
