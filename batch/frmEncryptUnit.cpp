#include "batch/frmEncryptUnit.h"

#include "base/SafeFile.h"
#include "batch/BatchControls.h"
#include "batch/FolderCreation.h"
#include "cipher/ImageCrypt.h"
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
#include <QRadioButton>

#include <deque>

namespace mg {

TfrmEncrypt* frmEncrypt = nullptr;

using batch::MakeButton;
using batch::MakeLabel;

TfrmEncrypt::TfrmEncrypt(const std::string& rootFolder, QWidget* parent)
    : BatchWindow(parent, {}, "frmEncrypt", QStringLiteral("Encrypt Selected Files"), QSize(380, 433), QPoint(216, 166))
{
    Label1 = MakeLabel(this, "Label1", QStringLiteral("Pick Destination Folder"), 16, 16, true, 13.0 / 11.0);
    MakeTree(rootFolder, QRect(16, 40, 201, 305));
    Label2 = MakeLabel(this, "Label2", QStringLiteral("New Folder Name"), 224, 40, true);
    txtFolderName = batch::MakeEdit(this, "txtFolderName", QStringLiteral("New Folder"), 224, 56, 121, 21);
    Button1 = MakeButton(this, "Button1", QStringLiteral("Create Folder"), 224, 80, 75, 25);
    Label4 = MakeLabel(this, "Label4", QStringLiteral("Filename obfuscation"), 232, 168, true);
    cbKeepExtension =
        batch::MakeCheckBox(this, "cbKeepExtension", QStringLiteral("Keep original extension"), 224, 192, 137, 17);
    Label3 = MakeLabel(this, "Label3", QStringLiteral("New Extension"), 224, 216);
    txtExtension = batch::MakeEdit(this, "txtExtension", QStringLiteral("Bin"), 224, 232, 121, 21);
    // One group: the three share this parent and exclude each other.
    rbKeepExisting =
        batch::MakeRadioButton(this, "rbKeepExisting", QStringLiteral("Keep Existing Filename"), 232, 280, 137, 17);
    rbTimeBased = batch::MakeRadioButton(this, "rbTimeBased", QStringLiteral("Timebased Filename"), 232, 296, 137, 17);
    rbTimeBased->setChecked(true);
    rbRot13 = batch::MakeRadioButton(this, "rbRot13", QStringLiteral("Rot-13 Filename"), 232, 312, 137, 17);
    // In the free band between the naming choices and the status line.
    cbStrong = batch::MakeCheckBox(this, "cbStrong", QStringLiteral("Strong encryption"), 224, 336, 145, 17);
    lblCurrentDirectory =
        MakeLabel(this, "lblCurrentDirectory", QStringLiteral("Current Directory"), 8, 360, true, 1.0, true);
    ProgressBar1 = batch::MakeProgressBar(this, 112, 360, 150, 16);
    ProgressBar1->hide();
    lblCount = MakeLabel(this, "lblCount", QStringLiteral("files selected"), 8, 384, true, 1.0, true);
    Button2 = MakeButton(this, "Button2", QStringLiteral("Cancel"), 40, 400, 75, 25);
    Button3 = MakeButton(this, "Button3", QStringLiteral("GO"), 272, 400, 75, 25);

    // Tab order, as the controls read on screen: tree, folder name, Create Folder, extension,
    // the three radio buttons, Cancel, GO, keep-extension box.
    QWidget* order[] = {ShellTreeView1, txtFolderName, Button1, txtExtension,    rbKeepExisting, rbTimeBased,
                        rbRot13,        Button2,       Button3, cbKeepExtension, cbStrong};
    for (std::size_t i = 0; i + 1 < std::size(order); ++i)
        setTabOrder(order[i], order[i + 1]);

    ConnectButton(Button1, mrNone, [this] { Button1Click(); });
    ConnectButton(Button2, mrCancel, [this] { Button2Click(); });
    ConnectButton(Button3, mrOk, [this] { Button3Click(); });
    // Names a screen reader says for controls that have no caption.
    ShellTreeView1->setAccessibleName(QStringLiteral("Destination folder"));
    txtFolderName->setAccessibleName(QStringLiteral("New folder name"));
    txtExtension->setAccessibleName(QStringLiteral("New extension"));
    // Tab stops at the checked radio button only, as in every toolkit: the
    // arrow keys move within the group.
    for (QRadioButton* radio : {rbKeepExisting, rbTimeBased, rbRot13}) {
        auto tabStop = [radio](bool checked) { radio->setFocusPolicy(checked ? Qt::StrongFocus : Qt::ClickFocus); };
        tabStop(radio->isChecked());
        connect(radio, &QRadioButton::toggled, radio, tabStop);
    }
    FinishControls({Label1, Label2, Label4, Label3, lblCurrentDirectory, lblCount},
                   {cbKeepExtension, rbKeepExisting, rbTimeBased, rbRot13, Button1, cbStrong});
}

TfrmEncrypt::~TfrmEncrypt()
{
    if (frmEncrypt == this)
        frmEncrypt = nullptr;
}

void TfrmEncrypt::MyPaint()
{
    ShowDestination(lblCurrentDirectory);
}

void TfrmEncrypt::Button1Click()
{
    AskAndCreateFolder(txtFolderName->text(), QStringLiteral("Create Folder"));
}

void TfrmEncrypt::Button2Click()
{
    hide();
}

void TfrmEncrypt::Button3Click()
{
    if (DestinationChosen()
        && ConfirmPassphrase(frmMain->Passphrase, frmMain->DecryptionKey, &frmMain->ImgCrypt->Strong))
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

namespace {

// The end of every batch, also one that an error ends: the normal cursor,
// the bar hidden, the destination label back (the buttons are enabled again
// after this, by the window's BatchRun).
class EncryptBatchEnd {
public:
    explicit EncryptBatchEnd(TfrmEncrypt& window) : window_(window) {}
    ~EncryptBatchEnd()
    {
        ScreenCursor(crDefault);
        window_.ProgressBar1->hide();
        window_.lblCurrentDirectory->show();
    }
    EncryptBatchEnd(const EncryptBatchEnd&) = delete;
    EncryptBatchEnd& operator=(const EncryptBatchEnd&) = delete;

private:
    TfrmEncrypt& window_;
};

} // namespace

bool TfrmEncrypt::DoCrypt()
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
    EncryptBatchEnd end(*this);
    // Written files reach the disk on the committer's thread while the next
    // ones are read and encrypted (only under "All", when no question comes
    // between files). Their results are taken in order before any message
    // and at the end. At a failure the files after it, not yet on disk, are
    // dropped and the batch goes on from the failed file as if each file had
    // waited for the one before: same messages, same answers, same files.
    // Up to kAhead files wait for the disk at a time.
    constexpr std::size_t kAhead = 8;
    SafeCommitter committer;
    struct Handed {
        int index;
        std::string source, destination;
    };
    std::deque<Handed> handed; // in the committer's order
    const auto failed = [this, &answer](const std::string& source) {
        ScreenCursor(crDefault);
        // OK goes on and asks again at the next file, even after All.
        answer.Set(MessageDialog(QStringLiteral("Failed to Encrypt \"") + ShownName(source)
                                     + QStringLiteral("\". Click CANCEL to stop."),
                                 mtError, mbOKCancel));
        if (answer.Cancelled())
            return false;
        ScreenCursor(crHourGlass);
        return true;
    };
    // Takes results until at most `keep` files wait. False when the user
    // stops the batch at a failure; `redoAfter` is then, or when the batch
    // goes on after a failure, the failed file's list index (else -1).
    int redoAfter = -1;
    const auto settle = [&](std::size_t keep) {
        redoAfter = -1;
        while (handed.size() > keep) {
            auto [writer, index] = committer.Next();
            const Handed file = handed.front();
            handed.pop_front();
            if (writer->Error() == 0)
                continue;
            written.Forget(file.destination);
            committer.Discard();
            for (const Handed& later : handed)
                written.Forget(later.destination);
            handed.clear();
            redoAfter = file.index;
            return failed(file.source);
        }
        return true;
    };
    // The files of one batch share a salt, so one slow derivation serves them.
    const bool strongFormat = cbStrong->isChecked();
    frmMain->ImgCrypt->Strong.NewBatch();

    ScreenCursor(crHourGlass);
    lblCurrentDirectory->hide();
    ProgressBar1->show();
    ProgressBar1->setMinimum(0);
    ProgressBar1->setMaximum(n);
    ProgressBar1->setValue(0);

    for (int i = 0;; ++i) {
        if (i >= n) {
            // The last files' results; after a failure the batch goes on
            // from the failed file.
            if (!settle(0))
                return false;
            if (redoAfter < 0)
                break;
            i = redoAfter;
            continue;
        }
        if (list.Selected(i)) {
            const std::string source = list.ItemPath(i);
            const std::string folder = ShellTreeView1->Path();
            // The clock is read here, before the question; the name shown is
            // the one written, moved aside from this batch's earlier outputs.
            const std::string destination =
                written.Destination(folder, naming::EncryptOutputName(naming::NameOf(source), Settings(), Clock));
            answer.AskUnlessAll([&] {
                ScreenCursor(crDefault);
                const int asked = MessageDialog(QStringLiteral("Encrypt: ") + ShownName(source) + QStringLiteral(" to ")
                                                    + ShownName(destination),
                                                mtInformation, mbYesNoCancelAll);
                ScreenCursor(crHourGlass);
                return asked;
            });
            if (answer.Cancelled())
                return false; // lblCount keeps its text
            if (answer.Proceeds()) {
                batch::SetLabelText(lblCount,
                                    QStringLiteral("Encrypting \"") + ShownName(source) + QStringLiteral("\""));
                ProcessPendingEvents();
                // A destination folder that has gone (or was never a real
                // folder) fails like a destination that cannot be written;
                // a source built from the virtual "Computer" like one that
                // cannot be read.
                const bool ok =
                    IsFileSystemFolder(folder) && IsFullPath(source)
                    && (strongFormat ? bool(strong::EncryptFile(source, destination, frmMain->ImgCrypt->Strong))
                                     : bool(frmMain->ImgCrypt->EncryptFileEx(source, destination,
                                                                             frmMain->DecryptionKey, committer, i)));
                written.MarkProcessed(source);
                if (ok) {
                    // The name is taken from now on, so no later file of
                    // this batch is given it while this one is on its way.
                    written.MarkWritten(destination);
                    // A strong file is on disk already; a light one waits
                    // for the committer.
                    if (!strongFormat)
                        handed.push_back({i, source, destination});
                } else {
                    if (!settle(0))
                        return false;
                    if (redoAfter < 0 && !failed(source))
                        return false;
                    if (redoAfter >= 0) { // an earlier file failed first
                        i = redoAfter;
                        ProgressBar1->setValue(i);
                        continue;
                    }
                }
            }
            // Before a question the files before it are on disk (or failed).
            const bool questionNext = !answer.All();
            if (!settle(questionNext ? 0 : kAhead))
                return false;
            if (redoAfter >= 0)
                i = redoAfter;
        }
        ProgressBar1->setValue(i);
    }
    batch::SetLabelText(lblCount, QStringLiteral("Ready"));
    return true;
}

} // namespace mg
