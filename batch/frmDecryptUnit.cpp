#include "batch/frmDecryptUnit.h"

#include "batch/BatchControls.h"
#include "batch/FolderCreation.h"
#include "cipher/KeyPrompt.h"
#include "cipher/StrongCrypt.h"
#include "ui/Dialogs.h"
#include "ui/ShellTreeView.h"
#include "viewer/murkglassmain.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>

namespace mg {

TfrmDecrypt* frmDecrypt = nullptr;

using batch::MakeButton;
using batch::MakeLabel;

TfrmDecrypt::TfrmDecrypt(const std::string& rootFolder, QWidget* parent)
    : BatchWindow(parent, Qt::WindowCloseButtonHint, "frmDecrypt", QStringLiteral("Decrypt Selected Files"),
                  QSize(278, 436), QPoint(192, 107))
{
    Label1 = MakeLabel(this, "Label1", QStringLiteral("PICK DESTINATION DIRECTORY"), 24, 8, true, 13.0 / 11.0);
    MakeTree(rootFolder, QRect(8, 32, 265, 217));
    cmdCreateFolder = MakeButton(this, "cmdCreateFolder", QStringLiteral("Create New Folder"), 80, 256, 129, 17);
    cbKeepExtension = batch::MakeCheckBox(this, "cbKeepExtension", QStringLiteral("cbKeepExtension"), 8, 288, 113, 17);
    cbUseDateTime =
        batch::MakeCheckBox(this, "cbUseDateTime", QStringLiteral("Use chrono file name"), 128, 288, 137, 17);
    Label2 = MakeLabel(this, "Label2", QStringLiteral("Target extension"), 8, 312);
    txtExtension = batch::MakeEdit(this, "txtExtension", QStringLiteral("JPG"), 104, 312, 49, 21);
    ProgressBar1 = batch::MakeProgressBar(this, 8, 336, 257, 16);
    lblDirectoryInfo = MakeLabel(this, "lblDirectoryInfo", QStringLiteral("Current Destination Directory"), 8, 360);
    lblFileInfo = MakeLabel(this, "lblFileInfo", QStringLiteral("lblFileInfo"), 8, 384);
    Cancel = MakeButton(this, "Cancel", QStringLiteral("Cancel"), 8, 408, 75, 25);
    cmdGo = MakeButton(this, "cmdGo", QStringLiteral("Decrypt"), 192, 408, 75, 25);

    // Tab order, as the controls read on screen: tree, bar, Cancel, Decrypt, extension, the
    // chrono box, the keep-extension box, Create New Folder.
    QWidget* order[] = {ShellTreeView1, ProgressBar1,  Cancel,          cmdGo,
                        txtExtension,   cbUseDateTime, cbKeepExtension, cmdCreateFolder};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);

    // Names a screen reader says for controls that have no caption.
    ShellTreeView1->setAccessibleName(QStringLiteral("Destination folder"));
    txtExtension->setAccessibleName(QStringLiteral("Target extension"));
    ConnectButton(cmdCreateFolder, mrNone, [this] { cmdCreateFolderClick(); });
    ConnectButton(Cancel, mrCancel, [this] { CancelClick(); });
    ConnectButton(cmdGo, mrOk, [this] { cmdGoClick(); });
    FinishControls({Label1, Label2, lblDirectoryInfo, lblFileInfo}, {cbKeepExtension, cbUseDateTime});
}

TfrmDecrypt::~TfrmDecrypt()
{
    if (frmDecrypt == this)
        frmDecrypt = nullptr;
}

void TfrmDecrypt::MyPaint()
{
    ShowDestination(lblDirectoryInfo);
    if (frmMain && frmMain->FileListBox1)
        batch::SetLabelText(lblFileInfo, QString::number(frmMain->FileListBox1->SelCount())
                                             + QStringLiteral(" files selected for decryption"));
}

void TfrmDecrypt::cmdCreateFolderClick()
{
    const QString name =
        InputDialog(QStringLiteral("Create Folder"), QStringLiteral("New Folder Name: "), QStringLiteral("New Folder"));
    if (!name.isEmpty())
        AskAndCreateFolder(name, QStringLiteral("Create folder"));
}

void TfrmDecrypt::CancelClick()
{
    hide();
}

void TfrmDecrypt::cmdGoClick()
{
    if (!DestinationChosen())
        return;
    // Whatever the prompt gives (a new key, Cancel, an empty answer), the
    // batch runs with the key then in force.
    PromptForKey(frmMain->Passphrase, frmMain->DecryptionKey, &frmMain->ImgCrypt->Strong);
    DecryptFiles();
}

namespace {

// A strong file keeps its original extension inside, and its output is named
// with it (a PNG comes back as .png) in place of the extension text. Reading
// it needs the key, which the decryption derives anyway.
naming::DecryptSettings WithStoredExtension(naming::DecryptSettings s, const std::string& source)
{
    std::string stored;
    if (IsFullPath(source) && strong::FileHasMagic(source)
        && strong::StoredExtension(source, frmMain->ImgCrypt->Strong, stored) && !stored.empty())
        s.extension = stored;
    return s;
}

} // namespace

naming::DecryptSettings TfrmDecrypt::Settings() const
{
    naming::DecryptSettings s;
    s.useDateTime = cbUseDateTime->isChecked();
    s.keepExtension = cbKeepExtension->isChecked();
    s.extension = batch::FileNameBytes(txtExtension->text());
    return s;
}

// The bar's maximum is the selected count; its position is the number of
// selected files dealt with so far (decrypted, skipped or failed), so a
// batch that runs to the end leaves it full. It is repainted directly
// after each file, since this batch does not pump events.
bool TfrmDecrypt::DecryptFiles()
{
    TFileListBox& list = *frmMain->FileListBox1;
    RememberedAnswer answer;
    const int n = list.Count();
    naming::BatchNames written;
    // A renamed output never takes the name of a source still to be read.
    for (int i = 0; i < n; ++i)
        if (list.Selected(i))
            written.AddPendingSource(list.ItemPath(i));
    BatchRun running(*this);

    ProgressBar1->setMaximum(list.SelCount());
    ProgressBar1->setMinimum(0);
    ProgressBar1->setValue(0);
    int dealtWith = 0;

    for (int i = 0; i < n; ++i) {
        if (!list.Selected(i))
            continue;
        const std::string source = list.ItemPath(i);
        const std::string folder = ShellTreeView1->Path();
        const std::string destination = written.Destination(
            folder, naming::DecryptOutputName(naming::NameOf(source), WithStoredExtension(Settings(), source), Clock));
        answer.AskUnlessAll([&] {
            return MessageDialog(QStringLiteral("Decrypt: ") + ShownName(source) + QStringLiteral(" to ")
                                     + ShownName(destination),
                                 mtInformation, mbYesNoCancelAll);
        });
        if (answer.Cancelled())
            return false;
        if (answer.Proceeds()) {
            // A failure writes nothing and shows nothing; the next file
            // follows. A source that is no full path (the main tree on the
            // virtual "Computer") is not read at all.
            const bool ok = IsFileSystemFolder(folder) && IsFullPath(source)
                            && frmMain->ImgCrypt->DecryptFile(source, destination, frmMain->DecryptionKey);
            written.MarkProcessed(source);
            if (ok)
                written.MarkWritten(destination);
        }
        ProgressBar1->setValue(++dealtWith);
        if (ProgressBar1->isVisible())
            ProgressBar1->repaint();
    }
    return true;
}

} // namespace mg
