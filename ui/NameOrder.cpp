#include "ui/NameOrder.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>

namespace mg {
namespace {

// Rank 0 marks a byte that is skipped (control characters, as a collating
// sort ignores them). Ranks start at 1 so that a key followed by a 0 byte
// sorts before every longer key it begins.
constexpr std::uint8_t kDigitRank = 34;

constexpr std::array<std::uint8_t, 256> MakeRanks()
{
    std::array<std::uint8_t, 256> rank{};
    // The ASCII marks in the order ICU's root collation gives them, which is
    // the order the folder tree's QCollator shows.
    constexpr char marks[] = " _-,;:!?.'\"()[]{}@*/\\&#%`^+<=>|~$";
    std::uint8_t r = 1;
    for (const char* m = marks; *m; ++m)
        rank[static_cast<unsigned char>(*m)] = r++;
    // r is now kDigitRank; digits are handled as numbers, not by this table.
    for (int c = '0'; c <= '9'; ++c)
        rank[c] = kDigitRank;
    r = kDigitRank + 1;
    for (int c = 0; c < 26; ++c, ++r) {
        rank['a' + c] = r;
        rank['A' + c] = r;
    }
    for (int b = 0x80; b <= 0xff; ++b)
        rank[b] = static_cast<std::uint8_t>(r + (b - 0x80));
    return rank;
}

constexpr std::array<std::uint8_t, 256> kRank = MakeRanks();

bool IsDigit(char c)
{
    return c >= '0' && c <= '9';
}

// Writes the name's key at `out` and returns its end. A key takes at most
// three bytes per name byte (a lone digit becomes three).
char* WriteKey(std::string_view name, char* out)
{
    const char* p = name.data();
    const char* const end = p + name.size();
    while (p < end) {
        if (!IsDigit(*p)) {
            const std::uint8_t r = kRank[static_cast<unsigned char>(*p++)];
            if (r != 0)
                *out++ = static_cast<char>(r);
            continue;
        }
        // A number: its rank, its count of significant digits, then the
        // digits, so that a shorter number sorts first and equal lengths
        // compare digit by digit. Runs longer than 255 digits (longer than
        // a name on the usual file systems) count as 255 long.
        const char* runEnd = p;
        while (runEnd < end && IsDigit(*runEnd))
            ++runEnd;
        while (p < runEnd && *p == '0')
            ++p;
        const std::size_t digits = std::min<std::size_t>(std::size_t(runEnd - p), 255);
        *out++ = static_cast<char>(kDigitRank);
        *out++ = static_cast<char>(digits);
        std::memcpy(out, p, digits);
        out += digits;
        p = runEnd;
    }
    return out;
}

constexpr std::size_t MaxKeySize(std::size_t nameSize)
{
    return nameSize * 3;
}

// The exact size WriteKey gives.
std::size_t KeySize(std::string_view name)
{
    std::size_t size = 0;
    const char* p = name.data();
    const char* const end = p + name.size();
    while (p < end) {
        if (!IsDigit(*p)) {
            size += kRank[static_cast<unsigned char>(*p++)] != 0 ? 1 : 0;
            continue;
        }
        const char* runEnd = p;
        while (runEnd < end && IsDigit(*runEnd))
            ++runEnd;
        while (p < runEnd && *p == '0')
            ++p;
        size += 2 + std::min<std::size_t>(std::size_t(runEnd - p), 255);
        p = runEnd;
    }
    return size;
}

} // namespace

std::string NaturalSortKey(std::string_view name)
{
    std::string key(MaxKeySize(name.size()), '\0');
    key.resize(std::size_t(WriteKey(name, key.data()) - key.data()));
    return key;
}

bool NaturalNameLess(std::string_view a, std::string_view b)
{
    const std::string ka = NaturalSortKey(a), kb = NaturalSortKey(b);
    return ka != kb ? ka < kb : a < b;
}

void SortNaturally(std::vector<std::string>& names)
{
    // Every name's key is written once, all into one buffer sized by a first
    // pass. The sorted items are small and hold the key's first sixteen bytes
    // as two numbers, which decide most comparisons without touching the
    // buffer; names whose keys are equal are compared by their bytes.
    struct Item {
        std::uint64_t head[2];
        std::size_t offset;
        std::uint32_t size;
        std::uint32_t index;
    };
    std::size_t total = 0;
    for (const std::string& name : names)
        total += KeySize(name);
    std::unique_ptr<char[]> buffer(new char[total]);
    std::vector<Item> items;
    items.reserve(names.size());
    char* out = buffer.get();
    for (std::size_t i = 0; i < names.size(); ++i) {
        char* const start = out;
        out = WriteKey(names[i], out);
        const std::size_t size = std::size_t(out - start);
        Item item{
            {0, 0}, std::size_t(start - buffer.get()), static_cast<std::uint32_t>(size), static_cast<std::uint32_t>(i)};
        for (std::size_t k = 0; k < 16 && k < size; ++k)
            item.head[k / 8] |= std::uint64_t(static_cast<unsigned char>(start[k])) << (56 - 8 * (k % 8));
        items.push_back(item);
    }
    const char* const base = buffer.get();
    std::sort(items.begin(), items.end(), [base, &names](const Item& x, const Item& y) {
        if (x.head[0] != y.head[0])
            return x.head[0] < y.head[0];
        if (x.head[1] != y.head[1])
            return x.head[1] < y.head[1];
        const std::string_view kx(base + x.offset, x.size), ky(base + y.offset, y.size);
        if (kx != ky)
            return kx < ky;
        return names[x.index] < names[y.index];
    });
    // Puts each name in its place by following the permutation's cycles,
    // moving names rather than copying them.
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (items[i].index == i)
            continue;
        std::string held = std::move(names[i]);
        std::size_t to = i;
        while (items[to].index != i) {
            const std::size_t from = items[to].index;
            names[to] = std::move(names[from]);
            items[to].index = static_cast<std::uint32_t>(to);
            to = from;
        }
        names[to] = std::move(held);
        items[to].index = static_cast<std::uint32_t>(to);
    }
}

} // namespace mg
