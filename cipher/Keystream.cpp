#include "cipher/Keystream.h"

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

// Lane l of a block holds the seed that produces byte l; every lane advances
// by kLanes steps per block. 64 lanes are eight AVX2 registers: enough
// independent multiply chains to hide the multiply latency.
constexpr std::size_t kLanes = 64;

// The vectorisable kernel: full blocks only, lanes[] is updated in place.
// target_clones lets one binary use AVX2 where the processor has it.
__attribute__((target_clones("avx2", "default"))) void XorBlocks(
    std::uint8_t* data, std::size_t blocks, std::uint32_t* lanes, std::uint32_t a,
    std::uint32_t c)
{
    std::uint32_t s[kLanes];
    for (std::size_t l = 0; l < kLanes; ++l)
        s[l] = lanes[l];
    for (std::size_t b = 0; b < blocks; ++b, data += kLanes) {
        for (std::size_t l = 0; l < kLanes; ++l) {
            data[l] ^= static_cast<std::uint8_t>(s[l] >> 24);
            s[l] = s[l] * a + c;
        }
    }
    for (std::size_t l = 0; l < kLanes; ++l)
        lanes[l] = s[l];
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
    const std::size_t blocks = n / kLanes;
    if (blocks == 0) {
        ApplyKeystreamSerial(data, n);
        return;
    }
    std::uint32_t lanes[kLanes];
    std::uint32_t seed = g_seed;
    for (std::size_t l = 0; l < kLanes; ++l)
        lanes[l] = seed = Step(seed);
    const Affine jump = StepsMap(kLanes);
    XorBlocks(data, blocks, lanes, jump.a, jump.c);
    // After the blocks, lanes[l] is the seed for byte blocks*kLanes + l.
    const std::size_t done = blocks * kLanes;
    for (std::size_t l = 0; l < n - done; ++l)
        data[done + l] ^= static_cast<std::uint8_t>(lanes[l] >> 24);
    g_seed = SeedAfter(g_seed, n);
}

} // namespace mg
