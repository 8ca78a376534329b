#include "ui/NameOrder.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>
#include <system_error>
#include <thread>

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

namespace {

// One name in the sort: the first sixteen bytes of its key as two numbers,
// which decide most comparisons without leaving the item, and where the
// whole key lies for the rest.
struct SortItem {
    std::uint64_t head[2];
    std::uint64_t keyOffset : 48;
    std::uint64_t keySize : 16;
    std::uint32_t index;
};

// Writes the keys of names[first, last) into `keys` (room for MaxKeySize of
// every name) and the items into `items`.
void MakeItems(const FileNames& names, std::size_t first, std::size_t last, char* keys, const char* keyBase,
               SortItem* items)
{
    char* out = keys;
    for (std::size_t i = first; i < last; ++i) {
        char* const start = out;
        out = WriteKey(names[i], out);
        const std::size_t size = std::size_t(out - start);
        SortItem item{{0, 0}, std::uint64_t(start - keyBase), size, static_cast<std::uint32_t>(i)};
        for (std::size_t k = 0; k < 16 && k < size; ++k)
            item.head[k / 8] |= std::uint64_t(static_cast<unsigned char>(start[k])) << (56 - 8 * (k % 8));
        *items++ = item;
    }
}

// From this many names on, two threads share the sort.
constexpr std::size_t kTwoThreadsFrom = 50000;

struct ItemLess {
    const char* keys;
    const FileNames* names;
    bool operator()(const SortItem& x, const SortItem& y) const
    {
        if (x.head[0] != y.head[0])
            return x.head[0] < y.head[0];
        if (x.head[1] != y.head[1])
            return x.head[1] < y.head[1];
        const std::string_view kx(keys + x.keyOffset, x.keySize), ky(keys + y.keyOffset, y.keySize);
        const int c = kx.compare(ky);
        if (c != 0)
            return c < 0;
        return (*names)[x.index] < (*names)[y.index];
    }
};

} // namespace

NameIndices NaturalOrder(const FileNames& names)
{
    const std::size_t n = names.size();
    // Two halves, each keyed and sorted on its own thread when the list is
    // long enough to pay for one, then merged.
    const std::size_t half = n >= kTwoThreadsFrom ? n / 2 : n;
    std::size_t bytesFirst = 0, bytes = 0;
    for (std::size_t i = 0; i < n; ++i) {
        bytes += MaxKeySize(names[i].size());
        if (i + 1 == half)
            bytesFirst = bytes;
    }
    // Every key is written once, into one buffer; only the pages that keys
    // reach are ever touched.
    LargeBuffer keys(bytes + 1);
    char* const keyBase = keys.data();
    std::vector<SortItem, LargeAllocator<SortItem>> items(n);
    const ItemLess less{keyBase, &names};
    auto sortPart = [&](std::size_t first, std::size_t last, std::size_t keyOffset) {
        MakeItems(names, first, last, keyBase + keyOffset, keyBase, items.data() + first);
        std::sort(items.begin() + std::ptrdiff_t(first), items.begin() + std::ptrdiff_t(last), less);
    };
    NameIndices order;
    order.reserve(n);
    if (half == n) {
        sortPart(0, n, 0);
        for (const SortItem& item : items)
            order.push_back(item.index);
        return order;
    }
    std::thread second;
    try {
        second = std::thread(sortPart, half, n, bytesFirst);
    } catch (const std::system_error&) {
        sortPart(half, n, bytesFirst); // no thread to be had: one after the other
    }
    sortPart(0, half, 0);
    if (second.joinable())
        second.join();
    // The merge takes from the first half on ties, so equal names keep
    // their order like a stable sort.
    const SortItem *a = items.data(), *const aEnd = a + half;
    const SortItem *b = aEnd, *const bEnd = items.data() + n;
    while (a != aEnd && b != bEnd)
        order.push_back(less(*b, *a) ? (b++)->index : (a++)->index);
    for (; a != aEnd; ++a)
        order.push_back(a->index);
    for (; b != bEnd; ++b)
        order.push_back(b->index);
    return order;
}

void SortNaturally(std::vector<std::string>& names)
{
    FileNames held;
    for (const std::string& name : names)
        held.push_back(name);
    std::vector<std::string> sorted;
    sorted.reserve(names.size());
    for (const std::uint32_t from : NaturalOrder(held))
        sorted.push_back(std::move(names[from]));
    names = std::move(sorted);
}

} // namespace mg
