#include "cipher/Keystream.h"

#include <cstdint>
#include <cstring>
#include <immintrin.h>

namespace mg {
namespace {

std::uint32_t g_seed = 0; // the process's one generator seed

// The affine map x -> a*x + c (mod 2^32); k generator steps form such a map.
struct Affine {
    std::uint32_t a = 1;
    std::uint32_t c = 0;
};

// Applying `first` then `second`.
Affine Then(Affine first, Affine second)
{
    return {second.a * first.a, second.a * first.c + second.c};
}

Affine StepsMap(std::uint64_t steps)
{
    Affine result;
    Affine power{kKeystreamMultiplier, kKeystreamIncrement};
    for (; steps != 0; steps >>= 1) {
        if (steps & 1)
            result = Then(result, power);
        power = Then(power, power);
    }
    return result;
}

inline std::uint32_t Step(std::uint32_t seed)
{
    return seed * kKeystreamMultiplier + kKeystreamIncrement;
}

// The bytes of a block are spread over 4 x kWords lanes: lane (g, w) holds
// the seed for byte 4*w + g, and every lane advances by one block, kLanes
// steps, at a time. Four neighbouring bytes then combine into one 32-bit word
// with shifts and masks only, so the whole kernel is 32-bit vector
// arithmetic: sixteen words are two AVX2 registers per byte group, enough
// independent multiply chains to hide the multiply latency.
constexpr std::size_t kWords = 16;
constexpr std::size_t kLanes = 4 * kWords;

struct Lanes {
    std::uint32_t s[4][kWords];

    // The seed that produces byte i of the current block.
    std::uint32_t& ForByte(std::size_t i) { return s[i % 4][i / 4]; }
};

// Eight 32-bit lanes: one AVX2 register, or two SSE registers where the
// processor has no AVX2. Vectors pass between the helpers below by
// reference only: a 32-byte vector passed by value would change the calling
// convention between the AVX2 and the generic build of the kernel.
using Vec = std::uint32_t __attribute__((vector_size(32)));
static_assert(kWords == 2 * sizeof(Vec) / sizeof(std::uint32_t));

// How far ahead of the kernel memory is requested: keeps the memory reads
// in flight while the multiplies run (measured on a 256 MiB buffer).
constexpr std::size_t kPrefetchAhead = 1024;

// Buffers from this size on are far larger than the caches, so the
// non-temporal kernel pays off.
constexpr std::size_t kStreamingBytes = std::size_t{16} << 20;

// The seeds of one register column: four byte groups.
struct Column {
    Vec g0, g1, g2, g3;

    void Load(const std::uint32_t (&s)[4][kWords], std::size_t at)
    {
        std::memcpy(&g0, s[0] + at, sizeof(Vec));
        std::memcpy(&g1, s[1] + at, sizeof(Vec));
        std::memcpy(&g2, s[2] + at, sizeof(Vec));
        std::memcpy(&g3, s[3] + at, sizeof(Vec));
    }
    void Store(std::uint32_t (&s)[4][kWords], std::size_t at) const
    {
        std::memcpy(s[0] + at, &g0, sizeof(Vec));
        std::memcpy(s[1] + at, &g1, sizeof(Vec));
        std::memcpy(s[2] + at, &g2, sizeof(Vec));
        std::memcpy(s[3] + at, &g3, sizeof(Vec));
    }
    // XORs 32 bytes of data (read from `data`) into `out` with the top bytes
    // of the four groups' seeds: byte g of each little-endian word comes
    // from group g.
    void Xor(const std::uint8_t* data, Vec& out) const
    {
        std::memcpy(&out, data, sizeof(Vec));
        out ^= (g0 >> 24) | ((g1 >> 16) & 0xFF00u) | ((g2 >> 8) & 0xFF0000u) | (g3 & 0xFF000000u);
    }
    // Advances every seed by one block.
    void Advance(std::uint32_t a, std::uint32_t c)
    {
        g0 = g0 * a + c, g1 = g1 * a + c, g2 = g2 * a + c, g3 = g3 * a + c;
    }
};

// The kernel: full blocks only; lanes are advanced in place. target_clones
// lets one binary use AVX2 where the processor has it. A ThreadSanitizer
// build goes without: the clones' resolver runs while the program is being
// loaded, before the sanitizer's runtime exists, and crashes there.
#if defined(__SANITIZE_THREAD__)
#define MG_KERNEL_CLONES
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
#define MG_KERNEL_CLONES
#endif
#endif
#ifndef MG_KERNEL_CLONES
#define MG_KERNEL_CLONES __attribute__((target_clones("avx2", "default")))
#endif
MG_KERNEL_CLONES void XorBlocks(std::uint8_t* data, std::size_t blocks, Lanes& lanes, std::uint32_t a, std::uint32_t c)
{
    Column first, second;
    first.Load(lanes.s, 0);
    second.Load(lanes.s, 8);
    for (std::size_t b = 0; b < blocks; ++b, data += kLanes) {
        __builtin_prefetch(data + kPrefetchAhead);
        Vec w0, w1;
        first.Xor(data, w0);
        second.Xor(data + sizeof(Vec), w1);
        std::memcpy(data, &w0, sizeof(Vec));
        std::memcpy(data + sizeof(Vec), &w1, sizeof(Vec));
        first.Advance(a, c);
        second.Advance(a, c);
    }
    first.Store(lanes.s, 0);
    second.Store(lanes.s, 8);
}

// Large buffers: the same kernel with non-temporal stores, so that results
// go straight to memory instead of first displacing the cache (a plain
// store into memory costs a read of the line first). Only where AVX2
// exists; data must be 32-byte aligned. The loop repeats XorBlocks' because
// the AVX2-only store cannot be inlined into a function built for every
// processor.
__attribute__((target("avx2"))) void XorBlocksStreaming(std::uint8_t* data, std::size_t blocks, Lanes& lanes,
                                                        std::uint32_t a, std::uint32_t c)
{
    Column first, second;
    first.Load(lanes.s, 0);
    second.Load(lanes.s, 8);
    for (std::size_t b = 0; b < blocks; ++b, data += kLanes) {
        __builtin_prefetch(data + kPrefetchAhead);
        Vec w0, w1;
        first.Xor(data, w0);
        second.Xor(data + sizeof(Vec), w1);
        _mm256_stream_si256(reinterpret_cast<__m256i*>(data), reinterpret_cast<__m256i&>(w0));
        _mm256_stream_si256(reinterpret_cast<__m256i*>(data + sizeof(Vec)), reinterpret_cast<__m256i&>(w1));
        first.Advance(a, c);
        second.Advance(a, c);
    }
    _mm_sfence();
    first.Store(lanes.s, 0);
    second.Store(lanes.s, 8);
}

} // namespace

void SetSeed(std::int32_t key)
{
    g_seed = static_cast<std::uint32_t>(key);
}

std::uint32_t Seed()
{
    return g_seed;
}

std::uint32_t DrawRandom(std::uint32_t range)
{
    g_seed = Step(g_seed);
    return static_cast<std::uint32_t>((std::uint64_t{range} * g_seed) >> 32);
}

std::uint32_t SeedAfter(std::uint32_t seed, std::uint64_t steps)
{
    const Affine map = StepsMap(steps);
    return map.a * seed + map.c;
}

void ApplyKeystreamSerial(std::uint8_t* data, std::size_t n)
{
    for (std::size_t i = 0; i < n; ++i)
        data[i] ^= static_cast<std::uint8_t>(DrawRandom(256));
}

void ApplyKeystream(std::uint8_t* data, std::size_t n)
{
    ApplyKeystream(g_seed, data, n);
}

void ApplyKeystream(std::uint32_t& state, std::uint8_t* data, std::size_t n)
{
    // The serial steps on the caller's state: the same draws as DrawRandom(256).
    const auto serial = [&state](std::uint8_t* bytes, std::size_t count) {
        for (std::size_t i = 0; i < count; ++i) {
            state = Step(state);
            bytes[i] ^= static_cast<std::uint8_t>((std::uint64_t{256} * state) >> 32);
        }
    };
    // Big buffers go to the streaming kernel, after a serial head that
    // aligns the data for its stores.
    const bool streaming = n >= kStreamingBytes && __builtin_cpu_supports("avx2");
    if (streaming) {
        const std::size_t head = (32 - reinterpret_cast<std::uintptr_t>(data) % 32) % 32;
        serial(data, head);
        data += head;
        n -= head;
    }
    const std::size_t blocks = n / kLanes;
    if (blocks == 0) {
        serial(data, n);
        return;
    }
    Lanes lanes;
    std::uint32_t seed = state;
    for (std::size_t i = 0; i < kLanes; ++i)
        lanes.ForByte(i) = seed = Step(seed);
    const Affine jump = StepsMap(kLanes);
    if (streaming)
        XorBlocksStreaming(data, blocks, lanes, jump.a, jump.c);
    else
        XorBlocks(data, blocks, lanes, jump.a, jump.c);
    // After the blocks the lanes hold the seeds of the bytes that follow.
    const std::size_t done = blocks * kLanes;
    for (std::size_t i = 0; i < n - done; ++i)
        data[done + i] ^= static_cast<std::uint8_t>(lanes.ForByte(i) >> 24);
    state = SeedAfter(state, n);
}

} // namespace mg
