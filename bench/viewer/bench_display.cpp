// Showing a 24-megapixel JPEG fitted to the viewing pane, from the click to
// the picture painted, against a full-size libjpeg decode of the same file;
// and the encrypted view against the plain view. Prints ratios of medians
// measured side by side in one run.
#include "cipher/ImageCrypt.h"
#include "cipher/JPEGImage.h"
#include "tests/common/TestJpeg.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "viewer/murkglassmain.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <vector>

namespace {

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
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
    mg::TApplication app(argc, argv);
    const int width = argc > 1 ? std::atoi(argv[1]) : 6000;
    const int height = argc > 2 ? std::atoi(argv[2]) : 4000;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 7;
    constexpr std::int32_t key = 20240611;

    QTemporaryDir dir;
    const std::string root = dir.path().toStdString();
    const std::string plain = root + "/big.jpg";
    const std::string encrypted = root + "/big.enc.jpg";
    mg::test::WriteFile(plain, mg::test::MakeJpeg(width, height, false, false, 92));
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

    std::vector<double> decode, shown, shownEncrypted;
    for (int i = 0; i < rounds; ++i) {
        decode.push_back(TimeOnce([&] {
            mg::TJPEGImage jpeg;
            jpeg.LoadFromFile(plain);
            jpeg.Decode(8);
        }));
        shown.push_back(TimeOnce([&] {
            window.NormalPictureDisplay(plain);
            window.Image1->grab();
        }));
        window.ViewEncrypted1->setChecked(true);
        shownEncrypted.push_back(TimeOnce([&] {
            window.EncryptedPictureDisplay(encrypted, key);
            window.Image1->grab();
        }));
        window.Open1->setChecked(true);
    }
    if (!window.StatusText().startsWith("Decrypted ")) {
        std::fprintf(stderr, "display failed: %s\n", qPrintable(window.StatusText()));
        return 1;
    }
    const double d = Median(decode), s = Median(shown), e = Median(shownEncrypted);
    std::printf("picture %d x %d, pane %d x %d, %d rounds (medians)\n", width, height, window.Image1->width(),
                window.Image1->height(), rounds);
    std::printf("full-size libjpeg decode     %8.1f ms\n", d);
    std::printf("plain view, click to painted %8.1f ms  ratio to decode %.2f (target <= 0.80)\n", s, s / d);
    std::printf("encrypted view               %8.1f ms  ratio to plain  %.2f (target <= 1.10)\n", e, e / s);
    return (s / d <= 0.8 && e / s <= 1.1) ? 0 : 2;
}
