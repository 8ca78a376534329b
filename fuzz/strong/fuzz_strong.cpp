// Feeds arbitrary bytes to the strong format's header and stream reader.
// The first byte picks the mode: odd values re-seal the header's checksum
// so that changed parameters, salts and extension records get past it (the
// seed files use the passphrase "fuzz"). Costly parameters are skipped: the
// reader's cap allows a gigabyte, which is not what fuzzing should spend.
#include "cipher/StrongCrypt.h"

#include <cstddef>
#include <cstdint>
#include <sodium.h>
#include <vector>

namespace {
mg::strong::StrongKeys& Keys()
{
    static mg::strong::StrongKeys keys = [] {
        mg::strong::StrongKeys k;
        k.SetPassphrase("fuzz");
        return k;
    }();
    return keys;
}

std::uint32_t U32(const std::uint8_t* at)
{
    return std::uint32_t(at[0]) | std::uint32_t(at[1]) << 8 | std::uint32_t(at[2]) << 16 | std::uint32_t(at[3]) << 24;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1)
        return 0;
    const bool reseal = data[0] & 1;
    std::vector<std::uint8_t> bytes(data + 1, data + size);
    if (bytes.size() >= mg::strong::kHeaderBytes) {
        if (U32(bytes.data() + 9) > 2 || U32(bytes.data() + 13) > 64)
            return 0;
        if (reseal && mg::SodiumReady())
            crypto_generichash(bytes.data() + 73, 16, bytes.data(), 73, nullptr, 0);
    }
    mg::strong::Header header;
    mg::strong::ParseHeader(bytes.data(), bytes.size(), header);
    std::vector<std::uint8_t> plain;
    std::string extension;
    const mg::CipherResult result = mg::strong::DecryptBytes(bytes.data(), bytes.size(), Keys(), plain, extension);
    if (result && extension.size() > 255)
        __builtin_trap();
    return 0;
}
