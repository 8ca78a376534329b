// Strong against light encryption of the same 512 MiB file, both written to
// disk through the same safe writer, alternating, best of four each; the key
// derivation is timed apart (the strong runs reuse the derived key, as the
// files of one batch do). The decryptions of the two files are timed the
// same way. XChaCha20-Poly1305 over the same bytes in memory, with no file
// at all, shows how near the strong runs come to the cipher's own cost.
// Then the peak resident size of one `murkglass-crypt encrypt --strong` run
// against the derivation's memory.
// Usage: bench_strong [FOLDER]   (default: the current folder)
#include "BenchSupport.h"
#include "TestJpeg.h"
#include "cipher/ImageCrypt.h"
#include "cipher/StrongCrypt.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <sodium.h>
#include <string>
#include <sys/resource.h>
#include <unistd.h>
#include <vector>

namespace {

double CpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
           + double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Wall time of the work; its processor time (user and system) goes to cpu.
double Seconds(const std::function<bool()>& work, bool& ok, double* cpu = nullptr)
{
    const double cpuStart = CpuSeconds();
    const auto start = std::chrono::steady_clock::now();
    ok = work();
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    if (cpu)
        *cpu = CpuSeconds() - cpuStart;
    return took.count();
}

// XChaCha20-Poly1305 in 64 KiB pieces over size bytes, in memory.
double CipherAloneSeconds(std::size_t size)
{
    std::vector<unsigned char> plain(1 << 20, 7), cipher((1 << 20) + 16 * 17);
    unsigned char key[crypto_secretstream_xchacha20poly1305_KEYBYTES] = {1};
    unsigned char header[crypto_secretstream_xchacha20poly1305_HEADERBYTES];
    crypto_secretstream_xchacha20poly1305_state state;
    crypto_secretstream_xchacha20poly1305_init_push(&state, header, key);
    bool ok = false;
    return Seconds(
        [&] {
            for (std::size_t done = 0; done < size; done += plain.size())
                for (std::size_t at = 0; at < plain.size(); at += 65536)
                    crypto_secretstream_xchacha20poly1305_push(&state, cipher.data(), nullptr, plain.data() + at, 65536,
                                                               nullptr, 0, 0);
            return true;
        },
        ok);
}

} // namespace

int main(int argc, char** argv)
{
    const std::string dir = argc > 1 ? argv[1] : ".";
    const std::string src = dir + "/bench-src.jpg", light = dir + "/bench-light.bin",
                      strongOut = dir + "/bench-strong.bin", pass = dir + "/bench-pass.txt";
    // A small JPEG at the start of the noise, so that the light decryption's
    // check of the picture's header passes.
    if (!mg::bench::MakeNoiseFile(src, std::size_t{512} << 20, 1, mg::test::MakeJpeg(16, 16))) {
        std::fprintf(stderr, "cannot write %s\n", src.c_str());
        return 1;
    }
    mg::TImgCrypt crypt;
    crypt.Strong.SetPassphrase("benchmark passphrase");
    bool ok = false;
    const double derive =
        Seconds([&] { return crypt.Strong.Key(crypt.Strong.writeParams, crypt.Strong.BatchSalt()) != nullptr; }, ok);

    constexpr int kRounds = 4;
    const std::string lightBack = dir + "/bench-light.out", strongBack = dir + "/bench-strong.out";
    double bestLight = 1e9, bestStrong = 1e9, cpuLight = 1e9, cpuStrong = 1e9;
    double bestLightBack = 1e9, bestStrongBack = 1e9;
    // Best wall time of each; the processor time of the run goes to its least.
    const auto run = [&](const std::function<mg::CipherResult()>& work, double& best, double* cpuBest) {
        double cpu = 0;
        bool done = false;
        best = std::min(best, Seconds([&] { return bool(work()); }, done, &cpu));
        if (cpuBest)
            *cpuBest = std::min(*cpuBest, cpu);
        return done;
    };
    for (int round = 0; round < kRounds && ok; ++round) {
        for (const auto& f : {light, strongOut, lightBack, strongBack})
            ::unlink(f.c_str());
        ::sync();
        const auto lightRun = [&] {
            return run([&] { return crypt.EncryptFileEx(src, light, 1234); }, bestLight, &cpuLight);
        };
        const auto strongRun = [&] {
            return run([&] { return mg::strong::EncryptFile(src, strongOut, crypt.Strong); }, bestStrong, &cpuStrong);
        };
        const auto lightBackRun = [&] {
            return run([&] { return crypt.DecryptFileEx(light, lightBack, 1234); }, bestLightBack, nullptr);
        };
        const auto strongBackRun = [&] {
            return run([&] { return crypt.DecryptFileEx(strongOut, strongBack, 0); }, bestStrongBack, nullptr);
        };
        if (round % 2 == 0)
            ok = lightRun() && strongRun() && lightBackRun() && strongBackRun();
        else
            ok = strongRun() && lightRun() && strongBackRun() && lightBackRun();
    }
    for (const auto& f : {lightBack, strongBack})
        ::unlink(f.c_str());
    const double cipherAlone = ok ? CipherAloneSeconds(std::size_t{512} << 20) : 0;
    const unsigned derivations = crypt.Strong.Derivations();

    std::FILE* p = std::fopen(pass.c_str(), "w");
    std::fputs("benchmark passphrase\n", p);
    std::fclose(p);
    ::unlink(strongOut.c_str());
    const mg::bench::ChildRun peak = ok ? mg::bench::RunChild({MURKGLASS_CRYPT_PATH, "encrypt", "--strong", src,
                                                               strongOut, "--passphrase-file", pass})
                                        : mg::bench::ChildRun{};
    const long peakKiB = peak.ok ? peak.maxRssKiB : -1;
    for (const auto& f : {src, light, strongOut, pass})
        ::unlink(f.c_str());
    if (!ok || peakKiB < 0) {
        std::fprintf(stderr, "a run failed\n");
        return 1;
    }
    const double deriveMiB = double(crypt.Strong.writeParams.memKiB) / 1024;
    std::printf("512 MiB file in %s, best of %d each\n", dir.c_str(), kRounds);
    std::printf("  Argon2id derivation (%u passes, %.0f MiB), apart  %8.0f ms\n", crypt.Strong.writeParams.opsLimit,
                deriveMiB, derive * 1e3);
    std::printf("  light encryption                               %8.0f ms\n", bestLight * 1e3);
    std::printf("  strong encryption, key derived                 %8.0f ms  (%u derivation for all runs)\n",
                bestStrong * 1e3, derivations);
    std::printf("  processor time: light %.0f ms, strong %.0f ms\n", cpuLight * 1e3, cpuStrong * 1e3);
    std::printf("  XChaCha20-Poly1305 alone, in memory            %8.0f ms  (%.2fx the light encryption)\n",
                cipherAlone * 1e3, cipherAlone / bestLight);
    std::printf("  light decryption                               %8.0f ms\n", bestLightBack * 1e3);
    std::printf("  strong decryption, key derived                 %8.0f ms\n", bestStrongBack * 1e3);
    std::printf("strong vs light decryption: %.2fx the time\n", bestStrongBack / bestLightBack);
    std::printf("strong vs light: %.2fx the time (target <= 1.5)\n", bestStrong / bestLight);
    std::printf("murkglass-crypt --strong peak RSS: %.1f MiB (target < %.0f: derivation + 32)\n", peakKiB / 1024.0,
                deriveMiB + 32);
    return bestStrong / bestLight <= 1.5 && peakKiB / 1024.0 < deriveMiB + 32 ? 0 : 2;
}
