#pragma once
// TImgCrypt: the file cipher. Every byte is XORed with the keystream of the
// key (see Keystream.h); an encrypted file has no header and the plain
// file's length. Every call sets the seed to its key first and leaves it
// advanced by one step per byte processed.
#include "base/JPEGImage.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace mg {

enum class CipherFailure {
    None,
    CannotReadSource,
    CannotWriteDestination,
    NotJpeg, // the decrypted bytes failed the JPEG header check
};

// Why a cipher call failed; converts to true on success.
struct CipherResult {
    CipherFailure failure = CipherFailure::None;
    int error = 0;      // errno for read and write failures
    std::string detail; // the errno text ("not a regular file" for a FIFO, device
                        // or socket), or the JPEG header check's message

    explicit operator bool() const { return failure == CipherFailure::None; }
};

class TImgCrypt {
public:
    // The plain operations: false on every failure, nothing shown.
    bool EncryptFile(const std::string& src, const std::string& dst, std::int32_t key);
    bool DecryptFile(const std::string& src, const std::string& dst, std::int32_t key);
    bool DecryptImage(const std::string& src, std::unique_ptr<TJPEGImage>& slot,
                      std::int32_t key);

    // The same operations with the reason for a failure.
    CipherResult EncryptFileEx(const std::string& src, const std::string& dst,
                               std::int32_t key);
    CipherResult DecryptFileEx(const std::string& src, const std::string& dst,
                               std::int32_t key);
    CipherResult DecryptImageEx(const std::string& src, std::unique_ptr<TJPEGImage>& slot,
                                std::int32_t key);

    // Absent until the first DecryptImage; then present and empty. The
    // encrypted bytes are not kept after a call: the file is decrypted in
    // place as it is read, so the picture's bytes are the only copy.
    std::unique_ptr<std::vector<std::uint8_t>> LastEncrypted;

    // Bytes per read/write while streaming a file; memory stays bounded by
    // this whatever the file's size. Small enough that the buffer stays in
    // the processor's cache between the kernel's copy in and copy out,
    // which makes larger chunks markedly slower.
    static constexpr std::size_t kChunkBytes = std::size_t{128} << 10;

private:
    CipherResult TransformFile(const std::string& src, const std::string& dst,
                               std::int32_t key, bool checkJpeg);
};

} // namespace mg
