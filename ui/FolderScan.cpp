#include "ui/FolderScan.h"

#include "ui/FileMask.h"
#include "ui/NameOrder.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace mg {
namespace {

// Entries are fetched with getdents64 into a buffer of this size: a million
// entries take a few dozen calls.
constexpr std::size_t kBufferSize = 256 * 1024;

} // namespace

unsigned char EntryType(int dirFd, const char* name, unsigned char reportedType)
{
    if (reportedType != DT_UNKNOWN && reportedType != DT_LNK)
        return reportedType;
    struct stat st;
    if (fstatat(dirFd, name, &st, 0) != 0)
        return DT_UNKNOWN;
    if (S_ISREG(st.st_mode))
        return DT_REG;
    if (S_ISDIR(st.st_mode))
        return DT_DIR;
    return DT_UNKNOWN;
}

FolderScan::FolderScan(const std::string& folder, std::string_view mask)
    : fd_(open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC))
{
    if (fd_ < 0) {
        listing_.error = std::strerror(errno);
        done_ = true;
        return;
    }
    for (std::string& piece : SplitMask(mask)) {
        if (piece.empty())
            continue; // finds nothing
        if (MatchesEveryName(piece))
            ++everyName_;
        else
            pieces_.push_back(std::move(piece));
    }
    done_ = everyName_ == 0 && pieces_.empty();
}

FolderScan::~FolderScan()
{
    if (fd_ >= 0)
        close(fd_);
}

bool FolderScan::Refill()
{
    if (!buffer_)
        buffer_.reset(new char[kBufferSize]);
    const ssize_t got = getdents64(fd_, buffer_.get(), kBufferSize);
    if (got < 0)
        listing_.error = std::strerror(errno);
    pos_ = 0;
    end_ = got > 0 ? std::size_t(got) : 0;
    return got > 0;
}

bool FolderScan::Read(std::size_t entries)
{
    for (std::size_t seen = 0; !done_ && seen < entries; ++seen) {
        if (pos_ == end_ && !Refill()) {
            done_ = true;
            break;
        }
        const auto* e = reinterpret_cast<const dirent64*>(buffer_.get() + pos_);
        pos_ += e->d_reclen;
        const std::string_view name(e->d_name);
        if (name.empty() || name[0] == '.')
            continue;
        std::size_t matches = everyName_;
        for (const std::string& p : pieces_)
            matches += MaskMatches(p, name) ? 1 : 0;
        if (matches == 0 || EntryType(fd_, e->d_name, e->d_type) != DT_REG)
            continue;
        for (std::size_t i = 0; i < matches; ++i)
            listing_.names.push_back(name);
    }
    if (done_)
        buffer_.reset();
    return done_;
}

FolderListing FolderScan::Finish()
{
    listing_.names.Reorder(NaturalOrder(listing_.names));
    return std::move(listing_);
}

} // namespace mg
