#pragma once
// Passphrase-to-key derivation: a key is the sum, over the character
// positions of a text, of NthPrime(byte value) x NthPrime(position).
// Also holds Rot13, which output file naming uses.
#include <cstdint>
#include <string>
#include <string_view>

namespace mg {

// Trial division by every d with 2 <= d <= n / 2; true when none divides n
// (so 0, 1 and negative numbers count as prime).
bool IsPrime(std::int32_t n);
// The n-th prime counted from 1 (2 is the 1st); 2 for every n <= 1.
std::int32_t NthPrime(std::int32_t n);
// The key of a byte string; products and sum wrap in 32 bits.
std::int32_t PassphraseKey(std::string_view bytes);
// Rotates A-M/N-Z and a-m/n-z by 13 places; every other byte is unchanged.
std::string Rot13(std::string_view text);

} // namespace mg
