// Deleting the selected files of the main file list, after a question per
// file or one answer for all of them. Files are erased for good.
#include "viewer/murkglassmain.h"

#include "base/Error.h"
#include "ui/Dialogs.h"

#include <QStatusBar>
#include <cerrno>
#include <cstdio>
#include <unistd.h>

namespace mg {
namespace {

// Erases one file by its byte path. Throws mg::Error with the system's
// message: "File not found", "Invalid filename", "File access denied" or
// "I/O error %d".
void EraseFile(const std::string& path)
{
    if (::unlink(path.c_str()) != 0)
        throw Error(FileErrorMessage(errno));
}

} // namespace

void TfrmMain::DeleteSelectedFiles()
{
    int selected = 0;
    for (int i = 0; i < FileListBox1->Count(); ++i)
        if (FileListBox1->Selected(i))
            ++selected;
    if (selected < 1) {
        MessageDialog(QStringLiteral("No files selected for deletion!"), mtWarning, mbOK);
        return;
    }

    RememberedAnswer answer;
    int firstIndex = -1;
    const int count = FileListBox1->Count();
    for (int i = 0; i < count; ++i) {
        if (!FileListBox1->Selected(i))
            continue;
        // The file as the list shows it, in the list's own folder.
        const std::string path = FileListBox1->ItemPath(i);
        if (firstIndex < 0)
            firstIndex = i;
        answer.AskUnlessAll([&] {
            return MessageDialog(QStringLiteral("Delete: ") + QuotedName(path), mtConfirmation,
                                 selected == 1 ? mbYesNo : mbYesNoCancelAll);
        });
        if (answer.Cancelled())
            return; // the rest stay, the list is not re-read
        if (answer.Proceeds()) {
            ProcessPendingEvents();
            StatusBar1->show();
            SetStatusText(QStringLiteral("Deleting ") + QuotedName(path));
            EraseFile(path);
        }
    }

    DropPrefetched();
    FileListBox1->Update();
    // A huge folder is still being read here; the list moves the caret when
    // it is done (an index past the end leaves no current item).
    if (firstIndex >= 0)
        FileListBox1->SetItemIndex(firstIndex);
    SetStatusText(QStringLiteral("Ready"));
}

} // namespace mg
