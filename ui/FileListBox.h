#pragma once
// The file list: one folder's files through a wildcard mask, with extended
// selection. Items are the file names as bytes; the view shows them decoded
// (invalid UTF-8 replaced for display only) and every operation uses the
// bytes. Built on a QListView over its own model with uniform 13-pixel rows,
// so a folder of 100,000 files reads and scrolls without delay.
#include <QAbstractListModel>
#include <QListView>
#include <string>
#include <vector>

namespace mg {

// The list's items: file names as bytes.
class FileNameModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    void SetNames(std::vector<std::string> names);
    const std::vector<std::string>& Names() const { return names_; }

private:
    std::vector<std::string> names_;
};

class TFileListBox : public QListView {
    Q_OBJECT
public:
    // Reads the process's current directory through the mask "*.*".
    explicit TFileListBox(QWidget* parent = nullptr);

    int Count() const;
    // The item's name; an index outside the list raises
    // "List index out of bounds (%d)".
    std::string Items(int index) const;
    bool Selected(int index) const;
    // Sets one selection flag from the program: no clicked().
    void SetSelected(int index, bool selected);
    int SelCount() const;
    // The current item (caret), -1 when there is none.
    int ItemIndex() const;
    // Moves the caret only: selects nothing, no clicked(). An index outside
    // the list leaves no current item.
    void SetItemIndex(int index);

    // Folder joined to the current item's name; empty when there is no
    // current item or it is not selected.
    std::string FileName() const;
    // The path of the item at index in the list's own folder: folder + "/" +
    // name (the root gives "//name"). Every command that acts on listed files
    // builds their paths here, so it acts on the folder the list shows and
    // never on the tree's current node. Throws "File not found" when the
    // list has no folder.
    std::string ItemPath(int index) const;
    // Moves the list to the folder the path names (see ResolveListPath): a
    // folder is read and becomes the process's current directory; a last
    // component with "*" or "?" becomes the mask; a text that leads to no
    // folder (a virtual folder's display name such as "Computer") re-reads
    // the list's folder and reports nothing. An empty text, or one equal to
    // the current file name (letter case counts), does nothing.
    void SetFileName(const std::string& path);
    // Moves the list to a folder the tree chose. The path is a folder
    // whatever characters its name holds (never a mask); one that is no
    // folder of the file system (the virtual "Computer", a folder removed
    // meanwhile) re-reads the list's folder; an empty one does nothing.
    void SetFolder(const std::string& folder);
    std::string Directory() const { return directory_; }
    // Stores the mask and re-reads when the text differs (exact comparison).
    void SetMask(const std::string& mask);
    std::string Mask() const { return mask_; }
    // Re-reads the folder: clears items, selection and current item; makes
    // the folder the process's current directory.
    void Update();
    // The reason the last reading found nothing, when the folder could not be
    // read; empty otherwise.
    std::string ReadError() const { return readError_; }

signals:
    // Every change of selection or current item that the user makes with the
    // mouse or the keyboard (type-ahead included); never a program change.
    void clicked();
    // Emitted before the list handles the key, so the owner can act on
    // Escape and Delete: keyDown for every key press, keyPress when the key
    // types a character (Escape gives 27).
    void keyDown(int key, Qt::KeyboardModifiers modifiers);
    void keyPress(QChar ch);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    struct SelectionState;
    SelectionState Snapshot() const;
    void EmitIfChanged(const SelectionState& before);
    void ReadFolder();
    void CheckIndex(int index) const;
    void SelectRangeTo(const QModelIndex& target);

    FileNameModel* model_;
    std::string directory_;
    std::string mask_ = "*.*";
    std::string readError_;
    bool pressedOnItem_ = false;
    bool rangeGesture_ = false; // a Shift+click handled here, up to its release
    int anchor_ = -1;           // the fixed end of range selection
};

} // namespace mg
