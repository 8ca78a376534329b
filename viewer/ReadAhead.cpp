// Reading the file list's neighbours ahead: after each display the worker is
// asked for the next and the previous file, and a display takes what it
// made only when it was made for the same view from the same, unchanged
// file. Anything else is loaded as if nothing had been read ahead.
#include "viewer/Prefetch.h"
#include "viewer/murkglassmain.h"

#include "cipher/StrongKeys.h"
#include "ui/Picture.h"

#include <QAction>
#include <QGroupBox>
#include <cstring>
#include <new>

namespace mg {

namespace {
// Whether the normal view shows the file as a JPEG picture (by its
// extension); other kinds are not read ahead.
bool ShownAsJpeg(const std::string& path)
{
    const PictureKind* kind = FindPictureKind(PictureExtension(path));
    return kind && std::strcmp(kind->create()->ClassName(), "TJPEGImage") == 0;
}
} // namespace

void TfrmMain::SetPrefetchEnabled(bool on)
{
    prefetchEnabled_ = on;
    if (!on)
        DropPrefetched();
}

viewer::PrefetchView TfrmMain::CurrentPrefetchView(bool encrypted, std::int32_t key) const
{
    viewer::PrefetchView view;
    view.encrypted = encrypted;
    if (encrypted) {
        view.key = key;
        view.strongEpoch = ImgCrypt->Strong.Epoch();
    }
    view.budget = JpegDecodeBudget();
    const QRect client = GroupBox1->contentsRect();
    view.boxWidth = GroupBox1->width();
    view.boxHeight = GroupBox1->height();
    view.clientWidth = client.width();
    view.clientHeight = client.height();
    view.fit = FitToWindow1->isChecked();
    view.pixelRatio = Image1->devicePixelRatioF();
    return view;
}

std::shared_ptr<const viewer::PrefetchedPicture> TfrmMain::TakePrefetched(const std::string& path, bool encrypted,
                                                                          std::int32_t key)
{
    if (!prefetch_ || !prefetchEnabled_)
        return nullptr;
    std::shared_ptr<const viewer::PrefetchedPicture> ready;
    try {
        ready = prefetch_->Find(path, CurrentPrefetchView(encrypted, key));
    } catch (const std::exception&) {
        return nullptr; // the ordinary load follows
    }
    viewer::FileStamp now;
    if (!ready || !viewer::StampOf(path, now) || !(now == ready->stamp))
        return nullptr;
    ++prefetchHits_;
    return ready;
}

std::shared_ptr<strong::StrongKeys> TfrmMain::PrefetchKeys()
{
    // A new copy only when a key was derived or the passphrase changed.
    const strong::StrongKeys& keys = ImgCrypt->Strong;
    if (!prefetchKeys_ || prefetchKeysEpoch_ != keys.Epoch() || prefetchKeysDerivations_ != keys.Derivations()) {
        prefetchKeys_.reset();
        try {
            prefetchKeys_ = std::make_shared<strong::StrongKeys>(keys.CachedCopy());
        } catch (const std::bad_alloc&) {
            return nullptr; // strong files are then loaded when shown
        }
        prefetchKeysEpoch_ = keys.Epoch();
        prefetchKeysDerivations_ = keys.Derivations();
    }
    return prefetchKeys_;
}

void TfrmMain::SchedulePrefetch(const std::string& shown)
{
    if (!prefetch_ || !prefetchEnabled_)
        return;
    // Reading ahead never tells the user anything: whatever fails here (no
    // memory, a list without a folder) only means nothing is read ahead.
    try {
        WantNeighbours(shown);
    } catch (const std::exception&) {
        prefetch_->Drop();
    }
}

void TfrmMain::WantNeighbours(const std::string& shown)
{
    const int index = FileListBox1->ItemIndex();
    const int count = FileListBox1->Count();
    const bool encrypted = ViewEncrypted1->isChecked();
    const viewer::PrefetchView view = CurrentPrefetchView(encrypted, DecryptionKey);
    prefetchPane_ = GroupBox1->size();
    std::vector<viewer::PrefetchRequest> wanted;
    if (index >= 0 && !shown.empty()) {
        // The next file first: stepping down the list is the common way.
        for (const int i : {index + 1, index - 1}) {
            if (i < 0 || i >= count)
                continue;
            std::string path = FileListBox1->ItemPath(i);
            if (!encrypted && !ShownAsJpeg(path))
                continue;
            wanted.push_back({std::move(path), view, encrypted ? PrefetchKeys() : nullptr});
        }
    }
    prefetch_->Want(std::move(wanted), shown);
}

void TfrmMain::DropPrefetched()
{
    if (prefetch_)
        prefetch_->Drop();
    prefetchKeys_.reset();
}

} // namespace mg
