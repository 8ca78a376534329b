#include "ui/FileMask.h"

namespace mg {
namespace {

unsigned char Fold(unsigned char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c - 'A' + 'a') : c;
}

// The length of the character at n[i]: a whole UTF-8 sequence when one
// stands there, else one byte (names that are not UTF-8 go byte by byte).
std::size_t CharLength(std::string_view n, std::size_t i)
{
    const auto lead = static_cast<unsigned char>(n[i]);
    const std::size_t length = lead >= 0xF0 && lead <= 0xF4   ? 4
                               : lead >= 0xE0                 ? 3
                               : lead >= 0xC2 && lead <= 0xDF ? 2
                                                              : 1;
    if (length == 1 || lead > 0xF4 || i + length > n.size())
        return 1;
    for (std::size_t k = 1; k < length; ++k)
        if ((static_cast<unsigned char>(n[i + k]) & 0xC0) != 0x80)
            return 1;
    return length;
}

// Greedy matching that backtracks only to the last "*": linear in practice,
// never exponential. "?" stands for one character, so it takes a whole
// UTF-8 sequence, and "*" gives up whole characters when it backtracks.
bool Glob(std::string_view p, std::string_view n)
{
    std::size_t pi = 0, ni = 0;
    std::size_t starP = std::string_view::npos, starN = 0;
    while (ni < n.size()) {
        if (pi < p.size() && p[pi] == '*') {
            starP = pi++;
            starN = ni;
        } else if (pi < p.size() && p[pi] == '?') {
            ++pi;
            ni += CharLength(n, ni);
        } else if (pi < p.size()
                   && Fold(static_cast<unsigned char>(p[pi])) == Fold(static_cast<unsigned char>(n[ni]))) {
            ++pi;
            ++ni;
        } else if (starP != std::string_view::npos) {
            pi = starP + 1;
            starN += CharLength(n, starN);
            ni = starN;
        } else {
            return false;
        }
    }
    while (pi < p.size() && p[pi] == '*')
        ++pi;
    return pi == p.size();
}

} // namespace

bool MaskMatches(std::string_view pattern, std::string_view name)
{
    if (pattern.empty())
        return false;
    if (Glob(pattern, name))
        return true;
    // "name.*" also finds "name" with no extension at all, the way shells'
    // and file dialogs' masks behave.
    if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*") {
        std::string_view stem = pattern.substr(0, pattern.size() - 2);
        return !stem.empty() && Glob(stem, name);
    }
    return false;
}

bool MatchesEveryName(std::string_view pattern)
{
    if (pattern.size() >= 2 && pattern.substr(pattern.size() - 2) == ".*")
        pattern.remove_suffix(2);
    return !pattern.empty() && pattern.find_first_not_of('*') == std::string_view::npos;
}

std::vector<std::string> SplitMask(std::string_view mask)
{
    std::vector<std::string> pieces;
    std::size_t start = 0;
    for (;;) {
        std::size_t semi = mask.find(';', start);
        if (semi == std::string_view::npos) {
            pieces.emplace_back(mask.substr(start));
            return pieces;
        }
        pieces.emplace_back(mask.substr(start, semi - start));
        start = semi + 1;
    }
}

bool HasWildcard(std::string_view text)
{
    return text.find_first_of("*?") != std::string_view::npos;
}

int CompareIgnoringCase(std::string_view a, std::string_view b)
{
    std::size_t n = a.size() < b.size() ? a.size() : b.size();
    for (std::size_t i = 0; i < n; ++i) {
        unsigned char x = Fold(static_cast<unsigned char>(a[i]));
        unsigned char y = Fold(static_cast<unsigned char>(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    if (a.size() != b.size())
        return a.size() < b.size() ? -1 : 1;
    return 0;
}

bool EqualIgnoringCase(std::string_view a, std::string_view b)
{
    return a.size() == b.size() && CompareIgnoringCase(a, b) == 0;
}

} // namespace mg
