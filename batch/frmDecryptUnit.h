#pragma once
// TfrmDecrypt: the "Decrypt Selected Files" window. The user picks a
// destination folder in the window's own tree, may create a folder there,
// chooses the output naming and starts the batch with "Decrypt": the
// passphrase is asked once, then every selected file of the main window's
// list is decrypted into the destination, with a question before each file
// unless the user answered All. Only outputs that read as JPEG pictures are
// written.
#include "batch/OutputNaming.h"

#include <QDialog>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace mg {

class TShellTreeView;

class TfrmDecrypt : public QDialog {
    Q_OBJECT
public:
    // rootFolder: the tree's desktop root; empty means the user's desktop
    // (tests pass a temporary folder).
    explicit TfrmDecrypt(const std::string& rootFolder = {}, QWidget* parent = nullptr);
    ~TfrmDecrypt() override;

    // Shows the window modally and returns its ModalResult (1 after
    // "Decrypt", 2 after "Cancel", Escape or the close box).
    int ShowModal();

    // Controls (owned through Qt's parent chain).
    QLabel* Label1 = nullptr;
    TShellTreeView* ShellTreeView1 = nullptr;
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

    // Handlers.
    void FormPaint();
    void ShellTreeView1Change();
    void cmdCreateFolderClick();
    void CancelClick();
    void cmdGoClick();

    // The batch loop over the main window's file list: true when it went
    // through the whole list, false when the user stopped it.
    bool DecryptFiles();
    // Writes the destination folder and the selected count into the labels.
    void MyPaint();

    // True while a batch runs. The window's buttons, Escape and the close
    // box take no effect then, nor while another button's handler runs.
    bool BatchRunning() const { return batchRunning_; }

    // The clock the naming rules read (tests fix it).
    naming::Clock Clock = naming::ReadLocalClock;

protected:
    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // A button's click: the window's result is set to the button's
    // ModalResult first, then the handler runs; when it returns (or an error
    // ends it, after the error report) a non-zero result closes the window.
    void ClickButton(int modalResult, void (TfrmDecrypt::*handler)());
    void SetBatchRunning(bool running);
    void FitLabels();
    naming::DecryptSettings Settings() const;

    bool batchRunning_ = false;
    bool handlerRunning_ = false;
};

// Created hidden at start-up by the program's entry, third of the windows.
extern TfrmDecrypt* frmDecrypt;

} // namespace mg
