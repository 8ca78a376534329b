#pragma once
// A file read front to back as the source of a cipher. Only regular files
// are read: a folder, FIFO, socket or device is refused at opening, before
// anything is read (opening does not wait for a FIFO's writer, and a device
// such as /dev/zero would never end). A shared lock is held while the file
// is open, our stand-in for denying writes by others during the read.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <sys/types.h>
#include <thread>
#include <vector>

namespace mg {

class SourceFile {
public:
    explicit SourceFile(const std::string& path);
    ~SourceFile(); // closing drops the lock
    SourceFile(const SourceFile&) = delete;
    SourceFile& operator=(const SourceFile&) = delete;

    bool IsOpen() const { return fd_ >= 0; }
    // The errno of the failed opening or read (0 when none).
    int Error() const { return error_; }
    // The path names something other than a regular file or folder.
    bool NotRegular() const { return notRegular_; }
    // The file's size when it was opened.
    std::uint64_t Size() const { return size_; }

    // One read of up to n bytes, retried when interrupted; -1 on error.
    ssize_t Read(std::uint8_t* data, std::size_t n);
    // Reads until n bytes are there or the file ends; -1 on error.
    ssize_t ReadFull(std::uint8_t* data, std::size_t n);
    void Close();

private:
    int fd_ = -1;
    int error_ = 0;
    bool notRegular_ = false;
    std::uint64_t size_ = 0;
};

// Reads the rest of a source in blocks on a thread of its own, a few blocks
// ahead of the caller, so that a caller busy with each block (a slow cipher)
// does not wait for the reads too. Every block holds blockBytes except the
// last, which is shorter (maybe empty). Files of a few blocks, or when no
// thread can be started, are read on the caller's thread when asked. The
// buffers are wiped when it ends: they may hold a plain picture.
class ReadAhead {
public:
    struct Block {
        const std::uint8_t* data = nullptr;
        ssize_t size = 0; // -1: the read failed (the file's Error() tells why)
    };
    // Throws std::bad_alloc when the buffers cannot be made.
    ReadAhead(SourceFile& file, std::size_t blockBytes);
    ~ReadAhead();
    ReadAhead(const ReadAhead&) = delete;
    ReadAhead& operator=(const ReadAhead&) = delete;

    // The next block, once read. At most two blocks may be held at a time;
    // after the last one (or a failure) every call gives an empty block.
    Block Take();
    // Hands a taken block back for reuse.
    void Give(const Block& block);

    static constexpr std::size_t kBuffers = 4;

private:
    void Run();
    ssize_t Fill(std::uint8_t* buffer);

    SourceFile& file_;
    const std::size_t blockBytes_;
    std::vector<std::vector<std::uint8_t>> buffers_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::uint8_t*> free_;
    std::deque<Block> filled_;
    bool ended_ = false; // the last block (or a failure) has been read
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace mg
