#include "ui/FileListBox.h"

#include "base/Error.h"
#include "ui/Dialogs.h"
#include "ui/FileMask.h"
#include "ui/FolderReader.h"

#include <cerrno>

#include <QItemSelectionModel>
#include <QKeyEvent>
#include <QMap>
#include <QMouseEvent>
#include <QStyledItemDelegate>

namespace mg {
namespace {

constexpr int kItemHeight = 13;

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
        const std::string& name = names_[static_cast<std::size_t>(index.row())];
        return ShownName(name);
    }
    return {};
}

void FileNameModel::SetNames(std::vector<std::string> names)
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

void TFileListBox::ReadFolder()
{
    // The folder becomes the current directory; when it is gone the change
    // fails and the current directory is searched instead.
    BusyCursorScope busy;
    ChangeDirectory(directory_);
    FolderListing listing = ReadFolderFiles(".", mask_);
    readError_ = listing.error;
    model_->SetNames(std::move(listing.names));
    selectionModel()->clear();
    anchor_ = -1;
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
    return model_->Names()[static_cast<std::size_t>(index)];
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
