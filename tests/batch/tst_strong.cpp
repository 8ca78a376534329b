// Strong encryption through both batch windows: every picture kind comes
// back byte for byte under its own extension, one batch derives its key once,
// and a wrong passphrase or a damaged file writes nothing.
#include "BatchFixture.h"
#include "tests/picture/Fixtures.h"

#include "cipher/StrongCrypt.h"

#include <QBuffer>
#include <QCheckBox>
#include <QImage>
#include <QLineEdit>
#include <QRadioButton>

using namespace mg;
using namespace mg::test;

namespace {

std::vector<std::uint8_t> MakePng(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return Bytes(data);
}

struct Kind {
    std::string name;
    std::vector<std::uint8_t> bytes;
};

std::vector<Kind> EveryKind()
{
    return {{"photo.jpg", MakeJpeg(40, 30)},  {"scan.JPEG", MakeJpeg(10, 10, true)},
            {"bitmap.bmp", MakeBmp(12, 9)},   {"icon.ico", MakeIco({QSize(16, 16)})},
            {"drawing.wmf", MakeWmf(30, 20)}, {"figure.emf", MakeEmf(30, 20)},
            {"screen.png", MakePng(20, 10)}};
}

} // namespace

class TestStrongBatch : public QObject {
    Q_OBJECT

private:
    // Encrypts every kind with the strong box checked into "out" (names by
    // their stems, extension text "Bin").
    void EncryptAll(BatchDesk& desk, const std::vector<Kind>& kinds)
    {
        for (const Kind& k : kinds)
            desk.Add(k.name, k.bytes);
        desk.MakeFolder("out");
        desk.MakeFolder("back");
        desk.Open();
        desk.main->ImgCrypt->Strong.writeParams = {1, 8};
        for (const Kind& k : kinds)
            desk.Select(k.name);
        QVERIFY(desk.encrypt->ShellTreeView1->SelectPath(desk.Path("out")));
        desk.encrypt->rbKeepExisting->setChecked(true);
        QVERIFY(!desk.encrypt->cbStrong->isChecked()); // off at every start
        desk.encrypt->cbStrong->setChecked(true);
        Script script;
        script.Prompt("ok:42"); // an integer text is a passphrase here too
        script.Prompt("ok:42");
        script.Message(mrAll);
        desk.encrypt->Button3Click();
        QCOMPARE(script.unexpected, 0);
        QCOMPARE(script.MessageTexts().size(), 1);
    }

    // Decrypts every file of "out" into "back", typing the passphrase.
    void DecryptAll(BatchDesk& desk, const QString& passphrase)
    {
        desk.MainFolder("out");
        for (int i = 0; i < desk.List().Count(); ++i)
            desk.List().SetSelected(i, true);
        QVERIFY(desk.decrypt->ShellTreeView1->SelectPath(desk.Path("back")));
        Script script;
        script.Prompt("ok:" + passphrase);
        script.Message(mrAll);
        desk.decrypt->cmdGoClick();
        QCOMPARE(script.unexpected, 0);
    }

private slots:
    void everyKindComesBackUnderItsOwnExtension()
    {
        BatchDesk desk;
        const std::vector<Kind> kinds = EveryKind();
        EncryptAll(desk, kinds);
        QStringList encrypted;
        for (const Kind& k : kinds) {
            const std::string stem = k.name.substr(0, k.name.rfind('.'));
            encrypted << Q(stem + ".Bin");
            const auto bytes = ReadFile(desk.Path("out/" + stem + ".Bin"));
            QVERIFY(strong::HasMagic(bytes.data(), bytes.size()));
        }
        encrypted.sort();
        QCOMPARE(desk.Names("out"), encrypted);

        DecryptAll(desk, "42");
        QStringList back;
        for (const Kind& k : kinds) {
            back << Q(k.name);
            QVERIFY2(ReadFile(desk.Path("back/" + k.name)) == k.bytes, k.name.c_str());
        }
        back.sort();
        QCOMPARE(desk.Names("back"), back);
        // One salt for the batch: one derivation served every file, both ways.
        QCOMPARE(desk.main->ImgCrypt->Strong.Derivations(), 1u);
    }

    void wrongPassphraseOrDamageWritesNothing_data()
    {
        QTest::addColumn<QString>("passphrase");
        QTest::addColumn<bool>("damage");
        QTest::newRow("wrong passphrase") << "43" << false;
        QTest::newRow("damaged file, right passphrase") << "42" << true;
    }
    void wrongPassphraseOrDamageWritesNothing()
    {
        QFETCH(QString, passphrase);
        QFETCH(bool, damage);
        BatchDesk desk;
        EncryptAll(desk, {{"photo.jpg", MakeJpeg(40, 30)}});
        if (damage) {
            auto bytes = ReadFile(desk.Path("out/photo.Bin"));
            bytes[bytes.size() - 5] ^= 0x40;
            WriteFile(desk.Path("out/photo.Bin"), bytes);
        }
        DecryptAll(desk, passphrase);
        QCOMPARE(desk.Names("back"), QStringList());
    }
};

QTEST_MAIN(TestStrongBatch)
#include "tst_strong.moc"
