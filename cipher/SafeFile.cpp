#include "cipher/SafeFile.h"

#include "cipher/Error.h"

#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace mg {
namespace {

SafeFileFaults g_faults;
int g_writeCalls = 0;

// Splits a path into its folder ("." when it has none) and its name.
std::pair<std::string, std::string> SplitPath(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return {".", path};
    return {slash == 0 ? "/" : path.substr(0, slash), path.substr(slash + 1)};
}

// The mode a new file gets from the process's umask.
mode_t DefaultMode()
{
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

ssize_t WriteOnce(int fd, const std::uint8_t* data, std::size_t n)
{
    ++g_writeCalls;
    if (g_faults.writeCall != 0 && g_writeCalls == g_faults.writeCall) {
        errno = g_faults.writeFailsWith;
        return -1;
    }
    return ::write(fd, data, n);
}

} // namespace

void SetSafeFileFaults(const SafeFileFaults& faults)
{
    g_faults = faults;
    g_writeCalls = 0;
}

TSafeWriter::TSafeWriter(std::string destination) : destination_(std::move(destination)) {}

TSafeWriter::~TSafeWriter()
{
    if (!committed_)
        Discard();
}

bool TSafeWriter::Fail(int error)
{
    if (error_ == 0)
        error_ = error != 0 ? error : EIO;
    Discard();
    return false;
}

void TSafeWriter::Discard()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
    if (!tempPath_.empty())
        ::unlink(tempPath_.c_str());
    tempPath_.clear();
}

std::string TSafeWriter::ErrorText() const
{
    if (notRegular_)
        return "not a regular file";
    return error_ == 0 ? std::string() : std::string(std::strerror(error_));
}

bool TSafeWriter::Open()
{
    if (g_faults.createFailsWith != 0)
        return Fail(g_faults.createFailsWith);
    // An existing destination must be a regular file (a link to one is
    // written through, so the link stays a link). Anything else, such as a
    // device, FIFO or /dev/stdout, is refused before any file is created.
    struct stat existing {};
    const bool exists = ::stat(destination_.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode))
        return Fail(EISDIR);
    if (exists && !S_ISREG(existing.st_mode)) {
        notRegular_ = true;
        return Fail(EINVAL);
    }
    struct stat link {};
    if (exists && ::lstat(destination_.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
        if (char* target = ::realpath(destination_.c_str(), nullptr)) {
            destination_ = target;
            std::free(target);
        }
    }
    const auto [folder, name] = SplitPath(destination_);
    if (name.empty())
        return Fail(EISDIR);
    // A hidden name that stays within NAME_MAX however long the original is.
    std::string pattern = folder + "/." + name.substr(0, 200) + ".XXXXXX";
    std::vector<char> buffer(pattern.begin(), pattern.end());
    buffer.push_back('\0');
    fd_ = ::mkostemp(buffer.data(), O_CLOEXEC);
    if (fd_ < 0)
        return Fail(errno);
    tempPath_ = buffer.data();
    const mode_t mode = exists ? (existing.st_mode & 07777) : DefaultMode();
    // The replacement keeps the owner of the file it replaces where the
    // process may give it away (root); elsewhere it is the caller's, as a
    // rewritten file would be. The mode follows, since a change of owner
    // clears the set-id bits.
    // A refusal is expected for a non-root caller and is no failure.
    if (exists && (existing.st_uid != ::geteuid() || existing.st_gid != ::getegid())
        && ::fchown(fd_, existing.st_uid, existing.st_gid) != 0) {
    }
    if (::fchmod(fd_, mode) != 0)
        return Fail(errno);
    return true;
}

bool TSafeWriter::Write(const std::uint8_t* data, std::size_t n)
{
    if (fd_ < 0)
        return Fail(EBADF);
    while (n > 0) {
        const ssize_t written = WriteOnce(fd_, data, n);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return Fail(written < 0 ? errno : ENOSPC);
        data += written;
        n -= static_cast<std::size_t>(written);
        written_ += static_cast<std::uint64_t>(written);
    }
    StartWriteback();
    return true;
}

void TSafeWriter::StartWriteback()
{
    // Hands each full stretch to the disk while later data is still being
    // produced, so the closing fsync waits only for the tail instead of the
    // whole file, and dirty pages never pile up. A failure here is not an
    // error: the fsync in Commit reports any real one.
    constexpr std::uint64_t kStretch = std::uint64_t{8} << 20;
    if (written_ - writebackFrom_ < kStretch)
        return;
    ::sync_file_range(fd_, static_cast<off_t>(writebackFrom_),
                      static_cast<off_t>(written_ - writebackFrom_), SYNC_FILE_RANGE_WRITE);
    writebackFrom_ = written_;
}

bool TSafeWriter::Commit()
{
    if (fd_ < 0)
        return Fail(EBADF);
    if (g_faults.syncFailsWith != 0)
        return Fail(g_faults.syncFailsWith);
    if (::fsync(fd_) != 0)
        return Fail(errno);
    const int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0)
        return Fail(errno);
    if (g_faults.renameFailsWith != 0)
        return Fail(g_faults.renameFailsWith);
    if (::rename(tempPath_.c_str(), destination_.c_str()) != 0)
        return Fail(errno);
    // The data is on disk before the rename, so the destination is always
    // either the old file or the whole new one. The folder itself is not
    // flushed: the rename reaches the disk with the file system's next
    // commit, and a flush per file would double the cost of a batch.
    committed_ = true;
    return true;
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path)
{
    if (path.empty() || path.find('\0') != std::string::npos)
        ThrowFileError(ENOENT);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        ThrowFileError(errno);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        ThrowFileError(errno);
    if (S_ISDIR(st.st_mode))
        ThrowFileError(EISDIR);
    if (!S_ISREG(st.st_mode))
        ThrowFileError(ENODEV);
    std::vector<std::uint8_t> bytes;
    if (st.st_size > 0 && st.st_size <= INT32_MAX)
        bytes.reserve(static_cast<std::size_t>(st.st_size));
    std::array<std::uint8_t, 65536> chunk;
    for (;;) {
        const ssize_t n = ::read(fd, chunk.data(), chunk.size());
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ThrowFileError(errno);
        }
        if (n == 0)
            break;
        if (bytes.size() + std::size_t(n) > std::size_t(INT32_MAX))
            ThrowFileError(EFBIG);
        bytes.insert(bytes.end(), chunk.data(), chunk.data() + n);
    }
    return bytes;
}

int WriteFileSafely(const std::string& destination, const std::uint8_t* data,
                    std::size_t n)
{
    TSafeWriter writer(destination);
    if (writer.Open() && writer.Write(data, n) && writer.Commit())
        return 0;
    return writer.Error();
}

} // namespace mg
