#pragma once
// BatchWindow: what the encrypt and decrypt windows have in common. Each
// has its own tree for the destination folder, a few buttons whose clicks
// set the window's ModalResult and run a handler, a batch during which those
// buttons, Escape and the close box take no effect, and labels that size
// themselves to their texts.
#include "batch/OutputNaming.h"

#include <QDialog>
#include <QSize>
#include <functional>
#include <string>
#include <vector>

class QLabel;
class QPushButton;
class QRect;

namespace mg {

class TShellTreeView;

class BatchWindow : public QDialog {
    Q_OBJECT
public:
    // Shows the window modally and returns its ModalResult (1 after the
    // button that starts the batch, 2 after "Cancel" or Escape).
    int ShowModal();
    ~BatchWindow() override;

    // The destination tree (owned through Qt's parent chain).
    TShellTreeView* ShellTreeView1 = nullptr;

    // Handlers shared by both windows: both bring the labels up to date.
    void FormPaint();
    void ShellTreeView1Change();
    // Writes the destination folder (and what else the window shows of its
    // state) into the labels.
    virtual void MyPaint() = 0;

    // True while a batch runs. The window's buttons, Escape and the close
    // box take no effect then, nor while another button's handler runs.
    bool BatchRunning() const { return batchRunning_; }

    // The clock the naming rules read (tests fix it).
    naming::Clock Clock = naming::ReadLocalClock;

protected:
    using Handler = std::function<void()>;

    // A fixed-size tool window at its default place; the controls are made
    // by the derived window.
    BatchWindow(QWidget* parent, Qt::WindowFlags extraFlags, const char* name, const QString& title, QSize size,
                QPoint position);

    // The destination tree at its layout place; rootFolder is its desktop
    // root, empty for the user's desktop.
    void MakeTree(const std::string& rootFolder, const QRect& geometry);
    // A button's click runs handler through ClickButton; the button is
    // disabled while a batch runs. The handler of the button whose result
    // is Cancel is also the one Escape runs.
    void ConnectButton(QPushButton* button, int modalResult, Handler handler);
    // Ends the construction once every control exists: the labels that size
    // themselves, the captions that may widen the window, the tree's change
    // handler, and the labels written for the tree's first selection.
    void FinishControls(std::vector<QLabel*> fitted, std::vector<QWidget*> captions);

    // "CurrentDir = " and the destination from its "Desktop" on.
    void ShowDestination(QLabel* label);
    // The check before a batch: with no file-system folder selected, the
    // message is shown, the window's result reset so that it stays open, and
    // false returned.
    bool DestinationChosen();
    // Asks "<question> \"<folder>/<name>\" ?" and creates that folder in the
    // tree's selected folder, which must be a file-system folder.
    void AskAndCreateFolder(const QString& name, const QString& question);

    // Marks a batch as running from construction to destruction, also when
    // an error ends it; the window's buttons are disabled meanwhile.
    class BatchRun {
    public:
        explicit BatchRun(BatchWindow& window);
        ~BatchRun();
        BatchRun(const BatchRun&) = delete;
        BatchRun& operator=(const BatchRun&) = delete;

    private:
        BatchWindow& window_;
    };

    bool event(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    // A button's click: the window's result is set to the button's
    // ModalResult first, then the handler runs; when it returns (or an error
    // ends it, after the error report) a non-zero result closes the window.
    void ClickButton(int modalResult, const Handler& handler);
    void SetBatchRunning(bool running);
    void FitLabels();

    QSize designed_;
    std::vector<QPushButton*> buttons_;
    Handler cancel_;
    std::vector<QLabel*> fitted_;
    std::vector<QWidget*> captions_;
    bool batchRunning_ = false;
    bool handlerRunning_ = false;
};

} // namespace mg
