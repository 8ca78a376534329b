#include "ui/FolderReader.h"

#include "ui/FileMask.h"
#include "ui/NameOrder.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace mg {
namespace {

struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

// Restores the current directory when it goes out of scope.
class CurrentDirectoryKeeper {
public:
    CurrentDirectoryKeeper() : fd_(open(".", O_RDONLY | O_DIRECTORY | O_CLOEXEC)) {}
    ~CurrentDirectoryKeeper()
    {
        if (fd_ >= 0) {
            if (fchdir(fd_) != 0) {
                // Nothing better to do: the folder we came from is gone.
            }
            close(fd_);
        }
    }
    CurrentDirectoryKeeper(const CurrentDirectoryKeeper&) = delete;
    CurrentDirectoryKeeper& operator=(const CurrentDirectoryKeeper&) = delete;

private:
    int fd_;
};

} // namespace

bool FileNameLess(std::string_view a, std::string_view b)
{
    return NaturalNameLess(a, b);
}

void SortFileNames(std::vector<std::string>& names)
{
    SortNaturally(names);
}

FolderListing ReadFolderFiles(const std::string& folder, std::string_view mask)
{
    FolderScan scan(folder, mask);
    while (!scan.Read(std::size_t(-1))) {
    }
    return scan.Finish();
}

namespace {

// Calls `found` for each non-hidden sub-folder until it returns false.
template <typename F> void ForEachSubFolder(const std::string& folder, F found)
{
    DirHandle dir(opendir(folder.c_str()));
    if (!dir)
        return;
    int dirFd = dirfd(dir.get());
    while (const dirent* e = readdir(dir.get())) {
        if (e->d_name[0] == '.')
            continue;
        if (EntryType(dirFd, e->d_name, e->d_type) == DT_DIR && !found(e->d_name))
            return;
    }
}

} // namespace

namespace {

// The last folder whose sub-folders were read, kept for a moment. At
// start-up the three folder trees (the main window's and both batch
// windows') read the desktop one after another; with a million files there
// each read takes about 0.2 s, all before the first window shows.
struct SubFolderMemo {
    std::string folder;
    dev_t device = 0;
    ino_t inode = 0;
    timespec changed{};
    std::chrono::steady_clock::time_point readAt;
    // Candidates in directory order; `look` marks links and entries of
    // unknown type, whose targets are looked at again on every use.
    std::vector<std::pair<std::string, bool>> entries;
    bool valid = false;
};
std::mutex memoMutex;
SubFolderMemo memo;
constexpr auto kMemoLife = std::chrono::seconds(2);

bool IsFolderEntry(int dirFd, const char* name)
{
    struct stat st;
    return fstatat(dirFd, name, &st, 0) == 0 && S_ISDIR(st.st_mode);
}

std::vector<std::string> Folders(int dirFd, const std::vector<std::pair<std::string, bool>>& entries)
{
    std::vector<std::string> names;
    for (const auto& [name, look] : entries)
        if (!look || IsFolderEntry(dirFd, name.c_str()))
            names.push_back(name);
    return names;
}

} // namespace

std::vector<std::string> ReadSubFolders(const std::string& folder)
{
    DirHandle dir(opendir(folder.c_str()));
    if (!dir)
        return {};
    const int dirFd = dirfd(dir.get());
    // Taken before reading: any change to the folder's entries from here on
    // gives it a new change time.
    struct stat st;
    const bool known = fstat(dirFd, &st) == 0;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    const auto readAt = std::chrono::steady_clock::now();
    {
        std::lock_guard<std::mutex> lock(memoMutex);
        if (known && memo.valid && memo.folder == folder && memo.device == st.st_dev && memo.inode == st.st_ino
            && memo.changed.tv_sec == st.st_ctim.tv_sec && memo.changed.tv_nsec == st.st_ctim.tv_nsec
            && readAt - memo.readAt < kMemoLife)
            return Folders(dirFd, memo.entries);
    }
    std::vector<std::pair<std::string, bool>> entries;
    while (const dirent* e = readdir(dir.get())) {
        if (e->d_name[0] == '.')
            continue;
        if (e->d_type == DT_DIR || e->d_type == DT_LNK || e->d_type == DT_UNKNOWN)
            entries.emplace_back(e->d_name, e->d_type != DT_DIR);
    }
    std::vector<std::string> names = Folders(dirFd, entries);
    // Kept only when the folder's last change is over a second old: a change
    // within the same tick of the file system's clock could leave the change
    // time as it is.
    const long long age = (now.tv_sec - st.st_ctim.tv_sec) * 1000000000LL + (now.tv_nsec - st.st_ctim.tv_nsec);
    if (known && age > 1000000000LL) {
        std::lock_guard<std::mutex> lock(memoMutex);
        memo = SubFolderMemo{folder, st.st_dev, st.st_ino, st.st_ctim, readAt, std::move(entries), true};
    }
    return names;
}

bool HasSubFolder(const std::string& folder)
{
    bool any = false;
    ForEachSubFolder(folder, [&](const char*) {
        any = true;
        return false;
    });
    return any;
}

bool IsFolder(const std::string& path)
{
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool IsFullPath(const std::string& path)
{
    return !path.empty() && path.front() == '/';
}

std::string JoinFolder(const std::string& folder, const std::string& name)
{
    if (!folder.empty() && folder.back() == '/')
        return folder + name;
    return folder + "/" + name;
}

namespace {

std::string DecodeMountField(std::string_view field)
{
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size()) {
            const char* d = field.data() + i + 1;
            if (d[0] >= '0' && d[0] <= '3' && d[1] >= '0' && d[1] <= '7' && d[2] >= '0' && d[2] <= '7') {
                out += static_cast<char>((d[0] - '0') * 64 + (d[1] - '0') * 8 + (d[2] - '0'));
                i += 3;
                continue;
            }
        }
        out += field[i];
    }
    return out;
}

// Number of path components after the prefix, or -1 when the path does not
// lie below it.
int DepthBelow(std::string_view path, std::string_view prefix)
{
    if (path.size() <= prefix.size() || path.substr(0, prefix.size()) != prefix)
        return -1;
    std::string_view rest = path.substr(prefix.size());
    if (rest.back() == '/')
        return -1;
    return 1 + static_cast<int>(std::count(rest.begin(), rest.end(), '/'));
}

} // namespace

std::vector<std::string> VolumeMountPoints(std::string_view table)
{
    std::vector<std::string> points;
    std::size_t start = 0;
    while (start < table.size()) {
        std::size_t end = table.find('\n', start);
        if (end == std::string_view::npos)
            end = table.size();
        std::string_view line = table.substr(start, end - start);
        start = end + 1;
        std::size_t a = line.find(' ');
        if (a == std::string_view::npos)
            continue;
        std::size_t b = line.find(' ', a + 1);
        std::string point =
            DecodeMountField(line.substr(a + 1, b == std::string_view::npos ? std::string_view::npos : b - a - 1));
        int mnt = DepthBelow(point, "/mnt/");
        int media = DepthBelow(point, "/media/");
        int runMedia = DepthBelow(point, "/run/media/");
        bool volume = mnt == 1 || media == 1 || media == 2 || runMedia == 2;
        if (volume && std::find(points.begin(), points.end(), point) == points.end())
            points.push_back(point);
    }
    return points;
}

std::vector<std::string> MountedVolumes()
{
    std::ifstream in("/proc/self/mounts", std::ios::binary);
    std::string table((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<std::string> points = VolumeMountPoints(table);
    points.erase(std::remove_if(points.begin(), points.end(), [](const std::string& p) { return !IsFolder(p); }),
                 points.end());
    return points;
}

std::string CurrentDirectory()
{
    std::unique_ptr<char, decltype(&std::free)> cwd(getcwd(nullptr, 0), &std::free);
    return cwd ? std::string(cwd.get()) : std::string();
}

bool ChangeDirectory(const std::string& folder)
{
    return !folder.empty() && chdir(folder.c_str()) == 0;
}

ListPathTarget ResolveListPath(const std::string& text)
{
    ListPathTarget target;
    CurrentDirectoryKeeper keeper;
    std::size_t slash = text.rfind('/');
    std::string last = slash == std::string::npos ? text : text.substr(slash + 1);
    if (slash != std::string::npos) {
        std::string folderPart = slash == 0 ? std::string("/") : text.substr(0, slash);
        if (!ChangeDirectory(folderPart))
            target.failed = true;
    }
    if (!target.failed && !last.empty()) {
        if (HasWildcard(last)) {
            target.mask = last;
        } else if (slash == std::string::npos) {
            // A bare name is not a folder path: the tree gives absolute paths
            // or a virtual folder's display name ("Computer"), which must not
            // lead into a sub-folder of that name in the current folder.
            target.failed = true;
        } else {
            struct stat st;
            bool isFile = stat(last.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
            if (!isFile && !ChangeDirectory(last))
                target.failed = true;
        }
    }
    target.folder = CurrentDirectory();
    return target;
}

} // namespace mg
