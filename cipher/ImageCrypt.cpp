#include "cipher/ImageCrypt.h"

#include "cipher/Error.h"
#include "cipher/Keystream.h"
#include "cipher/SafeFile.h"
#include "cipher/StrongCrypt.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <new>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mg {
namespace {

CipherResult Failure(CipherFailure failure, int error, std::string detail = {})
{
    if (detail.empty() && error != 0)
        detail = std::strerror(error);
    return {failure, error, std::move(detail)};
}

// A source opened read-only with a shared lock held while it is read: our
// stand-in for denying writes by others during the read.
class TSourceFile {
public:
    explicit TSourceFile(const std::string& path)
    {
        // Non-blocking open: opening a FIFO without a writer would otherwise
        // wait forever. Only regular files are read; a folder, FIFO, socket
        // or device is refused before anything is read (a device such as
        // /dev/zero would never end).
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
        ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
        // A writer holding an exclusive lock makes the source unreadable;
        // file systems without locks are read unlocked.
        if (::flock(fd_, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
            error_ = errno;
            Close();
            return;
        }
        // Read front to back once: ask for a larger read-ahead.
        ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
    }
    ~TSourceFile() { Close(); }
    TSourceFile(const TSourceFile&) = delete;
    TSourceFile& operator=(const TSourceFile&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    int Error() const { return error_; }
    // Why the source could not be read, for the caller's report.
    CipherResult Failed() const
    {
        return Failure(CipherFailure::CannotReadSource, error_,
                       notRegular_ ? "not a regular file" : "");
    }

    // Reads up to n bytes, retrying interrupted reads; -1 on error.
    ssize_t Read(std::uint8_t* data, std::size_t n)
    {
        for (;;) {
            const ssize_t got = ::read(fd_, data, n);
            if (got >= 0 || errno != EINTR) {
                if (got < 0)
                    error_ = errno;
                return got;
            }
        }
    }

    // Reads the rest of the file into bytes; false on a read error.
    bool ReadAll(std::vector<std::uint8_t>& bytes)
    {
        struct stat info {};
        if (::fstat(fd_, &info) == 0 && S_ISREG(info.st_mode))
            bytes.reserve(static_cast<std::size_t>(info.st_size));
        std::uint8_t chunk[64 * 1024];
        for (;;) {
            const ssize_t got = Read(chunk, sizeof chunk);
            if (got < 0)
                return false;
            if (got == 0)
                return true;
            bytes.insert(bytes.end(), chunk, chunk + got);
        }
    }

    void Close()
    {
        if (fd_ >= 0)
            ::close(fd_); // closing drops the lock
        fd_ = -1;
    }

private:
    int fd_ = -1;
    int error_ = 0;
    bool notRegular_ = false;
};

// The JPEG header check on the written temporary file, read from its start.
CipherResult CheckJpegFile(const std::string& path)
{
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return Failure(CipherFailure::CannotWriteDestination, errno);
    const JpegHeader header = ReadJpegHeader(file);
    std::fclose(file);
    if (!header.ok)
        return Failure(CipherFailure::NotJpeg, 0, header.message);
    return {};
}

} // namespace

CipherResult TImgCrypt::TransformFile(const std::string& src, const std::string& dst,
                                      std::int32_t key, bool checkJpeg)
{
    SetSeed(key);
    TSourceFile source(src);
    if (!source.IsOpen())
        return source.Failed();
    std::vector<std::uint8_t> buffer;
    try {
        buffer.resize(kChunkBytes);
    } catch (const std::bad_alloc&) {
        return Failure(CipherFailure::CannotReadSource, ENOMEM);
    }
    TSafeWriter writer(dst);
    if (!writer.Open())
        return Failure(CipherFailure::CannotWriteDestination, writer.Error(), writer.ErrorText());
    std::uint64_t total = 0;
    for (;;) {
        const ssize_t got = source.Read(buffer.data(), buffer.size());
        if (got < 0)
            return source.Failed();
        if (got == 0)
            break;
        ApplyKeystream(buffer.data(), static_cast<std::size_t>(got));
        if (!writer.Write(buffer.data(), static_cast<std::size_t>(got)))
            return Failure(CipherFailure::CannotWriteDestination, writer.Error(), writer.ErrorText());
        total += static_cast<std::uint64_t>(got);
    }
    source.Close();
    // An empty stream has no header to check: it decrypts to an empty file.
    if (checkJpeg && total > 0) {
        if (CipherResult check = CheckJpegFile(writer.TempPath()); !check)
            return check;
    }
    if (!writer.Commit())
        return Failure(CipherFailure::CannotWriteDestination, writer.Error(), writer.ErrorText());
    return {};
}

CipherResult TImgCrypt::EncryptFileEx(const std::string& src, const std::string& dst,
                                      std::int32_t key)
{
    return TransformFile(src, dst, key, false);
}

CipherResult TImgCrypt::DecryptFileEx(const std::string& src, const std::string& dst,
                                      std::int32_t key)
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

CipherResult TImgCrypt::DecryptImageEx(const std::string& src,
                                       std::unique_ptr<TJPEGImage>& slot, std::int32_t key)
{
    SetSeed(key);
    LastEncrypted = std::make_unique<std::vector<std::uint8_t>>();
    {
        TSourceFile source(src);
        bool read = false;
        if (source.IsOpen()) {
            try {
                read = source.ReadAll(*LastEncrypted);
            } catch (const std::bad_alloc&) {
                source.Close();
                LastEncrypted->clear();
                LastEncrypted->shrink_to_fit();
                return Failure(CipherFailure::CannotReadSource, ENOMEM);
            }
        }
        if (!read) {
            LastEncrypted->clear();
            return source.Failed();
        }
    }
    std::vector<std::uint8_t> plain(*LastEncrypted);
    ApplyKeystream(plain.data(), plain.size());
    slot = std::make_unique<TJPEGImage>();
    try {
        slot->LoadFromBytes(std::move(plain));
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

bool TImgCrypt::DecryptImage(const std::string& src, std::unique_ptr<TJPEGImage>& slot,
                             std::int32_t key)
{
    return static_cast<bool>(DecryptImageEx(src, slot, key));
}

} // namespace mg
