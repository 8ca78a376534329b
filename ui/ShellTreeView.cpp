#include "ui/ShellTreeView.h"

#include "ui/Dialogs.h"
#include "ui/FolderReader.h"

#include <QCollator>
#include <QDir>
#include <QFile>
#include <QFileIconProvider>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QSet>
#include <QStandardPaths>
#include <QStyle>

#include <algorithm>
#include <utility>
#include <vector>

namespace mg {
namespace {

enum Role { PathRole = Qt::UserRole, KindRole, ReadRole };
enum Kind { DesktopNode, HomeNode, ComputerNode, FolderNode };

const char* const kComputerName = "Computer";

std::string Bytes(const QString& localPath)
{
    QByteArray b = QFile::encodeName(localPath);
    return std::string(b.constData(), static_cast<std::size_t>(b.size()));
}

Kind KindOf(const QTreeWidgetItem* node)
{
    return static_cast<Kind>(node->data(0, KindRole).toInt());
}

std::string PathOf(const QTreeWidgetItem* node)
{
    QByteArray b = node->data(0, PathRole).toByteArray();
    return std::string(b.constData(), static_cast<std::size_t>(b.size()));
}

// The identity of a node: its kind for the named nodes; for every other
// folder its path within the branch of the nearest named node above it. So
// "Home", the desktop and "Computer" never share a node even where they lead
// to the same folder (~/Desktop/x is below the root, below "Home" and below
// "/"), and a refresh re-selects the node in the branch it was in.
QByteArray KeyOf(const QTreeWidgetItem* node)
{
    QByteArray path = node->data(0, PathRole).toByteArray();
    switch (KindOf(node)) {
    case DesktopNode:
        return "desktop:" + path;
    case HomeNode:
        return "home:" + path;
    case ComputerNode:
        return "computer:";
    case FolderNode:
        break;
    }
    const QTreeWidgetItem* branch = node->parent();
    while (branch && KindOf(branch) == FolderNode)
        branch = branch->parent();
    return (branch ? KeyOf(branch) : QByteArray()) + '>' + path;
}

QIcon FolderIcon(const QStyle* style)
{
    // A closed folder normally, an open one while selected.
    QIcon icon;
    icon.addPixmap(style->standardIcon(QStyle::SP_DirClosedIcon).pixmap(16), QIcon::Normal);
    icon.addPixmap(style->standardIcon(QStyle::SP_DirOpenIcon).pixmap(16), QIcon::Selected);
    return icon;
}

QTreeWidgetItem* MakeNode(QTreeWidgetItem* parent, Kind kind, const std::string& path, const QString& text,
                          const QIcon& icon)
{
    auto* node = new QTreeWidgetItem(parent);
    node->setText(0, text);
    node->setIcon(0, icon);
    node->setData(0, PathRole, QByteArray(path.data(), static_cast<qsizetype>(path.size())));
    node->setData(0, KindRole, static_cast<int>(kind));
    node->setData(0, ReadRole, false);
    node->setFlags(Qt::ItemIsSelectable | Qt::ItemIsEnabled);
    bool hasSubFolders = kind == ComputerNode || kind == DesktopNode || HasSubFolder(path);
    node->setChildIndicatorPolicy(hasSubFolders ? QTreeWidgetItem::ShowIndicator : QTreeWidgetItem::DontShowIndicator);
    return node;
}

bool LiesBelow(const std::string& path, const std::string& base)
{
    if (path == base)
        return true;
    if (base == "/")
        return !path.empty() && path[0] == '/';
    return path.size() > base.size() && path.compare(0, base.size(), base) == 0 && path[base.size()] == '/';
}

void CollectExpanded(const QTreeWidgetItem* node, QSet<QByteArray>& expanded)
{
    if (!node->isExpanded())
        return;
    expanded.insert(KeyOf(node));
    for (int i = 0; i < node->childCount(); ++i)
        CollectExpanded(node->child(i), expanded);
}

} // namespace

TShellTreeView::TShellTreeView(QWidget* parent) : QTreeWidget(parent)
{
    QString desktop = QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    if (desktop.isEmpty() || !QFileInfo(desktop).isDir())
        desktop = QDir::homePath();
    Build(Bytes(desktop));
}

TShellTreeView::TShellTreeView(const std::string& rootFolder, QWidget* parent) : QTreeWidget(parent)
{
    Build(rootFolder);
}

void TShellTreeView::Build(const std::string& rootFolder)
{
    setColumnCount(1);
    setHeaderHidden(true);
    setRootIsDecorated(false);
    setIndentation(19);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setUniformRowHeights(true);
    connect(this, &QTreeWidget::itemExpanded, this, [this](QTreeWidgetItem* node) { EnsureRead(node); });
    connect(this, &QTreeWidget::currentItemChanged, this, [this] {
        if (!quiet_)
            emit changed();
    });

    QFileIconProvider icons;
    auto* root =
        MakeNode(nullptr, DesktopNode, rootFolder, QStringLiteral("Desktop"), icons.icon(QFileIconProvider::Desktop));
    addTopLevelItem(root);
    EnsureRead(root);
    root->setExpanded(true);
    setCurrentItem(root);
}

// Reads a node's sub-folders the first time it is needed; one node only.
void TShellTreeView::EnsureRead(Node* node)
{
    if (!node || IsRead(node))
        return;
    BusyCursorScope busy;
    node->setData(0, ReadRole, true);
    ReadChildren(node);
    if (node->childCount() == 0)
        node->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicator);
}

void TShellTreeView::ReadChildren(Node* node)
{
    QFileIconProvider icons;
    std::string path = PathOf(node);
    Kind kind = KindOf(node);
    if (kind == DesktopNode) {
        MakeNode(node, HomeNode, Bytes(QDir::homePath()), QStringLiteral("Home"),
                 style()->standardIcon(QStyle::SP_DirHomeIcon));
        MakeNode(node, ComputerNode, kComputerName, QString::fromLatin1(kComputerName),
                 icons.icon(QFileIconProvider::Computer));
    }
    if (kind == ComputerNode) {
        QIcon drive = icons.icon(QFileIconProvider::Drive);
        MakeNode(node, FolderNode, "/", QStringLiteral("/"), drive);
        for (const std::string& volume : MountedVolumes())
            MakeNode(node, FolderNode, volume, ShownName(volume.substr(volume.rfind('/') + 1)), drive);
        return;
    }
    // Sub-folders in the order a file manager shows them: case ignored,
    // numbers by value; names equal that way by their bytes.
    std::vector<std::pair<QString, std::string>> entries;
    for (std::string& name : ReadSubFolders(path))
        entries.emplace_back(ShownName(name), std::move(name));
    // The "C" locale compares plain code points; a file manager's order needs
    // a real collation, so English stands in for it.
    QLocale locale;
    if (locale.language() == QLocale::C)
        locale = QLocale(QLocale::English, QLocale::UnitedStates);
    QCollator collator(locale);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    std::sort(entries.begin(), entries.end(), [&](const auto& a, const auto& b) {
        int c = collator.compare(a.first, b.first);
        return c != 0 ? c < 0 : a.second < b.second;
    });
    QIcon folder = FolderIcon(style());
    for (const auto& [text, name] : entries)
        MakeNode(node, FolderNode, JoinFolder(path, name), text, folder);
}

std::string TShellTreeView::NodePath(const Node* node)
{
    if (!node)
        return {};
    return PathOf(node); // the virtual Computer holds its display name
}

bool TShellTreeView::IsRead(const Node* node)
{
    return node && node->data(0, ReadRole).toBool();
}

std::string TShellTreeView::Path() const
{
    return NodePath(currentItem());
}

TShellTreeView::Node* TShellTreeView::TopItem() const
{
    return itemAt(QPoint(1, 1));
}

TShellTreeView::Node* TShellTreeView::RootNode() const
{
    return topLevelItem(0);
}

TShellTreeView::Node* TShellTreeView::FindByKey(Node* from, const QByteArray& key) const
{
    if (!from)
        return nullptr;
    if (KeyOf(from) == key)
        return from;
    for (int i = 0; i < from->childCount(); ++i)
        if (Node* found = FindByKey(from->child(i), key))
            return found;
    return nullptr;
}

// Rebuilds the node's subtree from the file system: the sub-folders are read
// again, folders that were expanded below it and still exist are expanded
// again, the selected folder is selected again wherever its node now is
// (changed() fires for it; no selection when it has no node any more), and
// the top visible node comes back when it still exists. Nothing is painted
// until the rebuild is done. A node whose folder is gone is left alone.
void TShellTreeView::RefreshNode(Node* node)
{
    if (!node || (KindOf(node) != ComputerNode && !IsFolder(PathOf(node))))
        return;
    Node* selected = currentItem();
    bool hadSelection = selected != nullptr;
    QByteArray selectedKey = hadSelection ? KeyOf(selected) : QByteArray();
    Node* top = TopItem();
    QByteArray topKey = top ? KeyOf(top) : QByteArray();
    QSet<QByteArray> expanded;
    CollectExpanded(node, expanded);

    BusyCursorScope busy;
    setUpdatesEnabled(false);
    quiet_ = true;
    const auto children = node->takeChildren();
    qDeleteAll(children);
    node->setData(0, ReadRole, false);
    const bool named = KindOf(node) == DesktopNode || KindOf(node) == ComputerNode;
    node->setChildIndicatorPolicy(!named && !HasSubFolder(PathOf(node)) ? QTreeWidgetItem::DontShowIndicator
                                                                        : QTreeWidgetItem::ShowIndicator);
    // Expanding a node reads it; its children are then looked at in turn.
    std::vector<Node*> pending{node};
    while (!pending.empty()) {
        Node* n = pending.back();
        pending.pop_back();
        if (!expanded.contains(KeyOf(n)))
            continue;
        EnsureRead(n);
        n->setExpanded(true);
        for (int i = 0; i < n->childCount(); ++i)
            pending.push_back(n->child(i));
    }

    Node* again = hadSelection ? FindByKey(RootNode(), selectedKey) : nullptr;
    if (again) {
        setCurrentItem(again);
    } else {
        clearSelection();
        selectionModel()->clearCurrentIndex();
    }
    if (Node* newTop = topKey.isEmpty() ? nullptr : FindByKey(RootNode(), topKey))
        scrollToItem(newTop, QAbstractItemView::PositionAtTop);
    quiet_ = false;
    setUpdatesEnabled(true);
    if (hadSelection)
        emit changed();
}

void TShellTreeView::RepaintNow()
{
    viewport()->repaint();
    repaint();
}

bool TShellTreeView::SelectPath(const std::string& wanted)
{
    std::string path = wanted;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    Node* root = RootNode();
    if (!root)
        return false;
    EnsureRead(root);
    Node* computer = nullptr;
    std::vector<Node*> bases{root};
    for (int i = 0; i < root->childCount(); ++i) {
        Node* child = root->child(i);
        if (KindOf(child) == HomeNode)
            bases.push_back(child);
        if (KindOf(child) == ComputerNode)
            computer = child;
    }
    Node* start = nullptr;
    if (computer && path == kComputerName) {
        start = computer;
    } else {
        if (computer) {
            EnsureRead(computer);
            for (int i = 0; i < computer->childCount(); ++i)
                bases.push_back(computer->child(i));
        }
        // The deepest starting folder that holds the path.
        std::size_t best = 0;
        for (Node* base : bases) {
            std::string basePath = PathOf(base);
            if (LiesBelow(path, basePath) && (!start || basePath.size() > best)) {
                start = base;
                best = basePath.size();
            }
        }
    }
    if (!start)
        return false;
    Node* node = start;
    std::string at = PathOf(start);
    std::size_t pos = (KindOf(start) == ComputerNode) ? path.size() : at.size();
    while (pos < path.size()) {
        std::size_t begin = path.find_first_not_of('/', pos);
        if (begin == std::string::npos)
            break;
        std::size_t end = path.find('/', begin);
        if (end == std::string::npos)
            end = path.size();
        at = JoinFolder(at, path.substr(begin, end - begin));
        pos = end;
        EnsureRead(node);
        Node* next = nullptr;
        for (int i = 0; i < node->childCount() && !next; ++i)
            if (KindOf(node->child(i)) == FolderNode && PathOf(node->child(i)) == at)
                next = node->child(i);
        if (!next)
            return false;
        node = next;
    }
    for (Node* p = node->parent(); p; p = p->parent())
        p->setExpanded(true);
    setCurrentItem(node);
    scrollToItem(node);
    return true;
}

// There is always one selected node once the user has picked one: Ctrl+click
// and Ctrl+Space, which would deselect the current node in a Qt tree, select
// it instead, and a click beside the nodes changes nothing. So the current
// path always names the node shown selected.
QItemSelectionModel::SelectionFlags TShellTreeView::selectionCommand(const QModelIndex& index,
                                                                     const QEvent* event) const
{
    if (!index.isValid())
        return QItemSelectionModel::NoUpdate;
    const QItemSelectionModel::SelectionFlags flags = QTreeWidget::selectionCommand(index, event);
    if (flags & (QItemSelectionModel::Deselect | QItemSelectionModel::Toggle))
        return QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows;
    return flags;
}

// Moving the mouse with the left button held selects nothing: a tree
// selects by click and key only, so a drag does not select (and read) every
// folder it passes over.
void TShellTreeView::mouseMoveEvent(QMouseEvent* event)
{
    if (event->buttons() & Qt::LeftButton) {
        event->accept();
        return;
    }
    QTreeWidget::mouseMoveEvent(event);
}

// "*" would expand every level below the node at once, reading the whole
// subtree (all of "/", or for ever through a link back to an ancestor); here
// it expands the node one level, as "+" does, so folders are still read one
// node at a time.
void TShellTreeView::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Asterisk) {
        if (Node* node = currentItem())
            node->setExpanded(true);
        event->accept();
        return;
    }
    QTreeWidget::keyPressEvent(event);
}

// A right click selects the node under the mouse, as a left click does.
void TShellTreeView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() == Qt::RightButton) {
        if (Node* node = itemAt(event->position().toPoint()))
            setCurrentItem(node);
        event->accept();
        return;
    }
    QTreeWidget::mousePressEvent(event);
}

} // namespace mg
