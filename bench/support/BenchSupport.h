#pragma once
// Helpers the benchmarks share, so each benchmark keeps only what it
// measures. Not for production code.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace mg::bench {

// The middle value (the upper one of an even count); 0 for none.
double Median(std::vector<double> v);

// Wall time of one run of work, in milliseconds, on the monotonic clock.
double TimeOnceMs(const std::function<void()>& work);

// A photo-like picture: a smooth gradient with fine grain, so the file has
// the entropy of a camera's photograph and the Huffman decoding is as real a
// share of the work. The same seed every time, so runs compare.
std::vector<std::uint8_t> PhotoLikeJpeg(int width, int height, int quality = 90);

// The viewer's baseline: a plain full-size libjpeg decode row by row into
// one reused row buffer, as `djpeg > /dev/null` does. Filling a fresh buffer
// of the whole picture would add page faults to the baseline only and make
// the display look faster than it is.
void PlainDecode(const std::vector<std::uint8_t>& bytes);

// A child program run to its end: wall time from the fork, peak resident
// size, and whether it exited with 0.
struct ChildRun {
    double seconds = 0;
    long maxRssKiB = 0;
    bool ok = false;
};
// Runs argv (looked up on PATH when it has no slash) and waits for it.
ChildRun RunChild(const std::vector<std::string>& argv);

// Writes all size bytes to fd, going on after short writes; false on an
// error or a write of nothing.
bool WriteAll(int fd, const unsigned char* data, std::size_t size);

// Writes size bytes of noise from a linear congruential generator started at
// seed, 1 MiB repeated, with head (if any) over the start of every MiB, and
// flushes the file to disk. Returns false when any step fails.
bool MakeNoiseFile(const std::string& path, std::size_t size, std::uint32_t seed = 1,
                   const std::vector<std::uint8_t>& head = {});

// A fresh folder named prefix plus a unique suffix under $TMPDIR (else
// /var/tmp); empty (and the reason on stderr) when it cannot be made.
std::string MakeScratchFolder(const std::string& prefix);

// Fills folder with count empty files of mixed-case names and extensions
// (Pic/pic, jpg/JPG) in scrambled order, so a mask and a sort both have work
// to do. Exits with the reason when a file cannot be made.
void FillFolder(const std::string& folder, int count);

} // namespace mg::bench
