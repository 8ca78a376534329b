#pragma once
// Destination folder creation, shared by the encrypt and decrypt windows,
// and the check that a window's tree names a folder a batch can write into.
#include "ui/FolderReader.h"

#include <QString>
#include <string>

namespace mg {

class TShellTreeView;

// True when path names an existing folder of the file system by its full
// path. An empty path (no selected node) and a virtual folder's display name
// ("Computer") are not such folders.
bool IsFileSystemFolder(const std::string& path);

// The message shown when "GO" or "Decrypt" finds no such folder selected.
QString NoDestinationText();

// "Creating Folder \"path\" failed."
QString CreateFolderFailedText(const std::string& path);

// Creates the one folder at path (its parent must exist; mode 0777 less the
// umask). On failure shows the failure message and returns false; the trees
// are left alone. On success refreshes the window's own tree (RefreshNode on
// its top visible node, then an immediate repaint) and then the main
// window's tree; an error during either refresh shows the failure message
// and skips the rest. Neither tree is made to select the new folder.
bool CreateFolderAndRefresh(const std::string& path, TShellTreeView& ownTree);

} // namespace mg
