#include "cipher/StrongCrypt.h"

#include "base/SafeFile.h"
#include "base/SourceFile.h"

#include <algorithm>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <new>
#include <optional>
#include <sodium.h>
#include <system_error>
#include <thread>

namespace mg::strong {
namespace {

static_assert(crypto_pwhash_SALTBYTES == kSaltBytes);
static_assert(crypto_secretstream_xchacha20poly1305_HEADERBYTES == kStreamHeaderBytes);
static_assert(crypto_secretstream_xchacha20poly1305_ABYTES == kPieceOverhead);
static_assert(crypto_secretstream_xchacha20poly1305_KEYBYTES == kKeyBytes);

constexpr std::size_t kKeyCheckAt = 57;
constexpr std::size_t kChecksumAt = 73;
constexpr std::size_t kCipherPieceBytes = kPieceBytes + kPieceOverhead;
// Pieces are read, encrypted and written 16 at a time (1 MiB of plain
// text): fewer system calls, and whole batches to hand to the writer thread.
constexpr std::size_t kBatchPieces = 16;
constexpr std::size_t kBatchPlainBytes = kBatchPieces * kPieceBytes;
constexpr std::size_t kBatchCipherBytes = kBatchPieces * kCipherPieceBytes;
// Batches that may go round between the cipher and the writer thread: 4 MiB
// at most, which stays in the processor's cache between the two threads
// (16 MiB measured slower here). They are made only as they are needed, so
// a small file takes one or two.
constexpr std::size_t kWriteBuffers = 4;
constexpr char kSubkeyContext[crypto_kdf_CONTEXTBYTES + 1] = "MGstrong";
constexpr std::uint64_t kStreamSubkey = 1;
constexpr std::uint64_t kCheckSubkey = 2;

using State = crypto_secretstream_xchacha20poly1305_state;

// Wipes plain pieces and stream states however the function ends, so no
// copy of a picture or key material stays behind in freed memory.
class Wiper {
public:
    Wiper(void* data, std::size_t n) : data_(data), n_(n) {}
    ~Wiper() { ::sodium_memzero(data_, n_); }
    Wiper(const Wiper&) = delete;
    Wiper& operator=(const Wiper&) = delete;

private:
    void* data_;
    std::size_t n_;
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
    return std::uint32_t(at[0]) | std::uint32_t(at[1]) << 8 | std::uint32_t(at[2]) << 16 | std::uint32_t(at[3]) << 24;
}

// The stream key and the key-check key, both derived from the Argon2id key.
struct Subkeys {
    SecretBytes stream{kKeyBytes};
    SecretBytes check{kKeyBytes};
    explicit Subkeys(const SecretBytes& key)
    {
        ::crypto_kdf_derive_from_key(stream.Data(), stream.Size(), kStreamSubkey, kSubkeyContext, key.Data());
        ::crypto_kdf_derive_from_key(check.Data(), check.Size(), kCheckSubkey, kSubkeyContext, key.Data());
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
    // The next n bytes (fewer only at the end), valid until the next call;
    // a size of -1 on a read error. n is the same at every call.
    virtual ReadAhead::Block NextBatch(std::size_t n) = 0;
    virtual CipherResult Failure() const = 0;
};

class MemoryInput : public Input {
public:
    MemoryInput(const std::uint8_t* data, std::size_t n) : data_(data), left_(n) {}
    ssize_t ReadFull(std::uint8_t* data, std::size_t n) override
    {
        const ReadAhead::Block block = NextBatch(n);
        if (block.size > 0)
            std::memcpy(data, block.data, std::size_t(block.size));
        return block.size;
    }
    ReadAhead::Block NextBatch(std::size_t n) override
    {
        n = std::min(n, left_);
        const ReadAhead::Block block{data_, ssize_t(n)};
        data_ += n;
        left_ -= n;
        return block;
    }
    CipherResult Failure() const override { return Failed(CipherFailure::CannotReadSource, EIO); }

private:
    const std::uint8_t* data_;
    std::size_t left_;
};

// A regular file, read as the light cipher reads its sources; the batches
// after the header are read ahead on a thread of their own.
class FileInput : public Input {
public:
    explicit FileInput(const std::string& path) : file_(path) {}
    bool IsOpen() const { return file_.IsOpen(); }
    std::uint64_t Size() const { return file_.Size(); }
    SourceFile& File() { return file_; }
    void Close()
    {
        ahead_.reset();
        file_.Close();
    }
    ssize_t ReadFull(std::uint8_t* data, std::size_t n) override { return file_.ReadFull(data, n); }
    ReadAhead::Block NextBatch(std::size_t n) override
    {
        if (!ahead_) {
            try {
                ahead_.emplace(file_, n);
            } catch (const std::bad_alloc&) {
                error_ = ENOMEM;
                return {nullptr, -1};
            }
        }
        ahead_->Give(held_);
        held_ = ahead_->Take();
        return held_;
    }
    CipherResult Failure() const override
    {
        return Failed(CipherFailure::CannotReadSource, error_ != 0 ? error_ : file_.Error(),
                      file_.NotRegular() ? "not a regular file" : "");
    }

private:
    SourceFile file_;
    std::optional<ReadAhead> ahead_; // ends before the file
    ReadAhead::Block held_;
    int error_ = 0;
};

// Writes filled batches through a safe writer on a second thread, so that
// the next batch is encrypted or decrypted while the last one goes to the
// disk: the cipher's processor time then hides behind the writing instead
// of adding to it. All buffers are wiped at the end, since those of a
// decryption hold plain pictures. When no thread can be started, each batch
// is written at once instead.
class BackgroundWriter {
public:
    BackgroundWriter(SafeWriter& writer, std::size_t bufferBytes) : writer_(writer), bufferBytes_(bufferBytes)
    {
        buffers_.reserve(kWriteBuffers);
        try {
            thread_ = std::thread([this] { Run(); });
        } catch (const std::system_error&) {
        }
    }
    ~BackgroundWriter()
    {
        Stop();
        for (auto& b : buffers_)
            ::sodium_memzero(b.data(), b.size());
    }
    BackgroundWriter(const BackgroundWriter&) = delete;
    BackgroundWriter& operator=(const BackgroundWriter&) = delete;

    // A buffer to fill, once one is free; nullptr after a write failed.
    // Throws std::bad_alloc when a new one cannot be made.
    std::uint8_t* Take()
    {
        std::unique_lock lock(mutex_);
        if (free_.empty() && buffers_.size() < kWriteBuffers && !failed_) {
            buffers_.emplace_back(bufferBytes_);
            return buffers_.back().data();
        }
        changed_.wait(lock, [this] { return failed_ || !free_.empty(); });
        if (failed_)
            return nullptr;
        std::uint8_t* data = free_.back();
        free_.pop_back();
        return data;
    }
    // Hands the first n bytes of a taken buffer to the writer; false once
    // a write failed.
    bool Queue(std::uint8_t* data, std::size_t n)
    {
        if (!thread_.joinable()) {
            const bool ok = writer_.Write(data, n);
            std::lock_guard lock(mutex_);
            free_.push_back(data);
            failed_ = failed_ || !ok;
            return ok;
        }
        std::lock_guard lock(mutex_);
        if (failed_)
            return false;
        queued_.emplace_back(data, n);
        changed_.notify_all();
        return true;
    }
    // Waits until every queued batch is written; false when one failed.
    bool Finish()
    {
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return failed_ || queued_.empty(); });
        }
        Stop();
        return !failed_;
    }

private:
    void Stop()
    {
        {
            std::lock_guard lock(mutex_);
            // What is still queued is dropped: the caller has given up.
            for (const auto& q : queued_)
                free_.push_back(q.first);
            queued_.clear();
            stop_ = true;
        }
        changed_.notify_all();
        if (thread_.joinable())
            thread_.join();
    }
    void Run()
    {
        std::unique_lock lock(mutex_);
        for (;;) {
            changed_.wait(lock, [this] { return stop_ || !queued_.empty(); });
            if (queued_.empty())
                return;
            const auto [data, n] = queued_.front();
            lock.unlock();
            const bool ok = writer_.Write(data, n);
            lock.lock();
            // Stop may have dropped the queue while the write went on.
            if (!queued_.empty() && queued_.front().first == data) {
                queued_.pop_front();
                free_.push_back(data);
            }
            if (!ok) {
                failed_ = true;
                for (const auto& q : queued_)
                    free_.push_back(q.first);
                queued_.clear();
            }
            changed_.notify_all();
        }
    }

    SafeWriter& writer_;
    const std::size_t bufferBytes_;
    std::vector<std::vector<std::uint8_t>> buffers_; // only the caller's thread

    std::vector<std::uint8_t*> free_;
    std::deque<std::pair<std::uint8_t*, std::size_t>> queued_;
    std::mutex mutex_;
    std::condition_variable changed_;
    bool stop_ = false;
    bool failed_ = false;
    std::thread thread_;
};

// Receives the decrypted text a batch at a time: Room gives the space the
// next batch is decrypted into, Filled takes its first n bytes once every
// piece in it authenticated. A failed result stops the decryption.
class Sink {
public:
    virtual ~Sink() = default;
    virtual CipherResult Room(std::uint8_t*& at) = 0;
    virtual CipherResult Filled(std::size_t n) = 0;
};

// Decrypts into a buffer of its own and hands each batch on.
class CopySink : public Sink {
public:
    using Put = std::function<CipherResult(const std::uint8_t*, std::size_t)>;
    explicit CopySink(Put put) : put_(std::move(put)) {}
    ~CopySink() override { ::sodium_memzero(buffer_.data(), buffer_.size()); }
    CipherResult Room(std::uint8_t*& at) override
    {
        try {
            buffer_.resize(kBatchPlainBytes);
        } catch (const std::bad_alloc&) {
            return Failed(CipherFailure::CannotReadSource, ENOMEM);
        }
        at = buffer_.data();
        return {};
    }
    CipherResult Filled(std::size_t n) override { return put_(buffer_.data(), n); }

private:
    Put put_;
    std::vector<std::uint8_t> buffer_;
};

// The reader: header, key check, extension record, then (when a sink is
// given) every piece up to the final one, which must end the input.
CipherResult Decrypt(Input& in, StrongKeys& keys, std::string& extension, Sink* sink)
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
                      "its key derivation asks for more than " + std::to_string(kReadCap.memKiB >> 10) + " MiB or "
                          + std::to_string(kReadCap.opsLimit) + " passes");
    }
    const SecretBytes* key = keys.Key(header.params, header.salt);
    if (key == nullptr)
        return Failed(CipherFailure::CannotReadSource, ENOMEM);
    const Subkeys sub(*key);
    std::uint8_t check[16];
    KeyCheck(head, sub, check);
    if (::sodium_memcmp(check, header.keyCheck.data(), sizeof check) != 0)
        return Failed(CipherFailure::WrongPassphrase, 0, "wrong passphrase");

    State state;
    const Wiper wipeState(&state, sizeof state);
    if (::crypto_secretstream_xchacha20poly1305_init_pull(&state, header.streamHeader.data(), sub.stream.Data()) != 0)
        return Damaged();
    std::uint8_t record[kExtensionRecordBytes];
    const Wiper wipeRecord(record, sizeof record);
    unsigned char tag = 0;
    std::uint8_t recordCipher[kExtensionRecordBytes + kPieceOverhead];
    const ssize_t rec = in.ReadFull(recordCipher, sizeof recordCipher);
    if (rec < 0)
        return in.Failure();
    if (std::size_t(rec) != sizeof recordCipher
        || ::crypto_secretstream_xchacha20poly1305_pull(&state, record, nullptr, &tag, recordCipher,
                                                        sizeof recordCipher, head, sizeof head)
               != 0
        || tag != crypto_secretstream_xchacha20poly1305_TAG_MESSAGE)
        return Damaged();
    extension.assign(reinterpret_cast<const char*>(record + 1), record[0]);
    if (sink == nullptr)
        return {};

    // A batch at a time; a short read means the end of the file, and every
    // batch but the last holds whole pieces.
    for (;;) {
        const ReadAhead::Block batch = in.NextBatch(kBatchCipherBytes);
        const ssize_t n = batch.size;
        const std::uint8_t* cipher = batch.data;
        if (n < 0)
            return in.Failure();
        // No final piece before the end: the file was cut short.
        if (std::size_t(n) < kPieceOverhead)
            return Damaged();
        std::uint8_t* plain = nullptr;
        if (CipherResult r = sink->Room(plain); !r)
            return r;
        std::size_t at = 0, filled = 0;
        bool final = false;
        while (!final && at < std::size_t(n)) {
            const std::size_t piece = std::min(kCipherPieceBytes, std::size_t(n) - at);
            if (piece < kPieceOverhead)
                return Damaged();
            unsigned long long plainBytes = 0;
            if (::crypto_secretstream_xchacha20poly1305_pull(&state, plain + filled, &plainBytes, &tag, cipher + at,
                                                             piece, nullptr, 0)
                != 0)
                return Damaged();
            final = tag == crypto_secretstream_xchacha20poly1305_TAG_FINAL;
            if (!final && (tag != crypto_secretstream_xchacha20poly1305_TAG_MESSAGE || plainBytes != kPieceBytes))
                return Damaged();
            at += piece;
            filled += std::size_t(plainBytes);
        }
        // Anything after the final piece was added.
        if (final && at < std::size_t(n))
            return Damaged();
        if (CipherResult r = sink->Filled(filled); !r)
            return r;
        if (final) {
            const ssize_t more = in.NextBatch(kBatchCipherBytes).size;
            if (more < 0)
                return in.Failure();
            return more == 0 ? CipherResult{} : Damaged();
        }
    }
}

CipherResult WriterFailure(const SafeWriter& writer)
{
    return Failed(CipherFailure::CannotWriteDestination, writer.Error(), writer.ErrorText());
}

// Decrypts straight into the writer thread's buffers. The destination is
// created only once the first batch authenticated, and committed only once
// the final piece did.
class FileSink : public Sink {
public:
    explicit FileSink(const std::string& dst) : writer_(dst) {}
    CipherResult Room(std::uint8_t*& at) override
    {
        if (!background_) {
            try {
                background_.emplace(writer_, kBatchPlainBytes);
            } catch (const std::bad_alloc&) {
                return Failed(CipherFailure::CannotReadSource, ENOMEM);
            }
        }
        try {
            at = batch_ = background_->Take();
        } catch (const std::bad_alloc&) {
            return Failed(CipherFailure::CannotReadSource, ENOMEM);
        }
        return batch_ != nullptr ? CipherResult{} : WriterFailure(writer_);
    }
    CipherResult Filled(std::size_t n) override
    {
        if (!opened_) {
            opened_ = true;
            if (!writer_.Open())
                return WriterFailure(writer_);
        }
        if (!background_->Queue(batch_, n))
            return WriterFailure(writer_);
        return {};
    }
    // After the whole file authenticated, so Filled has been called.
    CipherResult Commit()
    {
        if (!background_->Finish() || !writer_.Commit())
            return WriterFailure(writer_);
        return {};
    }

private:
    SafeWriter writer_;
    std::optional<BackgroundWriter> background_; // ends before the writer
    bool opened_ = false;
    std::uint8_t* batch_ = nullptr;
};

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
    return in.IsOpen() && in.ReadFull(head, sizeof head) == ssize_t(sizeof head) && HasMagic(head, sizeof head);
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

CipherResult EncryptFile(const std::string& src, const std::string& dst, StrongKeys& keys)
{
    if (!SodiumReady())
        return Failed(CipherFailure::CannotWriteDestination, ENOSYS, "no random source for libsodium");
    FileInput in(src);
    if (!in.IsOpen())
        return in.Failure();
    const KdfParams params = keys.writeParams;
    const Salt& salt = keys.BatchSalt();
    const SecretBytes* key = keys.Key(params, salt);
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

    // The batch read ahead tells whether the current one holds the last
    // piece. A small file gets batches of its own size (a file that grows
    // meanwhile just takes more of them).
    const std::size_t batchPieces =
        std::size_t(std::clamp<std::uint64_t>((in.Size() + kPieceBytes - 1) / kPieceBytes, 1, kBatchPieces));
    const std::size_t batchPlain = batchPieces * kPieceBytes;
    SafeWriter writer(dst);
    if (!writer.Open())
        return WriterFailure(writer);
    // A cipher batch is longer than the header and extension record.
    std::optional<ReadAhead> source;
    std::optional<BackgroundWriter> background;
    std::uint8_t* out = nullptr;
    try {
        source.emplace(in.File(), batchPlain);
        background.emplace(writer, batchPieces * kCipherPieceBytes);
        out = background->Take();
    } catch (const std::bad_alloc&) {
        return Failed(CipherFailure::CannotReadSource, ENOMEM);
    }
    std::copy(head, head + sizeof head, out);
    const std::string extension = ExtensionToKeep(src);
    std::uint8_t record[kExtensionRecordBytes] = {};
    const Wiper wipeRecord(record, sizeof record);
    record[0] = std::uint8_t(extension.size());
    std::copy(extension.begin(), extension.end(), record + 1);
    ::crypto_secretstream_xchacha20poly1305_push(&state, out + sizeof head, nullptr, record, kExtensionRecordBytes,
                                                 head, sizeof head, crypto_secretstream_xchacha20poly1305_TAG_MESSAGE);
    if (!background->Queue(out, sizeof head + kExtensionRecordBytes + kPieceOverhead))
        return WriterFailure(writer);

    ReadAhead::Block current = source->Take();
    if (current.size < 0)
        return in.Failure();
    for (;;) {
        ReadAhead::Block ahead;
        if (std::size_t(current.size) == batchPlain) {
            ahead = source->Take();
            if (ahead.size < 0)
                return in.Failure();
        }
        const bool final = ahead.size == 0;
        const std::size_t have = std::size_t(current.size);
        // Full pieces, then the rest; an empty file still gets its final piece.
        const std::size_t pieces = std::max<std::size_t>(1, (have + kPieceBytes - 1) / kPieceBytes);
        try {
            out = background->Take();
        } catch (const std::bad_alloc&) {
            return Failed(CipherFailure::CannotReadSource, ENOMEM);
        }
        if (out == nullptr)
            return WriterFailure(writer);
        std::size_t produced = 0;
        for (std::size_t i = 0; i < pieces; ++i) {
            const std::size_t at = i * kPieceBytes;
            const std::size_t n = std::min(kPieceBytes, have - at);
            unsigned long long bytes = 0;
            ::crypto_secretstream_xchacha20poly1305_push(
                &state, out + produced, &bytes, current.data + at, n, nullptr, 0,
                final && i + 1 == pieces ? crypto_secretstream_xchacha20poly1305_TAG_FINAL
                                         : crypto_secretstream_xchacha20poly1305_TAG_MESSAGE);
            produced += std::size_t(bytes);
        }
        source->Give(current);
        if (!background->Queue(out, produced))
            return WriterFailure(writer);
        if (final)
            break;
        current = ahead;
    }
    source.reset();
    in.Close();
    if (!background->Finish() || !writer.Commit())
        return WriterFailure(writer);
    return {};
}

CipherResult DecryptFile(const std::string& src, const std::string& dst, StrongKeys& keys, std::string* extension)
{
    FileInput in(src);
    if (!in.IsOpen())
        return in.Failure();
    FileSink sink(dst);
    std::string stored;
    if (CipherResult r = Decrypt(in, keys, stored, &sink); !r)
        return r;
    in.Close();
    if (CipherResult r = sink.Commit(); !r)
        return r;
    if (extension)
        *extension = stored;
    return {};
}

CipherResult DecryptToMemory(const std::string& src, StrongKeys& keys, std::vector<std::uint8_t>& plain,
                             std::string& extension, std::uint64_t maxPlainBytes)
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
        return Failed(CipherFailure::CannotReadSource, EFBIG, "larger than the memory allowed for one picture");
    plain.clear();
    try {
        plain.reserve(std::size_t(expected));
    } catch (const std::bad_alloc&) {
        return Failed(CipherFailure::CannotReadSource, ENOMEM);
    }
    CopySink sink([&](const std::uint8_t* data, std::size_t n) -> CipherResult {
        if (plain.size() + n > maxPlainBytes)
            return Failed(CipherFailure::CannotReadSource, EFBIG, "larger than the memory allowed for one picture");
        plain.insert(plain.end(), data, data + n);
        return {};
    });
    CipherResult r = Decrypt(in, keys, extension, &sink);
    if (!r) {
        ::sodium_memzero(plain.data(), plain.size());
        plain.clear();
    }
    return r;
}

CipherResult StoredExtension(const std::string& src, StrongKeys& keys, std::string& extension)
{
    FileInput in(src);
    if (!in.IsOpen())
        return in.Failure();
    return Decrypt(in, keys, extension, nullptr);
}

CipherResult DecryptBytes(const std::uint8_t* data, std::size_t n, StrongKeys& keys, std::vector<std::uint8_t>& plain,
                          std::string& extension)
{
    MemoryInput in(data, n);
    CopySink sink([&](const std::uint8_t* bytes, std::size_t count) -> CipherResult {
        plain.insert(plain.end(), bytes, bytes + count);
        return {};
    });
    return Decrypt(in, keys, extension, &sink);
}

} // namespace mg::strong
