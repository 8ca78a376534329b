#pragma once
// Little-endian fields appended to a byte buffer, for the hand-assembled
// metafiles and icon directories of the tests and benchmarks.
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

} // namespace mg::test
