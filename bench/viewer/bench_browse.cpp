// Stepping through a folder of 24-megapixel JPEGs with the Down key in the
// real window, fitted: from the key to the painted picture, against a plain
// full-size libjpeg decode of one of them measured in the same run.
//  - paused: 300 ms on each picture, as a person looking at them would, with
//    reading ahead on (and off, for comparison);
//  - as fast as keys come: the whole walk with reading ahead on against off.
// Prints the ratios and the peak resident size.
#include "BenchSupport.h"
#include "BenchWindows.h"
#include "cipher/ImageCrypt.h"
#include "tests/common/TestJpeg.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "viewer/Prefetch.h"
#include "viewer/murkglassmain.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <functional>
#include <sys/resource.h>
#include <vector>

using mg::bench::Median;
using mg::bench::PhotoLikeJpeg;
using mg::bench::PlainDecode;
using mg::bench::TimeOnceMs;

namespace {

// Runs the event loop for ms milliseconds, as a person looking would leave it.
void Pause(int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        QThread::msleep(1);
    }
}

// Walks the list from its first file to its last with the Down key; returns
// each step's time from the key to the painted picture.
std::vector<double> Walk(mg::TfrmMain& window, int pauseMs)
{
    mg::TFileListBox* list = window.FileListBox1;
    list->setFocus();
    list->SetItemIndex(0);
    list->SetSelected(0, true);
    window.FileListBox1Click();
    window.Image1->grab();
    Pause(pauseMs);
    std::vector<double> steps;
    for (int i = 1; i < list->Count(); ++i) {
        steps.push_back(TimeOnceMs([&] {
            QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
            QApplication::sendEvent(list, &down);
            window.Image1->grab(); // the paint, forced now
        }));
        const bool shown =
            window.StatusText().startsWith(window.ViewEncrypted1->isChecked() ? "Decrypted " : "Display Image ");
        if (!shown || !window.LastDisplayError().isEmpty()) {
            std::fprintf(stderr, "display failed: %s\n", qPrintable(window.StatusText()));
            std::exit(1);
        }
        Pause(pauseMs);
    }
    return steps;
}

double Sum(const std::vector<double>& v)
{
    double s = 0;
    for (double x : v)
        s += x;
    return s;
}

} // namespace

int main(int argc, char** argv)
{
    mg::bench::OffscreenUnlessChosen();
    mg::Application app(argc, argv);
    const int count = argc > 1 ? std::atoi(argv[1]) : 20;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    const int pauseMs = argc > 3 ? std::atoi(argv[3]) : 300;
    constexpr int width = 6000, height = 4000;

    // The pictures are made once, before anything is timed: one encoding,
    // copied into files of their own.
    QTemporaryDir dir;
    const std::string root = dir.path().toStdString();
    const std::vector<std::uint8_t> photo = PhotoLikeJpeg(width, height, 90);
    std::vector<std::string> files;
    for (int i = 0; i < count; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "/p%02d.jpg", i);
        files.push_back(root + name);
        mg::test::WriteFile(files.back(), photo);
    }

    // The same pictures encrypted with the light cipher, in a folder of their own.
    constexpr std::int32_t key = 20240611;
    QTemporaryDir encryptedDir;
    const std::string encryptedRoot = encryptedDir.path().toStdString();
    mg::TImgCrypt crypt;
    for (int i = 0; i < count; ++i)
        if (!crypt.EncryptFile(files[std::size_t(i)], encryptedRoot + files[std::size_t(i)].substr(root.size()), key))
            return 1;

    mg::bench::ReportUnexpectedDialogs();
    mg::TfrmMain window(root);
    window.show();
    QCoreApplication::processEvents();
    if (window.FileListBox1->Count() != count || !window.FitToWindow1->isChecked())
        return 1;

    std::vector<double> decode, pausedOn, pausedOff, fastOn, fastOff, pausedEncrypted;
    const auto baseline = [&] {
        for (int k = 0; k < 3; ++k) {
            decode.push_back(
                TimeOnceMs([&] { PlainDecode(mg::test::ReadFile(files[std::size_t(k) % files.size()])); }));
        }
    };
    const auto walk = [&](bool prefetch, int pause, std::vector<double>& into, bool total) {
        window.SetPrefetchEnabled(prefetch);
        const std::vector<double> steps = Walk(window, pause);
        if (total)
            into.push_back(Sum(steps));
        else
            into.insert(into.end(), steps.begin(), steps.end());
        if (window.Prefetch())
            window.Prefetch()->WaitIdle();
    };
    const std::vector<std::function<void()>> measures = {
        baseline,
        [&] { walk(true, pauseMs, pausedOn, false); },
        [&] { walk(false, pauseMs, pausedOff, false); },
        [&] { walk(true, 0, fastOn, true); },
        [&] { walk(false, 0, fastOff, true); },
        [&] {
            window.FileListBox1->SetFolder(encryptedRoot);
            window.ViewEncrypted1->setChecked(true);
            window.Open1->setChecked(false);
            window.DecryptionKey = key;
            walk(true, pauseMs, pausedEncrypted, false);
            window.FileListBox1->SetFolder(root);
            window.ViewEncrypted1->setChecked(false);
            window.Open1->setChecked(true);
        },
    };
    walk(true, 0, fastOn, true); // warm-up: the page cache, libjpeg, Qt
    fastOn.clear();
    // Each round times them in a rotated order, so none is always first.
    for (int r = 0; r < rounds; ++r)
        for (std::size_t k = 0; k < measures.size(); ++k)
            measures[(k + std::size_t(r)) % measures.size()]();

    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const double d = Median(decode), on = Median(pausedOn), off = Median(pausedOff);
    const double fOn = Median(fastOn), fOff = Median(fastOff);
    std::printf("%d pictures %d x %d (%zu bytes each), pane %d x %d, %d rounds\n", count, width, height, photo.size(),
                window.Image1->width(), window.Image1->height(), rounds);
    std::printf("plain libjpeg decode (row by row, full size), median    %8.1f ms\n", d);
    std::printf(
        "paused %d ms, key to painted, reading ahead, median   %8.1f ms  ratio to decode %.3f (target <= 0.10)\n",
        pauseMs, on, on / d);
    std::printf("paused %d ms, key to painted, no reading ahead, median %8.1f ms  ratio to decode %.3f\n", pauseMs, off,
                off / d);
    std::printf("paused %d ms, encrypted view (light), reading ahead    %8.1f ms  ratio to decode %.3f\n", pauseMs,
                Median(pausedEncrypted), Median(pausedEncrypted) / d);
    std::printf("keys as fast as possible, %d steps: reading ahead %8.1f ms, none %8.1f ms, ratio %.2f (target <= 1)\n",
                count - 1, fOn, fOff, fOn / fOff);
    std::printf("peak resident size %.1f MiB (cap %llu MiB read ahead beside the shown picture)\n",
                double(usage.ru_maxrss) / 1024.0, static_cast<unsigned long long>(mg::viewer::kPrefetchBytes >> 20));
    return (on / d <= 0.1 && fOn <= fOff) ? 0 : 2;
}
