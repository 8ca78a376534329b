#pragma once
// Reading folders for the file list and the folder tree, with POSIX calls
// only. Paths and names are byte strings: any name the file system holds
// (bytes above 127, newlines) comes back unchanged.
#include "ui/FolderScan.h"

#include <string>
#include <string_view>
#include <vector>

namespace mg {

// The files of one folder through a mask (see FolderScan for which entries
// count), sorted by FileNameLess. The folder is read once.
FolderListing ReadFolderFiles(const std::string& folder, std::string_view mask);

// Sorting order of file names: the natural order of NameOrder.h (case
// ignored, numbers by value, like the folder tree), then byte order.
bool FileNameLess(std::string_view a, std::string_view b);
void SortFileNames(std::vector<std::string>& names);

// The non-hidden sub-folders of a folder (links to folders included), in
// directory order. An unreadable folder gives none. The last folder read is
// remembered for two seconds and not read again while its change time
// stays the same (links are still followed anew); a folder changed in the
// last second is never remembered, so no change can hide behind a clock
// tick.
std::vector<std::string> ReadSubFolders(const std::string& folder);
// True when the folder has at least one non-hidden sub-folder; stops at the
// first one found.
bool HasSubFolder(const std::string& folder);
// True when the path names a folder (following links).
bool IsFolder(const std::string& path);

// True when path begins with "/". A path built from a virtual folder's
// display name ("Computer/a.jpg") is not one: opened as it is, it would name
// a file below the process's current folder, not the file the user chose.
bool IsFullPath(const std::string& path);

// A folder path joined with a name: "/" + "a" gives "/a", "/x" + "a" gives
// "/x/a".
std::string JoinFolder(const std::string& folder, const std::string& name);

// The mount points listed in a mounts table (the text of /proc/self/mounts,
// with its octal escapes such as "\040" decoded) that are removable or extra
// volumes: /mnt/X, /media/X, /media/USER/X and /run/media/USER/X. In table
// order, without duplicates.
std::vector<std::string> VolumeMountPoints(std::string_view mountsTable);
// The same for this machine; those that exist as folders.
std::vector<std::string> MountedVolumes();

// Where a path given to the file list leads. The folder part is changed
// into (relative to the current directory when the text has no "/"); a last
// component without wildcard that is not an existing file is changed into as
// a folder; a last component with "*" or "?" becomes `mask`. `folder` is the
// current directory after these changes as the system reports it (the one
// reached before a change failed); `failed` tells that a change failed. The
// process's current directory is the same afterwards as before.
struct ListPathTarget {
    std::string folder;
    std::string mask;
    bool failed = false;
};
ListPathTarget ResolveListPath(const std::string& text);

// The process's current directory as the system reports it; empty when it
// cannot be read.
std::string CurrentDirectory();
// Changes the process's current directory; false when that fails.
bool ChangeDirectory(const std::string& folder);

} // namespace mg
