#pragma once
// A file read front to back as the source of a cipher. Only regular files
// are read: a folder, FIFO, socket or device is refused at opening, before
// anything is read (opening does not wait for a FIFO's writer, and a device
// such as /dev/zero would never end). A shared lock is held while the file
// is open, our stand-in for denying writes by others during the read.
#include <cstddef>
#include <cstdint>
#include <string>
#include <sys/types.h>

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

} // namespace mg
