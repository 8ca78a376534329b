#include "base/SourceFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
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

ReadAhead::ReadAhead(SourceFile& file, std::size_t blockBytes) : file_(file), blockBytes_(blockBytes)
{
    // A thread pays only when there is more to read than the buffers hold.
    const bool ahead = file.Size() > kBuffers * blockBytes;
    buffers_.resize(ahead ? kBuffers : 2);
    for (auto& b : buffers_) {
        b.resize(blockBytes);
        free_.push_back(b.data());
    }
    if (!ahead)
        return;
    try {
        thread_ = std::thread([this] { Run(); });
    } catch (const std::system_error&) {
    }
}

ReadAhead::~ReadAhead()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable())
        thread_.join();
    for (auto& b : buffers_)
        ::explicit_bzero(b.data(), b.size());
}

ssize_t ReadAhead::Fill(std::uint8_t* buffer)
{
    return file_.ReadFull(buffer, blockBytes_);
}

ReadAhead::Block ReadAhead::Take()
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (!thread_.joinable()) {
        if (ended_ || free_.empty())
            return {};
        std::uint8_t* buffer = free_.back();
        free_.pop_back();
        const ssize_t n = Fill(buffer);
        ended_ = n < ssize_t(blockBytes_);
        return {buffer, n};
    }
    changed_.wait(lock, [this] { return !filled_.empty() || ended_; });
    if (filled_.empty())
        return {};
    const Block block = filled_.front();
    filled_.pop_front();
    return block;
}

void ReadAhead::Give(const Block& block)
{
    if (block.data == nullptr)
        return;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        free_.push_back(const_cast<std::uint8_t*>(block.data));
    }
    changed_.notify_all();
}

void ReadAhead::Run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || !free_.empty(); });
        if (stopping_)
            return;
        std::uint8_t* buffer = free_.back();
        free_.pop_back();
        lock.unlock();
        const ssize_t n = Fill(buffer);
        lock.lock();
        filled_.push_back({buffer, n});
        // A short block is the last; after a failure nothing more is read.
        const bool last = n < ssize_t(blockBytes_);
        if (last)
            ended_ = true;
        changed_.notify_all();
        if (last)
            return;
    }
}

} // namespace mg
