// Showing a 24-megapixel JPEG fitted to the viewing pane, from the click to
// the picture painted, against a full-size libjpeg decode of the same file;
// and the encrypted view against the plain view. Prints ratios of medians
// measured side by side in one run.
#include "BenchSupport.h"
#include "BenchWindows.h"
#include "base/JPEGImage.h"
#include "cipher/ImageCrypt.h"
#include "tests/common/TestJpeg.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "viewer/murkglassmain.h"

#include <QTemporaryDir>
#include <cstdio>
#include <functional>
#include <vector>

using mg::bench::Median;
using mg::bench::PhotoLikeJpeg;
using mg::bench::PlainDecode;
using mg::bench::TimeOnceMs;

int main(int argc, char** argv)
{
    mg::bench::OffscreenUnlessChosen();
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

    mg::bench::ReportUnexpectedDialogs();
    mg::TfrmMain window(root);
    window.show();
    QCoreApplication::processEvents();

    // Each round times the three in a rotated order, so no one of them is
    // always first after the others have warmed (or cooled) the caches.
    std::vector<double> decode, shown, shownEncrypted;
    const std::vector<std::function<void()>> measures = {
        [&] {
            decode.push_back(TimeOnceMs([&] {
                // The file is read each time, as the display reads it.
                PlainDecode(mg::test::ReadFile(plain));
            }));
        },
        [&] {
            window.Open1->setChecked(true);
            shown.push_back(TimeOnceMs([&] {
                window.NormalPictureDisplay(plain);
                window.Image1->grab();
            }));
        },
        [&] {
            window.ViewEncrypted1->setChecked(true);
            shownEncrypted.push_back(TimeOnceMs([&] {
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
