#include "TestJpeg.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <initializer_list>
#include <iterator>
#include <stdexcept>

#include <jpeglib.h>

namespace mg::test {

std::uint8_t PatternRed(int x, int width)
{
    return width > 1 ? static_cast<std::uint8_t>(x * 255 / (width - 1)) : 0;
}

std::uint8_t PatternGreen(int y, int height)
{
    return height > 1 ? static_cast<std::uint8_t>(y * 255 / (height - 1)) : 0;
}

std::uint8_t PatternGray(int x, int y, int width, int height)
{
    return static_cast<std::uint8_t>((PatternRed(x, width) + PatternGreen(y, height)) / 2);
}

namespace {

struct ErrorJump {
    jpeg_error_mgr pub;
    std::jmp_buf jump;
};

void OnError(j_common_ptr cinfo)
{
    std::longjmp(reinterpret_cast<ErrorJump*>(cinfo->err)->jump, 1);
}

void Silent(j_common_ptr) {}

// Plain C frame: everything that may longjmp stays in here. Returns false
// when libjpeg failed. *out/*outSize receive a malloc'd buffer.
enum class Colours { Rgb, Gray, Cmyk, CmykNoAdobe };

// Entropy coding and restart markers beyond the defaults.
struct Coding {
    bool arithmetic = false;
    int restartRows = 0; // a restart marker every that many MCU rows; 0: none
};

bool Compress(int width, int height, Colours colours, bool progressive, int quality, const unsigned char* pixels,
              unsigned char** out, unsigned long* outSize, Coding coding = {})
{
    jpeg_compress_struct cinfo;
    ErrorJump err;
    cinfo.err = jpeg_std_error(&err.pub);
    err.pub.error_exit = OnError;
    err.pub.output_message = Silent;
    *out = nullptr;
    *outSize = 0;
    if (setjmp(err.jump)) {
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, out, outSize);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    const bool gray = colours == Colours::Gray;
    const bool cmyk = colours == Colours::Cmyk || colours == Colours::CmykNoAdobe;
    cinfo.input_components = gray ? 1 : cmyk ? 4 : 3;
    cinfo.in_color_space = gray ? JCS_GRAYSCALE : cmyk ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    if (cmyk) {
        jpeg_set_colorspace(&cinfo, JCS_CMYK);
        cinfo.write_Adobe_marker = colours == Colours::Cmyk;
    }
    jpeg_set_quality(&cinfo, quality, TRUE);
    if (progressive)
        jpeg_simple_progression(&cinfo);
    cinfo.arith_code = coding.arithmetic;
    cinfo.restart_in_rows = coding.restartRows;
    jpeg_start_compress(&cinfo, TRUE);
    const int stride = width * cinfo.input_components;
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPROW>(pixels + static_cast<size_t>(cinfo.next_scanline) * stride);
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

} // namespace

namespace {

std::vector<unsigned char> PatternPixels(int width, int height, bool gray)
{
    const int comps = gray ? 1 : 3;
    std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * comps);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            unsigned char* p = &pixels[(static_cast<size_t>(y) * width + x) * comps];
            if (gray) {
                p[0] = PatternGray(x, y, width, height);
            } else {
                p[0] = PatternRed(x, width);
                p[1] = PatternGreen(y, height);
                p[2] = kPatternBlue;
            }
        }
    }
    return pixels;
}

std::vector<std::uint8_t> CompressPattern(int width, int height, bool gray, bool progressive, int quality,
                                          Coding coding)
{
    if (width <= 0 || height <= 0)
        throw std::runtime_error("MakeJpeg: size must be positive");
    const std::vector<unsigned char> pixels = PatternPixels(width, height, gray);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const bool ok = Compress(width, height, gray ? Colours::Gray : Colours::Rgb, progressive, quality, pixels.data(),
                             &buffer, &size, coding);
    std::vector<std::uint8_t> result;
    if (ok && buffer)
        result.assign(buffer, buffer + size);
    std::free(buffer);
    if (!ok)
        throw std::runtime_error("MakeJpeg: libjpeg refused to compress");
    return result;
}

} // namespace

std::vector<std::uint8_t> MakeJpeg(int width, int height, bool gray, bool progressive, int quality)
{
    return CompressPattern(width, height, gray, progressive, quality, {});
}

std::vector<std::uint8_t> MakeJpegEncoded(JpegEncoding encoding, int width, int height)
{
    switch (encoding) {
    case JpegEncoding::Baseline:
        return CompressPattern(width, height, false, false, 85, {});
    case JpegEncoding::Progressive:
        return CompressPattern(width, height, false, true, 85, {});
    case JpegEncoding::Arithmetic:
        return CompressPattern(width, height, false, false, 85, {true, 0});
    case JpegEncoding::RestartMarkers:
        return CompressPattern(width, height, false, false, 85, {false, 1});
    case JpegEncoding::Grayscale:
        return CompressPattern(width, height, true, false, 85, {});
    case JpegEncoding::Cmyk:
        return MakeCmykJpeg(width, height, true);
    }
    throw std::runtime_error("MakeJpegEncoded: unknown encoding");
}

std::vector<std::uint8_t> WithTwelveBitPrecision(std::vector<std::uint8_t> jpeg)
{
    for (std::size_t i = 0; i + 4 < jpeg.size(); ++i) {
        if (jpeg[i] != 0xFF || (jpeg[i + 1] != 0xC0 && jpeg[i + 1] != 0xC2))
            continue;
        if (jpeg[i + 1] == 0xC0)
            jpeg[i + 1] = 0xC1; // baseline allows 8 bits only; extended sequential
        jpeg[i + 4] = 12;       // FF Cn, length (2), precision
        return jpeg;
    }
    throw std::runtime_error("WithTwelveBitPrecision: no frame header");
}

std::vector<std::uint8_t> MakeCmykJpeg(int width, int height, bool adobe)
{
    if (width <= 0 || height <= 0)
        throw std::runtime_error("MakeCmykJpeg: size must be positive");
    std::vector<unsigned char> pixels(static_cast<size_t>(width) * height * 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            unsigned char* p = &pixels[(static_cast<size_t>(y) * width + x) * 4];
            const unsigned char rgb[3] = {PatternRed(x, width), PatternGreen(y, height), kPatternBlue};
            // Adobe stores inverted inks (255 = no ink): C' = R, K' = 255.
            for (int i = 0; i < 3; ++i)
                p[i] = adobe ? rgb[i] : static_cast<unsigned char>(255 - rgb[i]);
            p[3] = adobe ? 255 : 0;
        }
    }
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    const bool ok =
        Compress(width, height, adobe ? Colours::Cmyk : Colours::CmykNoAdobe, false, 95, pixels.data(), &buffer, &size);
    std::vector<std::uint8_t> result;
    if (ok && buffer)
        result.assign(buffer, buffer + size);
    std::free(buffer);
    if (!ok)
        throw std::runtime_error("MakeCmykJpeg: libjpeg refused to compress");
    return result;
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out)
        throw std::runtime_error("WriteFile: cannot write " + path);
}

std::vector<std::uint8_t> ReadFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("ReadFile: cannot open " + path);
    std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw std::runtime_error("ReadFile: cannot read " + path);
    return bytes;
}

std::vector<std::uint8_t> WithExifOrientation(const std::vector<std::uint8_t>& jpeg, int orientation, bool littleEndian)
{
    if (jpeg.size() < 2)
        throw std::runtime_error("not a JPEG");
    std::vector<std::uint8_t> tiff;
    auto put16 = [&](unsigned v) {
        const std::uint8_t hi = std::uint8_t(v >> 8), lo = std::uint8_t(v);
        tiff.insert(tiff.end(), littleEndian ? std::initializer_list<std::uint8_t>{lo, hi}
                                             : std::initializer_list<std::uint8_t>{hi, lo});
    };
    auto put32 = [&](unsigned v) {
        if (littleEndian) {
            put16(v & 0xFFFF);
            put16(v >> 16);
        } else {
            put16(v >> 16);
            put16(v & 0xFFFF);
        }
    };
    tiff.push_back(littleEndian ? 'I' : 'M');
    tiff.push_back(littleEndian ? 'I' : 'M');
    put16(42);
    put32(8);      // the first directory follows the header
    put16(1);      // one entry
    put16(0x0112); // Orientation
    put16(3);      // SHORT
    put32(1);      // one value, stored in the entry itself
    put16(unsigned(orientation));
    put16(0);
    put32(0); // no next directory
    static const char kExif[6] = {'E', 'x', 'i', 'f', 0, 0};
    const std::size_t length = 2 + sizeof kExif + tiff.size();
    std::vector<std::uint8_t> out(jpeg.begin(), jpeg.begin() + 2);
    out.insert(out.end(), {0xFF, 0xE1, std::uint8_t(length >> 8), std::uint8_t(length)});
    out.insert(out.end(), kExif, kExif + sizeof kExif);
    out.insert(out.end(), tiff.begin(), tiff.end());
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

} // namespace mg::test
