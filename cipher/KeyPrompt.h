#pragma once
// The current key's prompts. The key itself (Passphrase bytes and
// DecryptionKey) belongs to the main window, which passes its fields in.
#include "cipher/StrongKeys.h"

#include <QString>
#include <cstdint>
#include <optional>
#include <string>

namespace mg {

// Asks for a passphrase ("Set Decryption Key") with the current passphrase as
// the default. An empty answer changes nothing; an integer text becomes the
// key and leaves the passphrase; any other text becomes the passphrase and
// its key. When strongKeys is given, every non-empty answer, integer texts
// included, also becomes the strong format's passphrase.
void PromptForKey(std::string& passphrase, std::int32_t& decryptionKey, strong::StrongKeys* strongKeys = nullptr);

// Runs PromptForKey, then asks for the passphrase again ("CONFIRM Decryption
// Key"). True when the second answer equals, byte for byte, the text the first
// prompt gave back; an empty second answer gives false silently, any other
// difference shows "Keys DID NOT match". The key set by the first prompt
// stays in force either way.
bool ConfirmPassphrase(std::string& passphrase, std::int32_t& decryptionKey, strong::StrongKeys* strongKeys = nullptr);

// The bytes a typed text stands for: Windows-1252, else UTF-8.
std::string TypedTextBytes(const QString& text);
// A passphrase's bytes as text for display; TypedTextBytes gives the same
// bytes back, so a passphrase shown as a default and not edited is unchanged.
QString PassphraseText(const std::string& bytes);
// The value of a typed integer text (read from its bytes, as above).
std::optional<std::int32_t> IntegerFromText(const QString& text);

} // namespace mg
