// murkglass-crypt over many files: one run per file against one run over
// all of them into a destination folder, alternating which goes first.
// Prints the ratio of medians. Usage: bench_crypt_many [FILES [KIB [ROUNDS]]]
// (defaults 200, 64, 5), in a temporary folder under /tmp.
#include "BenchSupport.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

using mg::bench::Median;

int main(int argc, char** argv)
{
    const int files = argc > 1 ? std::atoi(argv[1]) : 200;
    const int kib = argc > 2 ? std::atoi(argv[2]) : 64;
    const int rounds = argc > 3 ? std::atoi(argv[3]) : 5;
    char pattern[] = "/tmp/mg_bench_many_XXXXXX";
    if (!::mkdtemp(pattern))
        return 1;
    const std::string root = pattern;
    std::filesystem::create_directory(root + "/out");
    std::ofstream(root + "/pass") << "secret\n";
    std::vector<std::string> names;
    const std::string block(std::size_t(kib) << 10, 'x');
    for (int i = 0; i < files; ++i) {
        names.push_back(root + "/f" + std::to_string(i) + ".jpg");
        std::ofstream(names.back(), std::ios::binary) << block;
    }
    const std::string crypt = MURKGLASS_CRYPT_PATH;
    const auto seconds = [](auto start) {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    };
    std::vector<double> single, together;
    bool ok = true;
    for (int r = 0; r < rounds; ++r) {
        for (int k = 0; k < 2; ++k) {
            const auto start = std::chrono::steady_clock::now();
            if ((k + r) % 2 == 0) {
                for (const std::string& name : names)
                    ok = mg::bench::RunChild(
                             {crypt, "encrypt", name, root + "/out", "--passphrase-file", root + "/pass"})
                             .ok
                         && ok;
                single.push_back(seconds(start));
            } else {
                std::vector<std::string> args{crypt, "encrypt"};
                args.insert(args.end(), names.begin(), names.end());
                args.insert(args.end(), {root + "/out", "--passphrase-file", root + "/pass"});
                ok = mg::bench::RunChild(args).ok && ok;
                together.push_back(seconds(start));
            }
        }
        std::printf("round %d: %d runs %.3f s, one run %.3f s, ratio %.2f\n", r + 1, files, single.back(),
                    together.back(), together.back() / single.back());
    }
    std::printf("%d files of %d KiB; median one run / one run per file: %.2f\n", files, kib,
                Median(together) / Median(single));
    std::error_code ec;
    std::filesystem::remove_all(root, ec);
    return ok ? 0 : 1;
}
