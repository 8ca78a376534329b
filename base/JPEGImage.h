#pragma once
// TJPEGImage: a JPEG picture held as its file's bytes, unchanged. Loading
// parses just the header; the pixels are decoded the first time they are
// asked for, and saving writes the same bytes back.
// Built directly on libjpeg; every libjpeg call sequence runs inside one plain
// C-style function guarded by setjmp, so no C++ frame is ever crossed by a
// longjmp and no exception ever passes through libjpeg.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace mg {

// Outcome of reading a JPEG header. ok == false carries the reason: for a
// fatal libjpeg error, message is "JPEG error #<code>" and code is libjpeg's
// message code; for data that ends before the header does (libjpeg only warns
// and makes up an end marker), the code of that warning, JWRN_JPEG_EOF; for
// our own limits, message says what was refused.
// A 12-bit JPEG passes (precision 12) although this libjpeg decodes 8-bit
// samples only: it is a JPEG, and decoding it fails with libjpeg's reason.
struct JpegHeader {
    bool ok = false;
    int code = 0;
    std::string message;
    int width = 0;
    int height = 0;
    int components = 0;
    int precision = 0; // bits per sample: 8, or 12 (not decodable here)
    bool grayscale = false;
    bool progressive = false;
};

// Reads the header (jpeg_read_header with require_image) from memory.
JpegHeader ReadJpegHeader(const std::uint8_t* data, std::size_t size);
// The header check on the first bytes of a stream that is still being
// produced (decrypted chunk by chunk). needMore is set when the check read
// past the end of the bytes, so that only more of the stream can decide;
// otherwise the result is final and equals the check on the whole stream.
// complete tells that the bytes are the whole stream.
JpegHeader CheckJpegPrefix(const std::uint8_t* data, std::size_t size, bool complete, bool& needMore);
// Reads the header from an open stdio stream positioned at the stream's start.
JpegHeader ReadJpegHeader(std::FILE* file);

// Memory budget for one decode: the output pixels plus libjpeg's own working
// memory (whole-image coefficient buffers for progressive streams). A picture
// that would need more fails with "Picture too large to decode (W x H)" before
// anything large is allocated. The default is a quarter of physical memory,
// at most 2 GiB. Setting 0 restores the default (tests and fuzzing set less).
void SetJpegDecodeBudget(std::uint64_t bytes);
std::uint64_t JpegDecodeBudget();
// Every kind of picture shares this budget: a picture file larger than it is
// refused before it is read ("Picture too large to load (file over N MB)"),
// and decoded pixels over it fail with "Picture too large to decode (W x H)".
std::uint64_t PictureMemoryBudget();
std::string PictureFileTooLarge();
std::string PictureTooLargeToDecode(int width, int height);
// A stream with more scans than its limit fails with
// "JPEG has too many progressive scans (more than N)". Every scan walks every
// block of the picture, so the limit shrinks as the picture grows: at most
// kJpegMaxScans, at least kJpegMinScanLimit (far more than real encoders
// write), and otherwise kJpegScanBlockBudget divided by the number of blocks,
// which bounds a decode to about a second of scan work.
constexpr int kJpegMaxScans = 1000;
constexpr int kJpegMinScanLimit = 64;
constexpr std::uint64_t kJpegScanBlockBudget = std::uint64_t(1) << 27;
// The limit for a picture of the given number of 8x8 blocks (all components).
int JpegScanLimit(std::uint64_t blocks);

// Decoded pixels: tightly packed RGB888 rows (grayscale is expanded to RGB).
struct JpegPixels {
    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> rgb; // width * height * 3 bytes
};

class TJPEGImage {
public:
    TJPEGImage();
    ~TJPEGImage();
    TJPEGImage(const TJPEGImage&);            // shares the immutable bytes
    TJPEGImage& operator=(const TJPEGImage&); // and any decoded pixels

    // Copies every byte and reads the header. Throws mg::Error("JPEG error #%d")
    // when libjpeg rejects the header; the picture is then left as it was. An
    // empty buffer gives an empty picture (width and height 0) without any
    // check. Copies made earlier keep the old contents.
    void LoadFromBytes(const std::uint8_t* data, std::size_t size);
    void LoadFromBytes(const std::vector<std::uint8_t>& bytes) { LoadFromBytes(bytes.data(), bytes.size()); }
    // The same, taking over the buffer instead of copying it (the decrypted
    // stream of a large picture is not copied again).
    void LoadFromBytes(std::vector<std::uint8_t>&& bytes);
    // Reads the whole file and loads it; throws mg::Error on a read failure
    // (the system's message for it) or a rejected header.
    void LoadFromFile(const std::string& path);
    // Writes the stored bytes unchanged (safe write: temporary file + rename).
    // Throws mg::Error on failure.
    void SaveToFile(const std::string& path) const;

    bool Empty() const;
    int Width() const;
    int Height() const;
    bool Grayscale() const;
    bool ProgressiveEncoding() const;
    const std::vector<std::uint8_t>& Bytes() const;

    // Smallest libjpeg scale (n/8, n = 1..8) whose output covers at least
    // targetWidth x targetHeight; 8 (full size) when the target is larger,
    // when either target dimension is 0 or negative (no usable target), and
    // for an empty picture.
    int ScaleFor(int targetWidth, int targetHeight) const;
    // Decodes at scale n/8 (1..8, 8 = full size; other values are clamped),
    // caching the result per scale; copies share the cache. An empty picture
    // gives empty pixels. Single-threaded use only, like the rest of the UI.
    // Throws mg::Error("JPEG error #%d") on a fatal libjpeg error, or an
    // mg::Error naming the limit when the picture is too large for memory or
    // has an absurd number of progressive scans. Warnings are ignored.
    std::shared_ptr<const JpegPixels> Decode(int scaleEighths = 8) const;

private:
    struct Data;
    std::shared_ptr<Data> d_;
};

} // namespace mg
