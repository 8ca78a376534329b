// Reads a folder of 100,000 files through the file list's reader and times
// it side by side with `ls -U > /dev/null` on the same folder; prints the
// ratio reader / ls. Usage: bench_folder_read [file count | FOLDER] [rounds]
// A count makes a folder of that many files under $TMPDIR (else /var/tmp)
// and removes it afterwards; a FOLDER is read as it is and kept.
#include "BenchSupport.h"
#include "ui/FolderReader.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

namespace {

double Seconds(std::chrono::steady_clock::duration d)
{
    return std::chrono::duration<double>(d).count();
}

} // namespace

int main(int argc, char** argv)
{
    const bool given = argc > 1 && std::filesystem::is_directory(argv[1]);
    int count = argc > 1 && !given ? std::atoi(argv[1]) : 100000;
    int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
    std::string folder;
    if (given) {
        folder = argv[1];
    } else {
        folder = mg::bench::MakeScratchFolder("mg_bench_folder_");
        if (folder.empty())
            return 1;
        mg::bench::FillFolder(folder, count);
    }
    std::string ls = "ls -U '" + folder + "' > /dev/null";

    std::vector<double> readerTimes, lsTimes;
    std::size_t listed = 0;
    for (int r = 0; r < rounds; ++r) {
        // Every other round reads with the reader first, so neither is
        // always the one that finds the folder cached.
        double lsTime = 0, readerTime = 0;
        for (int k = 0; k < 2; ++k) {
            const auto t0 = std::chrono::steady_clock::now();
            if ((k + r) % 2 == 0) {
                if (std::system(ls.c_str()) != 0)
                    std::fprintf(stderr, "ls failed\n");
                lsTime = Seconds(std::chrono::steady_clock::now() - t0);
            } else {
                listed = mg::ReadFolderFiles(folder, "*.*").names.size();
                readerTime = Seconds(std::chrono::steady_clock::now() - t0);
            }
        }
        lsTimes.push_back(lsTime);
        readerTimes.push_back(readerTime);
        std::printf("round %d: reader %.1f ms, ls -U %.1f ms, ratio %.2f\n", r + 1, readerTimes.back() * 1e3,
                    lsTimes.back() * 1e3, readerTimes.back() / lsTimes.back());
    }
    const double reader = mg::bench::Median(readerTimes);
    const double lsTime = mg::bench::Median(lsTimes);
    std::printf("%zu files listed; median reader %.1f ms, median ls -U %.1f ms\n", listed, reader * 1e3, lsTime * 1e3);
    std::printf("ratio reader / ls -U: %.2f (target <= 2 at 1,000,000 files, <= 3 at 100,000)\n", reader / lsTime);

    if (given)
        return 0;
    std::error_code ec;
    std::filesystem::remove_all(folder, ec);
    return listed == static_cast<std::size_t>(count) ? 0 : 1;
}
