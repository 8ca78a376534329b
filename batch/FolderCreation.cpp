#include "batch/FolderCreation.h"

#include "ui/Dialogs.h"
#include "ui/ShellTreeView.h"
#include "viewer/murkglassmain.h"

#include <sys/stat.h>
#include <sys/types.h>

#include <exception>

namespace mg {
bool IsFileSystemFolder(const std::string& path)
{
    // Only a full path counts: a relative text such as "Computer" would
    // otherwise name a folder below the process's current directory.
    if (!IsFullPath(path))
        return false;
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

QString NoDestinationText()
{
    return QStringLiteral("Please select a destination folder");
}

QString CreateFolderFailedText(const std::string& path)
{
    return QStringLiteral("Creating Folder \"") + ShownName(path) + QStringLiteral("\" failed.");
}

bool CreateFolderAndRefresh(const std::string& path, TShellTreeView& ownTree)
{
    // Only the last part is made; the mode is narrowed by the umask.
    if (::mkdir(path.c_str(), 0777) != 0) {
        MessageDialog(CreateFolderFailedText(path), mtError, mbOK);
        return false;
    }
    try {
        ownTree.RefreshNode(ownTree.TopItem());
        ownTree.RepaintNow();
        if (frmMain)
            frmMain->RefreshTree();
    } catch (const std::exception&) {
        // The folder stays; the user learns that the trees may not show it.
        MessageDialog(CreateFolderFailedText(path), mtError, mbOK);
        return false;
    }
    return true;
}

} // namespace mg
