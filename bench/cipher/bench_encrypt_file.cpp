// Streaming file encryption against a plain copy: makes a 512 MiB file, then
// times `murkglass-crypt encrypt` and `cp` followed by `sync` of the copy
// (both end with the data on disk), alternating, best of six each, and
// reports murkglass-crypt's peak resident size.
// Usage: bench_encrypt_file [FOLDER]   (default: the current folder)
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace {

struct Timing {
    double seconds = 0;
    long maxRssKiB = 0;
    bool ok = false;
};

// Runs a program and waits for it, with its wall time and peak RSS.
Timing Time(const std::vector<std::string>& argv)
{
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::execvp(args[0], args.data());
        ::_exit(127);
    }
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return {took.count(), usage.ru_maxrss, WIFEXITED(status) && WEXITSTATUS(status) == 0};
}

bool MakeFile(const std::string& path, std::size_t size)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr)
        return false;
    std::vector<unsigned char> chunk(1 << 20);
    std::uint32_t x = 1;
    for (auto& b : chunk)
        b = static_cast<unsigned char>((x = x * 1664525u + 1013904223u) >> 24);
    for (std::size_t done = 0; done < size; done += chunk.size())
        std::fwrite(chunk.data(), 1, chunk.size(), f);
    const bool ok = std::fflush(f) == 0 && ::fsync(fileno(f)) == 0;
    return std::fclose(f) == 0 && ok;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string dir = argc > 1 ? argv[1] : ".";
    const std::string src = dir + "/bench-src.bin", copy = dir + "/bench-copy.bin", enc = dir + "/bench-enc.bin",
                      pass = dir + "/bench-pass.txt";
    if (!MakeFile(src, std::size_t{512} << 20)) {
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
        const auto copyRun = [&] { return Time({"sh", "-c", "cp \"$0\" \"$1\" && sync \"$1\"", src, copy}); };
        const auto cryptRun = [&] {
            return Time({MURKGLASS_CRYPT_PATH, "encrypt", src, enc, "--passphrase-file", pass});
        };
        Timing c, m;
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
