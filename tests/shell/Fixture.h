#pragma once
// Builds a folder of test entries from a list: plain and read-only files,
// FIFOs, folders and symbolic links, with any bytes in their names.
#include <QtGlobal>

#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace fixture {

enum Kind { File, ReadOnly, Fifo, Folder, Link };

struct Entry {
    Kind kind;
    std::string name;   // relative to the fixture's folder
    std::string target; // Link only
};

inline bool Make(const std::string& folder, const std::vector<Entry>& entries)
{
    for (const Entry& e : entries) {
        std::string path = folder + "/" + e.name;
        int rc = 0;
        switch (e.kind) {
        case File:
        case ReadOnly: {
            int fd = open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, e.kind == ReadOnly ? 0444 : 0644);
            rc = fd < 0 ? -1 : close(fd);
            break;
        }
        case Fifo:
            rc = mkfifo(path.c_str(), 0644);
            break;
        case Folder:
            rc = mkdir(path.c_str(), 0755);
            break;
        case Link:
            rc = symlink(e.target.c_str(), path.c_str());
            break;
        }
        if (rc != 0)
            return false;
    }
    return true;
}

// Removes the fixture's entries, last first. QTemporaryDir cannot remove
// dangling links or names that are not UTF-8 by itself.
inline void Remove(const std::string& folder, const std::vector<Entry>& entries)
{
    for (auto e = entries.rbegin(); e != entries.rend(); ++e) {
        std::string path = folder + "/" + e->name;
        if (e->kind == Folder)
            rmdir(path.c_str());
        else
            unlink(path.c_str());
    }
}

// The list fixture: every kind of entry the file list must sort out.
inline const std::vector<Entry>& ListEntries()
{
    static const std::vector<Entry> entries{
        {File, "a.txt", {}},
        {File, "b.jpg", {}},
        {File, "UPPER.JPG", {}},
        {File, "photo.jpeg", {}},
        {ReadOnly, "readonly.jpg", {}},
        {File, ".hidden.jpg", {}},
        {Fifo, "fifo.jpg", {}},
        {Folder, "sub.jpg", {}},
        {File, "sub.jpg/inner.jpg", {}},
        {Link, "sub.jpg/loop", ".."},
        {File, "bad\xff.jpg", {}},
        {File, "new\nline.jpg", {}},
        {File, "noext", {}},
        {Link, "dangling.jpg", "nowhere"},
        {Link, "dirlink.jpg", "sub.jpg"},
        {Link, "filelink.jpg", "b.jpg"},
    };
    return entries;
}

} // namespace fixture
