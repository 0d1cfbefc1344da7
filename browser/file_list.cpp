// The file list: the pictures of a folder with icons, sizes, types and dates; the selection,
// in-place rename and deletion to the Trash; and the window's preview of the chosen picture.
#include "browser/file_list.h"

#include "browser/file_filter.h"
#include "browser/messages.h"
#include "browser/preview.h"
#include "browser/size_text.h"
#include "browser/tformmain.h"

#include <QCollator>
#include <QHeaderView>

#include <algorithm>

namespace lumicart {

using kerris::shell::Folder;
using kerris::shell::ItemId;

ItemRecord* itemRecord(QTreeWidgetItem* item) {
    auto* fileItem = dynamic_cast<FileItem*>(item);
    return fileItem ? fileItem->record.get() : nullptr;
}

int ListView1Compare(const QTreeWidgetItem* item1, const QTreeWidgetItem* item2) {
    const auto* a = dynamic_cast<const FileItem*>(item1);
    const auto* b = dynamic_cast<const FileItem*>(item2);
    if (!a || !b || !a->record || !b->record)
        return 0;
    return compareText(a->text(kColumnName), b->text(kColumnName));
}

FileList::FileList(QTreeWidget& view, ImageList& small, ImageList& large,
                   std::shared_ptr<kerris::shell::Allocator> allocator, UserInterface& ui)
    : m_view(view), m_small(small), m_large(large), m_allocator(std::move(allocator)), m_ui(ui) {
    m_view.setHeaderLabels({QStringLiteral("File Name"), QStringLiteral("Size"),
                            QStringLiteral("File Type"), QStringLiteral("Last Modification Day")});
    QHeaderView* header = m_view.header();
    header->setSectionsClickable(false);
    header->setSortIndicatorShown(false);
    header->setStretchLastSection(false);
    header->setMinimumSectionSize(10);
    header->setMaximumSectionSize(256);
    const int widths[] = {150, 80, 150, 150};
    for (int c = 0; c < 4; ++c)
        header->resizeSection(c, widths[c]);
    m_view.headerItem()->setTextAlignment(kColumnSize, Qt::AlignRight | Qt::AlignVCenter);
}

QWidget* FileList::owner() const {
    return m_view.window();
}

bool FileList::FillFileList(const std::shared_ptr<Folder>& folder) {
    if (!m_allocator || !folder)
        return false;
    IconIndexMap iconIndexMap;
    std::optional<std::vector<ItemId>> items =
        folder->enumerate(kerris::shell::kEnumFolders | kerris::shell::kEnumNonFolders |
                          kerris::shell::kEnumNetPrinterSearch);
    if (!items)
        return false;

    // The list keeps itself in caption order: new items are ordered once here, by collation
    // keys, instead of being placed one by one.
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseSensitive);
    struct Pending {
        QCollatorSortKey key;
        FileItem* item;
    };
    std::vector<Pending> pending;
    pending.reserve(items->size());
    const QLocale locale;
    for (ItemId& item : *items) {
        if (item.empty())
            continue;
        if (folder->attributes(item, kerris::shell::kAttrFolder) & kerris::shell::kAttrFolder) {
            m_allocator->free(item);
            continue;
        }
        const QString displayName = folder->displayName(item, kerris::shell::kNameNormal)
                                        .value_or(QString())
                                        .left(kMaxNameLength);
        const QString parsingName = folder->displayName(item, kerris::shell::kNameForParsing)
                                        .value_or(QString())
                                        .left(kMaxNameLength);
        if (!isPictureFile(parsingName)) {
            m_allocator->free(item);
            continue;
        }
        auto record = std::make_unique<ItemRecord>();
        record->Path = parsingName.trimmed();

        auto* listItem = new FileItem;
        listItem->setText(kColumnName, displayName);
        listItem->setTextAlignment(kColumnSize, Qt::AlignRight | Qt::AlignVCenter);
        // One look at the file serves the size, the date and the kind the type name needs.
        const std::optional<kerris::shell::FindData> found = kerris::shell::findFile(record->Path);
        if (found) {
            if (!found->directory)
                listItem->setText(kColumnSize, sizeText(found->size, locale));
            listItem->setText(kColumnDate, dateText(found->lastWrite));
        }
        listItem->setText(kColumnType,
                          kerris::shell::typeName(record->Path, found && found->directory));
        addListIcon(*folder, item, iconIndexMap, listItem);
        listItem->record = std::move(record);
        m_allocator->free(item);
        pending.push_back({collator.sortKey(displayName), listItem});
    }
    std::stable_sort(pending.begin(), pending.end(),
                     [](const Pending& a, const Pending& b) { return a.key.compare(b.key) < 0; });
    const bool hadItems = m_view.topLevelItemCount() > 0;
    QList<QTreeWidgetItem*> ordered;
    ordered.reserve(static_cast<qsizetype>(pending.size()));
    for (const Pending& p : pending)
        ordered.append(p.item);
    m_view.addTopLevelItems(ordered);
    if (hadItems)
        m_view.sortItems(kColumnName, Qt::AscendingOrder);
    return true;
}

void FileList::addListIcon(const Folder& folder, const ItemId& item, IconIndexMap& iconIndexMap,
                           QTreeWidgetItem* listItem) {
    int position = -1;
    if (const std::unique_ptr<kerris::shell::IconExtractor> extractor = folder.iconExtractor(item))
        position = shellIconPosition(*extractor, kerris::shell::kIconAsync, iconIndexMap, m_small,
                                     &m_large)
                       .value_or(-1);
    listItem->setData(kColumnName, kImageIndexRole, position);
    if (position >= 0)
        listItem->setIcon(kColumnName, m_small.icon(position));
}

void FileList::ClearFileList() {
    m_selectedItems.clear();
    // Removing the items one by one would report a deselection for each; one clear suffices.
    const QSignalBlocker blocker(m_view.selectionModel());
    const bool hadSelection = !m_view.selectedItems().isEmpty();
    m_view.clear();
    if (hadSelection)
        ListView1SelectItem(nullptr, false);
}

void FileList::RefreshFileList(const std::shared_ptr<Folder>& folder) {
    m_small.clear();
    m_large.clear();
    ClearFileList();
    FillFileList(folder);
}

QTreeWidgetItem* FileList::firstSelectedItem() const {
    for (int i = 0; i < m_view.topLevelItemCount(); ++i) {
        if (m_view.topLevelItem(i)->isSelected())
            return m_view.topLevelItem(i);
    }
    return nullptr;
}

void FileList::ListView1DblClick() {
    if (m_view.hasFocus()) {
        QTreeWidgetItem* item = firstSelectedItem();
        if (const ItemRecord* record = item ? itemRecord(item) : nullptr; record && onPreview)
            onPreview(record->Path);
        return;
    }
    if (onRefresh)
        onRefresh();
}

void FileList::ListView1SelectItem(QTreeWidgetItem* item, bool selected) {
    if (!selected) {
        if (onSelectionCommands)
            onSelectionCommands(false);
        if (onPreviewCleared)
            onPreviewCleared();
        return;
    }
    if (!m_view.hasFocus())
        return;
    if (const ItemRecord* record = item ? itemRecord(item) : nullptr; record && onPreview)
        onPreview(record->Path);
}

// ---- The window's preview of the chosen picture ----

void TFormMain::clearPreviewImage() {
    Image1->clearPicture();
}

void TFormMain::LoadPreview(const QString& path) {
    // The previous picture is discarded; its pixel buffer carries the next JPEG when Image1 no
    // longer shows it (Image1 keeps what it showed until a decode succeeds).
    QImage previous = std::move(*PreviewBitmap);
    *PreviewBitmap = QImage();
    // A large JPEG is decoded only as far as the panel shows it; the fitting goes by the
    // picture's own size, so the preview is placed as the whole picture would be. A name that
    // is not UTF-8 reaches the decoder through the file held open.
    const kerris::shell::QtReadablePath readable(path);
    std::optional<PreviewPicture> picture =
        decodePreview(readable.path(), Panel2->size(), std::move(previous));
    if (!picture)
        return;
    showPreviewPicture(std::move(*picture));
}

void TFormMain::showPreviewPicture(PreviewPicture picture) {
    *PreviewBitmap = picture.image;
    m_previewPictureSize = picture.size;
    FitPreview(picture.size.width(), picture.size.height());
    Image1->setPicture(std::move(picture));
}

void TFormMain::FitPreview(int32_t w, int32_t h) {
    const PreviewGeometry g = fitPreview(Panel2->width(), Panel2->height(), w, h);
    Image1->setGeometry(g.left, g.top, g.width, g.height);
    Image1->setStretch(g.stretch);
}

bool FileList::CollectSelection() {
    if (!m_view.hasFocus())
        return false;
    m_selectedItems.clear();
    m_selectedPathBytes = 0;
    const qsizetype selectedCount = m_view.selectedItems().size();
    if (selectedCount <= 0)
        return false;
    for (int i = 0; i < m_view.topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = m_view.topLevelItem(i);
        if (!item->isSelected())
            continue;
        m_selectedItems.append(item);
        const ItemRecord* record = itemRecord(item);
        m_selectedPathBytes +=
            static_cast<int32_t>((record ? kerris::shell::nativeName(record->Path).size() : 0) + 1);
    }
    if (m_selectedItems.size() == selectedCount)
        return true;
    m_selectedItems.clear();
    m_selectedPathBytes = 0;
    return false;
}

void FileList::PopupMenu1Popup() {
    const bool usable = CollectSelection();
    if (onSelectionCommands)
        onSelectionCommands(usable);
}

void FileList::Rename1Click() {
    QTreeWidgetItem* item = firstSelectedItem();
    if (!item)
        return;
    m_view.setFocus();
    m_view.editItem(item, kColumnName);
}

void FileList::ListView1Edited(QTreeWidgetItem* item, const QString& text) {
    ItemRecord* record = item ? itemRecord(item) : nullptr;
    if (!record)
        return;
    const RenamePlan plan = planRename(record->Path, text);
    if (plan.verdict == RenameVerdict::ExtensionChanged) {
        if (onMessage)
            onMessage(kMsgExtensionError);
        return;
    }
    if (plan.verdict != RenameVerdict::Rename)
        return;
    const QString oldPath = record->Path;
    const kerris::shell::OperationResult result =
        kerris::shell::renameItem(oldPath, plan.newPath, [this](const QString& message) {
            m_ui.showShellError(owner(), message);
        });
    if (result.error != 0 || result.aborted || kerris::shell::findFile(oldPath) ||
        !kerris::shell::findFile(plan.newPath))
        return;
    kerris::shell::notifyChange(kerris::shell::ChangeEvent::RenameItem, oldPath, plan.newPath);
    record->Path = plan.newPath;
    // The caption is the file's new name: blanks trimmed from the edit are not kept in it.
    item->setText(kColumnName, kerris::shell::displayText(plan.newPath.mid(
                                   plan.newPath.lastIndexOf(QLatin1Char('/')) + 1)));
    m_view.sortItems(kColumnName, Qt::AscendingOrder);
}

void FileList::DeleteSelection() {
    if (!CollectSelection())
        return;
    QStringList paths;
    for (QTreeWidgetItem* item : std::as_const(m_selectedItems)) {
        const ItemRecord* record = itemRecord(item);
        paths.append(record ? record->Path : QString());
    }
    const kerris::shell::OperationResult result = kerris::shell::deleteToTrash(
        paths, [this](const QStringList& list) { return m_ui.confirmDelete(owner(), list); },
        [this](const QString& message) { m_ui.showShellError(owner(), message); });
    if (result.error != 0 || result.aborted || kerris::shell::findFile(paths.constLast()))
        return;
    kerris::shell::notifyChange(kerris::shell::ChangeEvent::Delete, paths.constFirst());

    if (onLeaveFocus)
        onLeaveFocus();
    const QList<QTreeWidgetItem*> doomed = m_selectedItems;
    m_selectedItems.clear();
    qDeleteAll(doomed);

    QTreeWidgetItem* top = m_view.itemAt(QPoint(1, 1));
    if (!top && m_view.topLevelItemCount() > 0)
        top = m_view.topLevelItem(0);
    if (top) {
        m_view.setCurrentItem(top);
        top->setSelected(true);
    }
    if (firstSelectedItem())
        m_view.setFocus();
}

void FileList::ListView1KeyDown(int key, bool editing) {
    if (key == Qt::Key_Delete && !editing)
        DeleteSelection();
}

void FileList::Delete1Click() {
    DeleteSelection();
}

} // namespace lumicart
