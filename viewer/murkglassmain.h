#pragma once
// TfrmMain: the main window. The browsing controls (tree, mask edit, file
// list) fill a column at the left and the picture pane takes the rest, with
// the menus above and a one-line status bar below. It owns the cipher object
// and the current key, and every user command starts from one of its
// handlers; the batch windows read its file list, tree, cipher object and
// key directly.
//
// Its members are defined in several files of viewer/:
//   murkglassmain.cpp  construction, controls, menus, layout and handlers
//   PictureDisplay.cpp the normal and the encrypted display, noise, fitting
//   Snapshot.cpp       the click on the pane and the snapshot window
//   Deletion.cpp       deletion of the selected files
//   OpenPath.cpp       the path given on the command line
//   ReadAhead.cpp      reading the list's neighbours ahead (viewer/Prefetch.h)
#include "cipher/ImageCrypt.h"
#include "ui/FileListBox.h"
#include "ui/ImageControl.h"
#include "ui/ShellTreeView.h"

#include <QImage>
#include <QMainWindow>
#include <QPointer>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QAction;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QStatusBar;

namespace mg {

namespace strong {
class StrongKeys;
}
namespace viewer {
class Prefetcher;
struct PrefetchView;
struct PrefetchedPicture;
} // namespace viewer

class TfrmMain : public QMainWindow {
    Q_OBJECT
public:
    // rootFolder: the folder trees' desktop root; empty means the user's
    // desktop (tests pass a temporary folder).
    explicit TfrmMain(const std::string& rootFolder = {}, QWidget* parent = nullptr);
    ~TfrmMain() override;

    // The client area: everything below the menu bar (the status bar included).
    int ClientWidth() const;
    int ClientHeight() const;

    // The status line: the single simple panel of StatusBar1.
    QString StatusText() const;
    void SetStatusText(const QString& text);

    // Controls (owned through Qt's parent chain).
    QWidget* Client = nullptr; // the central widget holding every control
    QGroupBox* GroupBox1 = nullptr;
    TImage* Image1 = nullptr; // the viewing pane
    TImage* Image2 = nullptr; // the snapshot
    QStatusBar* StatusBar1 = nullptr;
    QLabel* StatusPanel = nullptr; // the simple panel's text
    QGroupBox* GroupBox2 = nullptr;
    TShellTreeView* ShellTreeView1 = nullptr;
    QLineEdit* Edit2 = nullptr; // the mask
    TFileListBox* FileListBox1 = nullptr;

    // Menu entries, created in one place (CreateMenus).
    QMenu* View1 = nullptr; // "File"
    QAction* Open1 = nullptr;
    QAction* ViewEncrypted1 = nullptr;
    QAction* Delete1 = nullptr;
    QAction* Exit1 = nullptr;
    QMenu* Decrypt1 = nullptr;
    QAction* SetDecryptionKey1 = nullptr;
    QAction* DecryptFiles1 = nullptr;
    QMenu* Encrypt1 = nullptr;
    QAction* GO1 = nullptr;
    QMenu* View2 = nullptr; // "Options"
    QAction* FitToWindow1 = nullptr;
    QMenu* Help1 = nullptr;
    QAction* Help2 = nullptr;
    QAction* About1 = nullptr;

    // The one cipher object and the current key.
    std::unique_ptr<TImgCrypt> ImgCrypt;
    std::string Passphrase;         // bytes; empty or not an integer text
    std::int32_t DecryptionKey = 0; // passed to every cipher call

    // Handlers.
    void FormCreate();
    void FormResize();
    void Edit2Change();
    void ShellTreeView1Change();
    void FileListBox1Click();
    void FileListBox1KeyDown(int key, Qt::KeyboardModifiers modifiers);
    void FileListBox1KeyPress(QChar key);
    void FormKeyPress(QChar key);
    void Open1Click();
    void ViewEncrypted1Click();
    void Delete1Click();
    void Exit1Click();
    void SetDecryptionKey1Click();
    void DecryptFiles1Click();
    void GO1Click();
    void FitToWindow1Click();
    void Help2Click();
    void About1Click();
    void Image1Click();
    void Image2ContextPopup();

    // Picture display (PictureDisplay.cpp). Both show the path they are given; the click handler
    // passes the file list's current file name.
    void NormalPictureDisplay(const std::string& path);
    void EncryptedPictureDisplay(const std::string& path, std::int32_t key);
    static QImage MakeNoiseBitmap(int width, int height);
    // Why the last display showed noise (the loader's or the cipher's
    // message); empty after a display that worked. The status line only
    // says that it failed; tests and diagnostics read the reason here.
    const QString& LastDisplayError() const { return lastDisplayError_; }

    // Opens an absolute path given on the command line: a folder is selected
    // in the tree (reached through Home, Computer or the desktop's folders)
    // and listed; a file's folder is, and the file is selected and shown.
    // A path that does not exist or that the tree cannot reach (one inside a
    // hidden folder) is reported and the window stays as it was.
    void OpenStartPath(const std::string& path);

    // Wipes the passphrase and the strong format's keys, and stops reading
    // ahead (dropping what was read); the process ends without running
    // destructors, so this is called before it does.
    void WipeSecrets();

    // Reading the list's next and previous pictures ahead while one is shown
    // (ReadAhead.cpp). On unless a benchmark or test turns it off; off drops
    // what is held.
    void SetPrefetchEnabled(bool on);
    bool PrefetchEnabled() const { return prefetchEnabled_; }
    // What is read ahead; null once the secrets are wiped.
    viewer::Prefetcher* Prefetch() const { return prefetch_.get(); }
    // How many displays showed a picture read ahead (tests and benchmarks).
    unsigned PrefetchHits() const { return prefetchHits_; }

    // Deletion of the selected files (Deletion.cpp).
    void DeleteSelectedFiles();

    // The tree refresh after a batch window or a new folder: RefreshNode on
    // the top visible node, then repaint now.
    void RefreshTree();

    // What "Exit" and Escape in the file list call: TerminateNow. Tests put a
    // recorder here, since ending the process cannot be observed from inside.
    std::function<void()> Terminate;

    // The side the snapshot takes after a rescale that gives 0 or less; see
    // Image2ContextPopup.
    static constexpr int kSnapshotMinSide = 16;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;

private:
    void CreateControls();
    void CreateMenus();
    // Fits the viewing pane to GroupBox1 (see viewer/Fitting.h); raises the
    // zero-size errors before anything changes.
    void FitImage1();
    // Gives the viewing pane a noise picture the size of GroupBox1's client
    // area less 20 each way.
    void ShowNoise();
    // Shows a strong file decrypted in memory, read as whatever picture kind
    // its content is; false (the pane untouched) when it cannot be.
    bool StrongPictureDisplay(const std::string& path);
    // Shows a picture given whole: the pane takes its size, then is fitted
    // or left unstretched.
    void ShowJpeg(const TJPEGImage& picture);

    // Reading ahead (ReadAhead.cpp): the view a picture is read for now, the
    // picture read ahead for path when it is still right for this view and
    // the file is unchanged, the next wish after a display, and dropping.
    viewer::PrefetchView CurrentPrefetchView(bool encrypted, std::int32_t key) const;
    std::shared_ptr<const viewer::PrefetchedPicture> TakePrefetched(const std::string& path, bool encrypted,
                                                                    std::int32_t key);
    void SchedulePrefetch(const std::string& shown);
    void WantNeighbours(const std::string& shown);
    void DropPrefetched();
    std::shared_ptr<strong::StrongKeys> PrefetchKeys();
    // Selects and shows the file of that name in the list, or reports that
    // the list does not hold it (OpenStartPath).
    void SelectStartFile(const std::string& path, const std::string& name);

    // Image2 once it floats belongs to its tool window, which the
    // application may release first (at the end of the event loop).
    QPointer<TImage> snapshot_;
    QString lastDisplayError_;

    std::unique_ptr<viewer::Prefetcher> prefetch_;
    bool prefetchEnabled_ = true;
    unsigned prefetchHits_ = 0;
    // The worker's copy of the strong keys and the keys' state it was made at.
    std::shared_ptr<strong::StrongKeys> prefetchKeys_;
    std::uint64_t prefetchKeysEpoch_ = 0;
    unsigned prefetchKeysDerivations_ = 0;
    QSize prefetchPane_; // the pane size the held pictures were read for
};

// The windows, created at start-up in this order by the program's entry.
// frmMain is set by TfrmMain's constructor before any of its handlers run.
extern TfrmMain* frmMain;

} // namespace mg
