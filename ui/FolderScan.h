#pragma once
// Reading the files of one folder in steps: a caller can read the first
// entries at once and leave the rest of a huge folder to another thread.
#include "ui/FileNames.h"

#include <cstddef>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace mg {

// The files of one folder through a mask. An unreadable folder gives no
// names and the system's reason in `error`.
struct FolderListing {
    FileNames names;
    std::string error;
};

// The type of a directory entry as the directory reports it (a DT_ value),
// following a link or asking the file system when the report does not say;
// DT_UNKNOWN when it cannot be told (a broken link, a vanished entry).
unsigned char EntryType(int dirFd, const char* name, unsigned char reportedType);

// Which entries count, and how often: for each piece of the mask in order,
// every entry matching it that is not hidden (name beginning with "."), not
// a folder and not a system file (anything but a regular file or a link to
// one: FIFOs, sockets, devices, broken links, links to folders). Read-only
// files are listed. A file matched by two pieces is listed twice. Entry
// types come from the directory itself and cost an fstatat only for links
// and file systems that do not report them.
class FolderScan {
public:
    // Opens the folder now: the scan reads this folder even if the
    // process's current directory changes before it is done.
    FolderScan(const std::string& folder, std::string_view mask);
    ~FolderScan();
    FolderScan(const FolderScan&) = delete;
    FolderScan& operator=(const FolderScan&) = delete;

    // Reads at most `entries` more directory entries (hidden and unlisted
    // ones count too). True once the folder has been read to its end or
    // could not be read further.
    bool Read(std::size_t entries);
    // The files found, in natural order (see NameOrder.h). Called once,
    // after Read returned true.
    FolderListing Finish();

private:
    bool Refill();

    int fd_ = -1;
    std::vector<std::string> pieces_; // the pieces that need matching
    std::size_t everyName_ = 0;       // pieces that match every name
    std::unique_ptr<char[]> buffer_;
    std::size_t pos_ = 0, end_ = 0;
    bool done_ = false;
    FolderListing listing_;
};

} // namespace mg
