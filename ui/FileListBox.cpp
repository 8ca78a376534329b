#include "ui/FileListBox.h"

#include "base/Error.h"
#include "ui/Dialogs.h"
#include "ui/FileMask.h"
#include "ui/FolderReader.h"
#include "ui/FolderScan.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <thread>
#include <utility>

#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMap>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

namespace mg {
namespace {

constexpr int kItemHeight = 13;

// About 20 ms of reading and sorting on the window's thread; folders that
// hold no more entries than this are listed before the call returns.
std::size_t entriesReadAtOnce = TFileListBox::kEntriesReadAtOnce;
std::function<void()> backgroundReadGate;

// The worker reads this many entries between looks at whether its read
// has been dropped.
constexpr std::size_t kEntriesPerStep = 4096;

// Every row is exactly the list's item height.
class FixedHeightDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QSize size = QStyledItemDelegate::sizeHint(option, index);
        size.setHeight(kItemHeight);
        return size;
    }
};

} // namespace

int FileNameModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : static_cast<int>(names_.size());
}

QVariant FileNameModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= static_cast<int>(names_.size()))
        return {};
    if (role == Qt::DisplayRole || role == Qt::ToolTipRole) {
        return ShownName(std::string(names_[static_cast<std::size_t>(index.row())]));
    }
    return {};
}

void FileNameModel::SetNames(FileNames names)
{
    beginResetModel();
    names_ = std::move(names);
    endResetModel();
}

struct TFileListBox::SelectionState {
    QItemSelection selection;
    int current = -1;
    bool operator==(const SelectionState& o) const { return current == o.current && selection == o.selection; }
};

TFileListBox::TFileListBox(QWidget* parent) : QListView(parent), model_(new FileNameModel(this))
{
    setModel(model_);
    setItemDelegate(new FixedHeightDelegate(this));
    setUniformItemSizes(true);
    setSelectionMode(QAbstractItemView::ExtendedSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setDragEnabled(false);
    setWordWrap(false);
    setTextElideMode(Qt::ElideNone);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    directory_ = CurrentDirectory();
    ReadFolder();
}

// One folder read on a worker thread. The thread owns the scan and fills
// `listing`; the window's thread reads it only after joining the thread.
struct TFileListBox::BackgroundRead {
    std::unique_ptr<FolderScan> scan;
    std::atomic<bool> dropped{false};
    FolderListing listing;
    std::thread worker;
    unsigned number = 0;
};

TFileListBox::~TFileListBox()
{
    DropBackgroundRead();
    for (const auto& read : reads_)
        read->worker.join();
}

void TFileListBox::SetEntriesReadAtOnce(std::size_t entries)
{
    entriesReadAtOnce = entries;
}

void TFileListBox::SetBackgroundReadGate(std::function<void()> gate)
{
    backgroundReadGate = std::move(gate);
}

void TFileListBox::ReadFolder()
{
    // The folder becomes the current directory; when it is gone the change
    // fails and the current directory is searched instead.
    BusyCursorScope busy;
    DropBackgroundRead();
    ++readNumber_;
    caretAfterRead_ = -1;
    ChangeDirectory(directory_);
    auto scan = std::make_unique<FolderScan>(".", mask_);
    if (scan->Read(entriesReadAtOnce)) {
        ShowListing(scan->Finish());
        return;
    }
    // A huge folder: the list stays empty until the worker is done.
    ShowListing(FolderListing{});
    StartBackgroundRead(std::move(scan));
}

void TFileListBox::ShowListing(FolderListing listing)
{
    readError_ = std::move(listing.error);
    model_->SetNames(std::move(listing.names));
    selectionModel()->clear();
    anchor_ = -1;
}

void TFileListBox::StartBackgroundRead(std::unique_ptr<FolderScan> scan)
{
    auto read = std::make_unique<BackgroundRead>();
    read->scan = std::move(scan);
    read->number = readNumber_;
    BackgroundRead* r = read.get();
    reads_.push_back(std::move(read));
    current_ = r;
    viewport()->setCursor(Qt::BusyCursor);
    viewport()->update();
    r->worker = std::thread([this, r, gate = backgroundReadGate] {
        if (gate)
            gate();
        while (!r->dropped.load(std::memory_order_relaxed) && !r->scan->Read(kEntriesPerStep)) {
        }
        if (!r->dropped.load(std::memory_order_relaxed))
            r->listing = r->scan->Finish();
        r->scan.reset();
        // The list joins every thread before it is destroyed, so it is
        // alive here; a queued call is the only way back to its thread.
        QMetaObject::invokeMethod(
            this, [this, n = r->number] { BackgroundReadDone(n); }, Qt::QueuedConnection);
    });
}

void TFileListBox::DropBackgroundRead()
{
    if (!current_)
        return;
    current_->dropped = true;
    current_ = nullptr;
    viewport()->unsetCursor();
    viewport()->update();
}

void TFileListBox::BackgroundReadDone(unsigned number)
{
    auto it = std::find_if(reads_.begin(), reads_.end(), [number](const auto& r) { return r->number == number; });
    if (it == reads_.end())
        return; // already waited for
    std::unique_ptr<BackgroundRead> read = std::move(*it);
    reads_.erase(it);
    read->worker.join();
    if (read.get() != current_)
        return; // dropped: a newer read or none replaced it
    current_ = nullptr;
    viewport()->unsetCursor();
    ShowListing(std::move(read->listing));
    if (caretAfterRead_ >= 0)
        SetItemIndex(std::exchange(caretAfterRead_, -1));
    emit folderRead();
}

void TFileListBox::WaitForReading()
{
    if (current_)
        BackgroundReadDone(current_->number);
}

void TFileListBox::paintEvent(QPaintEvent* event)
{
    QListView::paintEvent(event);
    if (!current_)
        return;
    QPainter painter(viewport());
    painter.setPen(palette().color(QPalette::Disabled, QPalette::Text));
    painter.drawText(viewport()->rect().adjusted(4, 2, -4, -2), Qt::AlignLeft | Qt::AlignTop,
                     QStringLiteral("Reading..."));
}

void TFileListBox::CheckIndex(int index) const
{
    if (index < 0 || index >= Count())
        throw Error("List index out of bounds (" + std::to_string(index) + ")");
}

int TFileListBox::Count() const
{
    return model_->rowCount();
}

std::string TFileListBox::Items(int index) const
{
    CheckIndex(index);
    return std::string(model_->Names()[static_cast<std::size_t>(index)]);
}

bool TFileListBox::Selected(int index) const
{
    CheckIndex(index);
    return selectionModel()->isSelected(model_->index(index));
}

void TFileListBox::SetSelected(int index, bool selected)
{
    CheckIndex(index);
    selectionModel()->select(model_->index(index),
                             selected ? QItemSelectionModel::Select : QItemSelectionModel::Deselect);
}

int TFileListBox::SelCount() const
{
    int count = 0;
    for (const QItemSelectionRange& range : selectionModel()->selection())
        count += range.height();
    return count;
}

int TFileListBox::ItemIndex() const
{
    QModelIndex current = selectionModel()->currentIndex();
    return current.isValid() ? current.row() : -1;
}

void TFileListBox::SetItemIndex(int index)
{
    if (current_) {
        caretAfterRead_ = index;
        return;
    }
    if (index < 0 || index >= Count()) {
        selectionModel()->setCurrentIndex(QModelIndex(), QItemSelectionModel::NoUpdate);
        return;
    }
    QModelIndex target = model_->index(index);
    selectionModel()->setCurrentIndex(target, QItemSelectionModel::NoUpdate);
    scrollTo(target);
}

std::string TFileListBox::FileName() const
{
    int current = ItemIndex();
    if (current < 0 || !Selected(current))
        return {};
    return JoinFolder(directory_, Items(current));
}

std::string TFileListBox::ItemPath(int index) const
{
    const std::string name = Items(index);
    if (!IsFullPath(directory_))
        throw Error(FileErrorMessage(ENOENT));
    return directory_ + "/" + name;
}

void TFileListBox::SetFolder(const std::string& folder)
{
    if (folder.empty())
        return;
    // Only a full path is a folder here: a bare name (the virtual
    // "Computer") would otherwise lead into a sub-folder of that name.
    if (folder.front() == '/' && IsFolder(folder) && ChangeDirectory(folder)) {
        // The form the file system reports; the folder already shown keeps
        // its selection.
        std::string reached = CurrentDirectory();
        if (reached == directory_)
            return;
        directory_ = std::move(reached);
    }
    ReadFolder();
}

void TFileListBox::SetFileName(const std::string& path)
{
    // Names compare with their case: "PIC.JPG" is another file than "pic.jpg".
    if (path.empty() || path == FileName())
        return;
    ListPathTarget target = ResolveListPath(path);
    if (!target.folder.empty() && target.folder != directory_) {
        // Changing into the folder and asking the system for it gives the
        // form the file system reports.
        if (ChangeDirectory(target.folder))
            directory_ = CurrentDirectory();
        if (!target.mask.empty())
            mask_ = target.mask;
        ReadFolder();
    } else if (target.failed) {
        // The text names no folder of the file system (a virtual folder's
        // display name): the list stays where it is and reads it again.
        if (!target.mask.empty())
            mask_ = target.mask;
        ReadFolder();
    } else if (!target.mask.empty()) {
        SetMask(target.mask);
    }
}

void TFileListBox::SetMask(const std::string& mask)
{
    if (mask == mask_)
        return;
    mask_ = mask;
    ReadFolder();
}

void TFileListBox::Update()
{
    ReadFolder();
}

TFileListBox::SelectionState TFileListBox::Snapshot() const
{
    return {selectionModel()->selection(), ItemIndex()};
}

void TFileListBox::EmitIfChanged(const SelectionState& before)
{
    if (!(Snapshot() == before))
        emit clicked();
}

// Shift with a click or a movement key selects the range from the anchor to
// the target alone, whatever was selected before; the anchor stays.
void TFileListBox::SelectRangeTo(const QModelIndex& target)
{
    int anchor = (anchor_ >= 0 && anchor_ < Count()) ? anchor_ : target.row();
    anchor_ = anchor;
    selectionModel()->select(QItemSelection(model_->index(anchor), target), QItemSelectionModel::ClearAndSelect);
    selectionModel()->setCurrentIndex(target, QItemSelectionModel::NoUpdate);
    scrollTo(target);
}

// Mouse selection: a click selects the item alone, Ctrl+click toggles it,
// both make it the anchor; Shift+click selects the range from the anchor.
// One press-to-release gesture fires clicked() once: always for a left press
// on an item, otherwise when something changed. Only the left button
// selects, as in a plain list box.
void TFileListBox::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    SelectionState before = Snapshot();
    QModelIndex index = indexAt(event->position().toPoint());
    pressedOnItem_ = index.isValid();
    if (index.isValid() && (event->modifiers() & Qt::ShiftModifier) && !(event->modifiers() & Qt::ControlModifier)) {
        rangeGesture_ = true;
        setFocus(Qt::MouseFocusReason);
        SelectRangeTo(index);
        event->accept();
        emit clicked();
        return;
    }
    QListView::mousePressEvent(event);
    if (pressedOnItem_) {
        // A plain press on an item that is already selected among others is
        // left for the release by the view (a drag might follow); a list box
        // selects the item alone at the press, before its click fires.
        if (!(event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier)))
            selectionModel()->select(index, QItemSelectionModel::ClearAndSelect);
        anchor_ = index.row();
        emit clicked();
    } else {
        EmitIfChanged(before);
    }
}

void TFileListBox::mouseMoveEvent(QMouseEvent* event)
{
    if (rangeGesture_) {
        event->accept();
        return;
    }
    SelectionState before = Snapshot();
    QListView::mouseMoveEvent(event);
    if (event->buttons() & Qt::LeftButton)
        EmitIfChanged(before);
}

void TFileListBox::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    pressedOnItem_ = false;
    if (rangeGesture_) {
        rangeGesture_ = false;
        event->accept();
        return;
    }
    SelectionState before = Snapshot();
    QListView::mouseReleaseEvent(event);
    EmitIfChanged(before);
}

void TFileListBox::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        event->accept();
        return;
    }
    // A double click is a second click on the item.
    QListView::mouseDoubleClickEvent(event);
    if (indexAt(event->position().toPoint()).isValid())
        emit clicked();
}

void TFileListBox::keyPressEvent(QKeyEvent* event)
{
    emit keyDown(event->key(), event->modifiers());
    // Characters typed, as a list box reports them: Delete types none.
    if (!event->text().isEmpty() && event->key() != Qt::Key_Delete)
        emit keyPress(event->text().at(0));
    SelectionState before = Snapshot();
    const Qt::KeyboardModifiers mods = event->modifiers();
    if ((mods & Qt::ShiftModifier) && !(mods & Qt::ControlModifier)) {
        static const QMap<int, CursorAction> moves{{Qt::Key_Up, MoveUp},         {Qt::Key_Down, MoveDown},
                                                   {Qt::Key_Left, MoveLeft},     {Qt::Key_Right, MoveRight},
                                                   {Qt::Key_Home, MoveHome},     {Qt::Key_End, MoveEnd},
                                                   {Qt::Key_PageUp, MovePageUp}, {Qt::Key_PageDown, MovePageDown}};
        auto move = moves.constFind(event->key());
        if (move != moves.constEnd()) {
            QModelIndex target = moveCursor(*move, Qt::NoModifier);
            if (target.isValid())
                SelectRangeTo(target);
            event->accept();
            EmitIfChanged(before);
            return;
        }
    }
    QListView::keyPressEvent(event);
    // Any other change of the current item (movement keys, type-ahead) makes
    // the new current item the anchor.
    if (!(mods & Qt::ShiftModifier) && ItemIndex() != before.current)
        anchor_ = ItemIndex();
    EmitIfChanged(before);
}

} // namespace mg
