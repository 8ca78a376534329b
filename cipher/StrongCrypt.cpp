#include "cipher/StrongCrypt.h"

#include "cipher/SafeFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <new>
#include <optional>
#include <sodium.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mg::strong {
namespace {

static_assert(crypto_pwhash_SALTBYTES == kSaltBytes);
static_assert(crypto_secretstream_xchacha20poly1305_HEADERBYTES == kStreamHeaderBytes);
static_assert(crypto_secretstream_xchacha20poly1305_ABYTES == kPieceOverhead);
static_assert(crypto_secretstream_xchacha20poly1305_KEYBYTES == kKeyBytes);

constexpr std::size_t kKeyCheckAt = 57;
constexpr std::size_t kChecksumAt = 73;
constexpr std::size_t kCipherPieceBytes = kPieceBytes + kPieceOverhead;
constexpr char kSubkeyContext[crypto_kdf_CONTEXTBYTES + 1] = "MGstrong";
constexpr std::uint64_t kStreamSubkey = 1;
constexpr std::uint64_t kCheckSubkey = 2;

using State = crypto_secretstream_xchacha20poly1305_state;

// Wipes plain pieces and stream states however the function ends, so no
// copy of a picture or key material stays behind in freed memory.
class Wiper {
public:
    Wiper(void* data, std::size_t n) : data_(data), n_(n) {}
    explicit Wiper(std::vector<std::uint8_t>& v) : vector_(&v) {}
    ~Wiper()
    {
        if (vector_)
            ::sodium_memzero(vector_->data(), vector_->size());
        else
            ::sodium_memzero(data_, n_);
    }
    Wiper(const Wiper&) = delete;
    Wiper& operator=(const Wiper&) = delete;

private:
    void* data_ = nullptr;
    std::size_t n_ = 0;
    std::vector<std::uint8_t>* vector_ = nullptr;
};

CipherResult Failed(CipherFailure failure, int error, std::string detail = {})
{
    if (detail.empty() && error != 0)
        detail = std::strerror(error);
    return {failure, error, std::move(detail)};
}

CipherResult Damaged()
{
    return Failed(CipherFailure::Damaged, 0, "damaged");
}

void PutU32(std::uint8_t* at, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        at[i] = std::uint8_t(v >> (8 * i));
}

std::uint32_t GetU32(const std::uint8_t* at)
{
    return std::uint32_t(at[0]) | std::uint32_t(at[1]) << 8 | std::uint32_t(at[2]) << 16
           | std::uint32_t(at[3]) << 24;
}

// The stream key and the key-check key, both derived from the Argon2id key.
struct Subkeys {
    TSecretBytes stream{kKeyBytes};
    TSecretBytes check{kKeyBytes};
    explicit Subkeys(const TSecretBytes& key)
    {
        ::crypto_kdf_derive_from_key(stream.Data(), stream.Size(), kStreamSubkey, kSubkeyContext,
                                     key.Data());
        ::crypto_kdf_derive_from_key(check.Data(), check.Size(), kCheckSubkey, kSubkeyContext,
                                     key.Data());
    }
};

void KeyCheck(const std::uint8_t* header, const Subkeys& keys, std::uint8_t out[16])
{
    ::crypto_generichash(out, 16, header, kKeyCheckAt, keys.check.Data(), keys.check.Size());
}

// Where the encrypted bytes come from: a file or memory.
class Input {
public:
    virtual ~Input() = default;
    // Reads up to n bytes, fewer only at the end; -1 on a read error.
    virtual ssize_t ReadFull(std::uint8_t* data, std::size_t n) = 0;
    virtual CipherResult Failure() const = 0;
};

class MemoryInput : public Input {
public:
    MemoryInput(const std::uint8_t* data, std::size_t n) : data_(data), left_(n) {}
    ssize_t ReadFull(std::uint8_t* data, std::size_t n) override
    {
        n = std::min(n, left_);
        if (n > 0)
            std::memcpy(data, data_, n);
        data_ += n;
        left_ -= n;
        return ssize_t(n);
    }
    CipherResult Failure() const override { return Failed(CipherFailure::CannotReadSource, EIO); }

private:
    const std::uint8_t* data_;
    std::size_t left_;
};

// A regular file opened for reading with a shared lock, like the light
// cipher's sources: a FIFO, device or folder is refused before any read.
class FileInput : public Input {
public:
    explicit FileInput(const std::string& path)
    {
        fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
        if (fd_ < 0) {
            error_ = errno;
            return;
        }
        struct stat info {};
        if (::fstat(fd_, &info) != 0 || !S_ISREG(info.st_mode)) {
            error_ = S_ISDIR(info.st_mode) ? EISDIR : EINVAL;
            notRegular_ = !S_ISDIR(info.st_mode);
            Close();
            return;
        }
        size_ = std::uint64_t(info.st_size);
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
        if (::flock(fd_, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
            error_ = errno;
            Close();
            return;
        }
        ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
    ~FileInput() override { Close(); }
    FileInput(const FileInput&) = delete;
    FileInput& operator=(const FileInput&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    std::uint64_t Size() const { return size_; }
    void Close()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }
    ssize_t ReadFull(std::uint8_t* data, std::size_t n) override
    {
        std::size_t done = 0;
        while (done < n) {
            const ssize_t got = ::read(fd_, data + done, n - done);
            if (got < 0 && errno == EINTR)
                continue;
            if (got < 0) {
                error_ = errno;
                return -1;
            }
            if (got == 0)
                break;
            done += std::size_t(got);
        }
        return ssize_t(done);
    }
    CipherResult Failure() const override
    {
        return Failed(CipherFailure::CannotReadSource, error_, notRegular_ ? "not a regular file" : "");
    }

private:
    int fd_ = -1;
    int error_ = 0;
    bool notRegular_ = false;
    std::uint64_t size_ = 0;
};

// Receives decrypted pieces; false stops the decryption with its result.
using Sink = std::function<CipherResult(const std::uint8_t*, std::size_t)>;

// The reader: header, key check, extension record, then (when a sink is
// given) every piece up to the final one, which must end the input.
CipherResult Decrypt(Input& in, TStrongKeys& keys, std::string& extension, const Sink* sink)
{
    if (!SodiumReady())
        return Failed(CipherFailure::CannotReadSource, ENOSYS, "no random source for libsodium");
    std::uint8_t head[kHeaderBytes];
    const ssize_t got = in.ReadFull(head, sizeof head);
    if (got < 0)
        return in.Failure();
    Header header;
    switch (ParseHeader(head, std::size_t(got), header)) {
    case HeaderStatus::Ok:
        break;
    case HeaderStatus::NotStrong:
    case HeaderStatus::Damaged:
        return Damaged();
    case HeaderStatus::Unsupported:
        return Failed(CipherFailure::Unsupported, 0, "made by a later version of the strong format");
    case HeaderStatus::TooCostly:
        return Failed(CipherFailure::Unsupported, 0,
                      "its key derivation asks for more than " + std::to_string(kReadCap.memKiB >> 10)
                          + " MiB or " + std::to_string(kReadCap.opsLimit) + " passes");
    }
    const TSecretBytes* key = keys.Key(header.params, header.salt);
    if (key == nullptr)
        return Failed(CipherFailure::CannotReadSource, ENOMEM);
    const Subkeys sub(*key);
    std::uint8_t check[16];
    KeyCheck(head, sub, check);
    if (::sodium_memcmp(check, header.keyCheck.data(), sizeof check) != 0)
        return Failed(CipherFailure::WrongPassphrase, 0, "wrong passphrase");

    State state;
    const Wiper wipeState(&state, sizeof state);
    if (::crypto_secretstream_xchacha20poly1305_init_pull(&state, header.streamHeader.data(),
                                                          sub.stream.Data())
        != 0)
        return Damaged();
    std::vector<std::uint8_t> cipher;
    std::vector<std::uint8_t> plain;
    try {
        cipher.resize(kCipherPieceBytes);
        plain.resize(kPieceBytes);
    } catch (const std::bad_alloc&) {
        return Failed(CipherFailure::CannotReadSource, ENOMEM);
    }
    const Wiper wipePlain(plain);
    unsigned char tag = 0;
    const std::size_t recordCipher = kExtensionRecordBytes + kPieceOverhead;
    const ssize_t rec = in.ReadFull(cipher.data(), recordCipher);
    if (rec < 0)
        return in.Failure();
    if (std::size_t(rec) != recordCipher
        || ::crypto_secretstream_xchacha20poly1305_pull(&state, plain.data(), nullptr, &tag,
                                                        cipher.data(), recordCipher, head,
                                                        sizeof head)
               != 0
        || tag != crypto_secretstream_xchacha20poly1305_TAG_MESSAGE)
        return Damaged();
    extension.assign(reinterpret_cast<const char*>(plain.data() + 1), plain[0]);
    if (sink == nullptr)
        return {};

    for (;;) {
        const ssize_t n = in.ReadFull(cipher.data(), cipher.size());
        if (n < 0)
            return in.Failure();
        // No final piece before the end: the file was cut short.
        if (std::size_t(n) < kPieceOverhead)
            return Damaged();
        unsigned long long plainBytes = 0;
        if (::crypto_secretstream_xchacha20poly1305_pull(&state, plain.data(), &plainBytes, &tag,
                                                         cipher.data(), std::size_t(n), nullptr, 0)
            != 0)
            return Damaged();
        const bool final = tag == crypto_secretstream_xchacha20poly1305_TAG_FINAL;
        if (!final && (tag != crypto_secretstream_xchacha20poly1305_TAG_MESSAGE || plainBytes != kPieceBytes))
            return Damaged();
        if (CipherResult r = (*sink)(plain.data(), std::size_t(plainBytes)); !r)
            return r;
        if (final) {
            // Anything after the final piece was added.
            std::uint8_t extra;
            const ssize_t more = in.ReadFull(&extra, 1);
            if (more < 0)
                return in.Failure();
            return more == 0 ? CipherResult{} : Damaged();
        }
    }
}

CipherResult WriterFailure(const TSafeWriter& writer)
{
    return Failed(CipherFailure::CannotWriteDestination, writer.Error(), writer.ErrorText());
}

} // namespace

bool HasMagic(const std::uint8_t* data, std::size_t n)
{
    return n >= kMagic.size() && std::equal(kMagic.begin(), kMagic.end(), data);
}

HeaderStatus ParseHeader(const std::uint8_t* data, std::size_t n, Header& header)
{
    if (!HasMagic(data, n))
        return HeaderStatus::NotStrong;
    if (n < kHeaderBytes || !SodiumReady())
        return HeaderStatus::Damaged;
    std::uint8_t sum[16];
    ::crypto_generichash(sum, sizeof sum, data, kChecksumAt, nullptr, 0);
    if (::sodium_memcmp(sum, data + kChecksumAt, sizeof sum) != 0)
        return HeaderStatus::Damaged;
    header.version = data[8];
    header.params = {GetU32(data + 9), GetU32(data + 13)};
    std::copy_n(data + 17, kSaltBytes, header.salt.begin());
    std::copy_n(data + 33, kStreamHeaderBytes, header.streamHeader.begin());
    std::copy_n(data + kKeyCheckAt, 16, header.keyCheck.begin());
    if (header.version != kVersion)
        return HeaderStatus::Unsupported;
    if (header.params.opsLimit > kReadCap.opsLimit || header.params.memKiB > kReadCap.memKiB
        || header.params.opsLimit < crypto_pwhash_OPSLIMIT_MIN
        || (std::size_t(header.params.memKiB) << 10) < crypto_pwhash_MEMLIMIT_MIN)
        return HeaderStatus::TooCostly;
    return HeaderStatus::Ok;
}

bool FileHasMagic(const std::string& path)
{
    FileInput in(path);
    std::uint8_t head[kMagic.size()];
    return in.IsOpen() && in.ReadFull(head, sizeof head) == ssize_t(sizeof head)
           && HasMagic(head, sizeof head);
}

std::string ExtensionToKeep(const std::string& path)
{
    const std::size_t slash = path.rfind('/');
    const std::size_t start = slash == std::string::npos ? 0 : slash + 1;
    const std::size_t dot = path.rfind('.');
    if (dot == std::string::npos || dot < start || path.size() - dot - 1 > 255)
        return {};
    return path.substr(dot + 1);
}

CipherResult EncryptFile(const std::string& src, const std::string& dst, TStrongKeys& keys)
{
    if (!SodiumReady())
        return Failed(CipherFailure::CannotWriteDestination, ENOSYS, "no random source for libsodium");
    FileInput in(src);
    if (!in.IsOpen())
        return in.Failure();
    const KdfParams params = keys.writeParams;
    const Salt& salt = keys.BatchSalt();
    const TSecretBytes* key = keys.Key(params, salt);
    if (key == nullptr)
        return Failed(CipherFailure::CannotReadSource, ENOMEM);
    const Subkeys sub(*key);

    std::uint8_t head[kHeaderBytes];
    State state;
    const Wiper wipeState(&state, sizeof state);
    std::copy(kMagic.begin(), kMagic.end(), head);
    head[8] = kVersion;
    PutU32(head + 9, params.opsLimit);
    PutU32(head + 13, params.memKiB);
    std::copy(salt.begin(), salt.end(), head + 17);
    ::crypto_secretstream_xchacha20poly1305_init_push(&state, head + 33, sub.stream.Data());
    KeyCheck(head, sub, head + kKeyCheckAt);
    ::crypto_generichash(head + kChecksumAt, 16, head, kChecksumAt, nullptr, 0);

    // Two plain pieces: the one being read ahead tells whether the current
    // one is the last.
    std::vector<std::uint8_t> current, next, cipher;
    try {
        current.resize(std::max(kPieceBytes, kExtensionRecordBytes));
        next.resize(kPieceBytes);
        cipher.resize(kCipherPieceBytes);
    } catch (const std::bad_alloc&) {
        return Failed(CipherFailure::CannotReadSource, ENOMEM);
    }
    const Wiper wipeCurrent(current), wipeNext(next);
    TSafeWriter writer(dst);
    if (!writer.Open())
        return WriterFailure(writer);
    if (!writer.Write(head, sizeof head))
        return WriterFailure(writer);

    const std::string extension = ExtensionToKeep(src);
    std::fill_n(current.begin(), kExtensionRecordBytes, 0);
    current[0] = std::uint8_t(extension.size());
    std::copy(extension.begin(), extension.end(), current.begin() + 1);
    ::crypto_secretstream_xchacha20poly1305_push(&state, cipher.data(), nullptr, current.data(),
                                                 kExtensionRecordBytes, head, sizeof head,
                                                 crypto_secretstream_xchacha20poly1305_TAG_MESSAGE);
    if (!writer.Write(cipher.data(), kExtensionRecordBytes + kPieceOverhead))
        return WriterFailure(writer);

    ssize_t have = in.ReadFull(current.data(), kPieceBytes);
    if (have < 0)
        return in.Failure();
    for (;;) {
        ssize_t ahead = 0;
        if (std::size_t(have) == kPieceBytes) {
            ahead = in.ReadFull(next.data(), kPieceBytes);
            if (ahead < 0)
                return in.Failure();
        }
        const bool final = ahead == 0;
        unsigned long long out = 0;
        ::crypto_secretstream_xchacha20poly1305_push(
            &state, cipher.data(), &out, current.data(), std::size_t(have), nullptr, 0,
            final ? crypto_secretstream_xchacha20poly1305_TAG_FINAL
                  : crypto_secretstream_xchacha20poly1305_TAG_MESSAGE);
        if (!writer.Write(cipher.data(), std::size_t(out)))
            return WriterFailure(writer);
        if (final)
            break;
        current.swap(next);
        have = ahead;
    }
    in.Close();
    if (!writer.Commit())
        return WriterFailure(writer);
    return {};
}

CipherResult DecryptFile(const std::string& src, const std::string& dst, TStrongKeys& keys,
                         std::string* extension)
{
    FileInput in(src);
    if (!in.IsOpen())
        return in.Failure();
    // The destination is created only once the header and key are known
    // good, and committed only once the final piece authenticated.
    std::string stored;
    std::optional<TSafeWriter> writer;
    const Sink sink = [&](const std::uint8_t* data, std::size_t n) -> CipherResult {
        if (!writer) {
            writer.emplace(dst);
            if (!writer->Open())
                return WriterFailure(*writer);
        }
        if (n > 0 && !writer->Write(data, n))
            return WriterFailure(*writer);
        return {};
    };
    if (CipherResult r = Decrypt(in, keys, stored, &sink); !r)
        return r;
    in.Close();
    if (!writer->Commit())
        return WriterFailure(*writer);
    if (extension)
        *extension = stored;
    return {};
}

CipherResult DecryptToMemory(const std::string& src, TStrongKeys& keys,
                             std::vector<std::uint8_t>& plain, std::string& extension,
                             std::uint64_t maxPlainBytes)
{
    FileInput in(src);
    if (!in.IsOpen())
        return in.Failure();
    // The plain length follows from the file's: every piece but the last
    // is full.
    const std::uint64_t size = in.Size();
    std::uint64_t expected = 0;
    if (size > kHeaderBytes + kExtensionRecordBytes + kPieceOverhead) {
        const std::uint64_t payload = size - kHeaderBytes - kExtensionRecordBytes - kPieceOverhead;
        expected = payload - payload / kCipherPieceBytes * kPieceOverhead;
    }
    if (expected > maxPlainBytes)
        return Failed(CipherFailure::CannotReadSource, EFBIG,
                      "larger than the memory allowed for one picture");
    plain.clear();
    try {
        plain.reserve(std::size_t(expected));
    } catch (const std::bad_alloc&) {
        return Failed(CipherFailure::CannotReadSource, ENOMEM);
    }
    const Sink sink = [&](const std::uint8_t* data, std::size_t n) -> CipherResult {
        if (plain.size() + n > maxPlainBytes)
            return Failed(CipherFailure::CannotReadSource, EFBIG,
                          "larger than the memory allowed for one picture");
        plain.insert(plain.end(), data, data + n);
        return {};
    };
    CipherResult r = Decrypt(in, keys, extension, &sink);
    if (!r) {
        ::sodium_memzero(plain.data(), plain.size());
        plain.clear();
    }
    return r;
}

CipherResult StoredExtension(const std::string& src, TStrongKeys& keys, std::string& extension)
{
    FileInput in(src);
    if (!in.IsOpen())
        return in.Failure();
    return Decrypt(in, keys, extension, nullptr);
}

CipherResult DecryptBytes(const std::uint8_t* data, std::size_t n, TStrongKeys& keys,
                          std::vector<std::uint8_t>& plain, std::string& extension)
{
    MemoryInput in(data, n);
    const Sink sink = [&](const std::uint8_t* bytes, std::size_t count) -> CipherResult {
        plain.insert(plain.end(), bytes, bytes + count);
        return {};
    };
    return Decrypt(in, keys, extension, &sink);
}

} // namespace mg::strong
