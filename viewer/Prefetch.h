#pragma once
// Reading ahead in the file list. While a picture is shown, a worker thread
// reads the list's next and previous files (in the encrypted view it
// decrypts them in memory) and decodes them at the scale the pane will
// paint them at, so that stepping onto one shows it without waiting for the
// disk or libjpeg.
//
// Only JPEG pictures that loaded and decoded are kept: a file that fails
// here is simply not held, and the window's own load reports it as always.
// The worker touches no process-wide state (the light cipher runs on a
// generator of its own, the strong keys are a copy that never derives), so
// what the window shows and leaves behind is the window's doing alone.
// Standard library only; the window decides what to ask for and checks the
// file's stamp before it uses what it gets.
#include "base/JPEGImage.h"
#include "cipher/StrongKeys.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace mg::viewer {

// The stat fields that change when a file is written or replaced.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::uint64_t size = 0;
    std::int64_t mtimeSec = 0;
    std::int64_t mtimeNsec = 0;
    bool operator==(const FileStamp&) const = default;
};
// False when the path cannot be stat'ed or is not a regular file.
bool StampOf(const std::string& path, FileStamp& stamp);

// Everything a read-ahead picture depends on besides the file itself; a
// picture made for one view is never shown in another.
struct PrefetchView {
    bool encrypted = false;
    std::int32_t key = 0;          // the light key (encrypted view only)
    std::uint64_t strongEpoch = 0; // StrongKeys::Epoch (encrypted view only)
    std::uint64_t budget = 0;      // JpegDecodeBudget
    // The pane: the group box's outer and client size, fitting and the
    // device pixel ratio decide the scale the picture is painted at.
    int boxWidth = 0;
    int boxHeight = 0;
    int clientWidth = 0;
    int clientHeight = 0;
    bool fit = false;
    double pixelRatio = 1.0;
    bool operator==(const PrefetchView&) const = default;
};

// How a held picture was read, so that the window leaves the process as its
// own load of that file would.
enum class PrefetchSource { Plain, Light, Strong };

struct PrefetchedPicture {
    std::string path;
    FileStamp stamp; // before and after the reading
    PrefetchView view;
    PrefetchSource source = PrefetchSource::Plain;
    TJPEGImage picture; // decoded at `scale` (0: nothing to paint)
    int scale = 0;
    std::uint32_t seedAfter = 0; // Light: the generator's seed after the file
    std::uint64_t bytes = 0;     // the file's bytes and the decoded pixels
};

// The libjpeg scale the pane's paint will decode a picture at (see
// JpegGraphic::Draw); 0 when the picture will not be painted (an empty
// target). Throws what fitting throws for a pane of no size.
int PaneScale(const TJPEGImage& picture, int orientation, const PrefetchView& view);

// At most this many pictures are held besides the one shown, together
// within this many bytes (file bytes plus decoded pixels). A fitted
// 24-megapixel photo costs its file (a few MB) and about 1 MB of pixels;
// an unfitted one about 72 MB of pixels more.
inline constexpr std::size_t kPrefetchPictures = 2;
inline constexpr std::uint64_t kPrefetchBytes = std::uint64_t{192} << 20;

struct PrefetchRequest {
    std::string path;
    PrefetchView view;
    // The encrypted view's strong keys: a CachedCopy owned by the worker
    // (null: strong files are not read ahead).
    std::shared_ptr<strong::StrongKeys> keys;
};

// Reads, decrypts and decodes one file as the window's load would. Null when
// it cannot be shown as a JPEG picture, would take more than byteLimit, was
// cancelled, or changed while it was read.
std::shared_ptr<PrefetchedPicture> ReadAhead(const PrefetchRequest& request, std::uint64_t byteLimit,
                                             const std::atomic<bool>& cancel);

class Prefetcher {
public:
    Prefetcher();
    ~Prefetcher(); // Stop()
    Prefetcher(const Prefetcher&) = delete;
    Prefetcher& operator=(const Prefetcher&) = delete;

    // The files to have ready, most wanted first, and the file shown, whose
    // picture is kept while it is held. Pictures of other files are dropped,
    // jobs for them forgotten and a running one cancelled.
    void Want(std::vector<PrefetchRequest> wanted, const std::string& shown);
    // The picture of path made for view: held, or being made (then waited
    // for); null otherwise, and then a queued read of path is forgotten, as
    // the caller loads the file itself. The caller checks the file's stamp.
    std::shared_ptr<const PrefetchedPicture> Find(const std::string& path, const PrefetchView& view);
    // Drops every picture and job; a running job's result is thrown away.
    void Drop();
    // Drop, then stop and join the worker; the object then does nothing.
    void Stop();

    // Waits until no job is queued or running (tests and benchmarks).
    void WaitIdle();

    // For tests: what is held besides the shown picture.
    std::size_t HeldPictures() const;
    std::uint64_t HeldBytes() const;

private:
    void Run();
    bool IsWanted(const std::string& path, const PrefetchView& view) const;
    std::uint64_t HeldBytesLocked() const;
    void DropLocked();

    mutable std::mutex mutex_;
    std::condition_variable wake_; // work or stop for the worker
    std::condition_variable done_; // a job ended
    std::vector<PrefetchRequest> wanted_;
    std::string shown_;
    std::deque<PrefetchRequest> queue_;
    std::vector<std::shared_ptr<PrefetchedPicture>> held_;
    const PrefetchRequest* running_ = nullptr;
    std::uint64_t generation_ = 0; // bumped by Drop
    std::atomic<bool> cancel_{false};
    bool stop_ = false;
    std::thread worker_;
};

} // namespace mg::viewer
