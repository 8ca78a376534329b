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
// processor has no AVX2.
// The helpers taking and returning it are always inlined in this file, so
// GCC's note about the ABI of 32-byte vector arguments does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"
using Vec = std::uint32_t __attribute__((vector_size(32)));
static_assert(kWords == 2 * sizeof(Vec) / sizeof(std::uint32_t));

// The top bytes of the four groups' seeds as little-endian words: byte g of
// each word comes from group g.
__attribute__((always_inline)) inline Vec KeyWords(Vec s0, Vec s1, Vec s2, Vec s3)
{
    return (s0 >> 24) | ((s1 >> 16) & 0xFF00u) | ((s2 >> 8) & 0xFF0000u) |
           (s3 & 0xFF000000u);
}

// How far ahead of the kernel memory is requested: keeps the memory reads
// in flight while the multiplies run (measured on a 256 MiB buffer).
constexpr std::size_t kPrefetchAhead = 1024;

// Buffers from this size on are far larger than the caches, so the
// non-temporal kernel pays off.
constexpr std::size_t kStreamingBytes = std::size_t{16} << 20;

// Unaligned vector loads and stores that do not break aliasing rules.
__attribute__((always_inline)) inline Vec Load(const void* p)
{
    Vec v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

__attribute__((always_inline)) inline void Store(void* p, Vec v)
{
    std::memcpy(p, &v, sizeof v);
}

// The kernel: full blocks only; lanes are advanced in place. The state is
// held in plain locals, assigned by value, so that it stays in the sixteen
// vector registers. target_clones lets one binary use AVX2 where the
// processor has it.
__attribute__((target_clones("avx2", "default"))) void XorBlocks(
    std::uint8_t* data, std::size_t blocks, Lanes& lanes, std::uint32_t a, std::uint32_t c)
{
    Vec s0a = Load(lanes.s[0]), s1a = Load(lanes.s[1]), s2a = Load(lanes.s[2]),
        s3a = Load(lanes.s[3]);
    Vec s0b = Load(lanes.s[0] + 8), s1b = Load(lanes.s[1] + 8), s2b = Load(lanes.s[2] + 8),
        s3b = Load(lanes.s[3] + 8);
    for (std::size_t b = 0; b < blocks; ++b, data += kLanes) {
        __builtin_prefetch(data + kPrefetchAhead);
        Store(data, Load(data) ^ KeyWords(s0a, s1a, s2a, s3a));
        Store(data + sizeof(Vec), Load(data + sizeof(Vec)) ^ KeyWords(s0b, s1b, s2b, s3b));
        s0a = s0a * a + c, s1a = s1a * a + c, s2a = s2a * a + c, s3a = s3a * a + c;
        s0b = s0b * a + c, s1b = s1b * a + c, s2b = s2b * a + c, s3b = s3b * a + c;
    }
    Store(lanes.s[0], s0a), Store(lanes.s[1], s1a), Store(lanes.s[2], s2a);
    Store(lanes.s[3], s3a), Store(lanes.s[0] + 8, s0b), Store(lanes.s[1] + 8, s1b);
    Store(lanes.s[2] + 8, s2b), Store(lanes.s[3] + 8, s3b);
}

// Large buffers: the same kernel with non-temporal stores, so that results
// go straight to memory instead of first displacing the cache (a plain
// store into memory costs a read of the line first). Only where AVX2
// exists; data must be 32-byte aligned. The loop repeats XorBlocks' because
// the AVX2-only store cannot be inlined into a function built for every
// processor.
__attribute__((target("avx2"))) void XorBlocksStreaming(std::uint8_t* data,
                                                        std::size_t blocks, Lanes& lanes,
                                                        std::uint32_t a, std::uint32_t c)
{
    Vec s0a = Load(lanes.s[0]), s1a = Load(lanes.s[1]), s2a = Load(lanes.s[2]),
        s3a = Load(lanes.s[3]);
    Vec s0b = Load(lanes.s[0] + 8), s1b = Load(lanes.s[1] + 8), s2b = Load(lanes.s[2] + 8),
        s3b = Load(lanes.s[3] + 8);
    for (std::size_t b = 0; b < blocks; ++b, data += kLanes) {
        __builtin_prefetch(data + kPrefetchAhead);
        const Vec w0 = Load(data) ^ KeyWords(s0a, s1a, s2a, s3a);
        const Vec w1 = Load(data + sizeof(Vec)) ^ KeyWords(s0b, s1b, s2b, s3b);
        _mm256_stream_si256(reinterpret_cast<__m256i*>(data), reinterpret_cast<const __m256i&>(w0));
        _mm256_stream_si256(reinterpret_cast<__m256i*>(data + sizeof(Vec)),
                            reinterpret_cast<const __m256i&>(w1));
        s0a = s0a * a + c, s1a = s1a * a + c, s2a = s2a * a + c, s3a = s3a * a + c;
        s0b = s0b * a + c, s1b = s1b * a + c, s2b = s2b * a + c, s3b = s3b * a + c;
    }
    _mm_sfence();
    Store(lanes.s[0], s0a), Store(lanes.s[1], s1a), Store(lanes.s[2], s2a);
    Store(lanes.s[3], s3a), Store(lanes.s[0] + 8, s0b), Store(lanes.s[1] + 8, s1b);
    Store(lanes.s[2] + 8, s2b), Store(lanes.s[3] + 8, s3b);
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
    // Big buffers go to the streaming kernel, after a serial head that
    // aligns the data for its stores.
    const bool streaming = n >= kStreamingBytes && __builtin_cpu_supports("avx2");
    if (streaming) {
        const std::size_t head = (32 - reinterpret_cast<std::uintptr_t>(data) % 32) % 32;
        ApplyKeystreamSerial(data, head);
        data += head;
        n -= head;
    }
    const std::size_t blocks = n / kLanes;
    if (blocks == 0) {
        ApplyKeystreamSerial(data, n);
        return;
    }
    Lanes lanes;
    std::uint32_t seed = g_seed;
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
    g_seed = SeedAfter(g_seed, n);
}

} // namespace mg
