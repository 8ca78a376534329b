// Showing a 24-megapixel JPEG fitted to the viewing pane, from the click to
// the picture painted, against a full-size libjpeg decode of the same file;
// and the encrypted view against the plain view. Prints ratios of medians
// measured side by side in one run.
#include "base/JPEGImage.h"
#include "cipher/ImageCrypt.h"
#include "tests/common/TestJpeg.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "viewer/murkglassmain.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <jpeglib.h>
#include <vector>

namespace {

// A photo-like picture: a smooth gradient with fine grain, so the file has
// the entropy of a real photograph (the Huffman decoding is a real share of
// the work, as with a camera's picture).
std::vector<std::uint8_t> PhotoLikeJpeg(int width, int height, int quality)
{
    jpeg_compress_struct c{};
    jpeg_error_mgr err{};
    c.err = jpeg_std_error(&err);
    jpeg_create_compress(&c);
    unsigned char* out = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&c, &out, &size);
    c.image_width = JDIMENSION(width);
    c.image_height = JDIMENSION(height);
    c.input_components = 3;
    c.in_color_space = JCS_RGB;
    jpeg_set_defaults(&c);
    jpeg_set_quality(&c, quality, TRUE);
    jpeg_start_compress(&c, TRUE);
    std::vector<unsigned char> row(std::size_t(width) * 3);
    std::uint32_t seed = 12345;
    while (c.next_scanline < c.image_height) {
        const int y = int(c.next_scanline);
        for (int x = 0; x < width; ++x) {
            seed = seed * 1664525u + 1013904223u;
            const int grain = int(seed >> 27) - 16;
            row[3 * x] = static_cast<unsigned char>(std::clamp(x * 255 / width + grain, 0, 255));
            row[3 * x + 1] = static_cast<unsigned char>(std::clamp(y * 255 / height + grain, 0, 255));
            row[3 * x + 2] = static_cast<unsigned char>(std::clamp(96 + grain, 0, 255));
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&c, rows, 1);
    }
    jpeg_finish_compress(&c);
    std::vector<std::uint8_t> bytes(out, out + size);
    jpeg_destroy_compress(&c);
    std::free(out);
    return bytes;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// The baseline: a plain full-size libjpeg decode, row by row into one
// reused row buffer, as `djpeg > /dev/null` does. Filling a fresh buffer
// of the whole picture would add page faults to the baseline only and make
// the display look faster than it is.
void PlainDecode(const std::vector<std::uint8_t>& bytes)
{
    jpeg_decompress_struct d{};
    jpeg_error_mgr err{};
    d.err = jpeg_std_error(&err);
    jpeg_create_decompress(&d);
    jpeg_mem_src(&d, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&d, TRUE);
    d.out_color_space = JCS_RGB;
    jpeg_start_decompress(&d);
    std::vector<unsigned char> row(std::size_t(d.output_width) * d.output_components);
    while (d.output_scanline < d.output_height) {
        JSAMPROW rows[1] = {row.data()};
        jpeg_read_scanlines(&d, rows, 1);
    }
    jpeg_finish_decompress(&d);
    jpeg_destroy_decompress(&d);
}

double TimeOnce(const std::function<void()>& work)
{
    QElapsedTimer timer;
    timer.start();
    work();
    return double(timer.nsecsElapsed()) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
    mg::Application app(argc, argv);
    const int width = argc > 1 ? std::atoi(argv[1]) : 6000;
    const int height = argc > 2 ? std::atoi(argv[2]) : 4000;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 7;
    constexpr std::int32_t key = 20240611;

    QTemporaryDir dir;
    const std::string root = dir.path().toStdString();
    const std::string plain = root + "/big.jpg";
    const std::string encrypted = root + "/big.enc.jpg";
    mg::test::WriteFile(plain, PhotoLikeJpeg(width, height, 90));
    mg::TImgCrypt crypt;
    if (!crypt.EncryptFile(plain, encrypted, key))
        return 1;

    mg::SetDialogResponder([](const mg::DialogRequest& r) {
        std::fprintf(stderr, "unexpected dialog: %s\n", qPrintable(r.text));
        return mg::DialogAnswer{mg::mrOk, {}};
    });
    mg::TfrmMain window(root);
    window.show();
    QCoreApplication::processEvents();

    // Each round times the three in a rotated order, so no one of them is
    // always first after the others have warmed (or cooled) the caches.
    std::vector<double> decode, shown, shownEncrypted;
    const std::vector<std::function<void()>> measures = {
        [&] {
            decode.push_back(TimeOnce([&] {
                // The file is read each time, as the display reads it.
                PlainDecode(mg::test::ReadFile(plain));
            }));
        },
        [&] {
            window.Open1->setChecked(true);
            shown.push_back(TimeOnce([&] {
                window.NormalPictureDisplay(plain);
                window.Image1->grab();
            }));
        },
        [&] {
            window.ViewEncrypted1->setChecked(true);
            shownEncrypted.push_back(TimeOnce([&] {
                window.EncryptedPictureDisplay(encrypted, key);
                window.Image1->grab();
            }));
            window.Open1->setChecked(true);
        },
    };
    for (const auto& m : measures) // warm-up, not counted
        m();
    decode.clear();
    shown.clear();
    shownEncrypted.clear();
    for (int i = 0; i < rounds; ++i)
        for (std::size_t k = 0; k < measures.size(); ++k)
            measures[(k + std::size_t(i)) % measures.size()]();
    window.ViewEncrypted1->setChecked(true);
    window.EncryptedPictureDisplay(encrypted, key);
    if (!window.StatusText().startsWith("Decrypted ")) {
        std::fprintf(stderr, "display failed: %s\n", qPrintable(window.StatusText()));
        return 1;
    }
    const double d = Median(decode), s = Median(shown), e = Median(shownEncrypted);
    std::printf("picture %d x %d (%ld bytes), pane %d x %d, %d rounds (medians)\n", width, height,
                long(mg::test::ReadFile(plain).size()), window.Image1->width(), window.Image1->height(), rounds);
    std::printf("plain libjpeg decode (row by row, full size) %8.1f ms\n", d);
    std::printf("plain view, click to painted %8.1f ms  ratio to decode %.2f (target <= 0.80)\n", s, s / d);
    std::printf("encrypted view               %8.1f ms  ratio to plain  %.2f (target <= 1.10)\n", e, e / s);
    return (s / d <= 0.8 && e / s <= 1.1) ? 0 : 2;
}
