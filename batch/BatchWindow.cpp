#include "batch/BatchWindow.h"

#include "batch/BatchControls.h"
#include "batch/FolderCreation.h"
#include "ui/Dialogs.h"
#include "ui/ShellTreeView.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>

namespace mg {

BatchWindow::BatchWindow(QWidget* parent, Qt::WindowFlags extraFlags, const char* name, const QString& title,
                         QSize size, QPoint position)
    : QDialog(parent, Qt::Tool | Qt::CustomizeWindowHint | Qt::WindowTitleHint | extraFlags), designed_(size)
{
    setObjectName(QString::fromLatin1(name));
    setWindowTitle(title);
    setFont(WindowFont());
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    setFixedSize(size);
    move(position);
}

BatchWindow::~BatchWindow()
{
    // The derived window's labels are gone: a change of the tree while its
    // children are deleted no longer reaches MyPaint.
    if (ShellTreeView1)
        ShellTreeView1->disconnect(this);
}

void BatchWindow::MakeTree(const std::string& rootFolder, const QRect& geometry)
{
    ShellTreeView1 = rootFolder.empty() ? new TShellTreeView(this) : new TShellTreeView(rootFolder, this);
    ShellTreeView1->setObjectName(QStringLiteral("ShellTreeView1"));
    ShellTreeView1->setGeometry(geometry);
}

void BatchWindow::ConnectButton(QPushButton* button, int modalResult, Handler handler)
{
    buttons_.push_back(button);
    if (modalResult == mrCancel)
        cancel_ = handler;
    connect(button, &QPushButton::clicked, this,
            [this, modalResult, handler = std::move(handler)] { ClickButton(modalResult, handler); });
}

void BatchWindow::FinishControls(std::vector<QLabel*> fitted, std::vector<QWidget*> captions)
{
    fitted_ = std::move(fitted);
    captions_ = std::move(captions);
    connect(ShellTreeView1, &TShellTreeView::changed, this, [this] { ShellTreeView1Change(); });
    // The tree selected its root before the connection existed.
    ShellTreeView1Change();
    batch::FitCaptions(this, designed_, captions_);
}

int BatchWindow::ShowModal()
{
    // Nothing tells the tree about changes on disk, so each showing reads
    // the folders again to pick up what other programs (or the other
    // window) made or removed. The selection stays.
    ShellTreeView1->RefreshNode(ShellTreeView1->RootNode());
    MyPaint();
    setResult(mrNone);
    return ShowModalWindow(*this);
}

void BatchWindow::ClickButton(int modalResult, const Handler& handler)
{
    if (handlerRunning_ || batchRunning_)
        return;
    handlerRunning_ = true;
    setResult(modalResult);
    try {
        handler();
    } catch (...) {
        batch::ReportHandlerError(std::current_exception());
    }
    handlerRunning_ = false;
    if (result() != mrNone)
        done(result());
}

void BatchWindow::FormPaint()
{
    MyPaint();
}

void BatchWindow::ShellTreeView1Change()
{
    MyPaint();
}

void BatchWindow::ShowDestination(QLabel* label)
{
    const std::string path = batch::CutAtDesktop(ShellTreeView1->Path());
    batch::SetLabelText(label, QStringLiteral("CurrentDir = ") + ShownName(path));
}

bool BatchWindow::DestinationChosen()
{
    // No batch into an empty or virtual destination; the window stays open
    // so that a folder can be picked.
    if (IsFileSystemFolder(ShellTreeView1->Path()))
        return true;
    PlainMessage(NoDestinationText());
    setResult(mrNone);
    return false;
}

void BatchWindow::AskAndCreateFolder(const QString& name, const QString& question)
{
    const std::string folder = ShellTreeView1->Path();
    if (!IsFileSystemFolder(folder)) {
        PlainMessage(NoDestinationText());
        return;
    }
    const std::string path = folder + "/" + batch::FileNameBytes(name);
    if (MessageDialog(question + QStringLiteral(" \"") + ShownName(path) + QStringLiteral("\" ?"), mtConfirmation,
                      mbYesNo)
        != mrYes)
        return;
    CreateFolderAndRefresh(path, *ShellTreeView1);
}

void BatchWindow::SetBatchRunning(bool running)
{
    batchRunning_ = running;
    for (QPushButton* button : buttons_)
        button->setEnabled(!running);
}

BatchWindow::BatchRun::BatchRun(BatchWindow& window) : window_(window)
{
    window_.SetBatchRunning(true);
}

BatchWindow::BatchRun::~BatchRun()
{
    window_.SetBatchRunning(false);
}

void BatchWindow::FitLabels()
{
    for (QLabel* label : fitted_)
        batch::FitLabel(label);
}

bool BatchWindow::event(QEvent* event)
{
    // A label's new text asks its parent for a layout; having none, the
    // window sizes its labels to their texts here.
    if (event->type() == QEvent::LayoutRequest)
        FitLabels();
    return QDialog::event(event);
}

void BatchWindow::showEvent(QShowEvent* event)
{
    FitLabels();
    batch::FitCaptions(this, designed_, captions_);
    QDialog::showEvent(event);
}

void BatchWindow::paintEvent(QPaintEvent* event)
{
    QDialog::paintEvent(event);
    FormPaint();
}

void BatchWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        if (cancel_)
            ClickButton(mrCancel, cancel_); // ignored while a batch runs
        return;
    }
    QDialog::keyPressEvent(event);
}

void BatchWindow::closeEvent(QCloseEvent* event)
{
    // The close box (or, without one, the window manager) ends the showing
    // like Cancel, except while a batch or another handler runs.
    if (handlerRunning_ || batchRunning_) {
        event->ignore();
        return;
    }
    event->accept();
    done(mrCancel);
}

} // namespace mg
