// The folder tree's nodes: each holds the item's parsing name and identifier; their order.
#pragma once

#include "platform/shell/shell.h"

#include <QString>
#include <QTreeWidgetItem>

#include <map>
#include <memory>

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

} // namespace lumicart
