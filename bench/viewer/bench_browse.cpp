// Stepping through a folder of 24-megapixel JPEGs with the Down key in the
// real window, fitted: from the key to the painted picture, against a plain
// full-size libjpeg decode of one of them measured in the same run.
//  - paused: 300 ms on each picture, as a person looking at them would, with
//    reading ahead on (and off, for comparison);
//  - as fast as keys come: the whole walk with reading ahead on against off.
// Prints the ratios and the peak resident size.
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
#include <algorithm>
#include <cstdio>
#include <functional>
#include <jpeglib.h>
#include <sys/resource.h>
#include <vector>

namespace {

// A photo-like picture: a smooth gradient with fine grain, so the Huffman
// decoding is as real a share of the work as in a camera's picture.
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

// The baseline: a full-size decode row by row into one reused row buffer,
// as `djpeg > /dev/null` does, of the file read from disk.
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

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double Ms(const QElapsedTimer& t)
{
    return double(t.nsecsElapsed()) / 1e6;
}

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
        QElapsedTimer t;
        t.start();
        QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
        QApplication::sendEvent(list, &down);
        window.Image1->grab(); // the paint, forced now
        steps.push_back(Ms(t));
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
    qputenv("QT_QPA_PLATFORM", qgetenv("QT_QPA_PLATFORM").isEmpty() ? "offscreen" : qgetenv("QT_QPA_PLATFORM"));
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

    mg::SetDialogResponder([](const mg::DialogRequest& r) {
        std::fprintf(stderr, "unexpected dialog: %s\n", qPrintable(r.text));
        return mg::DialogAnswer{mg::mrOk, {}};
    });
    mg::TfrmMain window(root);
    window.show();
    QCoreApplication::processEvents();
    if (window.FileListBox1->Count() != count || !window.FitToWindow1->isChecked())
        return 1;

    std::vector<double> decode, pausedOn, pausedOff, fastOn, fastOff, pausedEncrypted;
    const auto baseline = [&] {
        for (int k = 0; k < 3; ++k) {
            QElapsedTimer t;
            t.start();
            PlainDecode(mg::test::ReadFile(files[std::size_t(k) % files.size()]));
            decode.push_back(Ms(t));
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
