// murkglass-metafile: turns one WMF or EMF metafile, read from standard
// input, into SVG on standard output. The viewer runs it as a separate,
// short-lived process because the metafile libraries have a history of
// memory-safety faults: whatever they do to this process, the viewer only
// sees a failed load. Usage: murkglass-metafile wmf|emf
#include "Convert.h"
#include "ui/MetafileClient.h"

#include <QByteArray>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QSvgRenderer>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <sys/resource.h>
#include <unistd.h>

#if defined(__has_feature)
#if __has_feature(address_sanitizer)
#define MG_UNDER_ASAN 1
#endif
#endif
#if defined(__SANITIZE_ADDRESS__)
#define MG_UNDER_ASAN 1
#endif

namespace {

constexpr std::size_t kMaxInput = 64u << 20; // 64 MiB of metafile
constexpr int kCheckSide = 256;              // the largest side of the trial drawing

void SetLimit(int resource, rlim_t value)
{
    rlimit limit{value, value};
    setrlimit(resource, &limit);
}

void LimitResources()
{
#ifndef MG_UNDER_ASAN
    // The address sanitizer reserves terabytes of address space up front, so
    // the memory limit applies only to ordinary builds.
    SetLimit(RLIMIT_AS, rlim_t(768) << 20);
#endif
    // Processor seconds, rounded up from the viewer's wall-clock limit.
    SetLimit(RLIMIT_CPU, rlim_t(mg::kMetafileTimeLimitMs + 999) / 1000);
    SetLimit(RLIMIT_CORE, 0);
    // Room for the largest answer, should standard output be a file.
    SetLimit(RLIMIT_FSIZE, rlim_t(mg::kMetafileMaxSvg) + 4096);
}

bool ReadAll(int fd, std::vector<unsigned char>& data)
{
    unsigned char buffer[65536];
    for (;;) {
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        if (data.size() + std::size_t(got) > kMaxInput)
            return false;
        data.insert(data.end(), buffer, buffer + got);
    }
}

bool WriteAll(int fd, const void* data, std::size_t size)
{
    const char* p = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t put = write(fd, p, size);
        if (put <= 0)
            return false;
        p += put;
        size -= std::size_t(put);
    }
    return true;
}

int Clamp(double value, int high)
{
    if (!(value >= 1))
        return 1;
    return value > high ? high : int(std::lround(value));
}

// An enhanced metafile's size is its picture frame (the header's rclFrame,
// in hundredths of a millimetre) at 96 pixels per inch.
QSizeF EmfFrameSize(const std::vector<unsigned char>& data)
{
    if (data.size() < 40)
        return {};
    std::int32_t frame[4];
    std::memcpy(frame, data.data() + 24, sizeof frame);
    const double w = (double(frame[2]) - frame[0]) * 96.0 / 2540.0;
    const double h = (double(frame[3]) - frame[1]) * 96.0 / 2540.0;
    return QSizeF(w, h);
}

} // namespace

int main(int argc, char** argv)
{
    LimitResources();
    if (argc != 2 || (std::strcmp(argv[1], "wmf") != 0 && std::strcmp(argv[1], "emf") != 0))
        return 2;
    const bool wmf = std::strcmp(argv[1], "wmf") == 0;

    // Standard output carries the answer only: keep a private copy of it and
    // point descriptor 1 at standard error, so that any library chatter
    // cannot corrupt the answer.
    const int out = dup(STDOUT_FILENO);
    if (out < 0 || dup2(STDERR_FILENO, STDOUT_FILENO) < 0)
        return 3;

    // Qt first, before a byte of the metafile is read: the magic word on
    // standard output tells the viewer that the renderer started, so a
    // failure after it is the file's and a failure before it is ours.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    int qtArgc = 1;
    QGuiApplication app(qtArgc, argv);
    if (!WriteAll(out, &mg::kMetafileMagic, sizeof mg::kMetafileMagic))
        return 9;

    std::vector<unsigned char> data;
    if (!ReadAll(STDIN_FILENO, data) || data.empty())
        return 4;

    std::string svg;
    unsigned wmfWidth = 0, wmfHeight = 0;
    if (wmf ? !mgmeta::WmfToSvg(data, svg, wmfWidth, wmfHeight) : !mgmeta::EmfToSvg(data, svg)) {
        // libwmf refuses every file, good or not, when it finds no fonts: a
        // metafile of our own that it also refuses shows which case this is.
        if (!mgmeta::RendererWorks(wmf))
            return mg::kMetafileExitRendererBroken;
        return 5;
    }

    QSvgRenderer renderer(QByteArray::fromRawData(svg.data(), qsizetype(svg.size())));
    if (!renderer.isValid())
        return 6;
    QSizeF natural = renderer.defaultSize();
    if (wmf && wmfWidth > 0 && wmfHeight > 0)
        natural = QSizeF(wmfWidth, wmfHeight);
    if (!wmf) {
        const QSizeF frame = EmfFrameSize(data);
        if (frame.width() >= 1 && frame.height() >= 1)
            natural = frame;
    }
    if (natural.width() < 1 || natural.height() < 1) {
        const QRectF box = renderer.viewBoxF();
        natural = box.size();
    }
    if (!(natural.width() >= 0.5) || !(natural.height() >= 0.5))
        return 7;
    const int naturalW = Clamp(natural.width(), mg::kMetafileMaxNatural);
    const int naturalH = Clamp(natural.height(), mg::kMetafileMaxNatural);

    // The viewer draws the vectors at whatever size it shows them. Drawing
    // them once here, under this process's limits, keeps a picture that
    // takes Qt SVG too long or too much memory out of the viewer. Small, as
    // the cost that depends on the file is per shape; the cost per pixel is
    // the viewer's, as for any picture it shows.
    const double shrink = std::min(1.0, double(kCheckSide) / std::max(naturalW, naturalH));
    const int w = Clamp(naturalW * shrink, kCheckSide);
    const int h = Clamp(naturalH * shrink, kCheckSide);
    QImage image(w, h, QImage::Format_ARGB32_Premultiplied);
    if (image.isNull())
        return 8;
    image.fill(Qt::white);
    {
        QPainter painter(&image);
        renderer.render(&painter, QRectF(0, 0, w, h));
    }

    if (svg.size() > mg::kMetafileMaxSvg)
        return 8;
    const std::uint32_t header[mg::kMetafileHeaderWords - 1] = {mg::kMetafileVersion, std::uint32_t(naturalW),
                                                                std::uint32_t(naturalH), std::uint32_t(svg.size())};
    if (!WriteAll(out, header, sizeof header) || !WriteAll(out, svg.data(), svg.size()))
        return 9;
    close(out);
    // Skip every destructor and exit handler: the answer is written, and a
    // library's teardown has nothing left to add.
    _exit(0);
}
