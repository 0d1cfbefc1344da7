// The folder tree: filled one level at a time from the shell namespace, opened on the start
// folder, and the source of the current folder; its nodes, their records and their order.
#pragma once

#include "browser/image_list.h"
#include "platform/shell/shell.h"

#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTreeWidget>
#include <QTreeWidgetItem>

#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace lumicart {

// One per tree node: the item's parsing name relative to its parent folder (at most 259
// characters) and its identifier relative to that folder.
struct NodeRecord {
    QString Name;
    kerris::shell::ItemId Pidl;
};

// A map from a shell icon index to an image-list position, for one fill; 0 counts as absent.
using IconIndexMap = std::map<int, int>;

// Data roles of the images a node or list item was given (image-list positions, -1 for none).
inline constexpr int kImageIndexRole = Qt::UserRole + 1;
inline constexpr int kSelectedImageIndexRole = Qt::UserRole + 2;

// The longest parsing name a node keeps, as the 260-byte name buffer allows.
inline constexpr int kMaxNameLength = 259;

// The order of two nodes: a root node compares equal to everything, so that roots keep the
// order in which they were added; other nodes compare their names, locale-aware and
// case-sensitively. Negative, 0 or positive.
int TreeView1Compare(const QTreeWidgetItem* node1, const QTreeWidgetItem* node2);

// A tree node owning its record.
class TreeNode : public QTreeWidgetItem {
public:
    TreeNode() = default;
    std::unique_ptr<NodeRecord> record;
    bool operator<(const QTreeWidgetItem& other) const override {
        return TreeView1Compare(this, &other) < 0;
    }
};

// The level of a node: 0 for a root node.
int nodeLevel(const QTreeWidgetItem* node);

// The record of a node, or null.
NodeRecord* nodeRecord(QTreeWidgetItem* node);
const NodeRecord* nodeRecord(const QTreeWidgetItem* node);

// Locale-aware, case-sensitive comparison of two texts (the user's locale).
int compareText(const QString& a, const QString& b);

// The icon step the tree and the list share: the image position of the icon at the extractor's
// location for `flags`, adding the small icon to `small` (and the large one to `large`, when
// given) unless `map` already holds a non-zero position for its non-zero icon index. nullopt
// when the icon cannot be extracted.
std::optional<int> shellIconPosition(const kerris::shell::IconExtractor& extractor, uint32_t flags,
                                     IconIndexMap& map, ImageList& small, ImageList* large);

// The tree of folders over a tree widget (TreeView1) and its image list (ImageListTreeView).
// It owns the roots' folder objects and gives every identifier it takes back through the
// allocator; what the window must do in turn it reports through the callbacks.
class FolderTree {
public:
    // Without an allocator nothing is ever filled.
    FolderTree(QTreeWidget& view, ImageList& images,
               std::shared_ptr<kerris::shell::Allocator> allocator);
    // Gives back the identifiers of the nodes still in the view.
    ~FolderTree();
    FolderTree(const FolderTree&) = delete;
    FolderTree& operator=(const FolderTree&) = delete;

    // The selected node names a folder to work in (an absolute path ending in "/").
    std::function<void(const QString& folder)> onCurrentFolder;
    // A node below the roots became current: the list is to read its folder once the running
    // event is done.
    std::function<void()> onFolderSelected;

    // The start folder's elements (drive root first) that the fills descend along.
    void setPathElements(const QStringList& elements) { m_pathElements = elements; }
    const QStringList& pathElements() const { return m_pathElements; }
    // One folder object per root node, in root order; an entry is null when its bind failed.
    const std::vector<std::shared_ptr<kerris::shell::Folder>>& rootFolders() const {
        return m_rootFolders;
    }
    // Releases the roots' folder objects (the window's destruction).
    void releaseRootFolders() { m_rootFolders.clear(); }
    // The node last selected, or null.
    QTreeWidgetItem* currentNode() const { return m_currentNode; }

    // Adds the sub-folders of `folder` under `parent`, or as roots when it is null; false when
    // there is no allocator or folder, or the folder cannot be enumerated.
    bool FillTreeLevel(const std::shared_ptr<kerris::shell::Folder>& folder,
                       QTreeWidgetItem* parent);
    // The folder object of a node, bound again from its root; null when a bind fails.
    std::shared_ptr<kerris::shell::Folder> FolderOfNode(QTreeWidgetItem* node) const;
    // Frees the record of every node at `level` or deeper; the nodes stay.
    void FreeNodeRecords(int level);
    // Sets a node's normal and open images from the item's icons.
    void AddShellIcon(const kerris::shell::Folder& folder, const kerris::shell::ItemId& item,
                      IconIndexMap& iconIndexMap, QTreeWidgetItem* node);
    void TreeView1Expanding(QTreeWidgetItem* node);
    void TreeView1Change(QTreeWidgetItem* node);
    // Reports the selected node's path through onCurrentFolder when it is absolute.
    void UpdateCurrentFolder();

private:
    QPointer<QTreeWidget> m_view;
    ImageList& m_images;
    std::shared_ptr<kerris::shell::Allocator> m_allocator;
    std::vector<std::shared_ptr<kerris::shell::Folder>> m_rootFolders;
    QTreeWidgetItem* m_currentNode = nullptr;
    QStringList m_pathElements;
};

} // namespace lumicart
