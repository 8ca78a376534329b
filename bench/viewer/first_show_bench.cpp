// Start-up with a huge folder as the desktop: from creating the main window
// to the window shown (exposed), and to the list holding the folder's
// files. Each round starts once with the folder read in the background (as
// the program does) and once with the same reader listing the whole folder
// before the window can show, in turns; prints medians and their ratios.
// Usage: bench_first_show [file count | FOLDER] [rounds]
// Run it under xvfb-run for a real X server (QT_QPA_PLATFORM=offscreen
// works too). A count makes a folder of that many files under $TMPDIR (else
// /var/tmp) and removes it afterwards; a FOLDER is read as it is and kept.
#include "BenchSupport.h"
#include "ui/Application.h"
#include "ui/Dialogs.h"
#include "ui/FileListBox.h"
#include "ui/FolderReader.h"
#include "viewer/murkglassmain.h"

#include <QWindow>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using mg::bench::Median;

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

struct Times {
    double shown = 0;  // creation to the window exposed
    double listed = 0; // creation to the list holding the files
    int count = 0;
};

Times StartOnce(const std::string& folder)
{
    // The program starts elsewhere; the list follows the tree's root. A
    // folder's sub-folders are remembered for two seconds after a read:
    // every start waits that out, so each tree reads the folder as a fresh
    // program does.
    std::this_thread::sleep_for(std::chrono::milliseconds(2100));
    mg::ChangeDirectory("/");
    Times t;
    const auto t0 = Clock::now();
    auto* window = new mg::TfrmMain(folder);
    window->show();
    while (!window->windowHandle() || !window->windowHandle()->isExposed())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    t.shown = Ms(Clock::now() - t0);
    while (window->FileListBox1->Reading())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    t.listed = Ms(Clock::now() - t0);
    t.count = window->FileListBox1->Count();
    delete window;
    QCoreApplication::processEvents();
    return t;
}

} // namespace

int main(int argc, char** argv)
{
    mg::Application app(argc, argv);
    mg::SetDialogResponder([](const mg::DialogRequest&) { return mg::DialogAnswer{mg::mrOk, {}}; });
    const bool given = argc > 1 && std::filesystem::is_directory(argv[1]);
    const int count = argc > 1 && !given ? std::atoi(argv[1]) : 1000000;
    const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
    std::string folder;
    if (given) {
        folder = std::filesystem::absolute(argv[1]).string();
    } else {
        folder = mg::bench::MakeScratchFolder("mg_bench_show_");
        if (folder.empty())
            return 1;
        mg::bench::FillFolder(folder, count);
    }

    std::vector<double> shownBg, listedBg, shownSync, listedSync;
    int listed = 0;
    for (int r = 0; r < rounds; ++r) {
        for (int k = 0; k < 2; ++k) {
            const bool background = (k + r) % 2 == 0;
            mg::TFileListBox::SetEntriesReadAtOnce(background ? mg::TFileListBox::kEntriesReadAtOnce : std::size_t(-1));
            const Times t = StartOnce(folder);
            (background ? shownBg : shownSync).push_back(t.shown);
            (background ? listedBg : listedSync).push_back(t.listed);
            listed = t.count;
            std::printf("round %d, %s: shown after %.1f ms, listed after %.1f ms\n", r + 1,
                        background ? "read in the background" : "read at once", t.shown, t.listed);
        }
    }
    std::printf("%d files listed\n", listed);
    std::printf("median first show: %.1f ms read in the background, %.1f ms read at once; ratio %.3f\n",
                Median(shownBg), Median(shownSync), Median(shownBg) / Median(shownSync));
    std::printf("median list complete: %.1f ms read in the background, %.1f ms read at once; ratio %.2f\n",
                Median(listedBg), Median(listedSync), Median(listedBg) / Median(listedSync));
    if (!given) {
        std::error_code ec;
        std::filesystem::remove_all(folder, ec);
    }
    return 0;
}
