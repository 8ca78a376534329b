#pragma once
// The strong format: a passphrase-keyed, authenticated encryption of any
// file, beside the light keystream format (which stays the default).
//
// File layout, version 1 (integers little-endian):
//   0   8  magic 89 'M' 'U' 'R' 'K' 'G' 'L' 1A
//   8   1  version (1)
//   9   4  Argon2id passes
//   13  4  Argon2id memory in KiB
//   17  16 salt
//   33  24 secretstream header (XChaCha20-Poly1305)
//   57  16 key check: BLAKE2b of bytes 0-56 keyed with a subkey of the key
//   73  16 checksum: BLAKE2b of bytes 0-72, unkeyed
//   89     stream messages, each 17 bytes longer than its plain text:
//          first the 256-byte record of the original extension (its length
//          byte, then the extension padded with zeros), authenticated with
//          the 89 header bytes; then the file in 64 KiB pieces, the last one
//          (maybe empty) shorter and tagged final.
//
// The checksum tells a damaged header from a wrong passphrase, the key check
// tells a wrong passphrase from a damaged payload, and the stream's tags
// catch any changed, dropped, swapped or missing piece.
#include "cipher/ImageCrypt.h"
#include "cipher/StrongKeys.h"

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace mg::strong {

inline constexpr std::array<std::uint8_t, 8> kMagic{0x89, 'M', 'U', 'R', 'K', 'G', 'L', 0x1A};
inline constexpr std::uint8_t kVersion = 1;
inline constexpr std::size_t kHeaderBytes = 89;
inline constexpr std::size_t kStreamHeaderBytes = 24;
inline constexpr std::size_t kPieceBytes = std::size_t{64} << 10;
inline constexpr std::size_t kPieceOverhead = 17;
inline constexpr std::size_t kExtensionRecordBytes = 256;
// Bytes a strong file has beyond its plain file, less the pieces' overhead.
inline constexpr std::size_t kFixedOverhead = kHeaderBytes + kExtensionRecordBytes + kPieceOverhead;

struct Header {
    std::uint8_t version = 0;
    KdfParams params;
    Salt salt{};
    std::array<std::uint8_t, kStreamHeaderBytes> streamHeader{};
    std::array<std::uint8_t, 16> keyCheck{};
};

enum class HeaderStatus {
    Ok,
    NotStrong,   // no magic
    Damaged,     // too short or the checksum does not match
    Unsupported, // a later version of the format
    TooCostly,   // derivation parameters beyond kReadCap (or below libsodium's least)
};

// Whether the bytes begin with the magic.
bool HasMagic(const std::uint8_t* data, std::size_t n);
// Reads and checks the header at the start of the bytes.
HeaderStatus ParseHeader(const std::uint8_t* data, std::size_t n, Header& header);
// Whether the file at path begins with the magic (false when unreadable).
bool FileHasMagic(const std::string& path);

// The extension of a file name (after the last "." of its last part),
// as stored in the encrypted payload: at most 255 bytes, else none.
std::string ExtensionToKeep(const std::string& path);

// Encrypts src into dst with the keys' passphrase, batch salt and write
// parameters. dst is written safely and only when everything went well.
CipherResult EncryptFile(const std::string& src, const std::string& dst, StrongKeys& keys);

// Decrypts a strong file into dst; nothing is written unless the whole file
// authenticates. extension (when given) receives the stored extension.
CipherResult DecryptFile(const std::string& src, const std::string& dst, StrongKeys& keys,
                         std::string* extension = nullptr);

// Decrypts a strong file into memory. A file whose plain text would exceed
// maxPlainBytes is refused before anything is decrypted.
CipherResult DecryptToMemory(const std::string& src, StrongKeys& keys, std::vector<std::uint8_t>& plain,
                             std::string& extension, std::uint64_t maxPlainBytes);

// Reads only as far as the stored extension (the header and first message).
CipherResult StoredExtension(const std::string& src, StrongKeys& keys, std::string& extension);

// The stream reader over bytes in memory, for the fuzz target: the same
// checks as the file readers.
CipherResult DecryptBytes(const std::uint8_t* data, std::size_t n, StrongKeys& keys, std::vector<std::uint8_t>& plain,
                          std::string& extension);

} // namespace mg::strong
