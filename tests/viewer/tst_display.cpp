// Picture display through the real main window: fitting, status texts,
// noise pictures and the AutoSize/Stretch state each display leaves.
#include "ViewerFixture.h"

#include "base/JPEGImage.h"
#include "cipher/ImageCrypt.h"
#include "cipher/Keystream.h"

#include <QBuffer>
#include <QGroupBox>
#include <cstdio>
#include <jerror.h>
#include <jpeglib.h>
#include <unistd.h>

using namespace mg;
using namespace mg::test;

namespace {
constexpr std::int32_t kKey = 4711;

QImage NoiseOf(const TfrmMain& window)
{
    const auto* bitmap = dynamic_cast<const TBitmap*>(window.Image1->Picture().Graphic());
    return bitmap ? bitmap->Image() : QImage();
}

// Writes the encrypted form of a plain file.
void AddEncrypted(TestFolder& folder, const std::string& name, const std::vector<std::uint8_t>& plain)
{
    folder.Add(name + ".plain", plain);
    TImgCrypt crypt;
    QVERIFY(crypt.EncryptFile(folder.Path(name + ".plain"), folder.Path(name), kKey));
    QVERIFY(::unlink(folder.Path(name + ".plain").c_str()) == 0);
}
} // namespace

class TestDisplay : public QObject {
    Q_OBJECT
private slots:
    void defaultPaneBox()
    {
        // The figures of the fitting table below rest on this layout.
        TestFolder folder;
        auto window = ShowMain(folder);
        QCOMPARE(window->ClientWidth(), 609);
        QCOMPARE(window->ClientHeight(), 565);
        QCOMPARE(window->GroupBox1->geometry(), QRect(160, 0, 441, 544));
        QCOMPARE(window->GroupBox1->contentsRect().size(), QSize(437, 540));
    }

    void fitting_data()
    {
        QTest::addColumn<int>("pictureW");
        QTest::addColumn<int>("pictureH");
        QTest::addColumn<bool>("fit");
        QTest::addColumn<QSize>("pane");
        QTest::addColumn<int>("orientation"); // EXIF; 0 writes none
        // Box 441 x 544 (ratio 0.8107), client 437 x 540.
        QTest::newRow("wide picture is limited by the width") << 800 << 600 << true << QSize(417, 303) << 0;
        QTest::newRow("tall picture is limited by the height") << 100 << 200 << true << QSize(250, 520) << 0;
        QTest::newRow("tie 208.5 rounds down to even, not up") << 2 << 1 << true << QSize(417, 198) << 0;
        QTest::newRow("tie 69.5 rounds up to even, not down") << 6 << 1 << true << QSize(417, 60) << 0;
        QTest::newRow("tie 32.5 by height rounds to even") << 1 << 16 << true << QSize(22, 520) << 0;
        QTest::newRow("ratio equal to the box's fits by height") << 441 << 544 << true << QSize(412, 520) << 0;
        QTest::newRow("very wide picture: the short side stops at 0, not below")
            << 3000 << 2 << true << QSize(417, 0) << 0;
        QTest::newRow("without fitting the pane keeps the natural size") << 800 << 600 << false << QSize(800, 600) << 0;
        QTest::newRow("phone photo stored wide is fitted upright, tall") << 200 << 100 << true << QSize(250, 520) << 6;
        QTest::newRow("unfitted turned photo takes its upright size") << 800 << 600 << false << QSize(600, 800) << 8;
        QTest::newRow("mirrored photo keeps its sides") << 800 << 600 << true << QSize(417, 303) << 2;
    }
    void fitting()
    {
        QFETCH(int, pictureW);
        QFETCH(int, pictureH);
        QFETCH(bool, fit);
        QFETCH(QSize, pane);
        QFETCH(int, orientation);
        for (bool encrypted : {false, true}) {
            TestFolder folder;
            auto jpeg = MakeJpeg(pictureW, pictureH);
            if (orientation > 0)
                jpeg = WithExifOrientation(jpeg, orientation);
            if (encrypted)
                AddEncrypted(folder, "p.jpg", jpeg);
            else
                folder.Add("p.jpg", jpeg);
            ScriptedDialogs dialogs;
            auto window = ShowMain(folder);
            window->FitToWindow1->setChecked(fit);
            if (encrypted) {
                window->ViewEncrypted1->setChecked(true);
                window->DecryptionKey = kKey;
            }
            ClickItem(*window, "p.jpg");
            QCOMPARE(window->Image1->size(), pane);
            QCOMPARE(window->Image1->pos(), QPoint(8, 12));
            QCOMPARE(window->Image1->Stretch(), fit);
            QCOMPARE(window->Image1->AutoSize(), !fit);
            QVERIFY(window->Image1->isVisible());
            QVERIFY(dialogs.seen.isEmpty());
        }
    }

    void outcomes_data()
    {
        QTest::addColumn<QString>("file");   // the file clicked
        QTest::addColumn<bool>("encrypted"); // the view
        QTest::addColumn<bool>("vanish");    // erased between listing and click
        QTest::addColumn<QString>("status"); // %1 = the clicked file's path
        QTest::addColumn<bool>("noise");
        QTest::addColumn<QString>("report"); // the error report's text, if any
        QTest::newRow("plain JPEG shows") << "pic.jpg" << false << false << "Display Image %1" << false << "";
        QTest::newRow("file gone before the click")
            << "pic.jpg" << false << true << "Problems displaying: \"%1\"" << true << "";
        QTest::newRow("unknown extension")
            << "notes.txt" << false << false << "Problems displaying: \"%1\"" << true << "";
        QTest::newRow("encrypted file in normal view")
            << "secret.jpg" << false << false << "Problems displaying: \"%1\"" << true << "";
        QTest::newRow("empty file first in normal view")
            << "empty.jpg" << false << false << "Problems displaying: \"%1\"" << true << "";
        QTest::newRow("encrypted JPEG shows with the key")
            << "secret.jpg" << true << false << "Decrypted %1" << false << "";
        QTest::newRow("plain JPEG fails the key") << "pic.jpg" << true << false << "Decrypt Fail: \"%1\"" << true << "";
        QTest::newRow("encrypted file gone before the click")
            << "secret.jpg" << true << true << "Decrypt Fail: \"%1\"" << true << "";
        QTest::newRow("PNG shows in normal view") << "pic.png" << false << false << "Display Image %1" << false << "";
        QTest::newRow("damaged PNG shows noise")
            << "cut.png" << false << false << "Problems displaying: \"%1\"" << true << "";
        QTest::newRow("encrypted PNG is not decrypted: encrypted view is for JPEG")
            << "secret.png" << true << false << "Decrypt Fail: \"%1\"" << true << "";
        QTest::newRow("empty file first in encrypted view reports the zero pane")
            << "empty.jpg" << true << false << "Decrypted %1" << false << "Invalid floating point operation.";
        // A 12-bit JPEG is a JPEG that this libjpeg cannot decode: libjpeg's
        // reason is reported when it is drawn, not a failed key or a bad file.
        const QString precision = QStringLiteral("JPEG error #%1.").arg(JERR_BAD_PRECISION);
        QTest::newRow("12-bit JPEG reports libjpeg's reason")
            << "deep.jpg" << false << false << "Display Image %1" << false << precision;
        QTest::newRow("encrypted 12-bit JPEG reports libjpeg's reason, not the key")
            << "deepsecret.jpg" << true << false << "Decrypted %1" << false << precision;
    }
    void outcomes()
    {
        QFETCH(QString, file);
        QFETCH(bool, encrypted);
        QFETCH(bool, vanish);
        QFETCH(QString, status);
        QFETCH(bool, noise);
        QFETCH(QString, report);
        TestFolder folder;
        folder.AddJpeg("pic.jpg", 64, 48);
        folder.Add("notes.txt", {'h', 'i'});
        folder.Add("empty.jpg", {});
        AddEncrypted(folder, "secret.jpg", MakeJpeg(64, 48));
        QByteArray png;
        QBuffer buffer(&png);
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(QImage(40, 30, QImage::Format_RGB32).save(&buffer, "PNG"));
        folder.Add("pic.png", std::vector<std::uint8_t>(png.begin(), png.end()));
        folder.Add("cut.png", std::vector<std::uint8_t>(png.begin(), png.begin() + 40));
        AddEncrypted(folder, "secret.png", std::vector<std::uint8_t>(png.begin(), png.end()));
        folder.Add("deep.jpg", WithTwelveBitPrecision(MakeJpeg(64, 48)));
        AddEncrypted(folder, "deepsecret.jpg", WithTwelveBitPrecision(MakeJpeg(64, 48)));
        ScriptedDialogs dialogs;
        auto window = ShowMain(folder);
        window->ViewEncrypted1->setChecked(encrypted);
        window->DecryptionKey = kKey;
        if (vanish)
            QVERIFY(::unlink(folder.Path(file.toStdString()).c_str()) == 0);
        ClickItem(*window, file.toStdString());
        QCOMPARE(window->StatusText(), status.arg(QString::fromStdString(folder.Path(file.toStdString()))));
        const QSize client = window->GroupBox1->contentsRect().size();
        if (noise) {
            QCOMPARE(NoiseOf(*window).size(), client - QSize(20, 20));
            QCOMPARE(NoiseOf(*window).format(), QImage::Format_BGR888);
        } else {
            QVERIFY(NoiseOf(*window).isNull());
        }
        // Every noise picture keeps its reason; a picture that shows keeps none.
        QCOMPARE(window->LastDisplayError().isEmpty(), !noise);
        // A picture that fails to decode reports it after it was painted.
        QTRY_COMPARE(dialogs.Texts(), report.isEmpty() ? QStringList() : QStringList{report});
    }

    void nameThatIsNotUtf8IsShownFromItsBytes()
    {
        TestFolder folder;
        const std::string name = "\xe9t\xe9.jpg"; // Latin-1 bytes
        folder.AddJpeg(name, 40, 30);
        ScriptedDialogs dialogs;
        auto window = ShowMain(folder);
        ClickItem(*window, name);
        QCOMPARE(window->StatusText(), QStringLiteral("Display Image ") + QString::fromUtf8(folder.Path(name)));
        QCOMPARE(window->Image1->Picture().Width(), 40);
    }

    void deselectedItem_data()
    {
        QTest::addColumn<bool>("encrypted");
        QTest::addColumn<QString>("status");
        QTest::newRow("normal view names no file") << false << "Problems displaying: \"\"";
        QTest::newRow("encrypted view names no file") << true << "Decrypt Fail: \"\"";
    }
    void deselectedItem()
    {
        QFETCH(bool, encrypted);
        QFETCH(QString, status);
        TestFolder folder;
        folder.AddJpeg("a.jpg", 40, 30);
        ScriptedDialogs dialogs;
        auto window = ShowMain(folder);
        window->ViewEncrypted1->setChecked(encrypted);
        ClickItem(*window, "a.jpg");
        ClickItem(*window, "a.jpg", Qt::ControlModifier);
        QCOMPARE(window->StatusText(), status);
        QVERIFY(!NoiseOf(*window).isNull());
    }

    void noiseRepeatsOnlyForTheSameDecryption()
    {
        TestFolder folder;
        folder.AddJpeg("plain.jpg", 40, 30);
        folder.Add("bad.txt", {'x'});
        ScriptedDialogs dialogs;
        auto window = ShowMain(folder);

        window->ViewEncrypted1->setChecked(true);
        window->DecryptionKey = kKey;
        ClickItem(*window, "plain.jpg");
        const QImage first = NoiseOf(*window);
        window->ViewEncrypted1->setChecked(false);
        ClickItem(*window, "bad.txt"); // moves the generator on
        window->EncryptedPictureDisplay(folder.Path("plain.jpg"), kKey);
        QVERIFY(!first.isNull());
        QCOMPARE(NoiseOf(*window), first);

        // bad.txt is still the list's current file.
        window->NormalPictureDisplay(folder.Path("bad.txt"));
        const QImage a = NoiseOf(*window);
        window->NormalPictureDisplay(folder.Path("bad.txt"));
        const QImage b = NoiseOf(*window);
        QCOMPARE(a.size(), b.size());
        QVERIFY(a != b);
    }

    void noiseBitmap_data()
    {
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::newRow("odd width leaves the row padding undrawn") << 5 << 3;
        QTest::newRow("one pixel") << 1 << 1;
        QTest::newRow("zero width is empty") << 0 << 7;
        QTest::newRow("negative height is empty") << 9 << -4;
    }
    void noiseBitmap()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        SetSeed(99);
        const QImage noise = TfrmMain::MakeNoiseBitmap(width, height);
        if (width <= 0 || height <= 0) {
            QVERIFY(noise.isNull());
            QCOMPARE(Seed(), SeedAfter(static_cast<std::uint32_t>(99), 0));
            return;
        }
        // Row by row, 3 x width draws of range 256 each, nothing for padding.
        SetSeed(99);
        for (int y = 0; y < height; ++y)
            for (int i = 0; i < 3 * width; ++i)
                QCOMPARE(int(noise.constScanLine(y)[i]), int(DrawRandom(256)));
        SetSeed(99);
        TfrmMain::MakeNoiseBitmap(width, height);
        QCOMPARE(Seed(), SeedAfter(99, std::uint64_t(3) * width * height));
    }

    void failedEncryptedDisplayKeepsTheFittedPane()
    {
        TestFolder folder;
        folder.AddJpeg("good.jpg", 800, 600);
        folder.Add("bad.txt", {'x'});
        ScriptedDialogs dialogs;
        auto window = ShowMain(folder);
        ClickItem(*window, "good.jpg");
        QCOMPARE(window->Image1->size(), QSize(417, 303));
        window->ViewEncrypted1->setChecked(true);
        ClickItem(*window, "bad.txt");
        // Stretched noise over the fitted pane; a failed normal display
        // instead takes the noise picture's size.
        QCOMPARE(window->Image1->size(), QSize(417, 303));
        QVERIFY(window->Image1->Stretch());
        QVERIFY(!window->Image1->AutoSize());
        window->ViewEncrypted1->setChecked(false);
        ClickItem(*window, "bad.txt");
        QCOMPARE(window->Image1->size(), QSize(417, 520));
        QVERIFY(window->Image1->AutoSize());
    }

    void badPictureData_data()
    {
        QTest::addColumn<QByteArray>("kind");
        QTest::newRow("truncated JPEG") << QByteArray("truncated");
        QTest::newRow("JPEG declaring a huge picture") << QByteArray("huge");
    }
    void badPictureData()
    {
        QFETCH(QByteArray, kind);
        TestFolder folder;
        std::vector<std::uint8_t> bytes = MakeJpeg(400, 300);
        if (kind == "truncated") {
            bytes.resize(bytes.size() * 3 / 5);
        } else {
            // Frame header (SOF0): height and width at offsets 5..8, set to
            // 60000 x 60000, within libjpeg's limits but beyond the budget.
            for (std::size_t i = 0; i + 9 < bytes.size(); ++i)
                if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) {
                    bytes[i + 5] = 0xEA, bytes[i + 6] = 0x60, bytes[i + 7] = 0xEA, bytes[i + 8] = 0x60;
                    break;
                }
        }
        folder.Add("bad.jpg", bytes);
        SetJpegDecodeBudget(std::uint64_t(64) << 20);
        ScriptedDialogs dialogs;
        auto window = ShowMain(folder);
        ClickItem(*window, "bad.jpg");
        // The header is fine: the display goes ahead; the pixels are decoded
        // when painted, where a damaged stream is reported, never a crash.
        QCOMPARE(window->StatusText(),
                 QStringLiteral("Display Image ") + QString::fromStdString(folder.Path("bad.jpg")));
        window->Image1->grab();
        QCoreApplication::processEvents();
        if (kind == "huge") {
            QCOMPARE(dialogs.seen.size(), 1);
            QVERIFY2(dialogs.seen[0].text.startsWith("Picture too large"), qPrintable(dialogs.seen[0].text));
        }
        SetJpegDecodeBudget(0);
    }
};

MG_VIEWER_TEST_MAIN(TestDisplay)
#include "tst_display.moc"
