#include "cipher/passKey.h"

namespace mg {

bool IsPrime(std::int32_t n)
{
    const std::int32_t half = n / 2; // truncates toward zero (negative n finds no divisor)
    for (std::int32_t d = 2; d <= half; ++d) {
        if (n % d == 0)
            return false;
    }
    return true;
}

std::int32_t NthPrime(std::int32_t n)
{
    // Counted from the start on every call: the keys are defined by this
    // plain search, and texts are short enough that no table is needed.
    std::int32_t candidate = 2;
    for (std::int32_t count = 1; count < n;) {
        ++candidate;
        if (IsPrime(candidate))
            ++count;
    }
    return candidate;
}

std::int32_t PassphraseKey(std::string_view bytes)
{
    // The sum wraps at 32 bits; doing it unsigned keeps that wrap well
    // defined, and the final cast reads the bits as a signed key.
    std::uint32_t sum = 0;
    std::int32_t position = 0;
    for (unsigned char c : bytes) {
        ++position;
        const auto byteTerm = static_cast<std::uint32_t>(NthPrime(c));
        const auto positionTerm = static_cast<std::uint32_t>(NthPrime(position));
        sum += byteTerm * positionTerm;
    }
    return static_cast<std::int32_t>(sum);
}

std::string Rot13(std::string_view text)
{
    std::string out(text);
    for (char& c : out) {
        if ((c >= 'A' && c <= 'M') || (c >= 'a' && c <= 'm'))
            c = static_cast<char>(c + 13);
        else if ((c >= 'N' && c <= 'Z') || (c >= 'n' && c <= 'z'))
            c = static_cast<char>(c - 13);
    }
    return out;
}

} // namespace mg
