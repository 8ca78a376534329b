// Loading pictures by extension, keeping the previous picture on every error,
// the metafile helper's limits, and the JPEG's reduced-scale decoding.
#include "Fixtures.h"
#include "TestJpeg.h"
#include "base/Error.h"
#include "ui/Dialogs.h"
#include "ui/ImageControl.h"
#include "ui/Picture.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QImage>
#include <QImageWriter>
#include <QPainter>
#include <QTemporaryDir>
#include <QtTest>
#include <sys/stat.h>
#include <unistd.h>

using namespace mg;
using Bytes = std::vector<std::uint8_t>;
Q_DECLARE_METATYPE(Bytes)

namespace {

enum Fixture {
    None,
    Bmp,
    Ico,
    Wmf,
    Emf,
    Jpeg,
    BmpTruncated,
    BmpGarbage,
    IcoTruncated,
    IcoGarbage,
    WmfTruncated,
    WmfGarbage,
    EmfTruncated,
    EmfGarbage,
    JpegGarbage,
    Empty,
    Folder,
    Fifo
};

Bytes Make(Fixture fixture)
{
    using namespace mg::test;
    switch (fixture) {
    case Bmp:
        return MakeBmp(40, 30);
    case Ico:
        return MakeIco({QSize(16, 16), QSize(48, 48), QSize(32, 32)});
    case Wmf:
        return MakeWmf(120, 60);
    case Emf:
        return MakeEmf(120, 60);
    case Jpeg:
        return MakeJpeg(64, 48);
    case BmpTruncated:
        return Truncated(MakeBmp(40, 30), 40);
    case BmpGarbage:
        return Garbage(3000);
    case IcoTruncated:
        return Truncated(MakeIco({QSize(32, 32)}), 30);
    case IcoGarbage:
        return Garbage(2000);
    case WmfTruncated:
        return Truncated(MakeWmf(120, 60), 30);
    case WmfGarbage:
        return Garbage(500);
    case EmfTruncated:
        return Truncated(MakeEmf(120, 60), 60);
    case EmfGarbage:
        return Garbage(600);
    case JpegGarbage:
        return Garbage(700);
    default:
        return {};
    }
}

// Creates the fixture under dir and returns its path as bytes.
std::string Place(const QTemporaryDir& dir, const QString& name, Fixture fixture)
{
    const std::string path = QDir(dir.path()).filePath(name).toStdString();
    if (fixture == None)
        return path;
    if (fixture == Folder) {
        QDir().mkpath(QString::fromStdString(path));
        return path;
    }
    if (fixture == Fifo) {
        ::mkfifo(path.c_str(), 0600);
        return path;
    }
    mg::test::WriteFile(path, Make(fixture));
    return path;
}

// A 24-bit BMP of width x height black pixels, header written by hand so
// that a large one costs no encoder time.
Bytes LargeBmp(int width, int height, bool withPixels)
{
    const std::uint32_t stride = (std::uint32_t(width) * 3u + 3u) & ~3u;
    const std::uint32_t pixels = stride * std::uint32_t(height);
    Bytes bmp(54, 0);
    auto put32 = [&bmp](std::size_t at, std::uint32_t v) {
        for (int i = 0; i < 4; ++i)
            bmp[at + std::size_t(i)] = std::uint8_t(v >> (8 * i));
    };
    bmp[0] = 'B';
    bmp[1] = 'M';
    put32(2, 54 + pixels);
    put32(10, 54);
    put32(14, 40);
    put32(18, std::uint32_t(width));
    put32(22, std::uint32_t(height));
    bmp[26] = 1;  // planes
    bmp[28] = 24; // bits per pixel
    put32(34, pixels);
    if (withPixels)
        bmp.resize(bmp.size() + pixels, 0);
    return bmp;
}

QString LoadError(TPicture& picture, const std::string& path)
{
    try {
        picture.LoadFromFile(path);
    } catch (const mg::Error& error) {
        return QString::fromStdString(error.what());
    }
    return {};
}

} // namespace

class TestPicture : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        SetMetafileHelperCommand({});
        SetMetafileTimeout(0);
    }

    void loadsByExtension_data();
    void loadsByExtension();
    void failedLoadKeepsPreviousPicture_data();
    void failedLoadKeepsPreviousPicture();
    void helperFailureIsLoadError_data();
    void helperFailureIsLoadError();
    void extensionRule_data();
    void extensionRule();
    void jpegDecodesAtScaleOfTarget_data();
    void jpegDecodesAtScaleOfTarget();
    void jpegDecodeErrorReachesErrorReport();
    void jpegDrawnUpright_data();
    void jpegDrawnUpright();
    void readerKinds_data();
    void readerKinds();
    void assignTakesOwnCopy();
    void everyKindHasTheMemoryBudget_data();
    void everyKindHasTheMemoryBudget();
};

void TestPicture::loadsByExtension_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("fixture");
    QTest::addColumn<QString>("className");
    QTest::addColumn<QSize>("size");
    QTest::newRow("upper-case JPG is a JPEG") << "photo.JPG" << int(Jpeg) << "TJPEGImage" << QSize(64, 48);
    QTest::newRow("jpeg extension") << "photo.jpeg" << int(Jpeg) << "TJPEGImage" << QSize(64, 48);
    QTest::newRow("mixed-case Jpeg") << "photo.Jpeg" << int(Jpeg) << "TJPEGImage" << QSize(64, 48);
    QTest::newRow("bmp") << "plain.bmp" << int(Bmp) << "TBitmap" << QSize(40, 30);
    QTest::newRow("icon keeps its largest entry") << "three.ico" << int(Ico) << "TIcon" << QSize(48, 48);
    QTest::newRow("wmf through the helper") << "drawing.wmf" << int(Wmf) << "TMetafile" << QSize(120, 60);
    QTest::newRow("emf through the helper") << "drawing.EMF" << int(Emf) << "TMetafile" << QSize(120, 60);
    QTest::newRow("dots earlier in the name") << "a.b.c.bmp" << int(Bmp) << "TBitmap" << QSize(40, 30);
    QTest::newRow("empty jpg is an empty picture") << "empty.jpg" << int(Empty) << "TJPEGImage" << QSize(0, 0);
}

void TestPicture::loadsByExtension()
{
    QFETCH(QString, name);
    QFETCH(int, fixture);
    QFETCH(QString, className);
    QFETCH(QSize, size);
    QTemporaryDir dir;
    const std::string path = Place(dir, name, Fixture(fixture));
    TPicture picture;
    int changes = 0;
    picture.OnChange = [&] { ++changes; };
    QCOMPARE(LoadError(picture, path), QString());
    QVERIFY(picture.Graphic());
    QCOMPARE(QString(picture.Graphic()->ClassName()), className);
    QCOMPARE(QSize(picture.Width(), picture.Height()), size);
    QCOMPARE(changes, 1);
    if (className == "TMetafile") {
        // The helper's drawing shows the red rectangle in the middle.
        const QImage image = static_cast<const TMetafile*>(picture.Graphic())->Render(size);
        QCOMPARE(image.size(), size);
        QCOMPARE(QColor(image.pixel(size.width() / 2, size.height() / 2)), QColor(Qt::red));
    }
}

void TestPicture::failedLoadKeepsPreviousPicture_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("fixture");
    QTest::addColumn<QString>("message");
    QTest::newRow("txt extension") << "notes.txt" << int(Empty) << "Unknown picture file extension (.txt)";
    QTest::newRow("extension kept as written") << "notes.TxT" << int(Empty) << "Unknown picture file extension (.TxT)";
    QTest::newRow("no dot") << "README" << int(Empty) << "Unknown picture file extension (.)";
    QTest::newRow("dot only in the folder") << "folder.jpg/README" << int(None) << "Unknown picture file extension (.)";
    QTest::newRow("trailing dot") << "name." << int(Empty) << "Unknown picture file extension (.)";
    QTest::newRow("missing file") << "gone.jpg" << int(None) << "File not found";
    QTest::newRow("folder named like a picture") << "album.bmp" << int(Folder) << "I/O error 21";
    QTest::newRow("FIFO does not hang") << "pipe.bmp" << int(Fifo) << "I/O error 19";
    QTest::newRow("truncated BMP") << "cut.bmp" << int(BmpTruncated) << "Bitmap image is not valid";
    QTest::newRow("garbage BMP") << "junk.bmp" << int(BmpGarbage) << "Bitmap image is not valid";
    QTest::newRow("empty BMP") << "empty.bmp" << int(Empty) << "Bitmap image is not valid";
    QTest::newRow("truncated ICO") << "cut.ico" << int(IcoTruncated) << "Icon image is not valid";
    QTest::newRow("garbage ICO") << "junk.ico" << int(IcoGarbage) << "Icon image is not valid";
    QTest::newRow("truncated WMF") << "cut.wmf" << int(WmfTruncated) << "Metafile image is not valid";
    QTest::newRow("garbage WMF") << "junk.wmf" << int(WmfGarbage) << "Metafile image is not valid";
    QTest::newRow("empty WMF") << "empty.wmf" << int(Empty) << "Metafile image is not valid";
    QTest::newRow("truncated EMF") << "cut.emf" << int(EmfTruncated) << "Metafile image is not valid";
    QTest::newRow("garbage EMF") << "junk.emf" << int(EmfGarbage) << "Metafile image is not valid";
    QTest::newRow("JPEG header rejected") << "junk.jpg" << int(JpegGarbage) << "JPEG error #";
}

void TestPicture::failedLoadKeepsPreviousPicture()
{
    QFETCH(QString, name);
    QFETCH(int, fixture);
    QFETCH(QString, message);
    QTemporaryDir dir;
    TPicture picture;
    picture.LoadFromFile(Place(dir, "before.bmp", Bmp));
    const TGraphic* before = picture.Graphic();
    int changes = 0;
    picture.OnChange = [&] { ++changes; };

    const QString error = LoadError(picture, Place(dir, name, Fixture(fixture)));
    if (message.endsWith('#'))
        QVERIFY2(error.startsWith(message), qPrintable(error));
    else
        QCOMPARE(error, message);
    QCOMPARE(picture.Graphic(), before);
    QCOMPARE(QSize(picture.Width(), picture.Height()), QSize(40, 30));
    QCOMPARE(changes, 0);
}

void TestPicture::helperFailureIsLoadError_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<int>("maxMs");
    QTest::addColumn<QString>("message");
    const QString sh = "/bin/sh";
    const QString invalid = "Metafile image is not valid";
    const QString broken = kMetafileRendererBroken;
    // The word that says the helper's renderer started: "MGMF".
    const QString started = "printf 'FMGM'; ";
    QTest::newRow("helper runs past the time limit")
        << sh << QStringList{"-c", started + "exec sleep 30"} << 5000 << invalid;
    QTest::newRow("helper crashes") << sh << QStringList{"-c", started + "cat >/dev/null; kill -SEGV $$"} << 5000
                                    << invalid;
    QTest::newRow("helper exits with failure")
        << sh << QStringList{"-c", started + "cat >/dev/null; exit 1"} << 5000 << invalid;
    QTest::newRow("helper writes text") << sh << QStringList{"-c", "cat >/dev/null; echo hello"} << 5000 << broken;
    // Header: magic, version 2, natural 2x2, then the length of the SVG.
    QTest::newRow("helper declares a size beyond the limit")
        << sh << QStringList{"-c", R"(printf 'FMGM\002\0\0\0\0\200\0\0\002\0\0\0\0\0\0\0')"} << 5000 << invalid;
    QTest::newRow("helper sends less SVG than declared")
        << sh << QStringList{"-c", R"(printf 'FMGM\002\0\0\0\002\0\0\0\002\0\0\0\100\0\0\0<svg/>')"} << 5000 << invalid;
    QTest::newRow("helper sends SVG Qt refuses")
        << sh << QStringList{"-c", R"(printf 'FMGM\002\0\0\0\002\0\0\0\002\0\0\0\006\0\0\0<svg x')"} << 5000 << invalid;
    QTest::newRow("helper floods its output") << sh << QStringList{"-c", "exec cat /dev/zero"} << 8000 << broken;
    QTest::newRow("helper floods after starting")
        << sh << QStringList{"-c", started + "exec cat /dev/zero"} << 8000 << invalid;
    // Failures before the helper read the file are no fault of the file.
    QTest::newRow("helper writes nothing") << "/bin/true" << QStringList{} << 5000 << broken;
    QTest::newRow("helper missing") << "/nonexistent/murkglass-metafile" << QStringList{} << 5000 << broken;
    QTest::newRow("a library of the helper missing") << sh << QStringList{"-c", "exit 127"} << 5000 << broken;
    QTest::newRow("renderer refuses its own good metafile")
        << sh << QStringList{"-c", started + "cat >/dev/null; exit 10"} << 5000 << broken;
    QTest::newRow("helper hangs before starting its renderer")
        << sh << QStringList{"-c", "exec sleep 30"} << 5000 << broken;
}

void TestPicture::helperFailureIsLoadError()
{
    QFETCH(QString, program);
    QFETCH(QStringList, args);
    QFETCH(int, maxMs);
    QFETCH(QString, message);
    QTemporaryDir dir;
    TPicture picture;
    picture.LoadFromFile(Place(dir, "before.emf", Emf));
    const TGraphic* before = picture.Graphic();

    SetMetafileHelperCommand(program, args);
    SetMetafileTimeout(1500);
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(LoadError(picture, Place(dir, "drawing.wmf", Wmf)), message);
    QVERIFY2(timer.elapsed() < maxMs, qPrintable(QString::number(timer.elapsed())));
    QCOMPARE(picture.Graphic(), before);
}

void TestPicture::extensionRule_data()
{
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("extension");
    QTest::addColumn<QString>("kind");
    QTest::newRow("last dot wins") << "/a/b.tar.JPG"
                                   << "JPG"
                                   << "jpg";
    QTest::newRow("dot in a folder only") << "/a.jpg/b"
                                          << ""
                                          << "";
    QTest::newRow("hidden file is all extension") << "/a/.bmp"
                                                  << "bmp"
                                                  << "bmp";
    QTest::newRow("colon is an ordinary character") << "/a/b:c.ico"
                                                    << "ico"
                                                    << "ico";
    QTest::newRow("jpe is not registered") << "x.jpe"
                                           << "jpe"
                                           << "";
    QTest::newRow("prefix of a registered one") << "x.jp"
                                                << "jp"
                                                << "";
}

void TestPicture::extensionRule()
{
    QFETCH(QString, path);
    QFETCH(QString, extension);
    QFETCH(QString, kind);
    QCOMPARE(QString::fromStdString(PictureExtension(path.toStdString())), extension);
    const PictureKind* found = FindPictureKind(extension.toStdString());
    QCOMPARE(found ? QString::fromStdString(found->extension) : QString(), kind);
}

void TestPicture::jpegDecodesAtScaleOfTarget_data()
{
    QTest::addColumn<QSize>("target");
    QTest::addColumn<int>("scale");
    QTest::addColumn<double>("ratio");    // device pixels per logical pixel
    QTest::addColumn<int>("orientation"); // EXIF orientation of the 1600 x 1200 picture
    QTest::newRow("fitted pane an eighth of the picture") << QSize(200, 150) << 1 << 1.0 << 1;
    QTest::newRow("slightly more than an eighth") << QSize(201, 150) << 2 << 1.0 << 1;
    QTest::newRow("half size") << QSize(800, 600) << 4 << 1.0 << 1;
    QTest::newRow("natural size") << QSize(1600, 1200) << 8 << 1.0 << 1;
    QTest::newRow("larger than natural") << QSize(3000, 2000) << 8 << 1.0 << 1;
    QTest::newRow("high-density screen gets the pixels it shows, not a stretched eighth")
        << QSize(200, 150) << 2 << 2.0 << 1;
    QTest::newRow("fractional ratio rounds the device size up") << QSize(200, 150) << 2 << 1.25 << 1;
    QTest::newRow("high density at half size decodes in full") << QSize(800, 600) << 8 << 2.0 << 1;
    QTest::newRow("turned photo compares its stored sides") << QSize(150, 200) << 1 << 1.0 << 6;
    QTest::newRow("turned photo on a high-density screen") << QSize(150, 200) << 2 << 2.0 << 8;
}

void TestPicture::jpegDecodesAtScaleOfTarget()
{
    QFETCH(QSize, target);
    QFETCH(int, scale);
    QFETCH(double, ratio);
    QFETCH(int, orientation);
    JpegGraphic jpeg;
    jpeg.LoadFromBytes(mg::test::WithExifOrientation(mg::test::MakeJpeg(1600, 1200), orientation));
    QCOMPARE(jpeg.LastScale(), 0); // nothing decoded at load
    QImage canvas(target * ratio, QImage::Format_RGB32);
    canvas.setDevicePixelRatio(ratio);
    QPainter painter(&canvas);
    jpeg.Draw(painter, QRect(QPoint(0, 0), target));
    QCOMPARE(jpeg.LastScale(), scale);
    if (ratio != 1.0)
        return; // the control is shown at the platform's own ratio (see tst_highdensity)

    // The same through the image control: a stretched pane of the target size.
    TImage image;
    image.Picture().Assign(&jpeg);
    image.SetStretch(true);
    image.SetBounds(0, 0, target.width(), target.height());
    image.grab();
    const auto* held = static_cast<const JpegGraphic*>(image.Picture().Graphic());
    QCOMPARE(held->LastScale(), scale);
}

void TestPicture::jpegDecodeErrorReachesErrorReport()
{
    // A valid header declaring a picture far larger than memory allows: the
    // load succeeds, the first drawing at natural size fails.
    Bytes bytes = mg::test::MakeJpeg(16, 16);
    for (std::size_t i = 0; i + 8 < bytes.size(); ++i) {
        if (bytes[i] == 0xFF && bytes[i + 1] == 0xC0) { // SOF0: height, width at +5
            bytes[i + 5] = 0xEA;
            bytes[i + 6] = 0x60;
            bytes[i + 7] = 0xEA;
            bytes[i + 8] = 0x60;
            break;
        }
    }
    QStringList reports;
    SetDialogResponder([&](const DialogRequest& request) {
        reports << request.text;
        return DialogAnswer{mrOk, {}};
    });
    TImage image;
    image.SetAutoSize(false);
    image.SetBounds(0, 0, 100, 100);
    JpegGraphic jpeg;
    jpeg.LoadFromBytes(bytes);
    QCOMPARE(jpeg.Width(), 60000);
    image.Picture().Assign(&jpeg);
    image.grab();
    QTRY_COMPARE(reports.size(), 1);
    QVERIFY2(!reports[0].isEmpty(), "the report carries the decoder's message");
    // Nothing more is drawn of that picture, so no second report.
    image.grab();
    QTest::qWait(50);
    QCOMPARE(reports.size(), 1);
    SetDialogResponder({});
}

void TestPicture::assignTakesOwnCopy()
{
    TPicture source;
    const TBitmap bitmap(QImage(5, 7, QImage::Format_RGB888));
    source.Assign(&bitmap);
    TPicture copy;
    copy.Assign(source);
    QVERIFY(copy.Graphic() != source.Graphic());
    source.Clear();
    QCOMPARE(QSize(copy.Width(), copy.Height()), QSize(5, 7));
}

void TestPicture::jpegDrawnUpright_data()
{
    // Which corner of the stored picture each EXIF orientation brings to the
    // top-left and the top-right of the upright picture.
    QTest::addColumn<int>("orientation");
    QTest::addColumn<QString>("topLeft");
    QTest::addColumn<QString>("topRight");
    QTest::newRow("1 upright") << 1 << "TL"
                               << "TR";
    QTest::newRow("2 mirrored left-right") << 2 << "TR"
                                           << "TL";
    QTest::newRow("3 half a turn") << 3 << "BR"
                                   << "BL";
    QTest::newRow("4 mirrored top-bottom") << 4 << "BL"
                                           << "BR";
    QTest::newRow("5 mirrored on the main diagonal") << 5 << "TL"
                                                     << "BL";
    QTest::newRow("6 phone held upright: quarter turn clockwise") << 6 << "BL"
                                                                  << "TL";
    QTest::newRow("7 mirrored on the other diagonal") << 7 << "BR"
                                                      << "TR";
    QTest::newRow("8 quarter turn counter-clockwise") << 8 << "TR"
                                                      << "BR";
}

void TestPicture::jpegDrawnUpright()
{
    QFETCH(int, orientation);
    QFETCH(QString, topLeft);
    QFETCH(QString, topRight);
    // The stored picture is 48 x 24: red grows to the right, green downwards.
    const Bytes file =
        mg::test::WithExifOrientation(mg::test::MakeJpeg(48, 24, false, false, 95), orientation, orientation % 2 == 0);
    const QSize upright = orientation >= 5 ? QSize(24, 48) : QSize(48, 24);
    QTemporaryDir dir;
    const std::string path = QDir(dir.path()).filePath(QStringLiteral("photo.jpg")).toStdString();
    mg::test::WriteFile(path, file);
    TPicture picture;
    QCOMPARE(LoadError(picture, path), QString());
    // The same picture as the encrypted view builds it, from the decrypted bytes.
    TJPEGImage decrypted;
    decrypted.LoadFromBytes(file);
    const JpegGraphic fromDecrypted(decrypted);
    for (const TGraphic* graphic : {picture.Graphic(), static_cast<const TGraphic*>(&fromDecrypted)}) {
        QCOMPARE(QSize(graphic->Width(), graphic->Height()), upright);
        // Drawn at natural size and at twice it (stretched, as a fitted pane).
        for (int zoom : {1, 2}) {
            QImage canvas(upright * zoom, QImage::Format_RGB32);
            canvas.fill(Qt::black);
            QPainter painter(&canvas);
            graphic->Draw(painter, QRect(QPoint(0, 0), canvas.size()));
            painter.end();
            auto corner = [&](int x, int y) {
                const QColor c = canvas.pixelColor(x, y);
                return QString(c.green() > 128 ? u'B' : u'T') + QString(c.red() > 128 ? u'R' : u'L');
            };
            QCOMPARE(corner(1, 1), topLeft);
            QCOMPARE(corner(canvas.width() - 2, 1), topRight);
            // Every pixel is covered: the bottom-right corner is no background.
            QVERIFY(canvas.pixelColor(canvas.width() - 1, canvas.height() - 1).blue() > 40);
        }
    }
    // The snapshot's copy keeps the orientation.
    TPicture copy(picture);
    QCOMPARE(QSize(copy.Width(), copy.Height()), upright);
}

namespace {
Bytes Written(const QImage& image, const char* format)
{
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter writer(&buffer, format);
    if (!writer.write(image))
        return {};
    return mg::test::Bytes(data);
}

// Two 1 x 1 frames with a two-colour table: white, then black.
Bytes TwoFrameGif()
{
    const char data[] = "GIF89a\x01\x00\x01\x00\x80\x00\x00\xff\xff\xff\x00\x00\x00"
                        "\x21\xf9\x04\x00\x00\x00\x00\x00\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x44\x01\x00"
                        "\x21\xf9\x04\x00\x00\x00\x00\x00\x2c\x00\x00\x00\x00\x01\x00\x01\x00\x00\x02\x02\x4c\x01\x00"
                        "\x3b";
    return Bytes(data, data + sizeof data - 1);
}
} // namespace

void TestPicture::readerKinds_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<Bytes>("file");
    QTest::addColumn<QString>("error");
    QTest::addColumn<QSize>("size");
    QTest::addColumn<QColor>("colour"); // at the centre

    QImage red(30, 20, QImage::Format_RGB32);
    red.fill(Qt::red);
    const Bytes png = Written(red, "png");
    const Bytes svg = mg::test::Bytes("<svg xmlns='http://www.w3.org/2000/svg' width='30' height='20'>"
                                      "<rect width='30' height='20' fill='#ff0000'/></svg>");
    QTest::newRow("PNG") << "a.png" << png << "" << QSize(30, 20) << QColor(Qt::red);
    QTest::newRow("upper-case PNG") << "a.PNG" << png << "" << QSize(30, 20) << QColor(Qt::red);
    QTest::newRow("GIF shows its first frame") << "a.gif" << TwoFrameGif() << "" << QSize(1, 1) << QColor(Qt::white);
    QTest::newRow("WebP") << "a.webp" << Written(red, "webp") << "" << QSize(30, 20) << QColor(Qt::red);
    QTest::newRow("TIFF") << "a.tiff" << Written(red, "tiff") << "" << QSize(30, 20) << QColor(Qt::red);
    QTest::newRow("TIF") << "a.tif" << Written(red, "tiff") << "" << QSize(30, 20) << QColor(Qt::red);
    QTest::newRow("SVG at its own size") << "a.svg" << svg << "" << QSize(30, 20) << QColor(Qt::red);
    QTest::newRow("truncated PNG") << "cut.png" << mg::test::Truncated(png, 40) << "PNG image is not valid" << QSize()
                                   << QColor();
    Bytes overlong = png;
    // Before IEND (the last 12 bytes): a text chunk claiming 1.6 GB.
    const std::uint8_t claim[] = {0x61, 0x74, 0x65, 0x25, 't', 'E', 'X', 't', 'd', 'a', 't', 'e'};
    overlong.insert(overlong.end() - 12, claim, claim + sizeof claim);
    QTest::newRow("PNG chunk claiming more than the file is refused at once, no freeze")
        << "long.png" << overlong << "PNG image is not valid" << QSize() << QColor();
    QTest::newRow("empty PNG") << "empty.png" << Bytes() << "PNG image is not valid" << QSize() << QColor();
    QTest::newRow("PNG named GIF is read as GIF, not guessed")
        << "png.gif" << png << "GIF image is not valid" << QSize() << QColor();
    QTest::newRow("garbage WebP") << "junk.webp" << mg::test::Garbage(900) << "WebP image is not valid" << QSize()
                                  << QColor();
    QTest::newRow("garbage TIFF") << "junk.tif" << mg::test::Garbage(900) << "TIFF image is not valid" << QSize()
                                  << QColor();
    QTest::newRow("SVG that is no XML") << "junk.svg" << mg::test::Garbage(900) << "SVG image is not valid" << QSize()
                                        << QColor();
}

void TestPicture::readerKinds()
{
    QFETCH(QString, name);
    QFETCH(Bytes, file);
    QFETCH(QString, error);
    QFETCH(QSize, size);
    QFETCH(QColor, colour);
    QVERIFY2(!file.empty() || name.startsWith(u"empty"), "fixture writer missing");
    QTemporaryDir dir;
    const std::string path = QDir(dir.path()).filePath(name).toStdString();
    mg::test::WriteFile(path, file);
    TPicture picture;
    TBitmap previous(QImage(7, 5, QImage::Format_RGB32));
    picture.Assign(&previous);
    QElapsedTimer timer;
    timer.start();
    QCOMPARE(LoadError(picture, path), error);
    QVERIFY2(timer.elapsed() < 3000, "a small file keeps the window waiting");
    if (!error.isEmpty()) {
        QCOMPARE(QString(picture.Graphic()->ClassName()), QStringLiteral("TBitmap"));
        QCOMPARE(QSize(picture.Width(), picture.Height()), QSize(7, 5));
        return;
    }
    QCOMPARE(QString(picture.Graphic()->ClassName()), QStringLiteral("TReaderImage"));
    QCOMPARE(QSize(picture.Width(), picture.Height()), size);
    QImage canvas(size, QImage::Format_RGB32);
    QPainter painter(&canvas);
    picture.Graphic()->Draw(painter, canvas.rect());
    painter.end();
    // WebP is written lossy: a few steps of difference are the codec's.
    const QColor shown = canvas.pixelColor(size.width() / 2, size.height() / 2);
    QVERIFY2(qAbs(shown.red() - colour.red()) + qAbs(shown.green() - colour.green())
                     + qAbs(shown.blue() - colour.blue())
                 <= 12,
             qPrintable(shown.name()));
}

QTEST_MAIN(TestPicture)
#include "tst_picture.moc"

void TestPicture::everyKindHasTheMemoryBudget_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<Bytes>("bytes");
    QTest::addColumn<int>("budgetKiB");   // 0: the machine's own budget
    QTest::addColumn<QString>("message"); // empty: loads
    QTest::newRow("valid 6000 x 6000 24-bit BMP loads (over Qt's own limit)")
        << "large.bmp" << LargeBmp(6000, 6000, true) << 0 << QString();
    QTest::newRow("BMP whose pixels exceed the budget is too large")
        << "wide.bmp" << LargeBmp(3000, 3000, false) << 16 * 1024 << "Picture too large to decode (3000 x 3000)";
    QTest::newRow("metafile whose pixels exceed the budget is too large")
        << "big.wmf" << mg::test::MakeWmf(120, 60) << 16 << "Picture too large to decode (120 x 60)";
    QTest::newRow("BMP file over the budget is refused before reading")
        << "long.bmp" << Bytes((1u << 20) + 1, 'B') << 1024 << "Picture too large to load (file over 1 MB)";
    QTest::newRow("JPEG file over the budget is refused before reading")
        << "long.jpg" << Bytes((1u << 20) + 1, 0xFF) << 1024 << "Picture too large to load (file over 1 MB)";
}

void TestPicture::everyKindHasTheMemoryBudget()
{
    QFETCH(QString, name);
    QFETCH(Bytes, bytes);
    QFETCH(int, budgetKiB);
    QFETCH(QString, message);
    mg::SetJpegDecodeBudget(std::uint64_t(budgetKiB) << 10);
    struct Restore {
        ~Restore() { mg::SetJpegDecodeBudget(0); }
    } restore;
    QTemporaryDir dir;
    const std::string path = QDir(dir.path()).filePath(name).toStdString();
    mg::test::WriteFile(path, bytes);
    bytes = {};
    TPicture picture;
    QCOMPARE(LoadError(picture, path), message);
    if (message.isEmpty())
        QCOMPARE(QSize(picture.Width(), picture.Height()), QSize(6000, 6000));
}
