#pragma once
// The process-wide keystream generator: a 32-bit linear congruential
// generator, seed := seed x 134775813 + 1 (mod 2^32). Its one seed starts
// at 0 and is shared by the file cipher and the noise picture of the display.
// Single-threaded by design: the seed is plain, unsynchronised state.
#include <cstddef>
#include <cstdint>

namespace mg {

inline constexpr std::uint32_t kKeystreamMultiplier = 134775813u; // 0x08088405
inline constexpr std::uint32_t kKeystreamIncrement = 1u;

// The seed is the key's bits read as unsigned (-1 gives 0xFFFFFFFF).
void SetSeed(std::int32_t key);
std::uint32_t Seed();

// One generator step; the result is (range x new seed) div 2^32.
std::uint32_t DrawRandom(std::uint32_t range);

// The seed after `steps` generator steps from `seed`, in O(log steps).
std::uint32_t SeedAfter(std::uint32_t seed, std::uint64_t steps);

// XORs data[0..n) with n successive DrawRandom(256) draws and leaves the
// seed where those draws would. Byte-identical to the serial loop, but many
// bytes are generated at once over independent lanes (jump-ahead).
void ApplyKeystream(std::uint8_t* data, std::size_t n);

// The same on a generator state of the caller's own: the process's seed is
// neither read nor moved, so a worker thread may decrypt while the window
// draws noise from the shared one.
void ApplyKeystream(std::uint32_t& state, std::uint8_t* data, std::size_t n);

// One byte after another with the shared seed: the reference the parallel
// version is tested and timed against.
void ApplyKeystreamSerial(std::uint8_t* data, std::size_t n);

} // namespace mg
