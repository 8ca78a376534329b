#include "batch/frmDecryptUnit.h"

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

namespace mg {

TfrmDecrypt* frmDecrypt = nullptr;

using batch::MakeButton;
using batch::MakeLabel;
using batch::Shown;

TfrmDecrypt::TfrmDecrypt(const std::string& rootFolder, QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmDecrypt"));
    setWindowTitle(QStringLiteral("Decrypt Selected Files"));
    setFont(batch::WindowFont());
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    setFixedSize(278, 436);
    move(192, 107);

    Label1 = MakeLabel(this, "Label1", QStringLiteral("PICK DESTINATION DIRECTORY"), 24, 8, true, 13.0 / 11.0);
    ShellTreeView1 = rootFolder.empty() ? new TShellTreeView(this) : new TShellTreeView(rootFolder, this);
    ShellTreeView1->setObjectName(QStringLiteral("ShellTreeView1"));
    ShellTreeView1->setGeometry(8, 32, 265, 217);
    cmdCreateFolder = MakeButton(this, "cmdCreateFolder", QStringLiteral("Create New Folder"), 80, 256, 129, 17);
    cbKeepExtension = new QCheckBox(QStringLiteral("cbKeepExtension"), this);
    cbKeepExtension->setObjectName(QStringLiteral("cbKeepExtension"));
    cbKeepExtension->setGeometry(8, 288, 113, 17);
    cbUseDateTime = new QCheckBox(QStringLiteral("Use chrono file name"), this);
    cbUseDateTime->setObjectName(QStringLiteral("cbUseDateTime"));
    cbUseDateTime->setGeometry(128, 288, 137, 17);
    Label2 = MakeLabel(this, "Label2", QStringLiteral("Target extension"), 8, 312);
    txtExtension = new QLineEdit(QStringLiteral("JPG"), this);
    txtExtension->setObjectName(QStringLiteral("txtExtension"));
    txtExtension->setGeometry(104, 312, 49, 21);
    ProgressBar1 = new QProgressBar(this);
    ProgressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    ProgressBar1->setGeometry(8, 336, 257, 16);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setValue(0);
    ProgressBar1->setTextVisible(false);
    lblDirectoryInfo = MakeLabel(this, "lblDirectoryInfo", QStringLiteral("Current Destination Directory"), 8, 360);
    lblFileInfo = MakeLabel(this, "lblFileInfo", QStringLiteral("lblFileInfo"), 8, 384);
    Cancel = MakeButton(this, "Cancel", QStringLiteral("Cancel"), 8, 408, 75, 25);
    cmdGo = MakeButton(this, "cmdGo", QStringLiteral("Decrypt"), 192, 408, 75, 25);

    // Tab order as designed: tree, bar, Cancel, Decrypt, extension, the
    // chrono box, the keep-extension box, Create New Folder.
    QWidget* order[] = {ShellTreeView1, ProgressBar1,    Cancel,         cmdGo,
                        txtExtension,   cbUseDateTime,   cbKeepExtension, cmdCreateFolder};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);

    connect(ShellTreeView1, &TShellTreeView::changed, this, [this] { ShellTreeView1Change(); });
    connect(cmdCreateFolder, &QPushButton::clicked, this,
            [this] { ClickButton(mrNone, &TfrmDecrypt::cmdCreateFolderClick); });
    connect(Cancel, &QPushButton::clicked, this, [this] { ClickButton(mrCancel, &TfrmDecrypt::CancelClick); });
    connect(cmdGo, &QPushButton::clicked, this, [this] { ClickButton(mrOk, &TfrmDecrypt::cmdGoClick); });
    // The tree selected its root before the connection existed.
    ShellTreeView1Change();
    batch::FitCaptions(this, QSize(278, 436), {cbKeepExtension, cbUseDateTime});
}

TfrmDecrypt::~TfrmDecrypt()
{
    if (frmDecrypt == this)
        frmDecrypt = nullptr;
}

int TfrmDecrypt::ShowModal()
{
    // The tree does not watch the file system: folders made or removed
    // elsewhere since the last showing are read now. The selection stays.
    ShellTreeView1->RefreshNode(ShellTreeView1->RootNode());
    MyPaint();
    setResult(mrNone);
    return ShowModalWindow(*this);
}

void TfrmDecrypt::ClickButton(int modalResult, void (TfrmDecrypt::*handler)())
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

void TfrmDecrypt::FormPaint()
{
    MyPaint();
}

void TfrmDecrypt::ShellTreeView1Change()
{
    MyPaint();
}

void TfrmDecrypt::MyPaint()
{
    const std::string path = batch::CutAtDesktop(ShellTreeView1->Path());
    batch::SetLabelText(lblDirectoryInfo, QStringLiteral("CurrentDir = ") + Shown(path));
    if (frmMain && frmMain->FileListBox1)
        batch::SetLabelText(lblFileInfo, QString::number(frmMain->FileListBox1->SelCount())
                                             + QStringLiteral(" files selected for decryption"));
}

void TfrmDecrypt::cmdCreateFolderClick()
{
    const QString name = InputDialog(QStringLiteral("Create Folder"), QStringLiteral("New Folder Name: "),
                                     QStringLiteral("New Folder"));
    if (name.isEmpty())
        return;
    const std::string folder = ShellTreeView1->Path();
    if (!IsFileSystemFolder(folder)) {
        PlainMessage(NoDestinationText());
        return;
    }
    const std::string path = folder + "/" + batch::FileNameBytes(name);
    const QString question = QStringLiteral("Create folder \"") + Shown(path) + QStringLiteral("\" ?");
    if (MessageDialog(question, mtConfirmation, mbYesNo) != mrYes)
        return;
    CreateFolderAndRefresh(path, *ShellTreeView1);
}

void TfrmDecrypt::CancelClick()
{
    hide();
}

void TfrmDecrypt::cmdGoClick()
{
    // No batch into an empty or virtual destination; the window stays open
    // so that a folder can be picked.
    if (!IsFileSystemFolder(ShellTreeView1->Path())) {
        PlainMessage(NoDestinationText());
        setResult(mrNone);
        return;
    }
    // Whatever the prompt gives (a new key, Cancel, an empty answer), the
    // batch runs with the key then in force.
    PromptForKey(frmMain->Passphrase, frmMain->DecryptionKey);
    DecryptFiles();
}

naming::DecryptSettings TfrmDecrypt::Settings() const
{
    naming::DecryptSettings s;
    s.useDateTime = cbUseDateTime->isChecked();
    s.keepExtension = cbKeepExtension->isChecked();
    s.extension = batch::FileNameBytes(txtExtension->text());
    return s;
}

void TfrmDecrypt::SetBatchRunning(bool running)
{
    batchRunning_ = running;
    for (QPushButton* button : {cmdCreateFolder, Cancel, cmdGo})
        button->setEnabled(!running);
}

namespace {

// Buttons enabled again at every end of a batch, also one an error ends.
class DecryptBatchScope {
public:
    DecryptBatchScope(TfrmDecrypt& window, void (TfrmDecrypt::*setRunning)(bool))
        : window_(window), setRunning_(setRunning)
    {
        (window_.*setRunning_)(true);
    }
    ~DecryptBatchScope() { (window_.*setRunning_)(false); }
    DecryptBatchScope(const DecryptBatchScope&) = delete;
    DecryptBatchScope& operator=(const DecryptBatchScope&) = delete;

private:
    TfrmDecrypt& window_;
    void (TfrmDecrypt::*setRunning_)(bool);
};

} // namespace

// The bar's maximum is the selected count; its position is the number of
// selected files dealt with so far (decrypted, skipped or failed), so a
// batch that runs to the end leaves it full. It is repainted directly
// after each file, since this batch does not pump events.
bool TfrmDecrypt::DecryptFiles()
{
    TFileListBox& list = *frmMain->FileListBox1;
    int answer = mrNo;
    const int n = list.Count();
    naming::BatchNames written;
    DecryptBatchScope scope(*this, &TfrmDecrypt::SetBatchRunning);

    ProgressBar1->setMaximum(list.SelCount());
    ProgressBar1->setMinimum(0);
    ProgressBar1->setValue(0);
    int dealtWith = 0;

    for (int i = 0; i < n; ++i) {
        if (!list.Selected(i))
            continue;
        const std::string source = naming::SourcePath(frmMain->ShellTreeView1->Path(), list.Items(i));
        const std::string folder = ShellTreeView1->Path();
        const std::string destination =
            written.Destination(folder, naming::DecryptOutputName(naming::NameOf(source), Settings(), Clock));
        if (answer != mrAll)
            answer = MessageDialog(QStringLiteral("Decrypt: ") + Shown(source) + QStringLiteral(" to ")
                                       + Shown(destination),
                                   mtInformation, mbYesNoCancelAll);
        if (answer == mrCancel)
            return false;
        if (answer == mrYes || answer == mrAll) {
            // A failure writes nothing and shows nothing; the next file follows.
            if (IsFileSystemFolder(folder)
                && frmMain->ImgCrypt->DecryptFile(source, destination, frmMain->DecryptionKey))
                written.MarkWritten(destination);
        }
        ProgressBar1->setValue(++dealtWith);
        if (ProgressBar1->isVisible())
            ProgressBar1->repaint();
    }
    return true;
}

void TfrmDecrypt::FitLabels()
{
    for (QLabel* label : {Label1, Label2, lblDirectoryInfo, lblFileInfo})
        batch::FitLabel(label);
}

bool TfrmDecrypt::event(QEvent* event)
{
    // A label's new text asks its parent for a layout; having none, the
    // window sizes its labels to their texts here.
    if (event->type() == QEvent::LayoutRequest)
        FitLabels();
    return QDialog::event(event);
}

void TfrmDecrypt::showEvent(QShowEvent* event)
{
    FitLabels();
    batch::FitCaptions(this, QSize(278, 436), {cbKeepExtension, cbUseDateTime});
    QDialog::showEvent(event);
}

void TfrmDecrypt::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    FormPaint();
}

void TfrmDecrypt::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        ClickButton(mrCancel, &TfrmDecrypt::CancelClick); // ignored while a batch runs
        return;
    }
    QDialog::keyPressEvent(event);
}

void TfrmDecrypt::closeEvent(QCloseEvent* event)
{
    // The close box ends the showing with Cancel (2), except while a batch
    // or another handler runs.
    if (handlerRunning_ || batchRunning_) {
        event->ignore();
        return;
    }
    event->accept();
    done(mrCancel);
}

} // namespace mg
