// Strong files in encrypted view. A 24-megapixel photo-like JPEG shown from
// its strong file against the plain view of the same picture, once the key
// is derived (medians, side by side in one run); then browsing 20 files of
// one batch, which must derive the key once.
#include "BenchSupport.h"
#include "BenchWindows.h"
#include "cipher/StrongCrypt.h"
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
using mg::bench::TimeOnceMs;

int main(int argc, char** argv)
{
    mg::bench::OffscreenUnlessChosen();
    mg::Application app(argc, argv);
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 7;
    QTemporaryDir dir;
    const std::string root = dir.path().toStdString();
    const std::string plain = root + "/big.jpg", sealed = root + "/big.Bin";
    mg::test::WriteFile(plain, PhotoLikeJpeg(6000, 4000, 90));

    mg::SetDialogResponder([](const mg::DialogRequest&) { return mg::DialogAnswer{mg::mrOk, {}}; });
    mg::TfrmMain window(root);
    window.show();
    QCoreApplication::processEvents();
    // The window's own keys, with the parameters the program writes.
    mg::strong::StrongKeys& keys = window.ImgCrypt->Strong;
    keys.SetPassphrase("benchmark passphrase");
    if (!mg::strong::EncryptFile(plain, sealed, keys))
        return 1;

    std::vector<double> shown, shownStrong;
    for (int i = 0; i < rounds; ++i) {
        window.Open1->setChecked(true);
        window.ViewEncrypted1->setChecked(false);
        shown.push_back(TimeOnceMs([&] {
            window.NormalPictureDisplay(plain);
            window.Image1->grab();
        }));
        window.Open1->setChecked(false);
        window.ViewEncrypted1->setChecked(true);
        shownStrong.push_back(TimeOnceMs([&] {
            window.EncryptedPictureDisplay(sealed, 0);
            window.Image1->grab();
        }));
    }
    if (!window.StatusText().startsWith("Decrypted ")) {
        std::fprintf(stderr, "display failed: %s\n", qPrintable(window.StatusText()));
        return 1;
    }
    const double s = Median(shown), e = Median(shownStrong);

    // Twenty files of one batch, browsed by a window that has not derived.
    mg::TfrmMain browser(root);
    browser.ImgCrypt->Strong.SetPassphrase("benchmark passphrase");
    keys.NewBatch();
    std::vector<std::string> files;
    const auto small = mg::test::MakeJpeg(640, 480);
    for (int i = 0; i < 20; ++i) {
        files.push_back(root + "/p" + std::to_string(i) + ".Bin");
        mg::test::WriteFile(root + "/p.jpg", small);
        if (!mg::strong::EncryptFile(root + "/p.jpg", files.back(), keys))
            return 1;
    }
    browser.ViewEncrypted1->setChecked(true);
    std::vector<double> each;
    for (const auto& f : files)
        each.push_back(TimeOnceMs([&] { browser.EncryptedPictureDisplay(f, 0); }));
    const unsigned derivations = browser.ImgCrypt->Strong.Derivations();

    std::printf("picture 6000 x 4000 (%ld bytes), %d rounds (medians), key derived beforehand\n",
                long(mg::test::ReadFile(plain).size()), rounds);
    std::printf("plain view, click to painted %8.1f ms\n", s);
    std::printf("strong encrypted view        %8.1f ms  ratio to plain %.2f (target <= 1.10)\n", e, e / s);
    std::printf("browsing 20 files of one batch: first %.0f ms, the others %.1f ms median, "
                "%u derivation(s) (target 1)\n",
                each.front(), Median({each.begin() + 1, each.end()}), derivations);
    return e / s <= 1.1 && derivations == 1 ? 0 : 2;
}
