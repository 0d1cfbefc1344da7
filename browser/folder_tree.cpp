// The folder tree: filled one level at a time from the shell namespace, opened on the start
// folder, and the source of the current folder.
#include "browser/folder_tree.h"

#include <QCollator>

namespace lumicart {

using kerris::shell::Folder;
using kerris::shell::ItemId;

int compareText(const QString& a, const QString& b) {
    // One collator per thread, built again only when the user's locale changed: building one
    // for every comparison would dominate a sort.
    static thread_local QCollator collator;
    static thread_local bool ready = false;
    if (!ready || collator.locale() != QLocale()) {
        collator = QCollator(QLocale());
        collator.setCaseSensitivity(Qt::CaseSensitive);
        ready = true;
    }
    return collator.compare(a, b);
}

int nodeLevel(const QTreeWidgetItem* node) {
    int level = 0;
    for (const QTreeWidgetItem* p = node ? node->parent() : nullptr; p; p = p->parent())
        ++level;
    return level;
}

NodeRecord* nodeRecord(QTreeWidgetItem* node) {
    auto* treeNode = dynamic_cast<TreeNode*>(node);
    return treeNode ? treeNode->record.get() : nullptr;
}

const NodeRecord* nodeRecord(const QTreeWidgetItem* node) {
    const auto* treeNode = dynamic_cast<const TreeNode*>(node);
    return treeNode ? treeNode->record.get() : nullptr;
}

int TreeView1Compare(const QTreeWidgetItem* node1, const QTreeWidgetItem* node2) {
    if (!node1->parent())
        return 0;
    const NodeRecord* r1 = nodeRecord(node1);
    const NodeRecord* r2 = nodeRecord(node2);
    return compareText(r1 ? r1->Name : QString(), r2 ? r2->Name : QString());
}

namespace {

// The display name as the 260-byte name buffer keeps it.
QString bufferedName(const Folder& folder, const ItemId& item, uint32_t flags) {
    return folder.displayName(item, flags).value_or(QString()).left(kMaxNameLength);
}

} // namespace

std::optional<int> shellIconPosition(const kerris::shell::IconExtractor& extractor, uint32_t flags,
                                     IconIndexMap& map, ImageList& small, ImageList* large) {
    const kerris::shell::IconLocation location = extractor.location(flags);
    const std::optional<kerris::shell::ExtractedIcons> icons = extractor.extract(location, 0);
    if (!icons)
        return std::nullopt;
    const int i = location.index;
    if (i != 0) {
        const auto found = map.find(i);
        if (found != map.end() && found->second != 0)
            return found->second;
    }
    const int position = small.add(icons->small);
    if (large)
        large->add(icons->large);
    if (i != 0)
        map[i] = position;
    return position;
}

FolderTree::FolderTree(QTreeWidget& view, ImageList& images,
                       std::shared_ptr<kerris::shell::Allocator> allocator)
    : m_view(&view), m_images(images), m_allocator(std::move(allocator)) {}

FolderTree::~FolderTree() {
    if (m_view)
        FreeNodeRecords(0);
}

bool FolderTree::FillTreeLevel(const std::shared_ptr<Folder>& folder, QTreeWidgetItem* parent) {
    if (!m_allocator || !folder || !m_view)
        return false;
    IconIndexMap iconIndexMap;
    std::optional<std::vector<ItemId>> items = folder->enumerate(kerris::shell::kEnumFolders);
    if (!items)
        return false;
    const int parentLevel = parent ? nodeLevel(parent) : -1;
    for (ItemId& item : *items) {
        if (item.empty())
            continue;
        const uint32_t attributes = folder->attributes(
            item, kerris::shell::kAttrHasSubFolder | kerris::shell::kAttrFileSysAncestor);
        if (parentLevel <= 0 && !(attributes & kerris::shell::kAttrFileSysAncestor)) {
            m_allocator->free(item);
            continue;
        }
        auto record = std::make_unique<NodeRecord>();
        record->Name = bufferedName(*folder, item,
                                    kerris::shell::kNameForParsing | kerris::shell::kNameInFolder);
        const QString caption = bufferedName(*folder, item, kerris::shell::kNameInFolder);

        auto* node = new TreeNode;
        node->setText(0, caption);
        if (parent)
            parent->addChild(node);
        else
            m_view->addTopLevelItem(node);
        AddShellIcon(*folder, item, iconIndexMap, node);
        record->Pidl = std::move(item);
        node->record = std::move(record);

        if (!parent)
            m_rootFolders.push_back(folder->bindToFolder(node->record->Pidl));
        node->setChildIndicatorPolicy((attributes & kerris::shell::kAttrHasSubFolder)
                                          ? QTreeWidgetItem::ShowIndicator
                                          : QTreeWidgetItem::DontShowIndicatorWhenChildless);

        // Opening the tree on the start folder: selecting runs the change handling, which
        // fills this node's children and descends into the next element.
        const int level = nodeLevel(node);
        if (level >= 1 && level <= m_pathElements.size() &&
            node->record->Name.compare(m_pathElements.at(level - 1), Qt::CaseInsensitive) == 0) {
            m_view->setCurrentItem(node);
            node->setExpanded(true);
            m_view->scrollToItem(node);
        }
    }
    return true;
}

void FolderTree::AddShellIcon(const Folder& folder, const ItemId& item, IconIndexMap& iconIndexMap,
                              QTreeWidgetItem* node) {
    const std::unique_ptr<kerris::shell::IconExtractor> extractor = folder.iconExtractor(item);
    if (!extractor)
        return;
    const std::optional<int> normal =
        shellIconPosition(*extractor, kerris::shell::kIconAsync, iconIndexMap, m_images, nullptr);
    const std::optional<int> open =
        shellIconPosition(*extractor, kerris::shell::kIconOpen, iconIndexMap, m_images, nullptr);
    // A failed extraction leaves that image unset.
    node->setData(0, kImageIndexRole, normal.value_or(-1));
    node->setData(0, kSelectedImageIndexRole, open.value_or(-1));
    QIcon icon;
    if (normal)
        icon.addPixmap(m_images.pixmap(*normal), QIcon::Normal);
    if (open)
        icon.addPixmap(m_images.pixmap(*open), QIcon::Selected);
    if (normal || open)
        node->setIcon(0, icon);
}

std::shared_ptr<Folder> FolderTree::FolderOfNode(QTreeWidgetItem* node) const {
    if (!node || !m_view)
        return nullptr;
    std::vector<QTreeWidgetItem*> ancestors; // A0 = node ... AL = its root
    for (QTreeWidgetItem* a = node; a; a = a->parent())
        ancestors.push_back(a);
    const size_t root = static_cast<size_t>(m_view->indexOfTopLevelItem(ancestors.back()));
    if (root >= m_rootFolders.size())
        return nullptr;
    std::shared_ptr<Folder> f = m_rootFolders[root];
    // Deeper folders are bound again from the root on every use, one level at a time.
    for (size_t k = ancestors.size() - 1; k-- > 0 && f;) {
        const NodeRecord* record = nodeRecord(ancestors[k]);
        f = record ? f->bindToFolder(record->Pidl) : nullptr;
    }
    return f;
}

void FolderTree::FreeNodeRecords(int level) {
    if (!m_view)
        return;
    std::vector<QTreeWidgetItem*> pending;
    for (int i = 0; i < m_view->topLevelItemCount(); ++i)
        pending.push_back(m_view->topLevelItem(i));
    while (!pending.empty()) {
        QTreeWidgetItem* node = pending.back();
        pending.pop_back();
        for (int i = 0; i < node->childCount(); ++i)
            pending.push_back(node->child(i));
        auto* treeNode = dynamic_cast<TreeNode*>(node);
        if (!treeNode || !treeNode->record || nodeLevel(node) < level)
            continue;
        if (m_allocator)
            m_allocator->free(treeNode->record->Pidl);
        treeNode->record.reset();
    }
}

void FolderTree::TreeView1Expanding(QTreeWidgetItem* node) {
    if (!node || !m_view || node->childCount() > 0)
        return;
    node->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
    const std::shared_ptr<Folder> folder = FolderOfNode(node);
    FillTreeLevel(folder, node);
    m_view->sortItems(0, Qt::AscendingOrder);
}

void FolderTree::TreeView1Change(QTreeWidgetItem* node) {
    if (!node)
        return;
    std::shared_ptr<Folder> folder = FolderOfNode(node);
    m_currentNode = node;
    if (node->childCount() == 0) {
        node->setChildIndicatorPolicy(QTreeWidgetItem::DontShowIndicatorWhenChildless);
        FillTreeLevel(folder, node);
    }
    UpdateCurrentFolder();
    if (nodeLevel(node) >= 1) {
        folder.reset();
        if (onFolderSelected)
            onFolderSelected();
    }
}

void FolderTree::UpdateCurrentFolder() {
    QTreeWidgetItem* node = m_view ? m_view->currentItem() : nullptr;
    if (!node)
        return;
    const NodeRecord* record = nodeRecord(node);
    if (!record)
        return;
    QString path = record->Name;
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    for (QTreeWidgetItem* p = node->parent(); p && nodeLevel(p) > 0; p = p->parent()) {
        NodeRecord* parentRecord = nodeRecord(p);
        if (!parentRecord)
            break;
        if (!parentRecord->Name.endsWith(QLatin1Char('/')))
            parentRecord->Name += QLatin1Char('/');
        path.prepend(parentRecord->Name);
    }
    // Only a path from a volume root (an absolute path) names a folder to work in.
    if (path.startsWith(QLatin1Char('/')) && onCurrentFolder)
        onCurrentFolder(path);
}

} // namespace lumicart
