#pragma once
// TfrmDecrypt: the "Decrypt Selected Files" window. The user picks a
// destination folder in the window's own tree, may create a folder there,
// chooses the output naming and starts the batch with "Decrypt": the
// passphrase is asked once, then every selected file of the main window's
// list is decrypted into the destination, with a question before each file
// unless the user answered All. Only outputs that read as JPEG pictures are
// written.
#include "batch/BatchWindow.h"

#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace mg {

class TfrmDecrypt : public BatchWindow {
    Q_OBJECT
public:
    // rootFolder: the tree's desktop root; empty means the user's desktop
    // (tests pass a temporary folder).
    explicit TfrmDecrypt(const std::string& rootFolder = {}, QWidget* parent = nullptr);
    ~TfrmDecrypt() override;

    // ShowModal (shared) returns 1 after "Decrypt", 2 after "Cancel", Escape
    // or the close box.

    // Controls (owned through Qt's parent chain).
    QLabel* Label1 = nullptr;
    // ShellTreeView1: the destination tree.
    QPushButton* cmdCreateFolder = nullptr;
    QCheckBox* cbKeepExtension = nullptr;
    QCheckBox* cbUseDateTime = nullptr;
    QLabel* Label2 = nullptr;
    QLineEdit* txtExtension = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* lblDirectoryInfo = nullptr;
    QLabel* lblFileInfo = nullptr;
    QPushButton* Cancel = nullptr;
    QPushButton* cmdGo = nullptr; // "Decrypt"

    // Handlers (FormPaint and ShellTreeView1Change are the shared ones).
    void cmdCreateFolderClick();
    void CancelClick();
    void cmdGoClick();

    // The batch loop over the main window's file list: true when it went
    // through the whole list, false when the user stopped it.
    bool DecryptFiles();
    // Writes the destination folder and the selected count into the labels.
    void MyPaint() override;

private:
    naming::DecryptSettings Settings() const;
};

// Created hidden at start-up by the program's entry, third of the windows.
extern TfrmDecrypt* frmDecrypt;

} // namespace mg
