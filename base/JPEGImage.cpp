#include "base/JPEGImage.h"

#include "base/Error.h"
#include "base/SafeFile.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <climits>
#include <csetjmp>
#include <cstring>
#include <new>
#include <type_traits>

#include <jerror.h>
#include <jpeglib.h>

namespace mg {

// ---------------------------------------------------------------------------
// The libjpeg layer. Each call sequence runs in one plain function that calls
// setjmp. Everything that changes after setjmp lives in a session object that
// the caller owns and passes in by pointer, so nothing in the setjmp frame
// itself is left indeterminate by a longjmp. The session is trivially
// destructible: no C++ destructor is ever skipped.
// ---------------------------------------------------------------------------
namespace {

enum Status : int {
    kStatusOk = 0,
    kStatusLibjpeg,      // fatal libjpeg error; code holds msg_code
    kStatusTooLarge,     // over the decode budget
    kStatusTooManyScans, // more scans than the picture's limit
    kStatusNoMemory,     // our own pixel buffer could not be allocated
};

struct ErrorJump {
    jpeg_error_mgr pub; // first member: libjpeg hands back &pub
    std::jmp_buf jump;
    int status;
    int code;
    bool ranOut; // the source ran out of data and handed libjpeg a fake end marker
};

struct ScanLimit {
    jpeg_progress_mgr pub; // first member: libjpeg hands back &pub
    int maxScans;
};

extern "C" void OnFatal(j_common_ptr cinfo)
{
    auto* err = reinterpret_cast<ErrorJump*>(cinfo->err);
    err->status = kStatusLibjpeg;
    err->code = cinfo->err->msg_code;
    std::longjmp(err->jump, 1);
}

// Warnings (corrupt or short data) are counted and otherwise ignored, except
// that running out of data is remembered: libjpeg then carries on with a fake
// end marker, which inside the header stands in for bytes that are missing.
extern "C" void OnMessage(j_common_ptr cinfo, int level)
{
    if (level < 0) {
        ++cinfo->err->num_warnings;
        if (cinfo->err->msg_code == JWRN_JPEG_EOF)
            reinterpret_cast<ErrorJump*>(cinfo->err)->ranOut = true;
    }
}

extern "C" void OnOutput(j_common_ptr) {}

// Called by libjpeg before every unit of input it consumes; a stream with an
// absurd number of scans is stopped here instead of being decoded for minutes.
extern "C" void OnProgress(j_common_ptr cinfo)
{
    auto* d = reinterpret_cast<j_decompress_ptr>(cinfo);
    auto* limit = reinterpret_cast<ScanLimit*>(d->progress);
    if (d->input_scan_number > limit->maxScans) {
        auto* err = reinterpret_cast<ErrorJump*>(cinfo->err);
        err->status = kStatusTooManyScans;
        err->code = 0;
        std::longjmp(err->jump, 1);
    }
}

struct Session {
    jpeg_decompress_struct cinfo;
    ErrorJump err;
    ScanLimit scans;
    // Input: memory or stdio.
    const unsigned char* data;
    unsigned long size;
    std::FILE* file;
    // Decode request.
    int scale;
    std::uint64_t budget;
    unsigned char* (*allocate)(void* context, int width, int height);
    void* context;
    // Results.
    int width, height, components, precision, outWidth, outHeight;
    bool grayscale, progressive;
};
static_assert(std::is_trivially_destructible_v<Session>);

void InitSession(Session* s)
{
    std::memset(s, 0, sizeof *s);
    s->cinfo.err = jpeg_std_error(&s->err.pub);
    s->err.pub.error_exit = OnFatal;
    s->err.pub.emit_message = OnMessage;
    s->err.pub.output_message = OnOutput;
    s->scans.pub.progress_monitor = OnProgress;
    s->scans.maxScans = kJpegMaxScans;
}

void RecordHeader(Session* s)
{
    const jpeg_decompress_struct& c = s->cinfo;
    s->width = static_cast<int>(c.image_width);
    s->height = static_cast<int>(c.image_height);
    s->components = c.num_components;
    s->precision = c.data_precision;
    s->grayscale = c.jpeg_color_space == JCS_GRAYSCALE;
    s->progressive = c.progressive_mode || jpeg_has_multiple_scans(const_cast<j_decompress_ptr>(&c));
}

// What the frame header said, for a header that libjpeg refused only for its
// sample precision. libjpeg has read the whole header up to the first scan by
// then but has not finished its own setup, so nothing here calls into it.
void RecordUndecodableHeader(Session* s)
{
    const jpeg_decompress_struct& c = s->cinfo;
    s->width = static_cast<int>(c.image_width);
    s->height = static_cast<int>(c.image_height);
    s->components = c.num_components;
    s->precision = c.data_precision;
    s->grayscale = c.num_components == 1;
    s->progressive = c.progressive_mode;
}

// jpeg_create_decompress and the source; memory when s->file is null.
void Open(Session* s)
{
    jpeg_create_decompress(&s->cinfo);
    s->cinfo.progress = &s->scans.pub;
    if (s->file)
        jpeg_stdio_src(&s->cinfo, s->file);
    else
        jpeg_mem_src(&s->cinfo, s->data, s->size);
}

// A 12-bit JPEG is a JPEG even though this libjpeg (built for 8-bit samples)
// cannot decode it: the header check accepts it, and decoding it fails with
// libjpeg's own reason. libjpeg checks the precision once the first scan
// header has been read, so the rest of the header has been read by then.
// What libjpeg would have checked after the precision is checked here the
// same way, so garbage does not pass for a 12-bit picture.
bool TwelveBitOnly(const Session* s)
{
    const jpeg_decompress_struct& c = s->cinfo;
    if (s->err.status != kStatusLibjpeg || s->err.code != JERR_BAD_PRECISION || c.data_precision != 12)
        return false;
    if (c.image_width == 0 || c.image_height == 0 || c.num_components < 1 || c.num_components > MAX_COMPONENTS
        || c.comp_info == nullptr)
        return false;
    for (int i = 0; i < c.num_components; ++i) {
        const jpeg_component_info& comp = c.comp_info[i];
        if (comp.h_samp_factor < 1 || comp.h_samp_factor > MAX_SAMP_FACTOR || comp.v_samp_factor < 1
            || comp.v_samp_factor > MAX_SAMP_FACTOR)
            return false;
    }
    return true;
}

void ReadHeaderGuarded(Session* s)
{
    if (setjmp(s->err.jump)) {
        if (TwelveBitOnly(s)) {
            RecordUndecodableHeader(s);
            s->err.status = kStatusOk;
            s->err.code = 0;
        }
        jpeg_destroy_decompress(&s->cinfo);
        return;
    }
    Open(s);
    jpeg_read_header(&s->cinfo, TRUE);
    RecordHeader(s);
    jpeg_destroy_decompress(&s->cinfo);
}

// Memory libjpeg needs for this decode besides our output buffer: whole-image
// coefficient buffers when the stream has several scans, plus a generous
// allowance for its row buffers.
std::uint64_t LibjpegBytes(j_decompress_ptr c)
{
    std::uint64_t bytes = 0;
    if (jpeg_has_multiple_scans(c)) {
        for (int i = 0; i < c->num_components; ++i) {
            const jpeg_component_info& comp = c->comp_info[i];
            // libjpeg pads each component to whole MCUs.
            const std::uint64_t hs = std::max(comp.h_samp_factor, 1);
            const std::uint64_t vs = std::max(comp.v_samp_factor, 1);
            const std::uint64_t w = (comp.width_in_blocks + hs - 1) / hs * hs;
            const std::uint64_t h = (comp.height_in_blocks + vs - 1) / vs * vs;
            bytes += w * h * sizeof(JBLOCK);
        }
    }
    bytes += std::uint64_t(c->image_width) * std::uint64_t(c->num_components) * 64u + (1u << 20);
    return bytes;
}

void DecodeGuarded(Session* s)
{
    if (setjmp(s->err.jump)) {
        jpeg_destroy_decompress(&s->cinfo);
        return;
    }
    Open(s);
    jpeg_read_header(&s->cinfo, TRUE);
    RecordHeader(s);
    j_decompress_ptr c = &s->cinfo;
    c->scale_num = static_cast<unsigned int>(s->scale);
    c->scale_denom = 8;
    // Four-colour streams come out as CMYK and are converted below; every
    // other stream (grayscale included) is expanded to RGB by libjpeg.
    const bool cmyk = c->jpeg_color_space == JCS_CMYK || c->jpeg_color_space == JCS_YCCK;
    c->out_color_space = cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_calc_output_dimensions(c);
    s->outWidth = static_cast<int>(c->output_width);
    s->outHeight = static_cast<int>(c->output_height);

    // Large pictures are allowed fewer scans (see JpegScanLimit).
    std::uint64_t blocks = 0;
    for (int i = 0; i < c->num_components; ++i)
        blocks += std::uint64_t(c->comp_info[i].width_in_blocks) * c->comp_info[i].height_in_blocks;
    s->scans.maxScans = JpegScanLimit(blocks);

    // Refuse before anything large is allocated, libjpeg's buffers included.
    const std::uint64_t outBytes = std::uint64_t(c->output_width) * c->output_height * 3u;
    const std::uint64_t ownBytes = LibjpegBytes(c);
    if (outBytes > s->budget || ownBytes > s->budget - outBytes) {
        jpeg_destroy_decompress(c);
        s->err.status = kStatusTooLarge;
        return;
    }
    c->mem->max_memory_to_use = static_cast<long>(std::min<std::uint64_t>(s->budget - outBytes, LONG_MAX));

    unsigned char* out = s->allocate(s->context, s->outWidth, s->outHeight);
    if (!out) {
        jpeg_destroy_decompress(c);
        s->err.status = kStatusNoMemory;
        return;
    }
    jpeg_start_decompress(c);
    const std::size_t stride = std::size_t(c->output_width) * 3u;
    if (cmyk) {
        // One CMYK row at a time in libjpeg's own pool (freed with it).
        JSAMPARRAY row =
            (*c->mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(c), JPOOL_IMAGE, c->output_width * 4u, 1);
        // Adobe writes CMYK inverted, which is what nearly every such file is.
        const bool inverted = c->saw_Adobe_marker;
        while (c->output_scanline < c->output_height) {
            unsigned char* dst = out + stride * c->output_scanline;
            jpeg_read_scanlines(c, row, 1);
            const unsigned char* p = row[0];
            for (JDIMENSION x = 0; x < c->output_width; ++x, p += 4, dst += 3) {
                const unsigned k = inverted ? p[3] : 255u - p[3];
                for (int i = 0; i < 3; ++i) {
                    const unsigned v = inverted ? p[i] : 255u - p[i];
                    dst[i] = static_cast<unsigned char>(v * k / 255u);
                }
            }
        }
    } else {
        while (c->output_scanline < c->output_height) {
            JSAMPROW row = out + stride * c->output_scanline;
            jpeg_read_scanlines(c, &row, 1);
        }
    }
    jpeg_finish_decompress(c);
    jpeg_destroy_decompress(c);
}

std::string TooManyScans(int limit)
{
    return "JPEG has too many progressive scans (more than " + std::to_string(limit) + ")";
}

std::string LibjpegMessage(int code)
{
    return "JPEG error #" + std::to_string(code);
}

JpegHeader HeaderFrom(const Session& s)
{
    JpegHeader h;
    if (s.err.status == kStatusLibjpeg) {
        h.code = s.err.code;
        h.message = LibjpegMessage(s.err.code);
        return h;
    }
    // libjpeg completed the header only with its fake end marker: the data
    // ran out before the header's last bytes (the scan's table choices and
    // spectral range, say), which libjpeg does not check until it decodes.
    if (s.err.ranOut) {
        h.code = JWRN_JPEG_EOF;
        h.message = LibjpegMessage(JWRN_JPEG_EOF);
        return h;
    }
    if (s.err.status == kStatusTooManyScans) {
        h.message = TooManyScans(s.scans.maxScans);
        return h;
    }
    h.ok = true;
    h.width = s.width;
    h.height = s.height;
    h.components = s.components;
    h.precision = s.precision;
    h.grayscale = s.grayscale;
    h.progressive = s.progressive;
    return h;
}

// 0: the default. Atomic: a worker thread reading pictures ahead reads it.
std::atomic<std::uint64_t> g_budget{0};

std::uint64_t DefaultBudget()
{
    constexpr std::uint64_t cap = std::uint64_t(2) << 30;
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0)
        return cap;
    return std::min(cap, std::uint64_t(pages) * std::uint64_t(pageSize) / 4u);
}

unsigned char* AllocatePixels(void* context, int width, int height) noexcept
{
    auto* pixels = static_cast<JpegPixels*>(context);
    try {
        pixels->rgb.resize(std::size_t(width) * std::size_t(height) * 3u);
    } catch (const std::bad_alloc&) {
        return nullptr;
    } catch (const std::length_error&) {
        return nullptr;
    }
    pixels->width = width;
    pixels->height = height;
    return pixels->rgb.data();
}

std::string TooLarge(int width, int height)
{
    return "Picture too large to decode (" + std::to_string(width) + " x " + std::to_string(height) + ")";
}

} // namespace

int JpegScanLimit(std::uint64_t blocks)
{
    if (blocks == 0)
        return kJpegMaxScans;
    return static_cast<int>(std::clamp<std::uint64_t>(kJpegScanBlockBudget / blocks, kJpegMinScanLimit, kJpegMaxScans));
}

void SetJpegDecodeBudget(std::uint64_t bytes)
{
    g_budget = bytes;
}

std::uint64_t JpegDecodeBudget()
{
    const std::uint64_t budget = g_budget.load(std::memory_order_relaxed);
    return budget ? budget : DefaultBudget();
}

std::uint64_t PictureMemoryBudget()
{
    return JpegDecodeBudget();
}

std::string PictureFileTooLarge()
{
    return "Picture too large to load (file over " + std::to_string(PictureMemoryBudget() >> 20) + " MB)";
}

std::string PictureTooLargeToDecode(int width, int height)
{
    return TooLarge(width, height);
}

JpegHeader ReadJpegHeader(const std::uint8_t* data, std::size_t size)
{
    Session s;
    InitSession(&s);
    s.data = data;
    s.size = static_cast<unsigned long>(size);
    ReadHeaderGuarded(&s);
    return HeaderFrom(s);
}

JpegHeader CheckJpegPrefix(const std::uint8_t* data, std::size_t size, bool complete, bool& needMore)
{
    Session s;
    InitSession(&s);
    s.data = data;
    s.size = static_cast<unsigned long>(size);
    ReadHeaderGuarded(&s);
    // Whatever libjpeg concluded from a prefix it read past the end of, it
    // concluded from the fake end marker its source inserts: only the whole
    // stream can decide then.
    needMore = !complete && s.err.ranOut;
    return HeaderFrom(s);
}

JpegHeader ReadJpegHeader(std::FILE* file)
{
    Session s;
    InitSession(&s);
    s.file = file;
    ReadHeaderGuarded(&s);
    return HeaderFrom(s);
}

// ---------------------------------------------------------------------------
// The picture.
// ---------------------------------------------------------------------------
struct TJPEGImage::Data {
    std::vector<std::uint8_t> bytes; // never changed after loading
    JpegHeader header;
    // Decoded pixels per scale (index n for n/8). Filled on first use; all
    // copies of the picture share them.
    mutable std::array<std::shared_ptr<const JpegPixels>, 9> decoded;
};

TJPEGImage::TJPEGImage() : d_(std::make_shared<Data>()) {}
TJPEGImage::~TJPEGImage() = default;
TJPEGImage::TJPEGImage(const TJPEGImage&) = default;
TJPEGImage& TJPEGImage::operator=(const TJPEGImage&) = default;

void TJPEGImage::LoadFromBytes(const std::uint8_t* data, std::size_t size)
{
    LoadFromBytes(std::vector<std::uint8_t>(data, data + size));
}

void TJPEGImage::LoadFromBytes(std::vector<std::uint8_t>&& bytes)
{
    auto fresh = std::make_shared<Data>();
    fresh->bytes = std::move(bytes);
    if (!fresh->bytes.empty()) {
        fresh->header = ReadJpegHeader(fresh->bytes.data(), fresh->bytes.size());
        if (!fresh->header.ok)
            throw Error(fresh->header.message);
    }
    d_ = std::move(fresh);
}

void TJPEGImage::LoadFromFile(const std::string& path)
{
    LoadFromBytes(ReadWholeFile(path, PictureMemoryBudget(), PictureFileTooLarge()));
}

void TJPEGImage::SaveToFile(const std::string& path) const
{
    // Temporary file beside the destination, flushed and renamed over it, so
    // a failure leaves an existing file unchanged and no partial file behind.
    if (const int error = WriteFileSafely(path, d_->bytes.data(), d_->bytes.size()))
        ThrowFileError(error);
}

bool TJPEGImage::Empty() const
{
    return d_->bytes.empty();
}
int TJPEGImage::Width() const
{
    return d_->header.width;
}
int TJPEGImage::Height() const
{
    return d_->header.height;
}
bool TJPEGImage::Grayscale() const
{
    return d_->header.grayscale;
}
bool TJPEGImage::ProgressiveEncoding() const
{
    return d_->header.progressive;
}
const std::vector<std::uint8_t>& TJPEGImage::Bytes() const
{
    return d_->bytes;
}

int TJPEGImage::ScaleFor(int targetWidth, int targetHeight) const
{
    const std::int64_t w = Width();
    const std::int64_t h = Height();
    if (targetWidth <= 0 || targetHeight <= 0 || w <= 0 || h <= 0)
        return 8;
    for (int n = 1; n < 8; ++n) {
        // libjpeg's output size at n/8 rounds up.
        const std::int64_t ow = (w * n + 7) / 8;
        const std::int64_t oh = (h * n + 7) / 8;
        if (ow >= targetWidth && oh >= targetHeight)
            return n;
    }
    return 8;
}

std::shared_ptr<const JpegPixels> TJPEGImage::Decode(int scaleEighths) const
{
    const int scale = std::clamp(scaleEighths, 1, 8);
    if (auto cached = d_->decoded[static_cast<std::size_t>(scale)])
        return cached;
    auto pixels = std::make_shared<JpegPixels>();
    if (d_->bytes.empty())
        return pixels;
    Session s;
    InitSession(&s);
    s.data = d_->bytes.data();
    s.size = static_cast<unsigned long>(d_->bytes.size());
    s.scale = scale;
    s.budget = JpegDecodeBudget();
    s.allocate = AllocatePixels;
    s.context = pixels.get();
    DecodeGuarded(&s);
    switch (s.err.status) {
    case kStatusOk:
        break;
    case kStatusLibjpeg:
        throw Error(LibjpegMessage(s.err.code));
    case kStatusTooManyScans:
        throw Error(TooManyScans(s.scans.maxScans));
    default:
        throw Error(TooLarge(s.width, s.height));
    }
    d_->decoded[static_cast<std::size_t>(scale)] = pixels;
    return pixels;
}

} // namespace mg
