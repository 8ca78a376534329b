#pragma once
// Little-endian fields appended to a byte buffer, and the placeable WMF
// around a list of records, for the hand-assembled metafiles and icon
// directories of the tests and benchmarks.
#include <cstdint>
#include <vector>

namespace mg::test {

struct ByteWriter {
    std::vector<std::uint8_t> bytes;
    void u16(unsigned v)
    {
        bytes.push_back(v & 0xff);
        bytes.push_back((v >> 8) & 0xff);
    }
    void u32(std::uint32_t v)
    {
        u16(v & 0xffff);
        u16(v >> 16);
    }
    void i32(std::int32_t v) { u32(static_cast<std::uint32_t>(v)); }
};

// A placeable WMF of the given records: the placeable header (bounding box
// width x height units at 96 per inch, and its checksum, the XOR of the ten
// words before it), then the standard header with the number of objects and
// the largest record in words.
inline std::vector<std::uint8_t> PlaceableWmf(int width, int height, unsigned objects, std::uint32_t largestRecord,
                                              const std::vector<std::uint8_t>& records)
{
    ByteWriter file;
    // Placeable header: key, handle, bounding box, units per inch, reserved.
    file.u32(0x9AC6CDD7);
    file.u16(0);
    file.u16(0);
    file.u16(0);
    file.u16(static_cast<unsigned>(width));
    file.u16(static_cast<unsigned>(height));
    file.u16(96);
    file.u32(0);
    unsigned checksum = 0;
    for (int i = 0; i < 10; ++i)
        checksum ^= file.bytes[2 * i] | (file.bytes[2 * i + 1] << 8);
    file.u16(checksum);
    // Standard header: type, header words, version, file words, objects,
    // largest record, unused.
    file.u16(1);
    file.u16(9);
    file.u16(0x0300);
    file.u32(static_cast<std::uint32_t>((18 + records.size()) / 2));
    file.u16(objects);
    file.u32(largestRecord);
    file.u16(0);
    file.bytes.insert(file.bytes.end(), records.begin(), records.end());
    return file.bytes;
}

} // namespace mg::test
