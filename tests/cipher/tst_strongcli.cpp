// murkglass-crypt and the strong format: --strong round trips, decryption
// that recognises the format by itself, and one true line for each refusal.
#include "TestJpeg.h"
#include "cipher/StrongCrypt.h"

#include <QtTest>
#include <sodium.h>

namespace {

struct Run {
    int exitCode = -1;
    QByteArray out;
    QByteArray err;
};

Run Crypt(const QStringList& args)
{
    QProcess process;
    process.start(QStringLiteral(MURKGLASS_CRYPT_PATH), args);
    process.closeWriteChannel();
    process.waitForFinished(120000);
    return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, process.readAllStandardOutput(),
            process.readAllStandardError()};
}

} // namespace

class TestStrongCli : public QObject {
    Q_OBJECT
private slots:
    void init();
    void versionAndHelp();
    void strongRoundTripKeepsTheExtension();
    void refusals_data();
    void refusals();

private:
    QString Path(const char* name) const { return dir_->filePath(name); }
    std::unique_ptr<QTemporaryDir> dir_;
};

void TestStrongCli::init()
{
    dir_ = std::make_unique<QTemporaryDir>();
    QVERIFY(dir_->isValid());
    mg::test::WriteFile(Path("pass").toStdString(), {'s', 'e', 'c', 'r', 'e', 't', '\n'});
}

void TestStrongCli::versionAndHelp()
{
    const Run version = Crypt({"--version"});
    QCOMPARE(version.exitCode, 0);
    QVERIFY(version.out.startsWith("murkglass-crypt "));
    QCOMPARE(version.out.count('\n'), 1);
    const Run help = Crypt({"--help"});
    QCOMPARE(help.exitCode, 0);
    QVERIFY(help.out.contains("--strong"));
    QVERIFY(help.out.contains("light"));
    QVERIFY(help.out.contains("Argon2id"));
}

void TestStrongCli::strongRoundTripKeepsTheExtension()
{
    // A PNG's bytes need not be a picture here: any file goes.
    const std::vector<std::uint8_t> plain{0x89, 'P', 'N', 'G', 1, 2, 3};
    mg::test::WriteFile(Path("shot.png").toStdString(), plain);
    const Run enc =
        Crypt({"encrypt", "--strong", Path("shot.png"), Path("shot.Bin"), "--passphrase-file", Path("pass")});
    QCOMPARE(enc.exitCode, 0);
    const auto bytes = mg::test::ReadFile(Path("shot.Bin").toStdString());
    QVERIFY(mg::strong::HasMagic(bytes.data(), bytes.size()));
    // No option is needed to decrypt; the stored extension is pointed out
    // when the destination has another.
    const Run dec = Crypt({"decrypt", Path("shot.Bin"), Path("shot.jpg"), "--passphrase-file", Path("pass")});
    QCOMPARE(dec.exitCode, 0);
    QVERIFY(dec.err.contains("holds a .png file"));
    QVERIFY(mg::test::ReadFile(Path("shot.jpg").toStdString()) == plain);
    QCOMPARE(Crypt({"decrypt", "--strong", Path("shot.Bin"), Path("x"), "--passphrase-file", Path("pass")}).exitCode,
             2);
}

void TestStrongCli::refusals_data()
{
    QTest::addColumn<QString>("change");
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("wrong passphrase") << "passphrase" << QByteArray("\": wrong passphrase\n");
    QTest::newRow("changed byte") << "flip" << QByteArray("\": damaged\n");
    QTest::newRow("cut short") << "cut" << QByteArray("\": damaged\n");
    QTest::newRow("hostile parameters") << "hostile"
                                        << QByteArray(
                                               "\": its key derivation asks for more than 1024 MiB or 16 passes\n");
}

void TestStrongCli::refusals()
{
    QFETCH(QString, change);
    QFETCH(QByteArray, message);
    mg::strong::StrongKeys keys;
    keys.writeParams = {1, 8};
    keys.SetPassphrase(change == "passphrase" ? "Secret" : "secret");
    mg::test::WriteFile(Path("a.jpg").toStdString(), mg::test::MakeJpeg(30, 20));
    QVERIFY(mg::strong::EncryptFile(Path("a.jpg").toStdString(), Path("a.Bin").toStdString(), keys));
    auto bytes = mg::test::ReadFile(Path("a.Bin").toStdString());
    if (change == "flip") {
        bytes[bytes.size() / 2] ^= 4;
    } else if (change == "cut") {
        bytes.resize(bytes.size() - 1);
    } else if (change == "hostile") {
        bytes[16] = 0x40; // memory in KiB: 1 TiB
        crypto_generichash(bytes.data() + 73, 16, bytes.data(), 73, nullptr, 0);
    }
    mg::test::WriteFile(Path("a.Bin").toStdString(), bytes);
    QElapsedTimer timer;
    timer.start();
    const Run run = Crypt({"decrypt", Path("a.Bin"), Path("out.jpg"), "--passphrase-file", Path("pass")});
    QCOMPARE(run.exitCode, 1);
    QCOMPARE(run.err, "murkglass-crypt: \"" + Path("a.Bin").toUtf8() + message);
    QVERIFY(!QFile::exists(Path("out.jpg")));
    QCOMPARE(QDir(dir_->path()).entryList(QDir::Files | QDir::Hidden).size(), 3);
    if (change == "hostile")
        QVERIFY(timer.elapsed() < 10000);
}

QTEST_GUILESS_MAIN(TestStrongCli)
#include "tst_strongcli.moc"
