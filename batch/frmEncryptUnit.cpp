#include "batch/frmEncryptUnit.h"

#include "batch/BatchControls.h"
#include "batch/FolderCreation.h"
#include "cipher/KeyPrompt.h"
#include "ui/Dialogs.h"
#include "ui/ShellTreeView.h"
#include "viewer/murkglassmain.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>

namespace mg {

TfrmEncrypt* frmEncrypt = nullptr;

using batch::MakeButton;
using batch::MakeLabel;
using batch::Shown;

TfrmEncrypt::TfrmEncrypt(const std::string& rootFolder, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("frmEncrypt"));
    setWindowTitle(QStringLiteral("Encrypt Selected Files"));
    setFont(batch::WindowFont());
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    setFixedSize(380, 433);
    move(216, 166);

    Label1 = MakeLabel(this, "Label1", QStringLiteral("Pick Destination Folder"), 16, 16, true, 13.0 / 11.0);
    ShellTreeView1 = rootFolder.empty() ? new TShellTreeView(this) : new TShellTreeView(rootFolder, this);
    ShellTreeView1->setObjectName(QStringLiteral("ShellTreeView1"));
    ShellTreeView1->setGeometry(16, 40, 201, 305);
    Label2 = MakeLabel(this, "Label2", QStringLiteral("New Folder Name"), 224, 40, true);
    txtFolderName = new QLineEdit(QStringLiteral("New Folder"), this);
    txtFolderName->setObjectName(QStringLiteral("txtFolderName"));
    txtFolderName->setGeometry(224, 56, 121, 21);
    Button1 = MakeButton(this, "Button1", QStringLiteral("Create Folder"), 224, 80, 75, 25);
    Label4 = MakeLabel(this, "Label4", QStringLiteral("Filename obfuscation"), 232, 168, true);
    cbKeepExtension = new QCheckBox(QStringLiteral("Keep original extension"), this);
    cbKeepExtension->setObjectName(QStringLiteral("cbKeepExtension"));
    cbKeepExtension->setGeometry(224, 192, 137, 17);
    Label3 = MakeLabel(this, "Label3", QStringLiteral("New Extension"), 224, 216);
    txtExtension = new QLineEdit(QStringLiteral("Bin"), this);
    txtExtension->setObjectName(QStringLiteral("txtExtension"));
    txtExtension->setGeometry(224, 232, 121, 21);
    // One group: the three share this parent and exclude each other.
    rbKeepExisting = new QRadioButton(QStringLiteral("Keep Existing Filename"), this);
    rbKeepExisting->setObjectName(QStringLiteral("rbKeepExisting"));
    rbKeepExisting->setGeometry(232, 280, 137, 17);
    rbTimeBased = new QRadioButton(QStringLiteral("Timebased Filename"), this);
    rbTimeBased->setObjectName(QStringLiteral("rbTimeBased"));
    rbTimeBased->setGeometry(232, 296, 137, 17);
    rbTimeBased->setChecked(true);
    rbRot13 = new QRadioButton(QStringLiteral("Rot-13 Filename"), this);
    rbRot13->setObjectName(QStringLiteral("rbRot13"));
    rbRot13->setGeometry(232, 312, 137, 17);
    lblCurrentDirectory = MakeLabel(this, "lblCurrentDirectory", QStringLiteral("Current Directory"), 8, 360,
                                    true, 1.0, true);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(112, 360, 150, 16);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    ProgressBar1->hide();
    lblCount = MakeLabel(this, "lblCount", QStringLiteral("files selected"), 8, 384, true, 1.0, true);
    Button2 = MakeButton(this, "Button2", QStringLiteral("Cancel"), 40, 400, 75, 25);
    Button3 = MakeButton(this, "Button3", QStringLiteral("GO"), 272, 400, 75, 25);

    // Tab order as designed: tree, folder name, Create Folder, extension,
    // the three radio buttons, Cancel, GO, keep-extension box.
    QWidget* order[] = {ShellTreeView1, txtFolderName, Button1, txtExtension, rbKeepExisting,
                        rbTimeBased,    rbRot13,       Button2, Button3,      cbKeepExtension};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);

    connect(ShellTreeView1, &TShellTreeView::changed, this, [this] { ShellTreeView1Change(); });
    connect(Button1, &QPushButton::clicked, this, [this] { ClickButton(mrNone, &TfrmEncrypt::Button1Click); });
    connect(Button2, &QPushButton::clicked, this, [this] { ClickButton(mrCancel, &TfrmEncrypt::Button2Click); });
    connect(Button3, &QPushButton::clicked, this, [this] { ClickButton(mrOk, &TfrmEncrypt::Button3Click); });
    // The tree selected its root before the connection existed.
    ShellTreeView1Change();
    batch::FitCaptions(this, QSize(380, 433), {cbKeepExtension, rbKeepExisting, rbTimeBased, rbRot13});
}

TfrmEncrypt::~TfrmEncrypt()
{
    if (frmEncrypt == this)
        frmEncrypt = nullptr;
}

int TfrmEncrypt::ShowModal()
{
    // The tree does not watch the file system: folders made or removed
    // elsewhere since the last showing are read now. The selection stays.
    ShellTreeView1->RefreshNode(ShellTreeView1->RootNode());
    MyPaint();
    setResult(mrNone);
    return ShowModalWindow(*this);
}

void TfrmEncrypt::ClickButton(int modalResult, void (TfrmEncrypt::*handler)())
{
    if (handlerRunning_ || batchRunning_)
        return;
    handlerRunning_ = true;
    setResult(modalResult);
    try {
        (this->*handler)();
    } catch (...) {
        batch::ReportHandlerError(std::current_exception());
    }
    handlerRunning_ = false;
    if (result() != mrNone)
        done(result());
}

void TfrmEncrypt::FormPaint()
{
    MyPaint();
}

void TfrmEncrypt::ShellTreeView1Change()
{
    MyPaint();
}

void TfrmEncrypt::MyPaint()
{
    const std::string path = batch::CutAtDesktop(ShellTreeView1->Path());
    batch::SetLabelText(lblCurrentDirectory, QStringLiteral("CurrentDir = ") + Shown(path));
}

void TfrmEncrypt::Button1Click()
{
    const std::string folder = ShellTreeView1->Path();
    if (!IsFileSystemFolder(folder)) {
        PlainMessage(NoDestinationText());
        return;
    }
    const std::string path = folder + "/" + batch::FileNameBytes(txtFolderName->text());
    const QString question = QStringLiteral("Create Folder \"") + Shown(path) + QStringLiteral("\" ?");
    if (MessageDialog(question, mtConfirmation, mbYesNo) != mrYes)
        return;
    CreateFolderAndRefresh(path, *ShellTreeView1);
}

void TfrmEncrypt::Button2Click()
{
    hide();
}

void TfrmEncrypt::Button3Click()
{
    // No batch into an empty or virtual destination; the window stays open
    // so that a folder can be picked.
    if (!IsFileSystemFolder(ShellTreeView1->Path())) {
        PlainMessage(NoDestinationText());
        setResult(mrNone);
        return;
    }
    if (ConfirmPassphrase(frmMain->Passphrase, frmMain->DecryptionKey))
        DoCrypt();
}

naming::EncryptSettings TfrmEncrypt::Settings() const
{
    naming::EncryptSettings s;
    s.timeBased = rbTimeBased->isChecked();
    s.rot13 = rbRot13->isChecked();
    s.keepExtension = cbKeepExtension->isChecked();
    s.extension = batch::FileNameBytes(txtExtension->text());
    return s;
}

void TfrmEncrypt::SetBatchRunning(bool running)
{
    batchRunning_ = running;
    for (QPushButton* button : {Button1, Button2, Button3})
        button->setEnabled(!running);
}

namespace {

// The end of every batch, also one that an error ends: the normal cursor,
// the bar hidden, the destination label back, the buttons enabled.
class EncryptBatchScope {
public:
    EncryptBatchScope(TfrmEncrypt& window, void (TfrmEncrypt::*setRunning)(bool))
        : window_(window), setRunning_(setRunning)
    {
        (window_.*setRunning_)(true);
    }
    ~EncryptBatchScope()
    {
        ScreenCursor(crDefault);
        window_.ProgressBar1->hide();
        window_.lblCurrentDirectory->show();
        (window_.*setRunning_)(false);
    }
    EncryptBatchScope(const EncryptBatchScope&) = delete;
    EncryptBatchScope& operator=(const EncryptBatchScope&) = delete;

private:
    TfrmEncrypt& window_;
    void (TfrmEncrypt::*setRunning_)(bool);
};

} // namespace

bool TfrmEncrypt::DoCrypt()
{
    TFileListBox& list = *frmMain->FileListBox1;
    int answer = mrNo;
    const int n = list.Count();
    naming::BatchNames written;
    EncryptBatchScope scope(*this, &TfrmEncrypt::SetBatchRunning);

    ScreenCursor(crHourGlass);
    lblCurrentDirectory->hide();
    ProgressBar1->show();
    ProgressBar1->setMinimum(0);
    ProgressBar1->setMaximum(n);
    ProgressBar1->setValue(0);

    for (int i = 0; i < n; ++i) {
        if (list.Selected(i)) {
            const std::string source = naming::SourcePath(frmMain->ShellTreeView1->Path(), list.Items(i));
            const std::string folder = ShellTreeView1->Path();
            // The clock is read here, before the question; the name shown is
            // the one written, moved aside from this batch's earlier outputs.
            const std::string destination =
                written.Destination(folder, naming::EncryptOutputName(naming::NameOf(source), Settings(), Clock));
            if (answer != mrAll) {
                ScreenCursor(crDefault);
                answer = MessageDialog(QStringLiteral("Encrypt: ") + Shown(source) + QStringLiteral(" to ")
                                           + Shown(destination),
                                       mtInformation, mbYesNoCancelAll);
                ScreenCursor(crHourGlass);
            }
            if (answer == mrCancel)
                return false; // lblCount keeps its text
            if (answer == mrYes || answer == mrAll) {
                batch::SetLabelText(lblCount, QStringLiteral("Encrypting \"") + Shown(source) + QStringLiteral("\""));
                ProcessPendingEvents();
                // A destination folder that has gone (or was never a real
                // folder) fails like a destination that cannot be written.
                const bool ok = IsFileSystemFolder(folder)
                                && frmMain->ImgCrypt->EncryptFile(source, destination, frmMain->DecryptionKey);
                if (ok) {
                    written.MarkWritten(destination);
                } else {
                    ScreenCursor(crDefault);
                    answer = MessageDialog(QStringLiteral("Failed to Encrypt \"") + Shown(source)
                                               + QStringLiteral("\". Click CANCEL to stop."),
                                           mtError, mbOKCancel);
                    if (answer == mrCancel)
                        return false;
                    ScreenCursor(crHourGlass);
                }
            }
        }
        ProgressBar1->setValue(i);
    }
    batch::SetLabelText(lblCount, QStringLiteral("Ready"));
    return true;
}

void TfrmEncrypt::FitLabels()
{
    for (QLabel* label : {Label1, Label2, Label4, Label3, lblCurrentDirectory, lblCount})
        batch::FitLabel(label);
}

bool TfrmEncrypt::event(QEvent* event)
{
    // A label's new text asks its parent for a layout; having none, the
    // window sizes its labels to their texts here.
    if (event->type() == QEvent::LayoutRequest)
        FitLabels();
    return QDialog::event(event);
}

void TfrmEncrypt::showEvent(QShowEvent* event)
{
    FitLabels();
    batch::FitCaptions(this, QSize(380, 433), {cbKeepExtension, rbKeepExisting, rbTimeBased, rbRot13});
    QDialog::showEvent(event);
}

void TfrmEncrypt::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    FormPaint();
}

void TfrmEncrypt::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        ClickButton(mrCancel, &TfrmEncrypt::Button2Click); // ignored while a batch runs
        return;
    }
    QDialog::keyPressEvent(event);
}

void TfrmEncrypt::closeEvent(QCloseEvent* event)
{
    // No close box, but the window manager may still ask; it ends the
    // showing like Cancel, except while a batch runs.
    if (handlerRunning_ || batchRunning_) {
        event->ignore();
        return;
    }
    event->accept();
    done(mrCancel);
}

} // namespace mg
