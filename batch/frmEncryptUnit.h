#pragma once
// TfrmEncrypt: the "Encrypt Selected Files" window. The user picks a
// destination folder in the window's own tree, may create a folder there,
// chooses how the outputs are named and starts the batch with "GO": the
// passphrase is asked twice, then every selected file of the main window's
// list is encrypted into the destination, with a question before each file
// unless the user answered All.
#include "batch/BatchWindow.h"

#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace mg {

class TfrmEncrypt : public BatchWindow {
    Q_OBJECT
public:
    // rootFolder: the tree's desktop root; empty means the user's desktop
    // (tests pass a temporary folder).
    explicit TfrmEncrypt(const std::string& rootFolder = {}, QWidget* parent = nullptr);
    ~TfrmEncrypt() override;

    // ShowModal (shared) returns 1 after "GO", 2 after "Cancel" or Escape.

    // Controls (owned through Qt's parent chain).
    QLabel* Label1 = nullptr;
    // ShellTreeView1: the destination tree.
    QLabel* Label2 = nullptr;
    QLineEdit* txtFolderName = nullptr;
    QPushButton* Button1 = nullptr; // "Create Folder"
    QLabel* Label4 = nullptr;
    QCheckBox* cbKeepExtension = nullptr;
    QLabel* Label3 = nullptr;
    QLineEdit* txtExtension = nullptr;
    QRadioButton* rbKeepExisting = nullptr;
    QRadioButton* rbTimeBased = nullptr;
    QRadioButton* rbRot13 = nullptr;
    // Off at every start: the light format stays the default.
    QCheckBox* cbStrong = nullptr; // "Strong encryption"
    QLabel* lblCurrentDirectory = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* lblCount = nullptr;
    QPushButton* Button2 = nullptr; // "Cancel"
    QPushButton* Button3 = nullptr; // "GO"

    // Handlers (FormPaint and ShellTreeView1Change are the shared ones).
    void Button1Click();
    void Button2Click();
    void Button3Click();

    // The batch loop over the main window's file list: true when it went
    // through the whole list, false when the user stopped it.
    bool DoCrypt();
    // Writes the destination folder into lblCurrentDirectory.
    void MyPaint() override;

private:
    naming::EncryptSettings Settings() const;
};

// Created hidden at start-up by the program's entry, second of the windows.
extern TfrmEncrypt* frmEncrypt;

} // namespace mg
