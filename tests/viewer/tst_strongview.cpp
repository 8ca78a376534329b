// Strong files in encrypted view: each picture kind the viewer shows is read
// by its content whatever the file's name, a folder of one batch derives its
// key once, and a wrong passphrase or damage shows what a failing light file
// shows.
#include "ViewerFixture.h"
#include "tests/picture/Fixtures.h"

#include "cipher/StrongCrypt.h"
#include "ui/Picture.h"

#include <QGroupBox>

using namespace mg;
using namespace mg::test;

namespace {

// Encrypts plain files of the folder in one batch with the passphrase, into
// name.Bin, and removes the plain files.
void EncryptBatch(TestFolder& folder, const std::vector<std::pair<std::string, std::vector<std::uint8_t>>>& files,
                  const char* passphrase = "open sesame")
{
    strong::StrongKeys keys;
    keys.writeParams = {1, 8};
    keys.SetPassphrase(passphrase);
    keys.NewBatch();
    for (const auto& [name, bytes] : files) {
        folder.Add(name, bytes);
        QVERIFY(strong::EncryptFile(folder.Path(name), folder.Path(name + ".Bin"), keys));
        QVERIFY(::unlink(folder.Path(name).c_str()) == 0);
    }
}

bool IsNoise(const TfrmMain& window)
{
    const auto* bitmap = dynamic_cast<const TBitmap*>(window.Image1->Picture().Graphic());
    return bitmap && bitmap->Image().format() == QImage::Format_BGR888
           && bitmap->Image().size() == window.GroupBox1->contentsRect().size() - QSize(20, 20);
}

} // namespace

class TestStrongView : public QObject {
    Q_OBJECT
private slots:
    void everyKindShows_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QSize>("size");
        // Every kind the viewer registers, each under a name that hides it.
        QTest::newRow("JPEG") << "a.jpg" << QSize(40, 30);
        QTest::newRow("BMP") << "b.bmp" << QSize(12, 9);
        QTest::newRow("ICO") << "c.ico" << QSize(32, 32);
        QTest::newRow("WMF") << "d.wmf" << QSize(30, 20);
        QTest::newRow("EMF") << "e.emf" << QSize(30, 20);
        QTest::newRow("JPEG stored without an extension") << "photo" << QSize(40, 30);
    }
    void everyKindShows()
    {
        QFETCH(QString, name);
        QFETCH(QSize, size);
        const std::string n = name.toStdString();
        const std::string ext = strong::ExtensionToKeep(n);
        const std::vector<std::uint8_t> bytes = ext == "bmp"   ? MakeBmp(12, 9)
                                                : ext == "ico" ? MakeIco({QSize(16, 16), QSize(32, 32)})
                                                : ext == "wmf" ? MakeWmf(30, 20)
                                                : ext == "emf" ? MakeEmf(30, 20)
                                                               : MakeJpeg(40, 30);
        QVERIFY(FindPictureKind(PictureExtensionOfContent(bytes)));
        TestFolder folder;
        EncryptBatch(folder, {{n, bytes}});
        ScriptedDialogs dialogs;
        auto window = ShowMain(folder);
        window->FitToWindow1->setChecked(false);
        dialogs.Answer(mrOk, "open sesame");
        window->ViewEncrypted1Click();
        ClickItem(*window, n + ".Bin");
        QCOMPARE(window->StatusText(), "Decrypted " + QString::fromStdString(folder.Path(n + ".Bin")));
        QVERIFY(!IsNoise(*window));
        QCOMPARE(QSize(window->Image1->Picture().Width(), window->Image1->Picture().Height()), size);
    }

    void folderOfOneBatchDerivesOnce()
    {
        TestFolder folder;
        std::vector<std::pair<std::string, std::vector<std::uint8_t>>> files;
        for (int i = 0; i < 20; ++i)
            files.push_back({"p" + std::to_string(10 + i) + ".jpg", MakeJpeg(8 + i, 8)});
        EncryptBatch(folder, files);
        ScriptedDialogs dialogs;
        auto window = ShowMain(folder);
        window->FitToWindow1->setChecked(false);
        dialogs.Answer(mrOk, "open sesame");
        window->ViewEncrypted1Click();
        for (int round = 0; round < 2; ++round) {
            for (int i = 0; i < 20; ++i) {
                ClickItem(*window, files[std::size_t(i)].first + ".Bin");
                QCOMPARE(window->Image1->Picture().Width(), 8 + i);
            }
        }
        QCOMPARE(window->ImgCrypt->Strong.Derivations(), 1u);
        // Before the process ends the secrets go; a later display derives anew.
        window->WipeSecrets();
        QVERIFY(!window->ImgCrypt->Strong.HasPassphrase());
        ClickItem(*window, files[0].first + ".Bin");
        QVERIFY(IsNoise(*window));
    }

    void failuresShowNoise_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("flipAt"); // from the end; 0 for none
        QTest::newRow("wrong passphrase") << "open sesamE" << 0;
        QTest::newRow("damaged last piece") << "open sesame" << 3;
        QTest::newRow("damaged header") << "open sesame" << -20;
    }
    void failuresShowNoise()
    {
        QFETCH(QString, typed);
        QFETCH(int, flipAt);
        TestFolder folder;
        EncryptBatch(folder, {{"a.jpg", MakeJpeg(40, 30)}});
        if (flipAt != 0) {
            auto bytes = ReadFile(folder.Path("a.jpg.Bin"));
            bytes[flipAt > 0 ? bytes.size() - std::size_t(flipAt) : std::size_t(-flipAt)] ^= 1;
            folder.Add("a.jpg.Bin", bytes);
        }
        ScriptedDialogs dialogs;
        auto window = ShowMain(folder);
        dialogs.Answer(mrOk, typed);
        window->ViewEncrypted1Click();
        ClickItem(*window, "a.jpg.Bin");
        QCOMPARE(window->StatusText(), "Decrypt Fail: \"" + QString::fromStdString(folder.Path("a.jpg.Bin")) + "\"");
        QVERIFY(IsNoise(*window));
        QCOMPARE(dialogs.Texts(), QStringList{"Enter Decryption Passphrase: "});
    }
};

MG_VIEWER_TEST_MAIN(TestStrongView)
#include "tst_strongview.moc"
