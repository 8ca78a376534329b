// Opening the file or folder named on the command line, as a file manager's
// "Open With" does: the tree and the list move there, and a file is shown.
#include "viewer/murkglassmain.h"

#include "ui/Dialogs.h"

#include <QAction>
#include <cerrno>
#include <cstring>
#include <sys/stat.h>

namespace mg {

void TfrmMain::OpenStartPath(const std::string& path)
{
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        const int error = errno;
        ErrorReport(
            QStringLiteral("Cannot open ") + QuotedName(path) + QStringLiteral(": ")
            + (error == ENOENT ? QStringLiteral("File not found") : QString::fromLocal8Bit(std::strerror(error))));
        return;
    }
    const bool folder = S_ISDIR(info.st_mode);
    const std::size_t slash = path.rfind('/');
    std::string directory = folder ? path : path.substr(0, slash == 0 ? 1 : slash);
    const std::string name = folder ? std::string() : path.substr(slash + 1);

    // The tree leads and the list follows it, so every command acts on the
    // folder both of them show. A folder the tree leaves out is not opened
    // behind its back.
    if (!ShellTreeView1->SelectPath(directory) || ShellTreeView1->Path() != directory) {
        ErrorReport(QStringLiteral("Cannot open ") + QuotedName(path)
                    + QStringLiteral(": its folder is not in the folder tree (hidden folders are left out)"));
        return;
    }
    if (folder) {
        FileListBox1->setFocus();
        return;
    }
    if (FileListBox1->Reading()) {
        // A huge folder is read on a worker thread: the file is chosen once
        // it is listed, unless the list has started another read by then.
        connect(
            FileListBox1, &TFileListBox::folderRead, this,
            [this, path, name, read = FileListBox1->ReadCount()] {
                if (FileListBox1->ReadCount() == read)
                    SelectStartFile(path, name);
            },
            Qt::SingleShotConnection);
        return;
    }
    SelectStartFile(path, name);
}

void TfrmMain::SelectStartFile(const std::string& path, const std::string& name)
{
    int index = -1;
    for (int i = 0; i < FileListBox1->Count() && index < 0; ++i)
        if (FileListBox1->Items(i) == name)
            index = i;
    if (index < 0) {
        ErrorReport(QStringLiteral("Cannot open ") + QuotedName(path) + QStringLiteral(": not in the file list"));
        return;
    }
    FileListBox1->SetItemIndex(index);
    FileListBox1->SetSelected(index, true);
    FileListBox1->setFocus();
    FileListBox1Click();
}

} // namespace mg
