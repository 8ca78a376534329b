#include "cipher/ImageCrypt.h"

#include "base/Error.h"
#include "base/SafeFile.h"
#include "base/SourceFile.h"
#include "cipher/Keystream.h"
#include "cipher/StrongCrypt.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

namespace mg {
namespace {

CipherResult Failure(CipherFailure failure, int error, std::string detail = {})
{
    if (detail.empty() && error != 0)
        detail = std::strerror(error);
    return {failure, error, std::move(detail)};
}

// Why a source could not be opened or read, for the caller's report.
CipherResult SourceFailed(const SourceFile& source)
{
    return Failure(CipherFailure::CannotReadSource, source.Error(), source.NotRegular() ? "not a regular file" : "");
}

// Holds the first decrypted bytes of a stream until the JPEG header check
// has decided on them, so that a wrong key is refused before anything is
// written or the rest is read. The check runs again on the longer prefix only
// when the last one ran out of bytes, each time on twice as many bytes, so a
// long header costs at most twice its reading.
class HeaderGate {
public:
    enum State { Waiting, Accepted, Rejected };

    // Holds more decrypted bytes; checks when enough have come.
    State Append(const std::uint8_t* data, std::size_t n)
    {
        if (state_ != Waiting)
            return state_;
        held_.insert(held_.end(), data, data + n);
        return CheckIfDue(held_);
    }
    // The same for a caller that holds the bytes itself.
    State CheckIfDue(const std::vector<std::uint8_t>& bytes)
    {
        if (state_ == Waiting && bytes.size() >= nextCheck_)
            Check(bytes, false);
        return state_;
    }
    // The end of the stream: whatever is there decides. An empty stream
    // has no header to check and is accepted.
    State Finish(const std::vector<std::uint8_t>& bytes)
    {
        if (state_ == Waiting) {
            if (bytes.empty())
                state_ = Accepted;
            else
                Check(bytes, true);
        }
        return state_;
    }
    State Finish() { return Finish(held_); }
    std::vector<std::uint8_t>& Held() { return held_; }
    const std::string& Reason() const { return reason_; }

private:
    void Check(const std::vector<std::uint8_t>& bytes, bool complete)
    {
        bool needMore = false;
        const JpegHeader header = CheckJpegPrefix(bytes.data(), bytes.size(), complete, needMore);
        if (needMore) {
            nextCheck_ = bytes.size() * 2;
            return;
        }
        state_ = header.ok ? Accepted : Rejected;
        reason_ = header.message;
    }

    State state_ = Waiting;
    std::size_t nextCheck_ = 1;
    std::vector<std::uint8_t> held_;
    std::string reason_;
};

// A refused header stops the reading early, but the generator still ends
// where a pass over the whole file would have left it: the noise picture
// after a failed encrypted display depends on the key and the file's length,
// not on where the check happened to stop.
void SkipUnreadKeystream(std::uint64_t fileSize, std::uint64_t processed)
{
    if (fileSize > processed)
        SetSeed(static_cast<std::int32_t>(SeedAfter(Seed(), fileSize - processed)));
}
void SkipUnreadKeystream(std::uint32_t& state, std::uint64_t fileSize, std::uint64_t processed)
{
    if (fileSize > processed)
        state = SeedAfter(state, fileSize - processed);
}

} // namespace

CipherResult TImgCrypt::TransformFile(const std::string& src, const std::string& dst, std::int32_t key, bool checkJpeg,
                                      SafeCommitter* committer, int tag)
{
    SetSeed(key);
    SourceFile source(src);
    if (!source.IsOpen())
        return SourceFailed(source);
    std::vector<std::uint8_t> buffer;
    try {
        buffer.resize(kChunkBytes);
    } catch (const std::bad_alloc&) {
        return Failure(CipherFailure::CannotReadSource, ENOMEM);
    }
    auto owned = std::make_unique<SafeWriter>(dst);
    SafeWriter& writer = *owned;
    if (!writer.Open())
        return Failure(CipherFailure::CannotWriteDestination, writer.Error(), writer.ErrorText());
    auto writeFailed = [&writer] {
        return Failure(CipherFailure::CannotWriteDestination, writer.Error(), writer.ErrorText());
    };
    // Decryption writes nothing until the decrypted header has passed.
    HeaderGate gate;
    bool passed = !checkJpeg;
    std::uint64_t processed = 0;
    for (;;) {
        const ssize_t got = source.Read(buffer.data(), buffer.size());
        if (got < 0)
            return SourceFailed(source);
        if (got == 0)
            break;
        ApplyKeystream(buffer.data(), static_cast<std::size_t>(got));
        processed += static_cast<std::uint64_t>(got);
        if (!passed) {
            HeaderGate::State state;
            try {
                state = gate.Append(buffer.data(), static_cast<std::size_t>(got));
            } catch (const std::bad_alloc&) {
                return Failure(CipherFailure::CannotReadSource, ENOMEM);
            }
            if (state == HeaderGate::Rejected) {
                SkipUnreadKeystream(source.Size(), processed);
                return Failure(CipherFailure::NotJpeg, 0, gate.Reason());
            }
            if (state == HeaderGate::Waiting)
                continue;
            passed = true;
            std::vector<std::uint8_t> held = std::move(gate.Held());
            if (!writer.Write(held.data(), held.size()))
                return writeFailed();
            continue;
        }
        if (!writer.Write(buffer.data(), static_cast<std::size_t>(got)))
            return writeFailed();
    }
    source.Close();
    if (!passed) {
        if (gate.Finish() == HeaderGate::Rejected)
            return Failure(CipherFailure::NotJpeg, 0, gate.Reason());
        if (!writer.Write(gate.Held().data(), gate.Held().size()))
            return writeFailed();
    }
    if (committer) {
        committer->Commit(std::move(owned), tag);
        return {};
    }
    if (!writer.Commit())
        return writeFailed();
    return {};
}

CipherResult TImgCrypt::EncryptFileEx(const std::string& src, const std::string& dst, std::int32_t key)
{
    return TransformFile(src, dst, key, false);
}

CipherResult TImgCrypt::EncryptFileEx(const std::string& src, const std::string& dst, std::int32_t key,
                                      SafeCommitter& committer, int tag)
{
    return TransformFile(src, dst, key, false, &committer, tag);
}

CipherResult TImgCrypt::DecryptFileEx(const std::string& src, const std::string& dst, std::int32_t key)
{
    // A light file may begin with the strong magic by chance: when the strong
    // reading fails, the light one is tried, and the strong failure is told
    // only when that fails too.
    if (strong::FileHasMagic(src)) {
        const CipherResult asStrong = strong::DecryptFile(src, dst, Strong);
        if (asStrong)
            return asStrong;
        if (CipherResult asLight = TransformFile(src, dst, key, true); asLight)
            return asLight;
        return asStrong;
    }
    return TransformFile(src, dst, key, true);
}

CipherResult TImgCrypt::DecryptImageEx(const std::string& src, std::unique_ptr<TJPEGImage>& slot, std::int32_t key)
{
    SetSeed(key);
    // The encrypted bytes are not kept: the file is decrypted in place as
    // it is read, and the picture takes over that one buffer.
    LastEncrypted = std::make_unique<std::vector<std::uint8_t>>();
    std::uint32_t state = 0;
    CipherResult result = DecryptLightImage(src, slot, key, state);
    SetSeed(static_cast<std::int32_t>(state));
    return result;
}

CipherResult DecryptLightImage(const std::string& src, std::unique_ptr<TJPEGImage>& slot, std::int32_t key,
                               std::uint32_t& state)
{
    state = static_cast<std::uint32_t>(key);
    std::vector<std::uint8_t> bytes;
    HeaderGate gate;
    std::uint64_t fileSize = 0;
    {
        SourceFile source(src);
        if (!source.IsOpen())
            return SourceFailed(source);
        // A file larger than a picture may be is refused before any of it is
        // read; a non-picture of gigabytes costs nothing.
        const std::uint64_t size = source.Size();
        fileSize = size;
        if (size > PictureMemoryBudget())
            return Failure(CipherFailure::CannotReadSource, EFBIG, PictureFileTooLarge());
        try {
            bytes.reserve(static_cast<std::size_t>(size));
            // Until the header has passed, reads are one chunk each and are
            // decrypted at once; then the rest comes in reads as large as
            // the file and is decrypted in one call (each call of the
            // keystream has a set-up cost).
            std::size_t decrypted = 0;
            for (;;) {
                const std::size_t filled = bytes.size();
                std::size_t room = bytes.capacity() - filled;
                if (room == 0) {
                    // The end of the file as sized, unless it grew while it
                    // was read: then go on, within the budget.
                    std::uint8_t probe = 0;
                    const ssize_t more = source.Read(&probe, 1);
                    if (more < 0)
                        return SourceFailed(source);
                    if (more == 0)
                        break;
                    if (filled + 1 + TImgCrypt::kChunkBytes > PictureMemoryBudget())
                        return Failure(CipherFailure::CannotReadSource, EFBIG, PictureFileTooLarge());
                    bytes.reserve(filled + 1 + TImgCrypt::kChunkBytes);
                    bytes.push_back(probe);
                    continue;
                }
                const bool checking = gate.CheckIfDue(bytes) == HeaderGate::Waiting;
                if (checking)
                    room = std::min(room, TImgCrypt::kChunkBytes);
                bytes.resize(filled + room);
                const ssize_t got = source.Read(bytes.data() + filled, room);
                if (got < 0)
                    return SourceFailed(source);
                bytes.resize(filled + static_cast<std::size_t>(got));
                if (got == 0)
                    break;
                if (checking) {
                    ApplyKeystream(state, bytes.data() + decrypted, bytes.size() - decrypted);
                    decrypted = bytes.size();
                    // The header is checked on the first bytes, before the rest is read.
                    if (gate.CheckIfDue(bytes) == HeaderGate::Rejected)
                        break;
                }
            }
            ApplyKeystream(state, bytes.data() + decrypted, bytes.size() - decrypted);
        } catch (const std::bad_alloc&) {
            return Failure(CipherFailure::CannotReadSource, ENOMEM);
        }
    }
    slot = std::make_unique<TJPEGImage>();
    if (gate.Finish(bytes) == HeaderGate::Rejected) {
        SkipUnreadKeystream(state, fileSize, bytes.size());
        return Failure(CipherFailure::NotJpeg, 0, gate.Reason());
    }
    try {
        slot->LoadFromBytes(std::move(bytes));
    } catch (const Error& e) {
        return Failure(CipherFailure::NotJpeg, 0, e.what());
    }
    return {};
}

bool TImgCrypt::EncryptFile(const std::string& src, const std::string& dst, std::int32_t key)
{
    return static_cast<bool>(EncryptFileEx(src, dst, key));
}

bool TImgCrypt::DecryptFile(const std::string& src, const std::string& dst, std::int32_t key)
{
    return static_cast<bool>(DecryptFileEx(src, dst, key));
}

bool TImgCrypt::DecryptImage(const std::string& src, std::unique_ptr<TJPEGImage>& slot, std::int32_t key)
{
    return static_cast<bool>(DecryptImageEx(src, slot, key));
}

} // namespace mg
