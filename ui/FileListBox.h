#pragma once
// The file list: one folder's files through a wildcard mask, with extended
// selection. Items are the file names as bytes; the view shows them decoded
// (invalid UTF-8 replaced for display only) and every operation uses the
// bytes. Built on a QListView over its own model with uniform 13-pixel rows,
// so a folder of 100,000 files reads and scrolls without delay.
//
// A folder is read on the window's thread up to a number of entries; a
// folder with more (a million files) is read to its end and sorted on a
// worker thread, so the window shows and answers meanwhile. While that
// read runs the list is empty and shows that it is busy: every command
// sees no files, never a mix of the old folder and the new one. A new
// read (folder, mask, re-read) drops the one running, whose result is
// never shown.
#include "ui/FileNames.h"

#include <QAbstractListModel>
#include <QListView>
#include <cstddef>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace mg {

class FolderScan;
struct FolderListing;

// The list's items: file names as bytes.
class FileNameModel : public QAbstractListModel {
    Q_OBJECT
public:
    using QAbstractListModel::QAbstractListModel;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    void SetNames(FileNames names);
    const FileNames& Names() const { return names_; }

private:
    FileNames names_;
};

class TFileListBox : public QListView {
    Q_OBJECT
public:
    // Reads the process's current directory through the mask "*.*".
    explicit TFileListBox(QWidget* parent = nullptr);
    // Drops a read still running and waits for its thread.
    ~TFileListBox() override;

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
    // the list leaves no current item. During a read on the worker thread
    // the index is kept and the caret moves when the files are listed.
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
    // True while a folder is being read on the worker thread (the list is
    // empty until it is done).
    bool Reading() const { return current_ != nullptr; }
    // How many reads the list has started: a caller waiting for folderRead()
    // tells by it whether the files are still those of the read it saw.
    unsigned ReadCount() const { return readNumber_; }
    // Reads whose worker threads have not been joined yet, the current one
    // and dropped ones still finishing (tests).
    std::size_t ThreadsRunning() const { return reads_.size(); }
    // Waits for that read and lists its files now (tests, benchmarks).
    void WaitForReading();
    // How many entries of a folder are read on the window's thread before
    // the rest goes to a worker thread; tests set a small number.
    static void SetEntriesReadAtOnce(std::size_t entries);
    static constexpr std::size_t kEntriesReadAtOnce = 50000; // the default
    // Called on the worker thread before it reads: tests hold a read there
    // to act while it runs. Empty by default.
    static void SetBackgroundReadGate(std::function<void()> gate);
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
    // A read on the worker thread has listed its files.
    void folderRead();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    struct BackgroundRead;
    void StartBackgroundRead(std::unique_ptr<FolderScan> scan);
    void BackgroundReadDone(unsigned number);
    void ShowListing(FolderListing listing);
    void DropBackgroundRead();
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
    // Reads on worker threads: the one whose files the list waits for
    // (current_), and dropped ones still finishing, joined when done.
    std::vector<std::unique_ptr<BackgroundRead>> reads_;
    BackgroundRead* current_ = nullptr;
    unsigned readNumber_ = 0;
    int caretAfterRead_ = -1;
};

} // namespace mg
