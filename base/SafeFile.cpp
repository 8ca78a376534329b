#include "base/SafeFile.h"

#include "base/Error.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <system_error>
#include <thread>
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

// Where a link leads: each link of a chain is followed (relative targets
// from the link's own folder) until a name that is no link, existing or not.
// ELOOP after 40 links, as the kernel counts.
int FollowLinks(std::string& path)
{
    for (int hops = 0; hops < 40; ++hops) {
        struct stat st {};
        if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode))
            return 0;
        std::vector<char> target(PATH_MAX + 1);
        const ssize_t n = ::readlink(path.c_str(), target.data(), target.size() - 1);
        if (n < 0)
            return errno;
        std::string next(target.data(), static_cast<std::size_t>(n));
        if (next.empty())
            return ENOENT;
        if (next.front() != '/') {
            const std::string folder = SplitPath(path).first;
            next = (folder == "/" ? std::string() : folder) + "/" + next;
        }
        path = std::move(next);
    }
    return ELOOP;
}

// Named temporary files on file systems without O_TMPFILE: their names, so
// that SIGINT, SIGTERM and SIGHUP remove them before the process ends. A
// fixed table of fixed buffers, since a signal handler may only unlink.
constexpr int kNamedSlots = 16;
char g_named[kNamedSlots][PATH_MAX];
volatile std::sig_atomic_t g_namedUsed[kNamedSlots];

// What each signal did before: it is done after the clean-up.
struct sigaction g_previous[NSIG];

extern "C" void RemoveNamedAndDie(int signal)
{
    for (int i = 0; i < kNamedSlots; ++i)
        if (g_namedUsed[i])
            ::unlink(g_named[i]);
    // Hand the signal on: the default ends the process, a handler of the
    // program's own runs once this one returns (the signal is blocked here).
    ::sigaction(signal, &g_previous[signal], nullptr);
    ::raise(signal);
}

void InstallCleanup()
{
    static bool installed = false;
    if (installed)
        return;
    installed = true;
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        struct sigaction old {};
        // An ignored signal ends nothing: nothing to clean up then.
        if (::sigaction(signal, nullptr, &old) != 0 || old.sa_handler == SIG_IGN)
            continue;
        g_previous[signal] = old;
        struct sigaction act {};
        act.sa_handler = RemoveNamedAndDie;
        sigemptyset(&act.sa_mask);
        ::sigaction(signal, &act, nullptr);
    }
}

int RememberNamed(const std::string& path)
{
    if (path.size() >= PATH_MAX)
        return -1;
    InstallCleanup();
    for (int i = 0; i < kNamedSlots; ++i) {
        if (!g_namedUsed[i]) {
            std::memcpy(g_named[i], path.c_str(), path.size() + 1);
            g_namedUsed[i] = 1;
            return i;
        }
    }
    return -1;
}

void ForgetNamed(const std::string& path)
{
    for (int i = 0; i < kNamedSlots; ++i)
        if (g_namedUsed[i] && path == g_named[i])
            g_namedUsed[i] = 0;
}

// A hidden name beside the destination that stays within NAME_MAX however
// long the destination's name is; XXXXXX is replaced by the caller.
std::string HiddenPattern(const std::string& folder, const std::string& name)
{
    return (folder == "/" ? std::string() : folder) + "/." + name.substr(0, 200) + ".XXXXXX";
}

} // namespace

void SetSafeFileFaults(const SafeFileFaults& faults)
{
    g_faults = faults;
    g_writeCalls = 0;
}

// Flushes what a large file holds so far to the disk, on a thread of its
// own while the rest is still written. A flush has to empty the disk's
// cache, which takes about as long as writing the data did; done once at
// the end it would be time in which nothing else goes on, done meanwhile it
// overlaps the producing of the data. The first failure is kept for the
// final flush to tell, since the system reports a failed write-back once
// only: a later fsync could succeed although the data never reached the disk.
class SafeWriter::EarlyFlush {
public:
    explicit EarlyFlush(int fd) : fd_(fd), thread_([this] { Run(); }) {}
    ~EarlyFlush() { Finish(); }
    EarlyFlush(const EarlyFlush&) = delete;
    EarlyFlush& operator=(const EarlyFlush&) = delete;

    // Another flush once the one under way (if any) is done; it covers
    // everything written by the time it starts.
    void Ask()
    {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            pending_ = true;
            if (error_ == 0)
                error_ = g_faults.earlyFlushFailsWith;
        }
        asked_.notify_one();
    }
    // Stops the thread once a flush under way is done (one only asked for
    // is left to the final flush); the first failure's errno, else 0.
    int Finish()
    {
        if (thread_.joinable()) {
            {
                std::lock_guard<std::mutex> lock(mutex_);
                stopping_ = true;
            }
            asked_.notify_one();
            thread_.join();
        }
        return error_;
    }

private:
    void Run()
    {
        std::unique_lock<std::mutex> lock(mutex_);
        for (;;) {
            asked_.wait(lock, [this] { return stopping_ || pending_; });
            if (stopping_)
                return;
            pending_ = false;
            lock.unlock();
            const int error = ::fdatasync(fd_) != 0 ? errno : 0;
            lock.lock();
            if (error_ == 0)
                error_ = error;
        }
    }

    const int fd_;
    std::mutex mutex_;
    std::condition_variable asked_;
    bool pending_ = false;
    bool stopping_ = false;
    int error_ = 0;
    std::thread thread_; // last: starts once the rest is set
};

SafeWriter::SafeWriter(std::string destination) : destination_(std::move(destination)) {}

SafeWriter::~SafeWriter()
{
    if (!committed_)
        Discard();
}

bool SafeWriter::Fail(int error)
{
    if (error_ == 0)
        error_ = error != 0 ? error : EIO;
    Discard();
    return false;
}

void SafeWriter::Discard()
{
    StopEarlyFlush();
    if (fd_ >= 0)
        ::close(fd_); // an unnamed file vanishes here
    fd_ = -1;
    if (!tempPath_.empty() && !unnamed_) {
        ::unlink(tempPath_.c_str());
        ForgetNamed(tempPath_);
    }
    tempPath_.clear();
}

std::string SafeWriter::ErrorText() const
{
    if (notRegular_)
        return "not a regular file";
    return error_ == 0 ? std::string() : std::string(std::strerror(error_));
}

bool SafeWriter::Open()
{
    if (g_faults.createFailsWith != 0)
        return Fail(g_faults.createFailsWith);
    // A link is written through, so the link stays a link; a dangling one
    // creates its target as cp does, instead of being replaced by a file.
    if (const int error = FollowLinks(destination_))
        return Fail(error);
    // An existing destination must be a regular file. Anything else, such
    // as a device, FIFO or /dev/stdout, is refused before any file is made.
    struct stat existing {};
    const bool exists = ::stat(destination_.c_str(), &existing) == 0;
    if (exists && S_ISDIR(existing.st_mode))
        return Fail(EISDIR);
    if (exists && !S_ISREG(existing.st_mode)) {
        notRegular_ = true;
        return Fail(EINVAL);
    }
    if (exists) {
        // Replacing a file must need what rewriting it needs: a read-only
        // file, or another user's file in a shared folder, is refused with
        // the system's own answer (EACCES), as cp or a redirect would be.
        const int probe = ::open(destination_.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        if (probe < 0)
            return Fail(errno);
        ::close(probe);
    }
    const auto [folder, name] = SplitPath(destination_);
    if (name.empty())
        return Fail(EISDIR);
    const mode_t mode = exists ? (existing.st_mode & 07777) : DefaultMode();
    // An unnamed file needs /proc to be given a name by a user other than
    // root; without it the named form is used from the start.
    const bool unnamedPossible = !g_faults.noUnnamedFiles && (::geteuid() == 0 || ::access("/proc/self/fd", X_OK) == 0);
    if (unnamedPossible)
        fd_ = ::open(folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0600);
    if (fd_ >= 0) {
        unnamed_ = true;
    } else if (unnamedPossible && errno != EOPNOTSUPP && errno != EISDIR && errno != EINVAL) {
        return Fail(errno);
    } else {
        // No unnamed files here: a hidden named one, removed on the
        // signals that end a process politely.
        std::string pattern = HiddenPattern(folder, name);
        std::vector<char> buffer(pattern.begin(), pattern.end());
        buffer.push_back('\0');
        fd_ = ::mkostemp(buffer.data(), O_CLOEXEC);
        if (fd_ < 0)
            return Fail(errno);
        tempPath_ = buffer.data();
        RememberNamed(tempPath_);
    }
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

bool SafeWriter::Write(const std::uint8_t* data, std::size_t n)
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

void SafeWriter::StartWriteback()
{
    // Hands each full stretch to the disk while later data is still being
    // produced, so the closing fsync waits only for the tail instead of the
    // whole file, and dirty pages never pile up. A failure here is not an
    // error: the fsync in Commit reports any real one.
    constexpr std::uint64_t kStretch = std::uint64_t{8} << 20;
    if (written_ - writebackFrom_ >= kStretch) {
        ::sync_file_range(fd_, static_cast<off_t>(writebackFrom_), static_cast<off_t>(written_ - writebackFrom_),
                          SYNC_FILE_RANGE_WRITE);
        writebackFrom_ = written_;
    }
    // Only large files are flushed early: for a small one the final flush
    // costs little, and a batch overlaps it with the next files instead.
    const std::uint64_t earlyStretch =
        g_faults.earlyFlushEvery != 0 ? g_faults.earlyFlushEvery : std::uint64_t{32} << 20;
    if (written_ - earlyFlushAt_ < earlyStretch)
        return;
    earlyFlushAt_ = written_;
    if (!earlyFlush_) {
        try {
            earlyFlush_ = std::make_unique<EarlyFlush>(fd_);
        } catch (const std::exception&) {
            return; // no thread or no memory: the final flush does it all
        }
    }
    earlyFlush_->Ask();
}

int SafeWriter::StopEarlyFlush()
{
    if (!earlyFlush_)
        return 0;
    const int error = earlyFlush_->Finish();
    earlyFlush_.reset();
    return error;
}

bool SafeWriter::Link()
{
    // A name is needed only for the rename; it exists for the moment
    // between the two calls. linkat through /proc needs no privilege;
    // AT_EMPTY_PATH is the way when /proc is not mounted (it needs root).
    const std::string self = "/proc/self/fd/" + std::to_string(fd_);
    const auto [folder, name] = SplitPath(destination_);
    std::random_device entropy;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = HiddenPattern(folder, name);
        static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
        for (std::size_t i = candidate.size() - 6; i < candidate.size(); ++i)
            candidate[i] = kLetters[entropy() % (sizeof kLetters - 1)];
        int done = ::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, candidate.c_str(), AT_SYMLINK_FOLLOW);
        if (done != 0 && errno == ENOENT)
            done = ::linkat(fd_, "", AT_FDCWD, candidate.c_str(), AT_EMPTY_PATH);
        if (done == 0) {
            tempPath_ = candidate;
            unnamed_ = false;
            RememberNamed(tempPath_); // a signal in the instant before the rename
            return true;
        }
        if (errno != EEXIST)
            return Fail(errno);
    }
    return Fail(EEXIST);
}

bool SafeWriter::Commit()
{
    return Flush() && Publish();
}

bool SafeWriter::Flush()
{
    if (fd_ < 0)
        return Fail(EBADF);
    // An early flush's failure is this file's failure, whatever the final
    // fsync says.
    if (const int early = StopEarlyFlush(); early != 0)
        return Fail(early);
    if (g_faults.syncFailsWith != 0 && (g_faults.syncFailsFor.empty() || g_faults.syncFailsFor == destination_)) {
        std::this_thread::sleep_for(std::chrono::milliseconds(g_faults.syncFailsAfterMs));
        return Fail(g_faults.syncFailsWith);
    }
    if (::fsync(fd_) != 0)
        return Fail(errno);
    flushed_ = true;
    return true;
}

bool SafeWriter::Publish()
{
    if (fd_ < 0 || !flushed_)
        return Fail(EBADF);
    if (unnamed_ && !Link())
        return false;
    const int fd = std::exchange(fd_, -1);
    if (::close(fd) != 0)
        return Fail(errno);
    if (g_faults.renameFailsWith != 0)
        return Fail(g_faults.renameFailsWith);
    if (::rename(tempPath_.c_str(), destination_.c_str()) != 0)
        return Fail(errno);
    ForgetNamed(tempPath_);
    // The data is on disk before the rename, so the destination is always
    // either the old file or the whole new one. The folder itself is not
    // flushed: the rename reaches the disk with the file system's next
    // commit, and a flush per file would double the cost of a batch.
    committed_ = true;
    return true;
}

SafeCommitter::SafeCommitter()
{
    threads_.reserve(kFlushers);
    // Fewer threads only flush fewer files at once; none is an error.
    for (int i = 0; i < kFlushers; ++i) {
        try {
            threads_.emplace_back([this] { Run(); });
        } catch (const std::system_error&) {
            if (threads_.empty())
                throw;
            break;
        }
    }
}

SafeCommitter::~SafeCommitter()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    changed_.notify_all();
    for (std::thread& thread : threads_)
        thread.join();
    Discard();
}

void SafeCommitter::Commit(std::unique_ptr<SafeWriter> writer, int tag)
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        jobs_.push_back({std::move(writer), tag, Stage::Waiting});
    }
    changed_.notify_all();
}

std::size_t SafeCommitter::Pending() const
{
    std::lock_guard<std::mutex> lock(mutex_);
    return jobs_.size();
}

std::pair<std::unique_ptr<SafeWriter>, int> SafeCommitter::Next()
{
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] { return jobs_.empty() || jobs_.front().stage == Stage::Done; });
    if (jobs_.empty())
        return {nullptr, 0};
    Job job = std::move(jobs_.front());
    jobs_.pop_front();
    --nextToDo_;
    --nextToFlush_;
    return {std::move(job.writer), job.tag};
}

void SafeCommitter::Resume()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        halted_ = false;
    }
    changed_.notify_all();
}

void SafeCommitter::Discard()
{
    std::deque<Job> dropped;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        // Flushes and a rename under way finish first: a file is either
        // whole on disk or gone, never half renamed.
        halted_ = true;
        changed_.wait(lock, [this] { return busy_ == 0; });
        dropped.swap(jobs_);
        nextToDo_ = 0;
        nextToFlush_ = 0;
        halted_ = false;
    }
    changed_.notify_all();
    // The writers' destructors remove their temporary files.
}

bool SafeCommitter::CanPublish() const
{
    return !halted_ && !stopping_ && !publishing_ && nextToDo_ < jobs_.size()
           && jobs_[nextToDo_].stage == Stage::Flushed;
}

// Renames the flushed files at the head of the queue, one after another;
// whichever thread finds the next one flushed does it.
void SafeCommitter::PublishInOrder(std::unique_lock<std::mutex>& lock)
{
    if (!CanPublish())
        return;
    publishing_ = true;
    while (!halted_ && !stopping_ && nextToDo_ < jobs_.size() && jobs_[nextToDo_].stage == Stage::Flushed) {
        // The job stays where it is (Next takes only done ones, Discard
        // waits for busy_), so the reference holds while unlocked.
        Job& job = jobs_[nextToDo_];
        bool ok = job.writer->Error() == 0;
        if (ok) {
            ++busy_;
            lock.unlock();
            ok = job.writer->Publish();
            lock.lock();
            --busy_;
        }
        job.stage = Stage::Done;
        ++nextToDo_;
        if (!ok)
            halted_ = true;
        changed_.notify_all();
    }
    publishing_ = false;
}

void SafeCommitter::Run()
{
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stopping_ || (!halted_ && nextToFlush_ < jobs_.size()) || CanPublish(); });
        if (stopping_)
            return;
        if (!halted_ && nextToFlush_ < jobs_.size()) {
            Job& job = jobs_[nextToFlush_++];
            job.stage = Stage::Flushing;
            ++busy_;
            lock.unlock();
            // A failure is kept in the writer and told when its turn comes:
            // the files before it may still be committed.
            job.writer->Flush();
            lock.lock();
            --busy_;
            job.stage = Stage::Flushed;
            changed_.notify_all();
        }
        PublishInOrder(lock);
    }
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path)
{
    return ReadWholeFile(path, std::uint64_t(INT32_MAX), FileErrorMessage(EFBIG));
}

std::vector<std::uint8_t> ReadWholeFile(const std::string& path, std::uint64_t maxBytes, const std::string& tooLarge)
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
    maxBytes = std::min<std::uint64_t>(maxBytes, INT32_MAX);
    if (st.st_size < 0 || std::uint64_t(st.st_size) > maxBytes)
        throw Error(tooLarge);
    // Read straight into the buffer sized from the file: no second copy.
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(st.st_size));
    std::size_t filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            // The file may have grown since fstat: go on in steps, within the limit.
            std::uint8_t probe;
            const ssize_t more = ::read(fd, &probe, 1);
            if (more < 0 && errno == EINTR)
                continue;
            if (more < 0)
                ThrowFileError(errno);
            if (more == 0)
                break;
            if (bytes.size() + 1 > maxBytes)
                throw Error(tooLarge);
            bytes.push_back(probe);
            bytes.resize(std::min<std::uint64_t>(maxBytes, bytes.size() + 65536));
            ++filled;
            continue;
        }
        const ssize_t n = ::read(fd, bytes.data() + filled, bytes.size() - filled);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ThrowFileError(errno);
        }
        if (n == 0)
            break;
        filled += static_cast<std::size_t>(n);
    }
    bytes.resize(filled);
    return bytes;
}

int WriteFileSafely(const std::string& destination, const std::uint8_t* data, std::size_t n)
{
    SafeWriter writer(destination);
    if (writer.Open() && writer.Write(data, n) && writer.Commit())
        return 0;
    return writer.Error();
}

} // namespace mg
