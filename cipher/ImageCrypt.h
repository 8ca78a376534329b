#pragma once
// TImgCrypt: the file cipher. Every byte is XORed with the keystream of the
// key (see Keystream.h); an encrypted file has no header and the plain
// file's length. Every call sets the seed to its key first and leaves it
// advanced by one step per byte processed.
#include "base/JPEGImage.h"
#include "cipher/StrongKeys.h"

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
    // Strong files only (see StrongCrypt.h):
    WrongPassphrase, // the header is intact but the key does not fit it
    Damaged,         // changed, cut short or extended after encryption
    Unsupported,     // a later format version, or a costlier derivation than allowed
};

// Why a cipher call failed; converts to true on success.
struct CipherResult {
    CipherFailure failure = CipherFailure::None;
    int error = 0;      // errno for read and write failures
    std::string detail; // the errno text ("not a regular file" for a FIFO, device
                        // or socket), or the JPEG header check's message

    explicit operator bool() const { return failure == CipherFailure::None; }
};

class SafeCommitter;

class TImgCrypt {
public:
    // The plain operations: false on every failure, nothing shown.
    bool EncryptFile(const std::string& src, const std::string& dst, std::int32_t key);
    bool DecryptFile(const std::string& src, const std::string& dst, std::int32_t key);
    bool DecryptImage(const std::string& src, std::unique_ptr<TJPEGImage>& slot, std::int32_t key);

    // The same operations with the reason for a failure.
    CipherResult EncryptFileEx(const std::string& src, const std::string& dst, std::int32_t key);
    CipherResult DecryptFileEx(const std::string& src, const std::string& dst, std::int32_t key);
    CipherResult DecryptImageEx(const std::string& src, std::unique_ptr<TJPEGImage>& slot, std::int32_t key);
    // Encrypts into a temporary file and hands it to `committer` under
    // `tag` instead of waiting for it to reach the disk; the result tells
    // only about reading and writing. The committer's Next gives the rest.
    CipherResult EncryptFileEx(const std::string& src, const std::string& dst, std::int32_t key,
                               SafeCommitter& committer, int tag);

    // The strong format's passphrase and derived keys. DecryptFile takes a
    // file that starts with the strong magic as a strong file first.
    strong::StrongKeys Strong;

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
    CipherResult TransformFile(const std::string& src, const std::string& dst, std::int32_t key, bool checkJpeg,
                               SafeCommitter* committer = nullptr, int tag = 0);
};

// DecryptImageEx's reading and decryption on a generator state of the
// caller's own: state starts at the key and ends where DecryptImageEx leaves
// the process's seed. No process-wide state is read or changed, so a worker
// thread may call it while the window draws from the shared generator.
CipherResult DecryptLightImage(const std::string& src, std::unique_ptr<TJPEGImage>& slot, std::int32_t key,
                               std::uint32_t& state);

} // namespace mg
