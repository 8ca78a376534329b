#include "viewer/Prefetch.h"

#include "base/Error.h"
#include "base/JpegOrientation.h"
#include "base/SafeFile.h"
#include "cipher/ImageCrypt.h"
#include "cipher/StrongCrypt.h"
#include "viewer/Fitting.h"

#include <algorithm>
#include <cmath>
#include <exception>
#include <sodium.h>
#include <sys/stat.h>
#include <utility>

namespace mg::viewer {

bool StampOf(const std::string& path, FileStamp& stamp)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode))
        return false;
    stamp.device = info.st_dev;
    stamp.inode = info.st_ino;
    stamp.size = static_cast<std::uint64_t>(info.st_size);
    stamp.mtimeSec = info.st_mtim.tv_sec;
    stamp.mtimeNsec = info.st_mtim.tv_nsec;
    return true;
}

namespace {

// The paint's rounding of a side to device pixels.
int DeviceSide(int side, double ratio)
{
    if (ratio <= 1.0)
        return side;
    return int(std::ceil(side * ratio - 1e-9));
}

std::uint64_t DecodedBytes(const TJPEGImage& picture, int scale)
{
    const auto side = [scale](int n) { return (std::uint64_t(n) * std::uint64_t(scale) + 7) / 8; };
    return side(picture.Width()) * side(picture.Height()) * 3;
}

bool StartsAsJpeg(const std::vector<std::uint8_t>& bytes)
{
    return bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
}

// The picture as the window's load would make it, or null. Failures are not
// told: the window's own load of the file reports them.
std::unique_ptr<TJPEGImage> Load(const PrefetchRequest& request, PrefetchSource& source, std::uint32_t& seedAfter)
{
    auto picture = std::make_unique<TJPEGImage>();
    if (!request.view.encrypted) {
        source = PrefetchSource::Plain;
        picture->LoadFromBytes(ReadWholeFile(request.path, PictureMemoryBudget(), PictureFileTooLarge()));
        return picture;
    }
    if (strong::FileHasMagic(request.path)) {
        // The window tries such a file as a strong one first, which may
        // derive a key; only a strong success is taken here, so that a light
        // file with the magic by chance is left to the window's own load.
        if (!request.keys)
            return nullptr;
        std::vector<std::uint8_t> plain;
        std::string extension;
        const CipherResult result =
            strong::DecryptToMemory(request.path, *request.keys, plain, extension, JpegDecodeBudget());
        const bool jpeg = result && StartsAsJpeg(plain);
        if (jpeg) {
            try {
                picture->LoadFromBytes(plain);
            } catch (...) {
                picture.reset();
            }
        }
        sodium_memzero(plain.data(), plain.size());
        if (!jpeg || !picture)
            return nullptr;
        source = PrefetchSource::Strong;
        return picture;
    }
    source = PrefetchSource::Light;
    std::unique_ptr<TJPEGImage> slot;
    if (!DecryptLightImage(request.path, slot, request.view.key, seedAfter))
        return nullptr;
    return slot;
}

} // namespace

int PaneScale(const TJPEGImage& picture, int orientation, const PrefetchView& view)
{
    const bool swaps = OrientationSwapsSides(orientation);
    int wide = swaps ? picture.Height() : picture.Width();
    int high = swaps ? picture.Width() : picture.Height();
    if (view.fit) {
        const PaneFit fit = FitPane(wide, high, view.boxWidth, view.boxHeight, view.clientWidth, view.clientHeight);
        wide = fit.width;
        high = fit.height;
    }
    if (wide <= 0 || high <= 0)
        return 0;
    wide = DeviceSide(wide, view.pixelRatio);
    high = DeviceSide(high, view.pixelRatio);
    if (swaps)
        std::swap(wide, high);
    return picture.ScaleFor(wide, high);
}

std::shared_ptr<PrefetchedPicture> ReadAhead(const PrefetchRequest& request, std::uint64_t byteLimit,
                                             const std::atomic<bool>& cancel)
{
    auto ready = std::make_shared<PrefetchedPicture>();
    ready->path = request.path;
    ready->view = request.view;
    if (!StampOf(request.path, ready->stamp) || ready->stamp.size > byteLimit)
        return nullptr;
    try {
        std::unique_ptr<TJPEGImage> picture = Load(request, ready->source, ready->seedAfter);
        if (!picture || cancel)
            return nullptr;
        const int orientation = JpegOrientation(picture->Bytes().data(), picture->Bytes().size());
        ready->scale = PaneScale(*picture, orientation, request.view);
        ready->bytes = picture->Bytes().size() + (ready->scale ? DecodedBytes(*picture, ready->scale) : 0);
        if (ready->bytes > byteLimit)
            return nullptr;
        if (ready->scale)
            picture->Decode(ready->scale);
        ready->picture = *picture;
    } catch (...) {
        // Damaged data, a picture too large, no memory: the window's load
        // meets the same and says so.
        return nullptr;
    }
    // A file written while it was read may have given a mix of old and new.
    FileStamp after;
    if (cancel || !StampOf(request.path, after) || !(after == ready->stamp))
        return nullptr;
    return ready;
}

Prefetcher::Prefetcher() : worker_([this] { Run(); }) {}

Prefetcher::~Prefetcher()
{
    Stop();
}

bool Prefetcher::IsWanted(const std::string& path, const PrefetchView& view) const
{
    return std::any_of(wanted_.begin(), wanted_.end(),
                       [&](const PrefetchRequest& w) { return w.path == path && w.view == view; });
}

std::uint64_t Prefetcher::HeldBytesLocked() const
{
    std::uint64_t sum = 0;
    for (const auto& p : held_) {
        if (p->path != shown_)
            sum += p->bytes;
    }
    return sum;
}

void Prefetcher::Want(std::vector<PrefetchRequest> wanted, const std::string& shown)
{
    std::lock_guard lock(mutex_);
    if (stop_)
        return;
    wanted_ = std::move(wanted);
    shown_ = shown;
    std::erase_if(held_, [this](const std::shared_ptr<PrefetchedPicture>& p) {
        return p->path != shown_ && !IsWanted(p->path, p->view);
    });
    queue_.clear();
    for (const PrefetchRequest& w : wanted_) {
        const bool held = std::any_of(held_.begin(), held_.end(), [&](const std::shared_ptr<PrefetchedPicture>& p) {
            return p->path == w.path && p->view == w.view;
        });
        const bool running = running_ && running_->path == w.path && running_->view == w.view;
        if (!held && !running)
            queue_.push_back(w);
    }
    if (running_ && !IsWanted(running_->path, running_->view))
        cancel_ = true;
    wake_.notify_all();
}

std::shared_ptr<const PrefetchedPicture> Prefetcher::Find(const std::string& path, const PrefetchView& view)
{
    std::unique_lock lock(mutex_);
    const auto matches = [&](const std::string& p, const PrefetchView& v) { return p == path && v == view; };
    // A job already under way for this file ends sooner than a load started
    // now would.
    done_.wait(lock, [&] { return stop_ || !running_ || !matches(running_->path, running_->view); });
    for (const auto& p : held_) {
        if (matches(p->path, p->view))
            return p;
    }
    // The caller loads the file itself now: a queued read of it would only
    // compete with that load.
    std::erase_if(queue_, [&](const PrefetchRequest& r) { return r.path == path; });
    return nullptr;
}

void Prefetcher::Drop()
{
    std::lock_guard lock(mutex_);
    DropLocked();
}

void Prefetcher::DropLocked()
{
    ++generation_;
    wanted_.clear();
    shown_.clear();
    queue_.clear();
    held_.clear();
    if (running_)
        cancel_ = true;
}

void Prefetcher::Stop()
{
    {
        std::lock_guard lock(mutex_);
        DropLocked();
        stop_ = true;
        cancel_ = true;
        wake_.notify_all();
        done_.notify_all();
    }
    if (worker_.joinable())
        worker_.join();
}

void Prefetcher::WaitIdle()
{
    std::unique_lock lock(mutex_);
    done_.wait(lock, [this] { return stop_ || (queue_.empty() && !running_); });
}

std::size_t Prefetcher::HeldPictures() const
{
    std::lock_guard lock(mutex_);
    return std::size_t(std::count_if(held_.begin(), held_.end(), [this](const auto& p) { return p->path != shown_; }));
}

std::uint64_t Prefetcher::HeldBytes() const
{
    std::lock_guard lock(mutex_);
    return HeldBytesLocked();
}

void Prefetcher::Run()
{
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (stop_)
            return;
        const PrefetchRequest job = std::move(queue_.front());
        queue_.pop_front();
        const std::uint64_t generation = generation_;
        const std::uint64_t used = HeldBytesLocked();
        const std::uint64_t limit = used < kPrefetchBytes ? kPrefetchBytes - used : 0;
        running_ = &job;
        cancel_ = false;
        lock.unlock();
        std::shared_ptr<PrefetchedPicture> ready = ReadAhead(job, limit, cancel_);
        lock.lock();
        running_ = nullptr;
        const std::size_t others =
            std::size_t(std::count_if(held_.begin(), held_.end(), [this](const auto& p) { return p->path != shown_; }));
        if (ready && !stop_ && generation == generation_ && IsWanted(job.path, job.view) && others < kPrefetchPictures
            && HeldBytesLocked() + ready->bytes <= kPrefetchBytes)
            held_.push_back(std::move(ready));
        done_.notify_all();
        // A picture that is not kept is freed here, outside the lock.
        lock.unlock();
        ready.reset();
        lock.lock();
    }
}

} // namespace mg::viewer
