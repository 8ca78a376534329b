// Streaming file encryption against a plain copy: makes a 512 MiB file, then
// times `murkglass-crypt encrypt` and `cp` followed by `sync` of the copy
// (both end with the data on disk), alternating, best of six each, and
// reports murkglass-crypt's peak resident size.
// Usage: bench_encrypt_file [FOLDER]   (default: the current folder)
#include "BenchSupport.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

using mg::bench::ChildRun;

int main(int argc, char** argv)
{
    const std::string dir = argc > 1 ? argv[1] : ".";
    const std::string src = dir + "/bench-src.bin", copy = dir + "/bench-copy.bin", enc = dir + "/bench-enc.bin",
                      pass = dir + "/bench-pass.txt";
    if (!mg::bench::MakeNoiseFile(src, std::size_t{512} << 20)) {
        std::fprintf(stderr, "cannot write %s\n", src.c_str());
        return 1;
    }
    std::FILE* p = std::fopen(pass.c_str(), "w");
    std::fputs("benchmark passphrase\n", p);
    std::fclose(p);

    constexpr int kRounds = 6;
    double bestCopy = 1e9, bestCrypt = 1e9;
    long peakKiB = 0;
    for (int round = 0; round < kRounds; ++round) {
        // Removing the previous outputs and flushing the file system first
        // keeps their clean-up out of either timing; the order alternates.
        ::unlink(copy.c_str());
        ::unlink(enc.c_str());
        ::sync();
        const auto copyRun = [&] {
            return mg::bench::RunChild({"sh", "-c", "cp \"$0\" \"$1\" && sync \"$1\"", src, copy});
        };
        const auto cryptRun = [&] {
            return mg::bench::RunChild({MURKGLASS_CRYPT_PATH, "encrypt", src, enc, "--passphrase-file", pass});
        };
        ChildRun c, m;
        if (round % 2 == 0)
            c = copyRun(), m = cryptRun();
        else
            m = cryptRun(), c = copyRun();
        if (!c.ok || !m.ok) {
            std::fprintf(stderr, "a run failed (cp %d, murkglass-crypt %d)\n", c.ok, m.ok);
            return 1;
        }
        bestCopy = std::min(bestCopy, c.seconds);
        bestCrypt = std::min(bestCrypt, m.seconds);
        peakKiB = std::max(peakKiB, m.maxRssKiB);
    }
    for (const auto& f : {src, copy, enc, pass})
        ::unlink(f.c_str());
    std::printf("512 MiB file in %s, best of %d each\n", dir.c_str(), kRounds);
    std::printf("  cp + sync                %8.0f ms\n", bestCopy * 1e3);
    std::printf("  murkglass-crypt encrypt  %8.0f ms\n", bestCrypt * 1e3);
    std::printf("murkglass-crypt vs cp+sync: %.2fx the time (target <= 1.2)\n", bestCrypt / bestCopy);
    std::printf("murkglass-crypt peak RSS: %.1f MiB (target < 32)\n", peakKiB / 1024.0);
    return 0;
}
