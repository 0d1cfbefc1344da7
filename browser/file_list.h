// The file list's items: each holds the file's full path; their order.
#pragma once

#include <QString>
#include <QTreeWidgetItem>

#include <memory>

namespace lumicart {

// One per list item: the file's full path without surrounding blanks.
struct ItemRecord {
    QString Path;
};

// Columns of the list.
enum FileListColumn { kColumnName = 0, kColumnSize = 1, kColumnType = 2, kColumnDate = 3 };

// The order of two items: both with records compare their captions, locale-aware and
// case-sensitively; otherwise they are equal.
int ListView1Compare(const QTreeWidgetItem* item1, const QTreeWidgetItem* item2);

// A list item owning its record.
class FileItem : public QTreeWidgetItem {
public:
    // Captions are edited in place.
    FileItem() { setFlags(flags() | Qt::ItemIsEditable); }
    std::unique_ptr<ItemRecord> record;
    bool operator<(const QTreeWidgetItem& other) const override {
        return ListView1Compare(this, &other) < 0;
    }
};

ItemRecord* itemRecord(QTreeWidgetItem* item);

} // namespace lumicart
