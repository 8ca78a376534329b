#pragma once
// Safe writes: a destination is written to a temporary file in its own
// folder, flushed to disk and renamed over the destination, so a failure at
// any point leaves an existing destination unchanged and no partial file.
// The temporary file has no name while it is written (O_TMPFILE), so an
// interruption of any kind, kill -9 included, leaves nothing behind; only on
// file systems without unnamed files is it a hidden named file, removed on
// SIGINT, SIGTERM and SIGHUP.
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace mg {

class SafeWriter {
public:
    explicit SafeWriter(std::string destination);
    ~SafeWriter(); // removes the temporary file unless committed
    SafeWriter(const SafeWriter&) = delete;
    SafeWriter& operator=(const SafeWriter&) = delete;

    // Creates the temporary file beside the destination, with the
    // destination's mode when it exists, else 0666 & ~umask. A link is
    // written through to its target, also a dangling one (as cp does); an
    // existing destination that is no regular file (a folder, device, FIFO)
    // is refused, and so is one the caller could not open for writing: the
    // rename needs only the folder's permission, the file's own must hold too.
    bool Open();
    // Appends all n bytes.
    bool Write(const std::uint8_t* data, std::size_t n);
    // Flushes the temporary file to disk and renames it over the destination.
    bool Commit();
    // Commit in its two steps: Flush waits for the data to reach the disk,
    // Publish (only after a successful Flush) renames it over the destination.
    bool Flush();
    bool Publish();

    const std::string& Destination() const { return destination_; }
    const std::string& TempPath() const { return tempPath_; }
    // The errno of the first failure (0 when none) and its text.
    int Error() const { return error_; }
    std::string ErrorText() const;

private:
    bool Fail(int error);
    void Discard();
    void StartWriteback();
    int StopEarlyFlush(); // the early flushes' first errno
    bool Link();          // gives the unnamed temporary file its hidden name

    class EarlyFlush;
    std::unique_ptr<EarlyFlush> earlyFlush_;

    std::string destination_;
    std::string tempPath_;
    int fd_ = -1;
    int error_ = 0;
    std::uint64_t written_ = 0;       // bytes in the temporary file
    std::uint64_t writebackFrom_ = 0; // start of the stretch not yet handed to the disk
    std::uint64_t earlyFlushAt_ = 0;  // bytes written when an early flush was last asked for
    bool flushed_ = false;
    bool committed_ = false;
    bool notRegular_ = false; // the destination exists but is no regular file
    bool unnamed_ = false;    // fd_ is an O_TMPFILE file, tempPath_ not yet linked
};

// Commits written files on threads of its own, so that waiting for files to
// reach the disk overlaps the work on the next ones. Several files are
// flushed at once (the file system then joins their journal commits), but
// each is renamed over its destination only after its own flush and after
// every file handed over before it, in the order handed over.
// The first failure halts the committing: files handed over after it stay
// uncommitted until Resume, and are discarded (no trace on disk) by Discard
// or the destructor, so a caller that stops at a failure leaves exactly what
// committing each file in turn would have left.
class SafeCommitter {
public:
    SafeCommitter();
    ~SafeCommitter(); // discards what is not committed yet
    SafeCommitter(const SafeCommitter&) = delete;
    SafeCommitter& operator=(const SafeCommitter&) = delete;

    // Hands over an opened, fully written writer; `tag` names it in results.
    void Commit(std::unique_ptr<SafeWriter> writer, int tag);
    // Files handed over whose result has not been taken yet.
    std::size_t Pending() const;
    // Waits for the oldest handed-over file to be committed or to fail, and
    // returns it (Error() tells which) with its tag. Only when Pending() > 0.
    std::pair<std::unique_ptr<SafeWriter>, int> Next();
    // Continues after a failure taken with Next; until then (or Discard)
    // nothing more is committed and Next must not be called.
    void Resume();
    // Drops every file not committed yet, removing its temporary file.
    void Discard();

    // Files flushed at the same time.
    static constexpr int kFlushers = 4;

private:
    enum class Stage { Waiting, Flushing, Flushed, Done };
    struct Job {
        std::unique_ptr<SafeWriter> writer;
        int tag = 0;
        Stage stage = Stage::Waiting;
    };
    void Run();
    void PublishInOrder(std::unique_lock<std::mutex>& lock);
    bool CanPublish() const;

    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<Job> jobs_;        // oldest first; done ones wait for Next
    std::size_t nextToDo_ = 0;    // index in jobs_ of the first not done
    std::size_t nextToFlush_ = 0; // index in jobs_ of the first waiting
    int busy_ = 0;                // flushes and renames under way
    bool publishing_ = false;     // a thread is renaming in order
    bool halted_ = false;
    bool stopping_ = false;
    std::vector<std::thread> threads_;
};

// Reads a whole regular file. Opening does not wait (a FIFO without a writer
// cannot hang the caller); a folder, FIFO or device is refused, and so is a
// file over 2 GiB (lengths are 32-bit signed counts). Throws mg::Error with
// the file-error message ("File not found", "File access denied", ...).
std::vector<std::uint8_t> ReadWholeFile(const std::string& path);
// The same with a size limit: a file larger than maxBytes is refused with
// mg::Error(tooLarge) before any of it is read (and one that grows past the
// limit while it is read, when it does). The bytes are held once.
std::vector<std::uint8_t> ReadWholeFile(const std::string& path, std::uint64_t maxBytes, const std::string& tooLarge);

// Writes a whole buffer safely; the errno on failure (0 on success).
int WriteFileSafely(const std::string& destination, const std::uint8_t* data, std::size_t n);

// Test seam: makes safe writes fail as a full disk or a read-only folder
// would, since tests run with permissions that the kernel does not enforce.
// A count of 0 disables that fault; the n-th call (from 1) of the operation
// fails with the given errno. Reset with SetSafeFileFaults({}).
struct SafeFileFaults {
    int createFailsWith = 0; // errno for Open's exclusive create
    int writeCall = 0;       // which write() call fails
    int writeFailsWith = 0;
    int syncFailsWith = 0;    // errno for the fsync of the temporary file
    std::string syncFailsFor; // when set, only this destination's fsync fails,
    int syncFailsAfterMs = 0; // after this long (later files' flushes end first)
    int renameFailsWith = 0;
    bool noUnnamedFiles = false;       // behave as a file system without O_TMPFILE
    std::uint64_t earlyFlushEvery = 0; // bytes between early flushes (0: the usual)
    int earlyFlushFailsWith = 0;       // errno for every early flush
};
void SetSafeFileFaults(const SafeFileFaults& faults);

} // namespace mg
