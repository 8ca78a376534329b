// How long the metafile helper takes on metafiles of clip-art and drawing
// complexity (polygons, outlines and text in many colours), against a
// metafile of one rectangle, which is the cost of starting the confined
// helper at all. The wall-clock limit must leave a wide margin over the
// largest of these. Prints medians and ratios measured in one run.
#include "ByteWriter.h"
#include "base/Error.h"
#include "ui/Graphics.h"
#include "ui/MetafileClient.h"
#include "ui/MetafileSandbox.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <sys/resource.h>
#include <utility>
#include <vector>

namespace {

// A star-like polygon of n points around (cx, cy).
std::vector<std::pair<int, int>> Shape(int cx, int cy, int radius, int n, int seed)
{
    std::vector<std::pair<int, int>> points;
    for (int i = 0; i < n; ++i) {
        const double a = 6.2831853 * i / n;
        const int r = radius * (i % 2 ? 5 : 10) / 10 + (seed * 7 + i * 13) % 5;
        points.push_back({cx + int(r * std::cos(a)), cy + int(r * std::sin(a))});
    }
    return points;
}

// A placeable WMF of 1000 x 800 pixels: shapes filled in changing colours,
// and a line of text every tenth shape.
std::vector<std::uint8_t> Wmf(int shapes, int points)
{
    mg::test::ByteWriter r;
    auto record = [&](unsigned function, std::initializer_list<int> params) {
        r.u32(3 + std::uint32_t(params.size()));
        r.u16(function);
        for (int p : params)
            r.u16(unsigned(p) & 0xffff);
    };
    record(0x020B, {0, 0});
    record(0x020C, {800, 1000});
    // Font in slot 0: 14 pixels, Helvetica.
    r.u32(3 + 9 + 16);
    r.u16(0x02FB);
    for (int v : {-14, 0, 0, 0, 400})
        r.u16(unsigned(v) & 0xffff);
    r.u16(0);
    r.u16(0);
    r.u16(0);
    r.u16(0); // italic..pitch bytes
    const char face[32] = "Helvetica";
    for (int i = 0; i < 32; i += 2)
        r.u16(unsigned(std::uint8_t(face[i])) | unsigned(std::uint8_t(face[i + 1])) << 8);
    record(0x012D, {0});
    for (int s = 0; s < shapes; ++s) {
        // Brush in slot 1, selected, drawn, deleted.
        r.u32(7);
        r.u16(0x02FC);
        r.u16(0);
        r.u32(std::uint32_t((s * 40503u) & 0xffffff));
        r.u16(0);
        record(0x012D, {1});
        const auto shape = Shape(50 + (s * 37) % 900, 50 + (s * 53) % 700, 10 + s % 40, points, s);
        r.u32(3 + 1 + 2 * std::uint32_t(shape.size()));
        r.u16(0x0324);
        r.u16(unsigned(shape.size()));
        for (const auto& [x, y] : shape) {
            r.u16(unsigned(x));
            r.u16(unsigned(y));
        }
        record(0x01F0, {1});
        if (s % 10 == 0) {
            const char text[] = "Quarterly figures 2026"; // 22 characters, even
            r.u32(3 + 1 + 11 + 2);
            r.u16(0x0521);
            r.u16(22);
            for (int i = 0; i < 22; i += 2)
                r.u16(unsigned(std::uint8_t(text[i])) | unsigned(std::uint8_t(text[i + 1])) << 8);
            r.u16(unsigned(20 + (s * 29) % 760));
            r.u16(unsigned(20 + (s * 31) % 800));
        }
    }
    record(0x0000, {});

    return mg::test::PlaceableWmf(1000, 800, 2, std::uint32_t(std::max(3 + 9 + 16, 3 + 1 + 2 * points)), r.bytes);
}

// An EMF of 1000 x 800 pixels with the same shapes as 16-bit polygons.
std::vector<std::uint8_t> Emf(int shapes, int points)
{
    mg::test::ByteWriter r;
    std::uint32_t count = 1;
    for (int s = 0; s < shapes; ++s) {
        r.u32(39);
        r.u32(24);
        r.u32(1);
        r.u32(0);
        r.u32(std::uint32_t((s * 40503u) & 0xffffff));
        r.u32(0);
        r.u32(37);
        r.u32(12);
        r.u32(1);
        const auto shape = Shape(50 + (s * 37) % 900, 50 + (s * 53) % 700, 10 + s % 40, points, s);
        r.u32(86);
        r.u32(28 + 4 * std::uint32_t(shape.size()));
        r.i32(0);
        r.i32(0);
        r.i32(1000);
        r.i32(800);
        r.u32(std::uint32_t(shape.size()));
        for (const auto& [x, y] : shape) {
            r.u16(unsigned(x));
            r.u16(unsigned(y));
        }
        r.u32(40);
        r.u32(12);
        r.u32(1); // DELETEOBJECT
        count += 4;
    }
    r.u32(14);
    r.u32(20);
    r.u32(0);
    r.u32(16);
    r.u32(20);
    ++count;

    mg::test::ByteWriter f;
    f.u32(1);
    f.u32(108);
    f.i32(0);
    f.i32(0);
    f.i32(999);
    f.i32(799);
    f.i32(0);
    f.i32(0);
    f.i32(1000 * 2540 / 96);
    f.i32(800 * 2540 / 96);
    f.u32(0x464D4520);
    f.u32(0x10000);
    f.u32(std::uint32_t(108 + r.bytes.size()));
    f.u32(count);
    f.u16(2);
    f.u16(0);
    f.u32(0);
    f.u32(0);
    f.u32(0);
    f.i32(1024);
    f.i32(768);
    f.i32(271);
    f.i32(203);
    f.u32(0);
    f.u32(0);
    f.u32(0);
    f.i32(270933);
    f.i32(203200);
    f.bytes.insert(f.bytes.end(), r.bytes.begin(), r.bytes.end());
    return f.bytes;
}

double CpuMs(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3
           + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

// Medians of the wall-clock time and of the processor time of this process
// and its helpers (which a busy machine does not inflate).
std::pair<double, double> MedianMs(const std::function<void()>& run, int rounds)
{
    std::vector<double> wall, cpu;
    for (int i = 0; i < rounds; ++i) {
        const double before = CpuMs(RUSAGE_SELF) + CpuMs(RUSAGE_CHILDREN);
        QElapsedTimer timer;
        timer.start();
        run();
        wall.push_back(timer.nsecsElapsed() / 1e6);
        cpu.push_back(CpuMs(RUSAGE_SELF) + CpuMs(RUSAGE_CHILDREN) - before);
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    return {wall[wall.size() / 2], cpu[cpu.size() / 2]};
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    struct Case {
        const char* name;
        mg::MetafileKind kind;
        std::vector<std::uint8_t> bytes;
    };
    const std::vector<Case> cases = {
        {"WMF, one rectangle (baseline)", mg::MetafileKind::Wmf, Wmf(1, 4)},
        {"WMF, icon: 50 shapes", mg::MetafileKind::Wmf, Wmf(50, 12)},
        {"WMF, clip art: 2,000 shapes", mg::MetafileKind::Wmf, Wmf(2000, 24)},
        {"WMF, drawing: 20,000 shapes", mg::MetafileKind::Wmf, Wmf(20000, 24)},
        {"EMF, clip art: 2,000 shapes", mg::MetafileKind::Emf, Emf(2000, 24)},
        {"EMF, drawing: 20,000 shapes", mg::MetafileKind::Emf, Emf(20000, 24)},
    };
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    // A folder as the second argument gets the metafiles, to try elsewhere.
    if (argc > 2)
        for (std::size_t i = 0; i < cases.size(); ++i) {
            const std::string path = std::string(argv[2]) + "/bench" + std::to_string(i)
                                     + (cases[i].kind == mg::MetafileKind::Wmf ? ".wmf" : ".emf");
            if (std::FILE* file = std::fopen(path.c_str(), "wb")) {
                std::fwrite(cases[i].bytes.data(), 1, cases[i].bytes.size(), file);
                std::fclose(file);
            }
        }
    double baseline = 0;
    std::printf("%-32s %9s %8s %8s %10s %9s\n", "metafile", "bytes", "wall ms", "cpu ms", "x baseline", "of limit");
    mg::SetMetafileTimeout(60000); // measured, not cut short
    for (const Case& c : cases) {
        auto load = [&] {
            try {
                mg::TMetafile picture(c.kind);
                picture.LoadFromBytes(c.bytes);
            } catch (const mg::Error& error) {
                std::printf("  %s: %s\n", c.name, error.what());
            }
        };
        const double ms = MedianMs(load, rounds).first;
        // The processor time of a helper inside bubblewrap is not counted
        // as this process's children's, so that is measured without it.
        mg::SetBubblewrapProgram("");
        const double cpu = MedianMs(load, rounds).second;
        mg::SetBubblewrapProgram(QString());
        if (baseline == 0)
            baseline = ms;
        std::printf("%-32s %9zu %8.1f %8.1f %10.2f %8.1f%%\n", c.name, c.bytes.size(), ms, cpu, ms / baseline,
                    100.0 * ms / mg::kMetafileTimeLimitMs);
    }
    return 0;
}
