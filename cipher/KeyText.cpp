#include "cipher/KeyText.h"

#include "cipher/passKey.h"

#include <array>

namespace mg {
namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Hexadecimal digits up to the end; a digit that would carry the value past
// 32 bits rejects the text (leading zeros never do).
std::optional<std::int32_t> ParseHex(std::string_view digits)
{
    if (digits.empty())
        return std::nullopt;
    std::uint32_t value = 0;
    for (char c : digits) {
        const int d = HexDigit(c);
        if (d < 0 || value > 0x0FFFFFFFu)
            return std::nullopt;
        value = value * 16 + static_cast<std::uint32_t>(d);
    }
    return static_cast<std::int32_t>(value);
}

// Optional sign and decimal digits up to the end, within the int32 range.
std::optional<std::int32_t> ParseDecimal(std::string_view text)
{
    bool negative = false;
    if (!text.empty() && (text[0] == '+' || text[0] == '-')) {
        negative = text[0] == '-';
        text.remove_prefix(1);
    }
    if (text.empty())
        return std::nullopt;
    const std::int64_t limit = negative ? 2147483648LL : 2147483647LL;
    std::int64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
        if (value > limit)
            return std::nullopt;
    }
    return static_cast<std::int32_t>(negative ? -value : value);
}

// Unicode code points of Windows-1252 bytes 0x80-0x9F. The five bytes the
// code page leaves undefined map to the C1 control of the same number, as
// Windows' own conversion does.
constexpr std::array<char32_t, 32> kHighControls = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                                    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                                    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                                    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

} // namespace

char32_t Cp1252Character(unsigned char byte)
{
    return byte >= 0x80 && byte < 0xA0 ? kHighControls[byte - 0x80] : char32_t{byte};
}

namespace {

std::optional<unsigned char> Cp1252Byte(char32_t cp)
{
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
        return static_cast<unsigned char>(cp);
    for (std::size_t i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] == cp)
            return static_cast<unsigned char>(0x80 + i);
    }
    return std::nullopt;
}

// Decodes one UTF-8 sequence at text[pos], advancing pos; rejects overlong
// forms, surrogates, values past U+10FFFF and truncated sequences.
std::optional<char32_t> NextCodePoint(std::string_view text, std::size_t& pos)
{
    const auto lead = static_cast<unsigned char>(text[pos++]);
    if (lead < 0x80)
        return lead;
    int extra = 0;
    char32_t cp = 0;
    char32_t minimum = 0;
    if ((lead & 0xE0) == 0xC0) {
        extra = 1, cp = lead & 0x1F, minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2, cp = lead & 0x0F, minimum = 0x800;
    } else if ((lead & 0xF8) == 0xF0) {
        extra = 3, cp = lead & 0x07, minimum = 0x10000;
    } else {
        return std::nullopt;
    }
    for (int i = 0; i < extra; ++i) {
        if (pos >= text.size())
            return std::nullopt;
        const auto next = static_cast<unsigned char>(text[pos++]);
        if ((next & 0xC0) != 0x80)
            return std::nullopt;
        cp = (cp << 6) | (next & 0x3F);
    }
    if (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF))
        return std::nullopt;
    return cp;
}

} // namespace

std::optional<std::int32_t> ParseIntegerText(std::string_view text)
{
    const std::size_t start = text.find_first_not_of(' ');
    if (start == std::string_view::npos)
        return std::nullopt; // empty, or spaces alone
    text.remove_prefix(start);
    if (text[0] == '$' || text[0] == 'x' || text[0] == 'X')
        return ParseHex(text.substr(1));
    if (text.size() >= 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X'))
        return ParseHex(text.substr(2));
    return ParseDecimal(text);
}

std::string PassphraseBytes(std::string_view utf8)
{
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t pos = 0; pos < utf8.size();) {
        const auto cp = NextCodePoint(utf8, pos);
        const auto byte = cp ? Cp1252Byte(*cp) : std::nullopt;
        if (!byte)
            return std::string(utf8);
        out.push_back(static_cast<char>(*byte));
    }
    return out;
}

std::size_t PassphraseFieldLength(std::string_view utf8)
{
    std::size_t units = 0;
    for (std::size_t pos = 0; pos < utf8.size();) {
        const auto cp = NextCodePoint(utf8, pos);
        if (!cp)
            return utf8.size();
        units += *cp > 0xFFFF ? 2 : 1;
    }
    return units;
}

KeyFromText KeyForText(std::string_view bytes)
{
    if (const auto value = ParseIntegerText(bytes))
        return {*value, true};
    return {PassphraseKey(bytes), false};
}

} // namespace mg
