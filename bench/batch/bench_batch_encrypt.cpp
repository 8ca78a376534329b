// The encrypt window's batch against a plain copy. Makes FILES files of
// MIB MiB each, then times, alternately and ROUNDS times each:
//   copy:    every file copied with read/write into a fresh folder and
//            flushed to disk (fsync) before the next;
//   encrypt: DoCrypt of the encrypt window over the same files, selected in
//            the main window's list, the first question answered "All".
// Each is run once first as a warm-up, and the order rotates every round.
// Prints the best and median times and their ratios (encrypt / copy), and
// for reference the cipher alone and a copy written the cipher's safe way.
// Usage: bench_batch_encrypt [FOLDER [FILES [MIB [ROUNDS]]]]
//        (defaults: a temporary folder in the current one, 200, 5, 3)
#include "BenchSupport.h"
#include "BenchWindows.h"
#include "batch/frmEncryptUnit.h"
#include "ui/Dialogs.h"
#include "ui/ShellTreeView.h"
#include "viewer/murkglassmain.h"

#include <QApplication>
#include <QDir>
#include <QRadioButton>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using mg::bench::Median;
using mg::bench::WriteAll;

// A plain copy: read/write through one buffer, then fsync.
bool CopyFile(const std::string& from, const std::string& to)
{
    const int in = ::open(from.c_str(), O_RDONLY);
    if (in < 0)
        return false;
    const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (out < 0) {
        ::close(in);
        return false;
    }
    std::vector<unsigned char> buffer(1 << 20);
    bool ok = true;
    for (;;) {
        const ssize_t n = ::read(in, buffer.data(), buffer.size());
        if (n < 0)
            ok = false;
        if (n <= 0)
            break;
        if (!WriteAll(out, buffer.data(), static_cast<std::size_t>(n))) {
            ok = false;
            break;
        }
    }
    ok = ::fsync(out) == 0 && ok;
    ok = ::close(out) == 0 && ok;
    ::close(in);
    return ok;
}

// The copy written the safe way the cipher writes: a temporary file in the
// destination folder, fsync, rename over the destination, fsync of the
// folder. Shows how much of the batch's time that rule itself costs.
bool SafeCopyFile(const std::string& from, const std::string& folder, const std::string& name)
{
    const std::string temp = folder + "/." + name + ".tmp";
    if (!CopyFile(from, temp) || ::rename(temp.c_str(), (folder + "/" + name).c_str()) != 0)
        return false;
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0)
        return false;
    const bool ok = ::fsync(fd) == 0;
    ::close(fd);
    return ok;
}

double Seconds(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

// Removes the files of a folder, keeping the folder (and so its tree node).
void EmptyFolder(const QString& path)
{
    QDir dir(path);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden))
        dir.remove(name);
}

} // namespace

int main(int argc, char** argv)
{
    mg::bench::OffscreenUnlessChosen();
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int files = args.size() > 2 ? args[2].toInt() : 200;
    const int mib = args.size() > 3 ? args[3].toInt() : 5;
    const int rounds = args.size() > 4 ? args[4].toInt() : 3;
    QTemporaryDir temp(args.size() > 1 ? args[1] + QStringLiteral("/bench-batch-XXXXXX")
                                       : QDir::currentPath() + QStringLiteral("/bench-batch-XXXXXX"));
    if (!temp.isValid()) {
        std::fprintf(stderr, "cannot make a temporary folder\n");
        return 1;
    }
    const std::string root = QDir(temp.path()).canonicalPath().toStdString();
    const std::string src = root + "/src";
    QDir().mkpath(QString::fromStdString(src));
    std::vector<std::string> names;
    for (int i = 0; i < files; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "picture%03d.jpg", i);
        names.emplace_back(name);
        if (!mg::bench::MakeNoiseFile(src + "/" + name, std::size_t(mib) << 20, std::uint32_t(i + 1))) {
            std::fprintf(stderr, "cannot write the test files\n");
            return 1;
        }
    }

    const QString encFolder = QString::fromStdString(root + "/enc");
    const QString copyFolder = QString::fromStdString(root + "/copy");
    QDir().mkpath(encFolder);
    QDir().mkpath(copyFolder);

    mg::TfrmMain main(root);
    mg::frmMain = &main;
    mg::TfrmEncrypt window(root);
    mg::frmEncrypt = &window;
    main.ShellTreeView1->SelectPath(src);
    main.FileListBox1->Update();
    for (int i = 0; i < main.FileListBox1->Count(); ++i)
        main.FileListBox1->SetSelected(i, true);
    if (main.FileListBox1->SelCount() != files) {
        std::fprintf(stderr, "the list shows %d of %d files\n", main.FileListBox1->SelCount(), files);
        return 1;
    }
    if (!window.ShellTreeView1->SelectPath(encFolder.toStdString())) {
        std::fprintf(stderr, "cannot select the destination folder\n");
        return 1;
    }
    window.rbKeepExisting->setChecked(true);
    main.DecryptionKey = 123456789;
    int questions = 0;
    mg::SetDialogResponder([&questions](const mg::DialogRequest& r) {
        ++questions;
        if (!r.text.startsWith(QStringLiteral("Encrypt: ")))
            std::fprintf(stderr, "unexpected dialog: %s\n", qPrintable(r.text));
        return mg::DialogAnswer{mg::mrAll, {}};
    });

    std::vector<double> copies, batches, ciphers, safeCopies;
    bool failed = false;
    // Each measure empties its folder and flushes the disk first, so no one
    // pays for another's write-back.
    const std::vector<std::function<void(std::vector<double>*)>> measures = {
        [&](std::vector<double>* times) {
            EmptyFolder(copyFolder);
            ::sync();
            const auto start = Clock::now();
            for (const std::string& name : names)
                if (!CopyFile(src + "/" + name, copyFolder.toStdString() + "/" + name)) {
                    std::fprintf(stderr, "copy failed\n");
                    failed = true;
                }
            if (times)
                times->push_back(Seconds(start));
        },
        [&](std::vector<double>* times) {
            EmptyFolder(encFolder);
            ::sync();
            questions = 0;
            const auto start = Clock::now();
            const bool complete = window.DoCrypt();
            if (times)
                times->push_back(Seconds(start));
            const int written = int(QDir(encFolder).entryList(QDir::Files).size());
            if (!complete || questions != 1 || written != files) {
                std::fprintf(stderr, "batch: complete %d, questions %d, written %d\n", complete, questions, written);
                failed = true;
            }
        },
        // The cipher alone over the same files, for telling the batch's own
        // cost from the cipher's.
        [&](std::vector<double>* times) {
            EmptyFolder(encFolder);
            ::sync();
            const auto start = Clock::now();
            for (const std::string& name : names)
                main.ImgCrypt->EncryptFile(src + "/" + name, encFolder.toStdString() + "/" + name + ".Bin",
                                           main.DecryptionKey);
            if (times)
                times->push_back(Seconds(start));
        },
        [&](std::vector<double>* times) {
            EmptyFolder(copyFolder);
            ::sync();
            const auto start = Clock::now();
            for (const std::string& name : names)
                SafeCopyFile(src + "/" + name, copyFolder.toStdString(), name);
            if (times)
                times->push_back(Seconds(start));
        },
    };
    std::vector<double>* const results[] = {&copies, &batches, &ciphers, &safeCopies};
    // A warm-up of each, not counted: the first pass over the sources
    // reads them from the disk, later ones from the page cache.
    for (const auto& m : measures)
        m(nullptr);
    if (failed)
        return 1;
    for (int round = 0; round < rounds; ++round) {
        // The order rotates each round, so none is always timed first.
        for (std::size_t k = 0; k < measures.size(); ++k) {
            const std::size_t which = (k + std::size_t(round)) % measures.size();
            measures[which](results[which]);
        }
        if (failed)
            return 1;
        std::printf("round %d: copy+fsync %.3f s, encrypt batch %.3f s, ratio %.2f "
                    "(cipher alone %.3f s, safe copy %.3f s)\n",
                    round + 1, copies.back(), batches.back(), batches.back() / copies.back(), ciphers.back(),
                    safeCopies.back());
        std::fflush(stdout);
    }
    mg::SetDialogResponder({});
    const double bestCopy = *std::min_element(copies.begin(), copies.end());
    const double bestBatch = *std::min_element(batches.begin(), batches.end());
    std::printf("%d files x %d MiB, %d rounds\n", files, mib, rounds);
    std::printf("best:   copy+fsync %.3f s, encrypt batch %.3f s, ratio %.2f\n", bestCopy, bestBatch,
                bestBatch / bestCopy);
    std::printf("median: copy+fsync %.3f s, encrypt batch %.3f s, ratio %.2f\n", Median(copies), Median(batches),
                Median(batches) / Median(copies));
    std::printf("cipher alone: best %.3f s, median %.3f s; batch / cipher alone (median) %.2f\n",
                *std::min_element(ciphers.begin(), ciphers.end()), Median(ciphers), Median(batches) / Median(ciphers));
    std::printf("safe copy (temp, fsync, rename, folder fsync): median %.3f s; batch / safe copy %.2f\n",
                Median(safeCopies), Median(batches) / Median(safeCopies));
    std::printf("limit 0.60 (median ratio): %s\n", Median(batches) / Median(copies) <= 0.6 ? "met" : "NOT met");
    return 0;
}
