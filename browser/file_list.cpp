// The file list: the pictures of the current folder with icons, sizes, types and dates; the
// selection, in-place rename, deletion to the Trash and the preview of the chosen picture.
#include "browser/file_list.h"

#include "browser/file_filter.h"
#include "browser/messages.h"
#include "browser/preview.h"
#include "browser/size_text.h"
#include "browser/tformmain.h"

#include <QAction>
#include <QCollator>
#include <QFileInfo>
#include <QFrame>
#include <QItemSelection>

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

bool TFormMain::FillFileList(const std::shared_ptr<Folder>& folder) {
    if (!ShellAllocator || !folder)
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
            ShellAllocator->free(item);
            continue;
        }
        const QString displayName = folder->displayName(item, kerris::shell::kNameNormal)
                                        .value_or(QString())
                                        .left(kMaxNameLength);
        const QString parsingName = folder->displayName(item, kerris::shell::kNameForParsing)
                                        .value_or(QString())
                                        .left(kMaxNameLength);
        if (!isPictureFile(parsingName)) {
            ShellAllocator->free(item);
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
        ShellAllocator->free(item);
        pending.push_back({collator.sortKey(displayName), listItem});
    }
    std::stable_sort(pending.begin(), pending.end(),
                     [](const Pending& a, const Pending& b) { return a.key.compare(b.key) < 0; });
    const bool hadItems = ListView1->topLevelItemCount() > 0;
    QList<QTreeWidgetItem*> ordered;
    ordered.reserve(static_cast<qsizetype>(pending.size()));
    for (const Pending& p : pending)
        ordered.append(p.item);
    ListView1->addTopLevelItems(ordered);
    if (hadItems)
        ListView1->sortItems(kColumnName, Qt::AscendingOrder);
    return true;
}

void TFormMain::addListIcon(const Folder& folder, const ItemId& item, IconIndexMap& iconIndexMap,
                            QTreeWidgetItem* listItem) {
    int position = -1;
    if (const std::unique_ptr<kerris::shell::IconExtractor> extractor =
            folder.iconExtractor(item)) {
        const kerris::shell::IconLocation location = extractor->location(kerris::shell::kIconAsync);
        if (const std::optional<kerris::shell::ExtractedIcons> icons =
                extractor->extract(location, 0)) {
            const int i = location.index;
            const auto found = i != 0 ? iconIndexMap.find(i) : iconIndexMap.end();
            if (found != iconIndexMap.end() && found->second != 0) {
                position = found->second;
            } else {
                position = ImageListListViewSmall.add(icons->small);
                ImageListListViewLarge.add(icons->large);
                if (i != 0)
                    iconIndexMap[i] = position;
            }
        }
    }
    listItem->setData(kColumnName, kImageIndexRole, position);
    if (position >= 0)
        listItem->setIcon(kColumnName, ImageListListViewSmall.icon(position));
}

void TFormMain::ClearFileList() {
    SelectedItems.clear();
    // Removing the items one by one would report a deselection for each; one clear suffices.
    const QSignalBlocker blocker(ListView1->selectionModel());
    const bool hadSelection = !ListView1->selectedItems().isEmpty();
    ListView1->clear();
    if (hadSelection)
        ListView1SelectItem(nullptr, false);
}

void TFormMain::RefreshFileList() {
    if (!CurrentNode || nodeLevel(CurrentNode) == 0)
        return;
    const std::shared_ptr<Folder> folder = FolderOfNode(CurrentNode);
    ImageListListViewSmall.clear();
    ImageListListViewLarge.clear();
    ClearFileList();
    FillFileList(folder);
}

void TFormMain::PostFileListRefresh() {
    QMetaObject::invokeMethod(
        this, [this] { ListView1DblClick(); }, Qt::QueuedConnection);
}

QTreeWidgetItem* TFormMain::firstSelectedItem() const {
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
        if (ListView1->topLevelItem(i)->isSelected())
            return ListView1->topLevelItem(i);
    }
    return nullptr;
}

void TFormMain::ListView1DblClick() {
    if (ListView1->hasFocus()) {
        QTreeWidgetItem* item = firstSelectedItem();
        if (const ItemRecord* record = item ? itemRecord(item) : nullptr)
            LoadPreview(record->Path);
        return;
    }
    RefreshFileList();
}

void TFormMain::onListSelectionChanged(const QItemSelection& selected,
                                       const QItemSelection& deselected) {
    for (const QModelIndex& index : deselected.indexes()) {
        if (index.column() == kColumnName)
            ListView1SelectItem(ListView1->itemFromIndex(index), false);
    }
    for (const QModelIndex& index : selected.indexes()) {
        if (index.column() == kColumnName)
            ListView1SelectItem(ListView1->itemFromIndex(index), true);
    }
}

void TFormMain::ListView1SelectItem(QTreeWidgetItem* item, bool selected) {
    if (!selected) {
        Rename1->setEnabled(false);
        Delete1->setEnabled(false);
        CreateAVIFiles1->setEnabled(false);
        clearPreviewImage();
        return;
    }
    if (!ListView1->hasFocus())
        return;
    if (const ItemRecord* record = item ? itemRecord(item) : nullptr)
        LoadPreview(record->Path);
}

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

bool TFormMain::CollectSelection() {
    if (!ListView1->hasFocus())
        return false;
    SelectedItems.clear();
    SelectedPathBytes = 0;
    const qsizetype selectedCount = ListView1->selectedItems().size();
    if (selectedCount <= 0)
        return false;
    for (int i = 0; i < ListView1->topLevelItemCount(); ++i) {
        QTreeWidgetItem* item = ListView1->topLevelItem(i);
        if (!item->isSelected())
            continue;
        SelectedItems.append(item);
        const ItemRecord* record = itemRecord(item);
        SelectedPathBytes +=
            static_cast<int32_t>((record ? kerris::shell::nativeName(record->Path).size() : 0) + 1);
    }
    if (SelectedItems.size() == selectedCount)
        return true;
    SelectedItems.clear();
    SelectedPathBytes = 0;
    return false;
}

void TFormMain::PopupMenu1Popup() {
    const bool usable = CollectSelection();
    Rename1->setEnabled(usable);
    Delete1->setEnabled(usable);
    CreateAVIFiles1->setEnabled(usable);
}

void TFormMain::Rename1Click() {
    QTreeWidgetItem* item = firstSelectedItem();
    if (!item)
        return;
    ListView1->setFocus();
    ListView1->editItem(item, kColumnName);
}

void TFormMain::ListView1Edited(QTreeWidgetItem* item, const QString& text) {
    ItemRecord* record = item ? itemRecord(item) : nullptr;
    if (!record)
        return;
    const RenamePlan plan = planRename(record->Path, text);
    if (plan.verdict == RenameVerdict::ExtensionChanged) {
        ShowMessageEntry(kMsgExtensionError);
        return;
    }
    if (plan.verdict != RenameVerdict::Rename)
        return;
    const QString oldPath = record->Path;
    const kerris::shell::OperationResult result =
        kerris::shell::renameItem(oldPath, plan.newPath, [this](const QString& message) {
            m_ui.showShellError(this, message);
        });
    if (result.error != 0 || result.aborted || kerris::shell::findFile(oldPath) ||
        !kerris::shell::findFile(plan.newPath))
        return;
    kerris::shell::notifyChange(kerris::shell::ChangeEvent::RenameItem, oldPath, plan.newPath);
    record->Path = plan.newPath;
    // The caption is the file's new name: blanks trimmed from the edit are not kept in it.
    item->setText(kColumnName, kerris::shell::displayText(plan.newPath.mid(
                                   plan.newPath.lastIndexOf(QLatin1Char('/')) + 1)));
    ListView1->sortItems(kColumnName, Qt::AscendingOrder);
}

void TFormMain::DeleteSelection() {
    if (!CollectSelection())
        return;
    QStringList paths;
    for (QTreeWidgetItem* item : std::as_const(SelectedItems)) {
        const ItemRecord* record = itemRecord(item);
        paths.append(record ? record->Path : QString());
    }
    const kerris::shell::OperationResult result = kerris::shell::deleteToTrash(
        paths, [this](const QStringList& list) { return m_ui.confirmDelete(this, list); },
        [this](const QString& message) { m_ui.showShellError(this, message); });
    if (result.error != 0 || result.aborted || kerris::shell::findFile(paths.constLast()))
        return;
    kerris::shell::notifyChange(kerris::shell::ChangeEvent::Delete, paths.constFirst());

    TreeView1->setFocus();
    const QList<QTreeWidgetItem*> doomed = SelectedItems;
    SelectedItems.clear();
    qDeleteAll(doomed);

    QTreeWidgetItem* top = ListView1->itemAt(QPoint(1, 1));
    if (!top && ListView1->topLevelItemCount() > 0)
        top = ListView1->topLevelItem(0);
    if (top) {
        ListView1->setCurrentItem(top);
        top->setSelected(true);
    }
    if (firstSelectedItem())
        ListView1->setFocus();
}

void TFormMain::ListView1KeyDown(int key) {
    if (key == Qt::Key_Delete && !ListView1->isEditing())
        DeleteSelection();
}

void TFormMain::Delete1Click() {
    DeleteSelection();
}

void TFormMain::Image1DblClick() {}

} // namespace lumicart
