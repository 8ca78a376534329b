#pragma once
// Test fixtures: small JPEG files made on the fly with libjpeg's compressor,
// and whole-file helpers. Not for production code.
#include <cstdint>
#include <string>
#include <vector>

namespace mg::test {

// The pattern MakeJpeg encodes, so decode tests can compare pixels
// approximately: red grows left to right, green grows top to bottom, blue is
// a constant 96. A grayscale picture stores (red + green) / 2.
std::uint8_t PatternRed(int x, int width);
std::uint8_t PatternGreen(int y, int height);
constexpr std::uint8_t kPatternBlue = 96;
std::uint8_t PatternGray(int x, int y, int width, int height);

// Encodes a width x height picture of the pattern above. progressive uses
// libjpeg's standard progressive scan script. Throws std::runtime_error when
// libjpeg refuses the parameters.
std::vector<std::uint8_t> MakeJpeg(int width, int height, bool gray = false, bool progressive = false,
                                   int quality = 85);

// The encodings libjpeg writes that a decoder must tell apart in the header:
// the pattern above with Huffman coding in one scan (baseline), in several
// (progressive), with arithmetic coding, with a restart marker after every
// MCU row, in grayscale, and as Adobe CMYK (MakeCmykJpeg).
enum class JpegEncoding { Baseline, Progressive, Arithmetic, RestartMarkers, Grayscale, Cmyk };
std::vector<std::uint8_t> MakeJpegEncoded(JpegEncoding encoding, int width, int height);

// The same stream declared as 12 bits per sample (frame header SOF1 for a
// baseline stream, SOF2 kept for progressive). The Huffman-coded data of an
// 8-bit stream is valid 12-bit data too (only smaller magnitudes), so this is
// a valid 12-bit JPEG of a darker picture. Throws std::runtime_error when
// there is no SOF0 or SOF2.
std::vector<std::uint8_t> WithTwelveBitPrecision(std::vector<std::uint8_t> jpeg);

// Encodes the same colour pattern as a four-colour (CMYK) JPEG with full
// black channel, in the form a decoder turns back into the pattern. adobe:
// with an Adobe marker and inverted values, as Adobe programs write CMYK;
// otherwise plain CMYK without the marker.
std::vector<std::uint8_t> MakeCmykJpeg(int width, int height, bool adobe = true);

// The JPEG with an EXIF block holding one orientation tag (any number, for
// tests of out-of-range values) inserted right after its SOI marker, in
// big-endian ("MM") or little-endian ("II") byte order.
std::vector<std::uint8_t> WithExifOrientation(const std::vector<std::uint8_t>& jpeg, int orientation,
                                              bool littleEndian = false);

// Writes bytes to path (truncating); throws std::runtime_error on failure.
void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes);
// Reads a whole file; throws std::runtime_error on failure.
std::vector<std::uint8_t> ReadFile(const std::string& path);

} // namespace mg::test
