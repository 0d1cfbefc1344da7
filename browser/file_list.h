// The file list: the pictures of a folder with icons, sizes, types and dates; the selection,
// in-place rename and deletion to the Trash; its items, their records and their order.
#pragma once

#include "browser/folder_tree.h"
#include "browser/image_list.h"
#include "browser/user_interface.h"
#include "platform/shell/shell.h"

#include <QList>
#include <QString>
#include <QTreeWidget>
#include <QTreeWidgetItem>

#include <cstdint>
#include <functional>
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

// The list of picture files over a tree widget (ListView1) and its two image lists
// (ImageListListViewSmall and ImageListListViewLarge, filled together). It gives every
// identifier it takes back through the allocator, asks the user through `ui` (boxes owned by
// the view's window), and reports what the window must do through the callbacks.
class FileList {
public:
    // Sets up the view's columns. Without an allocator nothing is ever filled.
    FileList(QTreeWidget& view, ImageList& small, ImageList& large,
             std::shared_ptr<kerris::shell::Allocator> allocator, UserInterface& ui);
    FileList(const FileList&) = delete;
    FileList& operator=(const FileList&) = delete;

    // The picture at this path is to be shown in the preview.
    std::function<void(const QString& path)> onPreview;
    // An item was deselected: the preview shows nothing.
    std::function<void()> onPreviewCleared;
    // "Rename", "Delete" and "Create AVI Files" are to be enabled (true) or disabled.
    std::function<void(bool usable)> onSelectionCommands;
    // A numbered entry of the message table is to be shown.
    std::function<void(int entry)> onMessage;
    // The list is to read the current folder again (a double-click while it lacks the focus).
    std::function<void()> onRefresh;
    // The focus is to move off the list, so that the deletion's selection changes preview nothing.
    std::function<void()> onLeaveFocus;

    // The items the last usable CollectSelection found, in list order.
    const QList<QTreeWidgetItem*>& SelectedItems() const { return m_selectedItems; }
    // The bytes of their paths each with its terminator (the double-null list without its end).
    int32_t SelectedPathBytes() const { return m_selectedPathBytes; }

    // Appends the folder's picture files; false when there is no allocator or folder, or the
    // folder cannot be enumerated.
    bool FillFileList(const std::shared_ptr<kerris::shell::Folder>& folder);
    // Frees every record, removes every item and empties SelectedItems.
    void ClearFileList();
    // Empties both image lists and the list, then fills it from `folder` (null: stays empty).
    void RefreshFileList(const std::shared_ptr<kerris::shell::Folder>& folder);
    // True when the list has the focus and every selected item was collected.
    bool CollectSelection();
    void DeleteSelection();
    void ListView1DblClick();
    void ListView1SelectItem(QTreeWidgetItem* item, bool selected);
    void ListView1Edited(QTreeWidgetItem* item, const QString& text);
    // `editing`: an in-place edit is open, whose keys are its own.
    void ListView1KeyDown(int key, bool editing);
    void PopupMenu1Popup();
    void Rename1Click();
    void Delete1Click();

private:
    void addListIcon(const kerris::shell::Folder& folder, const kerris::shell::ItemId& item,
                     IconIndexMap& iconIndexMap, QTreeWidgetItem* listItem);
    QTreeWidgetItem* firstSelectedItem() const;
    QWidget* owner() const;

    QTreeWidget& m_view;
    ImageList& m_small;
    ImageList& m_large;
    std::shared_ptr<kerris::shell::Allocator> m_allocator;
    UserInterface& m_ui;
    QList<QTreeWidgetItem*> m_selectedItems;
    int32_t m_selectedPathBytes = 0;
};

} // namespace lumicart
