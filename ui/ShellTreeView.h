#pragma once
// The folder tree: folders of the desktop namespace, read lazily one node at
// a time. The root "Desktop" is the XDG desktop folder (the home folder when
// that does not exist); below it "Home", the virtual "Computer" (holding "/"
// and the mounted volumes) and the desktop folder's own sub-folders.
#include <QTreeWidget>
#include <string>

namespace mg {

class TShellTreeView : public QTreeWidget {
    Q_OBJECT
public:
    using Node = QTreeWidgetItem;

    // Builds the tree on the desktop and selects its root (changed() fires
    // inside the constructor: an owner that connects afterwards runs its
    // handler once itself).
    explicit TShellTreeView(QWidget* parent = nullptr);
    // The same with another folder standing for the desktop (tests use a
    // temporary tree).
    TShellTreeView(const std::string& rootFolder, QWidget* parent);

    // The selected folder: empty with no selection; a file-system folder's
    // full path ("/" keeps its slash); the root gives the desktop folder's
    // path; the virtual "Computer" gives its display name.
    std::string Path() const;
    // The node of the first visible row.
    Node* TopItem() const;
    Node* RootNode() const;
    // Rebuilds the node's subtree from the file system (see the .cpp).
    void RefreshNode(Node* node);
    // Paints pending changes at once.
    void RepaintNow();
    // Selects the node of a folder path (or "Computer"), reading and
    // expanding the nodes on the way; false when no node leads there.
    bool SelectPath(const std::string& path);
    // The path a node stands for, as Path() gives it for the selected node.
    static std::string NodePath(const Node* node);
    // True once the node's sub-folders have been read.
    static bool IsRead(const Node* node);

signals:
    // After every change of the selected node, including to none.
    void changed();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    QItemSelectionModel::SelectionFlags selectionCommand(const QModelIndex& index,
                                                         const QEvent* event = nullptr) const override;

private:
    void Build(const std::string& rootFolder);
    void EnsureRead(Node* node);
    void ReadChildren(Node* node);
    Node* FindByKey(Node* from, const QByteArray& key) const;

    bool quiet_ = false; // no changed() while a refresh rebuilds
};

} // namespace mg
