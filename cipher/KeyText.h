#pragma once
// Key texts: which typed texts are integers (and so are keys themselves),
// and which bytes a typed passphrase stands for.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace mg {

// The value of an integer text: leading spaces (byte 32 only), then either
// "$", "x", "X", "0x" or "0X" and hexadecimal digits (32-bit pattern), or an
// optional sign and decimal digits in the 32-bit signed range; nothing may
// follow. Anything else gives no value.
std::optional<std::int32_t> ParseIntegerText(std::string_view text);

// The Windows-1252 bytes of a UTF-8 text, so that a passphrase gives the same
// key on every machine; when a character has no Windows-1252 byte (or the
// UTF-8 is malformed) the whole text keeps its UTF-8 bytes.
std::string PassphraseBytes(std::string_view utf8);

// The character of one Windows-1252 byte. The five bytes the code page
// leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) give the C1 control of the
// same number, as Windows' own conversion does.
char32_t Cp1252Character(unsigned char byte);

// The passphrase field holds at most this many characters.
inline constexpr std::size_t kPassphraseMaxLength = 255;

// The length of a UTF-8 text as the passphrase field counts it: UTF-16 code
// units (a character beyond U+FFFF counts twice); malformed UTF-8 counts one
// per byte, as it stands for single-byte characters.
std::size_t PassphraseFieldLength(std::string_view utf8);

struct KeyFromText {
    std::int32_t key = 0;
    bool isInteger = false;
};

// The key a text stands for: its value when it is an integer text, else
// PassphraseKey of its bytes. Takes the bytes chosen by PassphraseBytes.
KeyFromText KeyForText(std::string_view bytes);

} // namespace mg
