#include "base/SourceFile.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mg {

SourceFile::SourceFile(const std::string& path)
{
    // Non-blocking open: opening a FIFO without a writer would otherwise
    // wait forever.
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
    size_ = info.st_size > 0 ? std::uint64_t(info.st_size) : 0;
    ::fcntl(fd_, F_SETFL, ::fcntl(fd_, F_GETFL) & ~O_NONBLOCK);
    // A writer holding an exclusive lock makes the source unreadable; file
    // systems without locks are read unlocked.
    if (::flock(fd_, LOCK_SH | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        error_ = errno;
        Close();
        return;
    }
    // Read front to back once: ask for a larger read-ahead.
    ::posix_fadvise(fd_, 0, 0, POSIX_FADV_SEQUENTIAL);
}

SourceFile::~SourceFile()
{
    Close();
}

void SourceFile::Close()
{
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

ssize_t SourceFile::Read(std::uint8_t* data, std::size_t n)
{
    for (;;) {
        const ssize_t got = ::read(fd_, data, n);
        if (got >= 0)
            return got;
        if (errno != EINTR) {
            error_ = errno;
            return -1;
        }
    }
}

ssize_t SourceFile::ReadFull(std::uint8_t* data, std::size_t n)
{
    std::size_t done = 0;
    while (done < n) {
        const ssize_t got = Read(data + done, n - done);
        if (got < 0)
            return -1;
        if (got == 0)
            break;
        done += std::size_t(got);
    }
    return ssize_t(done);
}

} // namespace mg
