#include "BenchSupport.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <jpeglib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace mg::bench {

bool WriteAll(int fd, const unsigned char* data, std::size_t size)
{
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n <= 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

double Median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

double TimeOnceMs(const std::function<void()>& work)
{
    const auto start = std::chrono::steady_clock::now();
    work();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}

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

ChildRun RunChild(const std::vector<std::string>& argv)
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
    if (pid < 0)
        return {};
    int status = 0;
    rusage usage{};
    const bool waited = ::wait4(pid, &status, 0, &usage) == pid;
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return {took.count(), usage.ru_maxrss, waited && WIFEXITED(status) && WEXITSTATUS(status) == 0};
}

bool MakeNoiseFile(const std::string& path, std::size_t size, std::uint32_t seed, const std::vector<std::uint8_t>& head)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    std::vector<unsigned char> chunk(1 << 20);
    std::uint32_t x = seed;
    for (auto& b : chunk)
        b = static_cast<unsigned char>((x = x * 1664525u + 1013904223u) >> 24);
    std::copy_n(head.begin(), std::min(head.size(), chunk.size()), chunk.begin());
    bool ok = true;
    for (std::size_t done = 0; ok && done < size; done += chunk.size())
        ok = WriteAll(fd, chunk.data(), std::min(chunk.size(), size - done));
    ok = ok && ::fsync(fd) == 0;
    return ::close(fd) == 0 && ok;
}

std::string MakeScratchFolder(const std::string& prefix)
{
    const char* tmp = std::getenv("TMPDIR");
    std::string pattern = std::string(tmp && *tmp ? tmp : "/var/tmp") + "/" + prefix + "XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        std::perror("mkdtemp");
        return {};
    }
    return pattern;
}

void FillFolder(const std::string& folder, int count)
{
    for (int i = 0; i < count; ++i) {
        char name[64];
        // 64-bit product: i * 7919 passes INT_MAX from about 271,000 files.
        std::snprintf(name, sizeof name, "%s%06lld.%s%d", (i % 3 == 0) ? "Pic" : "pic",
                      (static_cast<long long>(i) * 7919) % count, (i % 2 == 0) ? "jpg" : "JPG", i);
        const std::string path = folder + "/" + name;
        const int fd = ::open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0644);
        if (fd < 0) {
            std::perror(path.c_str());
            std::exit(1);
        }
        ::close(fd);
    }
}

} // namespace mg::bench
