// TJPEGImage: header check, decoding (full and scaled), limits against
// hostile streams, saving, loading from files and shared copies.
#include "base/Error.h"
#include "base/JPEGImage.h"
#include "base/JpegOrientation.h"
#include "tests/common/TestJpeg.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <jerror.h>
#include <jpeglib.h>
#include <sys/resource.h>
#include <sys/stat.h>

using Bytes = std::vector<std::uint8_t>;
Q_DECLARE_METATYPE(Bytes)

namespace {

// Offset of the first marker FF <code>, or -1.
qsizetype MarkerAt(const Bytes& jpeg, std::uint8_t code)
{
    for (std::size_t i = 0; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == code)
            return static_cast<qsizetype>(i);
    return -1;
}

Bytes Cut(const Bytes& jpeg, qsizetype length)
{
    return Bytes(jpeg.begin(), jpeg.begin() + length);
}

// Writes a new width and height into the first frame header (SOF0 or SOF2).
Bytes WithDeclaredSize(Bytes jpeg, int width, int height)
{
    qsizetype sof = MarkerAt(jpeg, 0xC0);
    if (sof < 0)
        sof = MarkerAt(jpeg, 0xC2);
    // FF Cx, length (2), precision (1), height (2), width (2)
    jpeg[sof + 5] = static_cast<std::uint8_t>(height >> 8);
    jpeg[sof + 6] = static_cast<std::uint8_t>(height);
    jpeg[sof + 7] = static_cast<std::uint8_t>(width >> 8);
    jpeg[sof + 8] = static_cast<std::uint8_t>(width);
    return jpeg;
}

// A progressive stream whose last scan is repeated until the stream holds
// `scans` scans in all. libjpeg only warns about the repeated refinement.
Bytes WithScans(const Bytes& progressive, int scans)
{
    qsizetype last = -1;
    int count = 0;
    for (std::size_t i = 0; i + 1 < progressive.size(); ++i) {
        if (progressive[i] == 0xFF && progressive[i + 1] == 0xDA) {
            last = static_cast<qsizetype>(i);
            ++count;
        }
    }
    const Bytes scan(progressive.begin() + last, progressive.end() - 2); // up to EOI
    Bytes out(progressive.begin(), progressive.end() - 2);
    for (int i = count; i < scans; ++i)
        out.insert(out.end(), scan.begin(), scan.end());
    out.push_back(0xFF);
    out.push_back(0xD9);
    return out;
}

long PeakResidentMiB()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

QString Message(const std::function<void()>& action)
{
    try {
        action();
    } catch (const mg::Error& e) {
        return QString::fromUtf8(e.what());
    }
    return QString();
}

// Where the entropy-coded data of the first scan begins: just after the
// first scan header (FF DA, then its length).
qsizetype EntropyStart(const Bytes& jpeg)
{
    const qsizetype sos = MarkerAt(jpeg, 0xDA);
    return sos + 2 + (qsizetype(jpeg[sos + 2]) << 8 | jpeg[sos + 3]);
}

// The header read from memory and from a stdio stream, which reach the end
// of the data differently (libjpeg's memory source ends at once, the stdio
// source when a read returns nothing).
std::pair<mg::JpegHeader, mg::JpegHeader> HeadersOf(const Bytes& bytes)
{
    std::pair<mg::JpegHeader, mg::JpegHeader> both;
    both.first = mg::ReadJpegHeader(bytes.data(), bytes.size());
    std::FILE* file = std::tmpfile();
    if (!file)
        return both;
    if (!bytes.empty())
        std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::rewind(file);
    both.second = mg::ReadJpegHeader(file);
    std::fclose(file);
    return both;
}

const std::vector<std::pair<const char*, mg::test::JpegEncoding>>& Encodings()
{
    using E = mg::test::JpegEncoding;
    static const std::vector<std::pair<const char*, E>> all = {
        {"baseline", E::Baseline},     {"progressive", E::Progressive},
        {"arithmetic", E::Arithmetic}, {"restart markers", E::RestartMarkers},
        {"grayscale", E::Grayscale},   {"CMYK", E::Cmyk},
    };
    return all;
}

} // namespace

class TestJpegImage : public QObject {
    Q_OBJECT

private slots:
    void cleanup() { mg::SetJpegDecodeBudget(0); }

    void headerFields_data();
    void headerFields();
    void rejectedHeader_data();
    void rejectedHeader();
    void headerFromFile_data();
    void headerFromFile();
    void headerCutShort_data();
    void headerCutShort();
    void everyShorterHeaderRefused_data();
    void everyShorterHeaderRefused();
    void twelveBitHeader_data();
    void twelveBitHeader();
    void emptyBufferGivesEmptyPicture();
    void failedLoadKeepsPreviousPicture();
    void truncatedDataDecodes_data();
    void truncatedDataDecodes();
    void decodedPixelsFollowPattern_data();
    void decodedPixelsFollowPattern();
    void scaledDecodeSize_data();
    void scaledDecodeSize();
    void scaleFor_data();
    void scaleFor();
    void oversizedPictureRefused_data();
    void oversizedPictureRefused();
    void scanCountLimit_data();
    void scanCountLimit();
    void saveWritesStoredBytes_data();
    void saveWritesStoredBytes();
    void saveFailureLeavesNothing();
    void exifOrientation_data();
    void exifOrientation();
    void loadFromFileErrors_data();
    void loadFromFileErrors();
    void copiesShareBytesAndPixels();
};

void TestJpegImage::headerFields_data()
{
    QTest::addColumn<bool>("gray");
    QTest::addColumn<bool>("progressive");
    QTest::newRow("baseline colour") << false << false;
    QTest::newRow("progressive colour") << false << true;
    QTest::newRow("baseline grayscale") << true << false;
    QTest::newRow("progressive grayscale") << true << true;
}

void TestJpegImage::headerFields()
{
    QFETCH(bool, gray);
    QFETCH(bool, progressive);
    const Bytes jpeg = mg::test::MakeJpeg(37, 21, gray, progressive);
    mg::TJPEGImage image;
    image.LoadFromBytes(jpeg);
    QVERIFY(!image.Empty());
    QCOMPARE(image.Width(), 37);
    QCOMPARE(image.Height(), 21);
    QCOMPARE(image.Grayscale(), gray);
    QCOMPARE(image.ProgressiveEncoding(), progressive);
    QVERIFY(image.Bytes() == jpeg);
    const mg::JpegHeader header = mg::ReadJpegHeader(jpeg.data(), jpeg.size());
    QVERIFY(header.ok);
    QCOMPARE(header.components, gray ? 1 : 3);
}

void TestJpegImage::rejectedHeader_data()
{
    QTest::addColumn<Bytes>("bytes");
    QTest::addColumn<int>("code");
    const Bytes jpeg = mg::test::MakeJpeg(40, 30);
    const Bytes png = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A, 0, 0, 0, 0x0D, 'I', 'H', 'D', 'R'};
    QTest::newRow("PNG bytes are not a JPEG") << png << int(JERR_NO_SOI);
    QTest::newRow("text garbage") << Bytes{'h', 'e', 'l', 'l', 'o'} << int(JERR_NO_SOI);
    QTest::newRow("a single FF byte") << Bytes{0xFF} << int(JERR_NO_SOI);
    QTest::newRow("start and end marker only, no scan") << Bytes{0xFF, 0xD8, 0xFF, 0xD9} << int(JERR_NO_IMAGE);
    QTest::newRow("truncated after SOI") << Cut(jpeg, 2) << int(JERR_NO_IMAGE);
    QTest::newRow("truncated inside the frame header") << Cut(jpeg, MarkerAt(jpeg, 0xC0) + 6) << int(JERR_BAD_LENGTH);
    QTest::newRow("truncated after the frame header, before SOS")
        << Cut(jpeg, MarkerAt(jpeg, 0xC4)) << int(JERR_SOF_NO_SOS);
    QTest::newRow("truncated inside a Huffman table")
        << Cut(jpeg, MarkerAt(jpeg, 0xC4) + 10) << int(JERR_BAD_HUFF_TABLE);
    QTest::newRow("truncated inside the scan header")
        << Cut(jpeg, MarkerAt(jpeg, 0xDA) + 6) << int(JERR_BAD_COMPONENT_ID);
}

void TestJpegImage::rejectedHeader()
{
    QFETCH(Bytes, bytes);
    QFETCH(int, code);
    const QString expected = QStringLiteral("JPEG error #%1").arg(code);
    mg::TJPEGImage image;
    QCOMPARE(Message([&] { image.LoadFromBytes(bytes); }), expected);
    const mg::JpegHeader header = mg::ReadJpegHeader(bytes.data(), bytes.size());
    QVERIFY(!header.ok);
    QCOMPARE(header.code, code);
    QCOMPARE(QString::fromStdString(header.message), expected);
}

void TestJpegImage::headerFromFile_data()
{
    QTest::addColumn<Bytes>("bytes");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("code");
    const Bytes jpeg = mg::test::MakeJpeg(300, 200, false, true);
    QTest::newRow("whole progressive file") << jpeg << true << 0;
    QTest::newRow("file cut after the scan header") << Cut(jpeg, MarkerAt(jpeg, 0xDA) + 40) << true << 0;
    QTest::newRow("file cut before the first scan") << Cut(jpeg, MarkerAt(jpeg, 0xDA)) << false << int(JERR_SOF_NO_SOS);
    QTest::newRow("empty file") << Bytes{} << false << int(JERR_INPUT_EMPTY);
}

void TestJpegImage::headerFromFile()
{
    QFETCH(Bytes, bytes);
    QFETCH(bool, ok);
    QFETCH(int, code);
    std::FILE* file = std::tmpfile();
    QVERIFY(file);
    if (!bytes.empty())
        std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::rewind(file);
    const mg::JpegHeader header = mg::ReadJpegHeader(file);
    std::fclose(file);
    QCOMPARE(header.ok, ok);
    QCOMPARE(header.code, code);
    if (ok) {
        QCOMPARE(header.width, 300);
        QCOMPARE(header.height, 200);
        QVERIFY(header.progressive);
    }
}

// libjpeg reads past the end of the data as a fake end marker and only
// warns, so a header missing its last bytes used to pass and decrypt to a
// grey picture. Whatever the encoding, it must be refused with the reason.
void TestJpegImage::headerCutShort_data()
{
    QTest::addColumn<Bytes>("bytes");
    QTest::addColumn<bool>("complete");
    for (const auto& [name, encoding] : Encodings()) {
        const Bytes jpeg = mg::test::MakeJpegEncoded(encoding, 40, 24);
        const qsizetype entropy = EntropyStart(jpeg);
        for (int shortBy = 1; shortBy <= 4; ++shortBy)
            QTest::addRow("%s cut %d byte(s) before its entropy data", name, shortBy)
                << Cut(jpeg, entropy - shortBy) << false;
        QTest::addRow("%s cut right at its entropy data", name) << Cut(jpeg, entropy) << true;
    }
}

void TestJpegImage::headerCutShort()
{
    QFETCH(Bytes, bytes);
    QFETCH(bool, complete);
    const auto [fromMemory, fromFile] = HeadersOf(bytes);
    const QString message = complete ? QString() : QStringLiteral("JPEG error #%1").arg(JWRN_JPEG_EOF);
    for (const mg::JpegHeader& header : {fromMemory, fromFile}) {
        QCOMPARE(header.ok, complete);
        QCOMPARE(header.code, complete ? 0 : int(JWRN_JPEG_EOF));
        QCOMPARE(QString::fromStdString(header.message), message);
    }
    mg::TJPEGImage image;
    QCOMPARE(Message([&] { image.LoadFromBytes(bytes); }), message);
    QCOMPARE(image.Width(), complete ? 40 : 0);
}

void TestJpegImage::everyShorterHeaderRefused_data()
{
    QTest::addColumn<Bytes>("jpeg");
    for (const auto& [name, encoding] : Encodings())
        QTest::newRow(name) << mg::test::MakeJpegEncoded(encoding, 40, 24);
}

void TestJpegImage::everyShorterHeaderRefused()
{
    QFETCH(Bytes, jpeg);
    const qsizetype entropy = EntropyStart(jpeg);
    for (qsizetype length = 0; length < entropy; ++length) {
        const auto [fromMemory, fromFile] = HeadersOf(Cut(jpeg, length));
        QVERIFY2(
            !fromMemory.ok && !fromFile.ok && fromMemory.code == fromFile.code,
            qPrintable(QStringLiteral("the first %1 of %2 header bytes pass as a header").arg(length).arg(entropy)));
    }
}

// A 12-bit JPEG is a JPEG: the check accepts it so that an encrypted one
// decrypts, and decoding it (this libjpeg has 8-bit samples) gives libjpeg's
// precision error. Other precisions, and 12-bit headers cut short, are
// refused.
void TestJpegImage::twelveBitHeader_data()
{
    QTest::addColumn<Bytes>("bytes");
    QTest::addColumn<int>("headerCode");
    const Bytes baseline = mg::test::WithTwelveBitPrecision(mg::test::MakeJpeg(40, 24));
    QTest::newRow("12-bit extended sequential") << baseline << 0;
    QTest::newRow("12-bit progressive") << mg::test::WithTwelveBitPrecision(mg::test::MakeJpeg(40, 24, false, true))
                                        << 0;
    QTest::newRow("12-bit grayscale") << mg::test::WithTwelveBitPrecision(mg::test::MakeJpeg(40, 24, true)) << 0;
    QTest::newRow("12-bit cut a byte before its entropy data")
        << Cut(baseline, EntropyStart(baseline) - 1) << int(JWRN_JPEG_EOF);
    Bytes sixteen = baseline;
    sixteen[MarkerAt(sixteen, 0xC1) + 4] = 16;
    QTest::newRow("16-bit precision is no JPEG") << sixteen << int(JERR_BAD_PRECISION);
    Bytes noSampling = baseline;
    noSampling[MarkerAt(noSampling, 0xC1) + 11] = 0x00; // first component's sampling factors
    QTest::newRow("12-bit with zero sampling factors") << noSampling << int(JERR_BAD_PRECISION);
}

void TestJpegImage::twelveBitHeader()
{
    QFETCH(Bytes, bytes);
    QFETCH(int, headerCode);
    const auto [fromMemory, fromFile] = HeadersOf(bytes);
    for (const mg::JpegHeader& header : {fromMemory, fromFile}) {
        QCOMPARE(header.code, headerCode);
        QCOMPARE(header.ok, headerCode == 0);
        if (header.ok) {
            QCOMPARE(header.precision, 12);
            QCOMPARE(header.width, 40);
            QCOMPARE(header.height, 24);
        }
    }
    mg::TJPEGImage image;
    const QString loadMessage = Message([&] { image.LoadFromBytes(bytes); });
    if (headerCode != 0) {
        QCOMPARE(loadMessage, QStringLiteral("JPEG error #%1").arg(headerCode));
        return;
    }
    QCOMPARE(loadMessage, QString());
    QCOMPARE(image.Width(), 40);
    QCOMPARE(Message([&] { image.Decode(); }), QStringLiteral("JPEG error #%1").arg(JERR_BAD_PRECISION));
    QCOMPARE(Message([&] { image.Decode(2); }), QStringLiteral("JPEG error #%1").arg(JERR_BAD_PRECISION));
}

void TestJpegImage::emptyBufferGivesEmptyPicture()
{
    mg::TJPEGImage image;
    image.LoadFromBytes(mg::test::MakeJpeg(8, 8));
    image.LoadFromBytes(Bytes{});
    QVERIFY(image.Empty());
    QCOMPARE(image.Width(), 0);
    QCOMPARE(image.Height(), 0);
    QVERIFY(image.Bytes().empty());
    const auto pixels = image.Decode();
    QCOMPARE(pixels->width, 0);
    QVERIFY(pixels->rgb.empty());
}

void TestJpegImage::failedLoadKeepsPreviousPicture()
{
    const Bytes good = mg::test::MakeJpeg(12, 9);
    mg::TJPEGImage image;
    image.LoadFromBytes(good);
    QVERIFY(!Message([&] { image.LoadFromBytes(Bytes{0xFF, 0xD8, 0xFF, 0xD9}); }).isEmpty());
    QCOMPARE(image.Width(), 12);
    QVERIFY(image.Bytes() == good);
}

void TestJpegImage::truncatedDataDecodes_data()
{
    QTest::addColumn<Bytes>("bytes");
    QTest::addColumn<QString>("message");
    const Bytes baseline = mg::test::MakeJpeg(120, 80);
    const qsizetype sos = MarkerAt(baseline, 0xDA);
    QTest::newRow("baseline cut in the middle of the scan")
        << Cut(baseline, sos + (static_cast<qsizetype>(baseline.size()) - sos) / 2) << QString();
    QTest::newRow("baseline cut just after the scan header") << Cut(baseline, sos + 16) << QString();
    QTest::newRow("baseline without its end-of-image marker")
        << Cut(baseline, static_cast<qsizetype>(baseline.size()) - 2) << QString();

    // A progressive stream: cut inside the entropy data of a middle scan, and
    // inside the Huffman table that a later scan defines (a fatal error that
    // only shows when decoding).
    const Bytes progressive = mg::test::MakeJpeg(120, 80, false, true);
    std::vector<qsizetype> scans, tables;
    for (std::size_t i = 0; i + 1 < progressive.size(); ++i) {
        if (progressive[i] == 0xFF && progressive[i + 1] == 0xDA)
            scans.push_back(static_cast<qsizetype>(i));
        if (progressive[i] == 0xFF && progressive[i + 1] == 0xC4)
            tables.push_back(static_cast<qsizetype>(i));
    }
    const qsizetype middle = scans[scans.size() / 2];
    QTest::newRow("progressive cut in the middle of a scan") << Cut(progressive, middle + 20) << QString();
    const auto later = std::find_if(tables.begin(), tables.end(), [&](qsizetype t) { return t > scans[0]; });
    QTest::newRow("progressive cut inside a later scan's Huffman table")
        << Cut(progressive, *later + 8) << QStringLiteral("JPEG error #%1").arg(JERR_BAD_HUFF_TABLE);
}

void TestJpegImage::truncatedDataDecodes()
{
    QFETCH(Bytes, bytes);
    QFETCH(QString, message);
    mg::TJPEGImage image;
    image.LoadFromBytes(bytes); // the header is complete
    QCOMPARE(image.Width(), 120);
    std::shared_ptr<const mg::JpegPixels> pixels;
    QCOMPARE(Message([&] { pixels = image.Decode(); }), message);
    if (message.isEmpty()) {
        QCOMPARE(pixels->width, 120);
        QCOMPARE(pixels->height, 80);
        QCOMPARE(pixels->rgb.size(), std::size_t(120 * 80 * 3));
    }
}

void TestJpegImage::decodedPixelsFollowPattern_data()
{
    QTest::addColumn<Bytes>("jpeg");
    QTest::addColumn<bool>("gray");
    const int w = 64, h = 48;
    QTest::newRow("baseline colour") << mg::test::MakeJpeg(w, h, false, false, 95) << false;
    QTest::newRow("progressive colour") << mg::test::MakeJpeg(w, h, false, true, 95) << false;
    QTest::newRow("grayscale expanded to RGB") << mg::test::MakeJpeg(w, h, true, false, 95) << true;
    QTest::newRow("Adobe CMYK with inverted inks") << mg::test::MakeCmykJpeg(w, h, true) << false;
    QTest::newRow("plain CMYK without Adobe marker") << mg::test::MakeCmykJpeg(w, h, false) << false;
}

void TestJpegImage::decodedPixelsFollowPattern()
{
    QFETCH(Bytes, jpeg);
    QFETCH(bool, gray);
    const int w = 64, h = 48;
    mg::TJPEGImage image;
    image.LoadFromBytes(jpeg);
    QCOMPARE(image.Grayscale(), gray);
    const auto pixels = image.Decode(8);
    QCOMPARE(pixels->width, w);
    QCOMPARE(pixels->height, h);
    long long totalError = 0;
    int worst = 0;
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const std::uint8_t* p = &pixels->rgb[(std::size_t(y) * w + x) * 3];
            int expected[3];
            if (gray) {
                expected[0] = expected[1] = expected[2] = mg::test::PatternGray(x, y, w, h);
            } else {
                expected[0] = mg::test::PatternRed(x, w);
                expected[1] = mg::test::PatternGreen(y, h);
                expected[2] = mg::test::kPatternBlue;
            }
            for (int c = 0; c < 3; ++c) {
                const int error = std::abs(p[c] - expected[c]);
                totalError += error;
                worst = std::max(worst, error);
            }
        }
    }
    const double mean = double(totalError) / (w * h * 3);
    QVERIFY2(mean < 3.0, qPrintable(QStringLiteral("mean error %1").arg(mean)));
    QVERIFY2(worst < 24, qPrintable(QStringLiteral("worst error %1").arg(worst)));
}

void TestJpegImage::scaledDecodeSize_data()
{
    QTest::addColumn<int>("scale");
    // 100 x 75: libjpeg rounds each scaled dimension up.
    for (int n = 1; n <= 8; ++n)
        QTest::addRow("scale %d/8", n) << n;
}

void TestJpegImage::scaledDecodeSize()
{
    QFETCH(int, scale);
    mg::TJPEGImage image;
    image.LoadFromBytes(mg::test::MakeJpeg(100, 75, false, scale % 2 == 0));
    const auto pixels = image.Decode(scale);
    QCOMPARE(pixels->width, (100 * scale + 7) / 8);
    QCOMPARE(pixels->height, (75 * scale + 7) / 8);
    QCOMPARE(pixels->rgb.size(), std::size_t(pixels->width) * pixels->height * 3);
    // The centre keeps the pattern's colour at any scale.
    const std::uint8_t* centre =
        &pixels->rgb[(std::size_t(pixels->height / 2) * pixels->width + pixels->width / 2) * 3];
    QVERIFY(std::abs(centre[0] - 128) < 20);
    QVERIFY(std::abs(centre[2] - mg::test::kPatternBlue) < 20);
    // Decoding again gives the cached pixels.
    QCOMPARE(image.Decode(scale).get(), pixels.get());
}

void TestJpegImage::scaleFor_data()
{
    QTest::addColumn<int>("targetWidth");
    QTest::addColumn<int>("targetHeight");
    QTest::addColumn<int>("scale");
    // Picture of 800 x 600.
    QTest::newRow("exactly one eighth") << 100 << 75 << 1;
    QTest::newRow("one pixel over an eighth needs two eighths") << 101 << 75 << 2;
    QTest::newRow("height decides") << 100 << 76 << 2;
    QTest::newRow("tiny target") << 1 << 1 << 1;
    QTest::newRow("half") << 400 << 300 << 4;
    QTest::newRow("just under full size") << 799 << 599 << 8;
    QTest::newRow("seven eighths exactly") << 700 << 525 << 7;
    QTest::newRow("full size") << 800 << 600 << 8;
    QTest::newRow("larger than the picture") << 4000 << 3000 << 8;
    QTest::newRow("zero target means full size") << 0 << 0 << 8;
    QTest::newRow("negative width means full size") << -5 << 100 << 8;
}

void TestJpegImage::scaleFor()
{
    QFETCH(int, targetWidth);
    QFETCH(int, targetHeight);
    QFETCH(int, scale);
    mg::TJPEGImage image;
    image.LoadFromBytes(mg::test::MakeJpeg(800, 600, true));
    QCOMPARE(image.ScaleFor(targetWidth, targetHeight), scale);
    // The chosen scale really covers the target.
    if (targetWidth > 0 && targetHeight > 0 && scale < 8) {
        const auto pixels = image.Decode(scale);
        QVERIFY(pixels->width >= targetWidth && pixels->height >= targetHeight);
    }
}

// Processor time of this process in milliseconds: the time limits below are
// about work done, which a loaded machine does not inflate as it does wall time.
static long CpuMilliseconds()
{
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return long(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

void TestJpegImage::oversizedPictureRefused_data()
{
    QTest::addColumn<bool>("progressive");
    QTest::addColumn<int>("width");
    QTest::addColumn<int>("height");
    QTest::addColumn<int>("scale");
    QTest::addColumn<qulonglong>("budget"); // 0: the default
    QTest::newRow("baseline header declaring 65500 x 65500") << false << 65500 << 65500 << 8 << 0ull;
    QTest::newRow("progressive header declaring 65500 x 65500") << true << 65500 << 65500 << 8 << 0ull;
    QTest::newRow("progressive, small output but huge coefficient buffers") << true << 65500 << 65500 << 1 << 0ull;
    QTest::newRow("baseline over a lowered budget") << false << 4000 << 4000 << 8 << 16ull * 1024 * 1024;
    QTest::newRow("progressive over a lowered budget at 1/8 scale") << true << 4000 << 4000 << 1 << 16ull * 1024 * 1024;
}

void TestJpegImage::oversizedPictureRefused()
{
    QFETCH(bool, progressive);
    QFETCH(int, width);
    QFETCH(int, height);
    QFETCH(int, scale);
    QFETCH(qulonglong, budget);
    mg::SetJpegDecodeBudget(budget);
    const Bytes jpeg = WithDeclaredSize(mg::test::MakeJpeg(64, 64, false, progressive), width, height);
    mg::TJPEGImage image;
    image.LoadFromBytes(jpeg); // the header alone is fine
    QCOMPARE(image.Width(), width);
    const long started = CpuMilliseconds();
    const QString message = Message([&] { image.Decode(scale); });
    QCOMPARE(message, QStringLiteral("Picture too large to decode (%1 x %2)").arg(width).arg(height));
    QVERIFY2(CpuMilliseconds() - started < 2000, qPrintable(QString::number(CpuMilliseconds() - started)));
    QVERIFY2(PeakResidentMiB() < 200, qPrintable(QString::number(PeakResidentMiB())));
}

void TestJpegImage::scanCountLimit_data()
{
    QTest::addColumn<int>("scans");
    QTest::addColumn<bool>("accepted");
    QTest::addColumn<int>("declaredSize"); // 0: the stream's own 16 x 16
    QTest::addColumn<int>("limit");
    QTest::newRow("ordinary progressive stream") << 10 << true << 0 << mg::kJpegMaxScans;
    QTest::newRow("exactly the scan limit") << mg::kJpegMaxScans << true << 0 << mg::kJpegMaxScans;
    QTest::newRow("one scan over the limit") << mg::kJpegMaxScans + 1 << false << 0 << mg::kJpegMaxScans;
    QTest::newRow("thousands of repeated scans") << 20000 << false << 0 << mg::kJpegMaxScans;
    // Every scan walks every block: 1000 scans of a 12000 x 12000 header
    // took half a minute. 6000 x 6000 in 4:2:0 has 843750 blocks, so the
    // budget allows 2^27 / 843750 = 159 scans.
    QTest::newRow("large picture is allowed fewer scans") << 200 << false << 6000 << 159;
}

void TestJpegImage::scanCountLimit()
{
    QFETCH(int, scans);
    QFETCH(bool, accepted);
    QFETCH(int, declaredSize);
    QFETCH(int, limit);
    Bytes base = mg::test::MakeJpeg(16, 16, false, true);
    if (declaredSize > 0)
        base = WithDeclaredSize(base, declaredSize, declaredSize);
    const Bytes jpeg = WithScans(base, scans);
    mg::TJPEGImage image;
    image.LoadFromBytes(jpeg);
    QVERIFY(image.ProgressiveEncoding());
    const long started = CpuMilliseconds();
    const QString message = Message([&] { image.Decode(); });
    if (accepted)
        QCOMPARE(message, QString());
    else
        QCOMPARE(message, QStringLiteral("JPEG has too many progressive scans (more than %1)").arg(limit));
    QVERIFY2(CpuMilliseconds() - started < 5000, qPrintable(QString::number(CpuMilliseconds() - started)));
}

void TestJpegImage::saveWritesStoredBytes_data()
{
    QTest::addColumn<Bytes>("bytes");
    QTest::addColumn<bool>("existing");
    Bytes trailing = mg::test::MakeJpeg(20, 20);
    for (int i = 0; i < 300; ++i)
        trailing.push_back(static_cast<std::uint8_t>(i * 7));
    const Bytes jpeg = mg::test::MakeJpeg(33, 17, false, true);
    QTest::addColumn<QString>("name");
    QTest::newRow("bytes after the end-of-image marker kept") << trailing << false << "out.jpg";
    QTest::newRow("replaces an existing file") << jpeg << true << "out.jpg";
    QTest::newRow("damaged scan data written unchanged") << Cut(jpeg, MarkerAt(jpeg, 0xDA) + 30) << false << "out.jpg";
    QTest::newRow("empty picture gives an empty file") << Bytes{} << true << "out.jpg";
    // The temporary name must stay within the file system's name limit.
    QTest::newRow("name at the file system's length limit") << jpeg << true << QString(251, 'n') + ".jpg";
}

void TestJpegImage::saveWritesStoredBytes()
{
    QFETCH(Bytes, bytes);
    QFETCH(bool, existing);
    QFETCH(QString, name);
    QTemporaryDir dir;
    const std::string path = dir.filePath(name).toStdString();
    if (existing)
        mg::test::WriteFile(path, Bytes(5000, 0xAB));
    mg::TJPEGImage image;
    image.LoadFromBytes(bytes);
    image.SaveToFile(path);
    QVERIFY(mg::test::ReadFile(path) == bytes);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{name});
}

void TestJpegImage::saveFailureLeavesNothing()
{
    QTemporaryDir dir;
    mg::TJPEGImage image;
    image.LoadFromBytes(mg::test::MakeJpeg(8, 8));
    const std::string path = dir.filePath("missing/out.jpg").toStdString();
    QCOMPARE(Message([&] { image.SaveToFile(path); }), QStringLiteral("File not found"));
    QVERIFY(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).isEmpty());
}

void TestJpegImage::loadFromFileErrors_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("message");
    QTest::newRow("missing file") << "nothing.jpg"
                                  << "File not found";
    QTest::newRow("folder instead of a file") << "folder.jpg"
                                              << "I/O error 21";
    QTest::newRow("file that is not a JPEG") << "text.jpg" << QStringLiteral("JPEG error #%1").arg(JERR_NO_SOI);
    QTest::newRow("file name too long") << QString(300, 'a') << "Invalid filename";
    QTest::newRow("path through a file") << "good.jpg/inner.jpg"
                                         << "I/O error 20";
    QTest::newRow("FIFO without a writer is refused, no hang") << "fifo.jpg"
                                                               << "I/O error 19";
    QTest::newRow("empty file gives an empty picture") << "empty.jpg" << QString();
    QTest::newRow("good file") << "good.jpg" << QString();
}

void TestJpegImage::loadFromFileErrors()
{
    QFETCH(QString, name);
    QFETCH(QString, message);
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("folder.jpg"));
    mg::test::WriteFile(dir.filePath("text.jpg").toStdString(), Bytes{'n', 'o', 't', ' ', 'j', 'p', 'g'});
    const Bytes good = mg::test::MakeJpeg(30, 10);
    mg::test::WriteFile(dir.filePath("good.jpg").toStdString(), good);
    mg::test::WriteFile(dir.filePath("empty.jpg").toStdString(), Bytes{});
    QCOMPARE(::mkfifo(dir.filePath("fifo.jpg").toLocal8Bit().constData(), 0600), 0);
    mg::TJPEGImage image;
    QCOMPARE(Message([&] { image.LoadFromFile(dir.filePath(name).toStdString()); }), message);
    if (name == "empty.jpg")
        QVERIFY(image.Empty());
    else if (message.isEmpty()) {
        QVERIFY(image.Bytes() == good);
        QCOMPARE(image.Width(), 30);
    }
}

void TestJpegImage::copiesShareBytesAndPixels()
{
    mg::TJPEGImage original;
    original.LoadFromBytes(mg::test::MakeJpeg(40, 40));
    mg::TJPEGImage copy(original);
    QCOMPARE(copy.Bytes().data(), original.Bytes().data());
    const auto pixels = original.Decode(4);
    QCOMPARE(copy.Decode(4).get(), pixels.get());

    mg::TJPEGImage assigned;
    assigned = original;
    QCOMPARE(assigned.Bytes().data(), original.Bytes().data());

    // Reloading a copy gives it its own data; the original is untouched.
    copy.LoadFromBytes(mg::test::MakeJpeg(10, 5, true));
    QCOMPARE(copy.Width(), 10);
    QCOMPARE(original.Width(), 40);
    QCOMPARE(original.Decode(4).get(), pixels.get());
    QVERIFY(copy.Decode(4).get() != pixels.get());
}

void TestJpegImage::exifOrientation_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<int>("expected");
    const Bytes plain = mg::test::MakeJpeg(16, 8);
    auto row = [](const Bytes& b) { return QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size())); };
    QTest::newRow("no EXIF block is upright") << row(plain) << 1;
    for (int o = 1; o <= 8; ++o) {
        QTest::addRow("big-endian tag %d read", o) << row(mg::test::WithExifOrientation(plain, o)) << o;
        QTest::addRow("little-endian tag %d read", o) << row(mg::test::WithExifOrientation(plain, o, true)) << o;
    }
    QTest::newRow("tag 0 is out of range, upright") << row(mg::test::WithExifOrientation(plain, 0)) << 1;
    QTest::newRow("tag 9 is out of range, upright") << row(mg::test::WithExifOrientation(plain, 9)) << 1;
    QTest::newRow("huge tag is out of range, upright") << row(mg::test::WithExifOrientation(plain, 0xFFFF)) << 1;
    Bytes cut = mg::test::WithExifOrientation(plain, 6);
    cut.resize(30); // inside the EXIF block
    QTest::newRow("EXIF block cut short reads as upright") << row(cut) << 1;
    Bytes wrongType = mg::test::WithExifOrientation(plain, 6);
    wrongType[2 + 4 + 6 + 8 + 2 + 3] = 4; // SHORT -> LONG in the entry's type field
    QTest::newRow("tag of the wrong type is ignored") << row(wrongType) << 1;
    QTest::newRow("empty input is upright") << QByteArray() << 1;
}

void TestJpegImage::exifOrientation()
{
    QFETCH(QByteArray, file);
    QFETCH(int, expected);
    QCOMPARE(mg::JpegOrientation(reinterpret_cast<const std::uint8_t*>(file.constData()), std::size_t(file.size())),
             expected);
    // The orientation never stops the picture from loading.
    if (file.size() > 100) {
        mg::TJPEGImage image;
        image.LoadFromBytes(reinterpret_cast<const std::uint8_t*>(file.constData()), std::size_t(file.size()));
        QCOMPARE(image.Width(), 16);
    }
}

QTEST_GUILESS_MAIN(TestJpegImage)
#include "tst_jpegimage.moc"
