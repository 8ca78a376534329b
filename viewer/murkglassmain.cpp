// The main window: its controls, menu, layout, the wiring between folder
// tree, mask and file list, the keyboard handling and the batch commands.
// Picture display, deletion and the snapshot live in their own units.
#include "viewer/murkglassmain.h"

#include "cipher/KeyPrompt.h"
#include "cipher/SecretBytes.h"
#include "info/frmAboutUnit.h"
#include "info/frmHelpUnit.h"
#include "ui/Dialogs.h"
#include "viewer/Prefetch.h"

#include "batch/frmDecryptUnit.h"
#include "batch/frmEncryptUnit.h"

#include <QApplication>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QStatusBar>

namespace mg {

TfrmMain* frmMain = nullptr;

namespace {
// The window's default place and size: outer frame at 332, 108; client area 609 x 565 below
// the menu bar; the status bar 21 high at its bottom.
constexpr int kDesignedLeft = 332;
constexpr int kDesignedTop = 108;
constexpr int kDesignedClientWidth = 609;
constexpr int kDesignedClientHeight = 565;
constexpr int kStatusBarHeight = 21;
constexpr int kMinOuterWidth = 500;
constexpr int kMinOuterHeight = 480;
} // namespace

TfrmMain::TfrmMain(const std::string& rootFolder, QWidget* parent) : QMainWindow(parent)
{
    // The global is set before any handler can run, so a resize during
    // creation can already reach the window through it.
    frmMain = this;
    Terminate = [this] {
        WipeSecrets();
        TerminateNow();
    };
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(QStringLiteral("Murkglass"));
    setFont(WindowFont());

    CreateMenus();
    Client = new QWidget(this);
    Client->setObjectName(QStringLiteral("Client"));
    Client->setAutoFillBackground(true);
    Client->setBackgroundRole(QPalette::Button);
    setCentralWidget(Client);

    GroupBox1 = new QGroupBox(Client);
    GroupBox2 = new QGroupBox(Client);
    if (rootFolder.empty())
        ShellTreeView1 = new TShellTreeView(GroupBox2);
    else
        ShellTreeView1 = new TShellTreeView(rootFolder, GroupBox2);
    CreateControls();
    FormCreate();

    // Window placement: the outer frame's corner at the default place, and
    // the default client size (the frame adds its own width under a window
    // manager).
    move(kDesignedLeft, kDesignedTop);
    resize(kDesignedClientWidth, kDesignedClientHeight + menuBar()->sizeHint().height());

    // The tree selected its root while it was built, before anyone listened:
    // the list follows it once now.
    connect(ShellTreeView1, &TShellTreeView::changed, this, &TfrmMain::ShellTreeView1Change);
    ShellTreeView1Change();
    connect(Edit2, &QLineEdit::textChanged, this, &TfrmMain::Edit2Change);
    Edit2Change();
    connect(FileListBox1, &TFileListBox::clicked, this, &TfrmMain::FileListBox1Click);
    connect(FileListBox1, &TFileListBox::keyDown, this, &TfrmMain::FileListBox1KeyDown);
    connect(FileListBox1, &TFileListBox::keyPress, this, &TfrmMain::FileListBox1KeyPress);
    connect(Image1, &TImage::clicked, this, &TfrmMain::Image1Click);
    connect(Image2, &TImage::contextRequested, this, &TfrmMain::Image2ContextPopup);
    FormResize();
}

TfrmMain::~TfrmMain()
{
    // The worker stops before anything it was reading for goes.
    prefetch_.reset();
    // The snapshot may live in its own floating window by now; it belongs to
    // this window all the same, unless that window has gone with it.
    delete snapshot_.data();
    if (frmMain == this)
        frmMain = nullptr;
}

void TfrmMain::CreateControls()
{
    GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
    GroupBox1->setGeometry(168, 0, 321, 409);
    // The box's client area: a thin margin inside its frame.
    GroupBox1->setContentsMargins(2, 2, 2, 2);

    Image1 = new TImage(GroupBox1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->SetBounds(8, 12, 217, 165);
    Image1->SetAutoSize(true);

    Image2 = new TImage(GroupBox1);
    Image2->setObjectName(QStringLiteral("Image2"));
    Image2->SetBounds(56, 100, 217, 165);
    Image2->hide();
    Image2->SetDragFloats(true);
    snapshot_ = Image2;

    GroupBox2->setObjectName(QStringLiteral("GroupBox2"));
    GroupBox2->setGeometry(0, 0, 161, 465);
    GroupBox2->setContentsMargins(2, 2, 2, 2);

    ShellTreeView1->setObjectName(QStringLiteral("ShellTreeView1"));
    ShellTreeView1->setGeometry(8, 8, 145, 137);

    Edit2 = new QLineEdit(GroupBox2);
    Edit2->setObjectName(QStringLiteral("Edit2"));
    Edit2->setGeometry(8, 148, 145, 21);
    Edit2->setText(QStringLiteral("*.*"));

    FileListBox1 = new TFileListBox(GroupBox2);
    FileListBox1->setObjectName(QStringLiteral("FileListBox1"));
    FileListBox1->setGeometry(8, 172, 145, 277);

    StatusBar1 = new QStatusBar(Client);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(false);
    StatusBar1->setGeometry(0, 544, 609, kStatusBarHeight);
    StatusPanel = new QLabel(StatusBar1);
    StatusPanel->setObjectName(QStringLiteral("StatusPanel"));
    StatusPanel->setTextFormat(Qt::PlainText);
    StatusBar1->addWidget(StatusPanel, 1);

    setTabOrder(ShellTreeView1, Edit2);
    setTabOrder(Edit2, FileListBox1);

    // Names a screen reader says for controls that have no caption.
    ShellTreeView1->setAccessibleName(QStringLiteral("Folders"));
    Edit2->setAccessibleName(QStringLiteral("File mask"));
    FileListBox1->setAccessibleName(QStringLiteral("Files"));
    Image1->setAccessibleName(QStringLiteral("Picture"));
    Image2->setAccessibleName(QStringLiteral("Snapshot"));
}

void TfrmMain::CreateMenus()
{
    QMenuBar* bar = menuBar();
    // "&" marks each caption's access key (Alt+letter); the words shown stay
    // the same.
    bar->setObjectName(QStringLiteral("MainMenu1"));
    auto entry = [this](QMenu* menu, const char* name, const char* caption, void (TfrmMain::*handler)(),
                        bool checkable = false, bool checked = false) {
        QAction* action = menu->addAction(QString::fromUtf8(caption));
        action->setObjectName(QString::fromUtf8(name));
        action->setCheckable(checkable);
        action->setChecked(checked);
        connect(action, &QAction::triggered, this, handler);
        return action;
    };

    View1 = bar->addMenu(QStringLiteral("&File"));
    View1->setObjectName(QStringLiteral("View1"));
    Open1 = entry(View1, "Open1", "View &Normal", &TfrmMain::Open1Click, true, true);
    ViewEncrypted1 = entry(View1, "ViewEncrypted1", "View &Encrypted", &TfrmMain::ViewEncrypted1Click, true);
    Delete1 = entry(View1, "Delete1", "&Delete", &TfrmMain::Delete1Click);
    Exit1 = entry(View1, "Exit1", "E&xit", &TfrmMain::Exit1Click);

    Decrypt1 = bar->addMenu(QStringLiteral("&Decrypt"));
    Decrypt1->setObjectName(QStringLiteral("Decrypt1"));
    SetDecryptionKey1 = entry(Decrypt1, "SetDecryptionKey1", "Set Decryption &Key", &TfrmMain::SetDecryptionKey1Click);
    DecryptFiles1 = entry(Decrypt1, "DecryptFiles1", "&Decrypt Selected Files...", &TfrmMain::DecryptFiles1Click);

    Encrypt1 = bar->addMenu(QStringLiteral("&Encrypt"));
    Encrypt1->setObjectName(QStringLiteral("Encrypt1"));
    GO1 = entry(Encrypt1, "GO1", "&Encrypt Selected Files...", &TfrmMain::GO1Click);

    View2 = bar->addMenu(QStringLiteral("&Options"));
    View2->setObjectName(QStringLiteral("View2"));
    FitToWindow1 = entry(View2, "FitToWindow1", "&Fit To Window", &TfrmMain::FitToWindow1Click, true, true);

    Help1 = bar->addMenu(QStringLiteral("&Help"));
    Help1->setObjectName(QStringLiteral("Help1"));
    Help2 = entry(Help1, "Help2", "&Help", &TfrmMain::Help2Click);
    About1 = entry(Help1, "About1", "&About", &TfrmMain::About1Click);
    // The two view entries are a pair, kept so by their handlers: exactly
    // one is checked. (An exclusive action group would draw radio marks
    // instead of check marks.)
}

void TfrmMain::FormCreate()
{
    ImgCrypt = std::make_unique<TImgCrypt>();
    // Without a thread of its own (the system refused one) the window only
    // loses its reading ahead.
    try {
        prefetch_ = std::make_unique<viewer::Prefetcher>();
    } catch (const std::exception&) {
        prefetch_.reset();
    }
}

void TfrmMain::WipeSecrets()
{
    // The worker may hold decrypted pictures and a copy of the keys.
    prefetch_.reset();
    prefetchKeys_.reset();
    WipeString(Passphrase);
    if (ImgCrypt)
        ImgCrypt->Strong.Clear();
}

int TfrmMain::ClientWidth() const
{
    return Client->width();
}
int TfrmMain::ClientHeight() const
{
    return Client->height();
}

QString TfrmMain::StatusText() const
{
    return StatusPanel->text();
}
void TfrmMain::SetStatusText(const QString& text)
{
    StatusPanel->setText(text);
}

void TfrmMain::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    FormResize();
}

void TfrmMain::FormResize()
{
    if (!Client || !FileListBox1)
        return;
    // The outer size: the frame's under a window manager, else the window's.
    const QSize frameExtra = isWindow() && isVisible() ? frameGeometry().size() - size() : QSize(0, 0);
    const QSize outer = size() + frameExtra;
    // Once the frame is known the window manager is told the minimum too,
    // so that dragging the border stops there instead of snapping back.
    const QSize least(kMinOuterWidth - frameExtra.width(), kMinOuterHeight - frameExtra.height());
    if (isVisible() && minimumSize() != least)
        setMinimumSize(least);
    if (outer.height() < kMinOuterHeight) {
        resize(width(), kMinOuterHeight - frameExtra.height());
        return; // the resize runs the layout again
    }
    if (outer.width() < kMinOuterWidth) {
        resize(kMinOuterWidth - frameExtra.width(), height());
        return;
    }
    // The central widget may not have followed the window yet.
    if (layout())
        layout()->activate();

    const int clientW = ClientWidth();
    const int clientH = ClientHeight();
    // The status bar is docked at the bottom of the client area.
    StatusBar1->setGeometry(0, clientH - kStatusBarHeight, clientW, kStatusBarHeight);
    const int statusH = StatusBar1->height();

    GroupBox1->move(160, 0);
    GroupBox1->resize(clientW - GroupBox1->x() - 8, clientH - GroupBox1->y() - statusH);
    GroupBox2->resize(GroupBox2->width(), GroupBox1->height());

    const QRect box = GroupBox1->contentsRect();
    Image1->SetBounds(8, 12, box.width() - 8 - 4, box.height() - 12 - 4);
    // Pictures read ahead were decoded for the old pane.
    if (GroupBox1->size() != prefetchPane_)
        DropPrefetched();

    FileListBox1->resize(FileListBox1->width(), clientH - FileListBox1->y() - statusH);
}

void TfrmMain::Edit2Change()
{
    // The mask is used as typed: the bytes of the text.
    DropPrefetched();
    FileListBox1->SetMask(Edit2->text().toUtf8().toStdString());
}

void TfrmMain::ShellTreeView1Change()
{
    // The tree hands over folders only: a name with "*" or "?" is a folder
    // like any other, never the list's mask.
    DropPrefetched();
    FileListBox1->SetFolder(ShellTreeView1->Path());
}

void TfrmMain::FileListBox1Click()
{
    const std::string name = FileListBox1->FileName();
    if (ViewEncrypted1->isChecked())
        EncryptedPictureDisplay(name, DecryptionKey);
    else
        NormalPictureDisplay(name);
    SchedulePrefetch(name);
}

void TfrmMain::FileListBox1KeyDown(int key, Qt::KeyboardModifiers)
{
    // Whatever modifier keys are held.
    if (key == Qt::Key_Delete)
        DeleteSelectedFiles();
}

void TfrmMain::FileListBox1KeyPress(QChar key)
{
    if (key.unicode() == 27)
        Terminate();
}

void TfrmMain::keyPressEvent(QKeyEvent* event)
{
    // The window does not preview keys: only characters typed while the
    // window itself, and none of its controls, holds the focus reach it.
    // The Delete key types no character (X11 gives it the text DEL; the
    // file list treats it the same way).
    QWidget* focus = QApplication::focusWidget();
    if ((focus && focus != this) || event->text().isEmpty() || event->key() == Qt::Key_Delete) {
        QMainWindow::keyPressEvent(event);
        return;
    }
    event->accept();
    FormKeyPress(event->text().at(0));
}

void TfrmMain::FormKeyPress(QChar key)
{
    MessageDialog(QStringLiteral("Key: ") + key, mtInformation, mbOK);
}

void TfrmMain::Open1Click()
{
    Open1->setChecked(true);
    ViewEncrypted1->setChecked(false);
    DropPrefetched();
}

void TfrmMain::ViewEncrypted1Click()
{
    // The marks are set first: the mode is encrypted whatever the prompt gives.
    ViewEncrypted1->setChecked(true);
    Open1->setChecked(false);
    DropPrefetched();
    PromptForKey(Passphrase, DecryptionKey, &ImgCrypt->Strong);
}

void TfrmMain::Delete1Click()
{
    DeleteSelectedFiles();
}

void TfrmMain::Exit1Click()
{
    Terminate();
}

void TfrmMain::SetDecryptionKey1Click()
{
    DropPrefetched();
    PromptForKey(Passphrase, DecryptionKey, &ImgCrypt->Strong);
}

void TfrmMain::FitToWindow1Click()
{
    // A checkable entry flips its own check mark as it is chosen; that mark
    // is the only record of fitting, read at the next display. Pictures read
    // ahead were decoded for the other way.
    DropPrefetched();
}

void TfrmMain::GO1Click()
{
    const int count = FileListBox1->SelCount();
    if (count == 0) {
        PlainMessage(QStringLiteral("Please select files you wish to encrypt"));
        return;
    }
    if (frmEncrypt) {
        frmEncrypt->lblCount->setText(QString::number(count) + QStringLiteral(" files selected for encryption"));
        frmEncrypt->ShowModal();
    }
    RefreshTree();
}

void TfrmMain::DecryptFiles1Click()
{
    if (FileListBox1->SelCount() == 0) {
        PlainMessage(QStringLiteral("Please select files you wish to decrypt"));
        return;
    }
    if (frmDecrypt)
        frmDecrypt->ShowModal();
    RefreshTree();
}

void TfrmMain::Help2Click()
{
    if (frmHelp)
        frmHelp->ShowAndRaise();
}

void TfrmMain::About1Click()
{
    if (frmAbout)
        frmAbout->ShowAndRaise();
}

void TfrmMain::RefreshTree()
{
    // After a batch or a new folder: files may have changed, the key too.
    DropPrefetched();
    if (TShellTreeView::Node* top = ShellTreeView1->TopItem())
        ShellTreeView1->RefreshNode(top);
    ShellTreeView1->RepaintNow();
}

} // namespace mg
