#pragma once
// TfrmEncrypt: the "Encrypt Selected Files" window. The user picks a
// destination folder in the window's own tree, may create a folder there,
// chooses how the outputs are named and starts the batch with "GO": the
// passphrase is asked twice, then every selected file of the main window's
// list is encrypted into the destination, with a question before each file
// unless the user answered All.
#include "batch/OutputNaming.h"

#include <QDialog>
#include <string>

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace mg {

class TShellTreeView;

class TfrmEncrypt : public QDialog {
    Q_OBJECT
public:
    // rootFolder: the tree's desktop root; empty means the user's desktop
    // (tests pass a temporary folder).
    explicit TfrmEncrypt(const std::string& rootFolder = {}, QWidget* parent = nullptr);
    ~TfrmEncrypt() override;

    // Shows the window modally and returns its ModalResult (1 after "GO",
    // 2 after "Cancel" or Escape).
    int ShowModal();

    // Controls (owned through Qt's parent chain).
    QLabel* Label1 = nullptr;
    TShellTreeView* ShellTreeView1 = nullptr;
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
    QLabel* lblCurrentDirectory = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QLabel* lblCount = nullptr;
    QPushButton* Button2 = nullptr; // "Cancel"
    QPushButton* Button3 = nullptr; // "GO"

    // Handlers.
    void FormPaint();
    void ShellTreeView1Change();
    void Button1Click();
    void Button2Click();
    void Button3Click();

    // The batch loop over the main window's file list: true when it went
    // through the whole list, false when the user stopped it.
    bool DoCrypt();
    // Writes the destination folder into lblCurrentDirectory.
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
    void ClickButton(int modalResult, void (TfrmEncrypt::*handler)());
    void SetBatchRunning(bool running);
    void FitLabels();
    naming::EncryptSettings Settings() const;

    bool batchRunning_ = false;
    bool handlerRunning_ = false;
};

// Created hidden at start-up by the program's entry, second of the windows.
extern TfrmEncrypt* frmEncrypt;

} // namespace mg
