// The file list over a plain tree widget: the picture filter, cells and icons, rename, the
// selection, deletion to the Trash and what it asks of the window.
#include "browser/file_list.h"
#include "browser/messages.h"
#include "tests/browser/test_support.h"

#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

namespace lumicart {
namespace {

using test::makeFile;
using test::makeFolder;

class FileListTest : public test::VolumeTest {
protected:
    void SetUp() override {
        VolumeTest::SetUp();
        m_pics = m_vol + "pics/";
        makeFolder(m_pics);
        makeFolder(m_dir.path() + "/share");
        qputenv("XDG_DATA_HOME", (m_dir.path() + "/share").toLocal8Bit());
        m_window = std::make_unique<QWidget>();
        m_view = new QTreeWidget(m_window.get());
        m_view->setSelectionMode(QAbstractItemView::ExtendedSelection);
        m_elsewhere = new QTreeWidget(m_window.get());
        m_list = std::make_unique<FileList>(*m_view, m_small, m_large,
                                            kerris::shell::taskAllocator(), m_ui);
        m_list->onPreview = [this](const QString& path) { m_previews << path; };
        m_list->onPreviewCleared = [this] { ++m_cleared; };
        m_list->onSelectionCommands = [this](bool usable) { m_commands << usable; };
        m_list->onMessage = [this](int entry) { m_messages << entry; };
        m_list->onRefresh = [this] { ++m_refreshes; };
        m_list->onLeaveFocus = [this] { m_elsewhere->setFocus(); };
    }
    void TearDown() override {
        m_list.reset();
        VolumeTest::TearDown();
    }

    // The picture folder, bound through the namespace as the tree binds it.
    std::shared_ptr<kerris::shell::Folder> picturesFolder() {
        auto desktop = kerris::shell::desktopFolder();
        std::vector<kerris::shell::ItemId> roots =
            desktop->enumerate(kerris::shell::kEnumFolders).value();
        auto computer = desktop->bindToFolder(roots.at(0));
        for (kerris::shell::ItemId& root : roots)
            kerris::shell::taskAllocator()->free(root);
        auto folder = computer->bindToFolder({m_vol});
        return folder ? folder->bindToFolder({"pics"}) : nullptr;
    }

    // Reads the picture folder into the list and gives the list the focus.
    void fill(int expectedItems) {
        m_list->RefreshFileList(picturesFolder());
        ASSERT_EQ(m_view->topLevelItemCount(), expectedItems) << captions().join('|').toStdString();
        m_window->show();
        m_window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(m_window.get()));
        m_view->setFocus();
        ASSERT_TRUE(m_view->hasFocus());
    }

    QStringList captions() const {
        QStringList out;
        for (int i = 0; i < m_view->topLevelItemCount(); ++i)
            out << m_view->topLevelItem(i)->text(kColumnName);
        return out;
    }

    QTreeWidgetItem* item(const QString& caption) const {
        const QList<QTreeWidgetItem*> found = m_view->findItems(caption, Qt::MatchExactly);
        return found.isEmpty() ? nullptr : found.constFirst();
    }

    void selectOnly(const QStringList& names) {
        m_view->clearSelection();
        for (const QString& name : names) {
            ASSERT_TRUE(item(name)) << name.toStdString();
            item(name)->setSelected(true);
        }
    }

    QString m_pics;
    std::unique_ptr<QWidget> m_window;
    QTreeWidget* m_view = nullptr;
    QTreeWidget* m_elsewhere = nullptr;
    ImageList m_small{16};
    ImageList m_large{32, false};
    test::RecordingUserInterface m_ui;
    std::unique_ptr<FileList> m_list;
    QStringList m_previews;
    int m_cleared = 0;
    QList<bool> m_commands;
    QList<int> m_messages;
    int m_refreshes = 0;
};

TEST_F(FileListTest, ListsOnlyPictureFilesWithTheirCells) {
    const struct {
        const char* name;
        int64_t size;
        const char* text; // the size cell; null: not listed
    } files[] = {{"a.JPG", 1900, "2KB"}, {"b.jpeg", 1048576, "1,024KB"}, {"c.Bmp", 0, "0KB"},
                 {"d.gif", 10, nullptr}, {"e.jpe", 10, nullptr},         {"f.jpg", 1100, "1KB"}};
    for (const auto& f : files)
        makeFile(m_pics + f.name, f.size);
    makeFolder(m_pics + "x.jpg");
    fill(4);
    EXPECT_EQ(captions(), (QStringList{"a.JPG", "b.jpeg", "c.Bmp", "f.jpg"}));
    for (const auto& f : files) {
        if (f.text) {
            EXPECT_EQ(item(f.name)->text(kColumnSize), f.text) << f.name;
        }
    }
    ASSERT_EQ(m_view->columnCount(), 4);
    EXPECT_EQ(m_view->headerItem()->text(kColumnDate), "Last Modification Day");
    EXPECT_EQ(m_view->columnWidth(kColumnSize), 80);
    QTreeWidgetItem* a = item("a.JPG");
    EXPECT_EQ(itemRecord(a)->Path, m_pics + "a.JPG");
    EXPECT_TRUE(a->text(kColumnType).contains("JPEG", Qt::CaseInsensitive));
    EXPECT_TRUE(QRegularExpression("^\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}$")
                    .match(a->text(kColumnDate))
                    .hasMatch())
        << a->text(kColumnDate).toStdString();
    // Icons sit in both lists at the same position. One icon index maps to one image, except
    // that a first copy at position 0 counts as absent and is added once more.
    EXPECT_EQ(a->data(0, kImageIndexRole).toInt(), 0);
    EXPECT_EQ(item("b.jpeg")->data(0, kImageIndexRole).toInt(), 1);
    EXPECT_EQ(item("f.jpg")->data(0, kImageIndexRole).toInt(), 1);
    EXPECT_EQ(m_large.pixmap(0).size(), QSize(32, 32));
    EXPECT_FALSE(a->icon(0).isNull());
    // A refresh starts both lists afresh.
    const int images = m_small.count();
    m_list->RefreshFileList(picturesFolder());
    EXPECT_EQ(m_small.count(), images);
    EXPECT_EQ(m_large.count(), images);
}

TEST_F(FileListTest, FillFailsWithoutFolderOrAllocator) {
    makeFile(m_pics + "a.jpg");
    FileList withoutAllocator(*m_view, m_small, m_large, nullptr, m_ui);
    EXPECT_FALSE(m_list->FillFileList(nullptr));
    EXPECT_FALSE(withoutAllocator.FillFileList(picturesFolder()));
    EXPECT_EQ(m_view->topLevelItemCount(), 0);
}

struct RenameCase {
    const char* name;
    QStringList files;
    const char* edited; // the new caption of a.jpg
    QList<int> messages;
    int shellErrors;
    QStringList captions;
    QStringList absent;
};

class FileListRename : public FileListTest, public ::testing::WithParamInterface<RenameCase> {};

TEST_P(FileListRename, KeepsTheFileAndItsItemInStep) {
    const RenameCase& c = GetParam();
    for (const QString& file : c.files)
        makeFile(m_pics + file, 10);
    makeFolder(m_pics + "sub");
    fill(static_cast<int>(c.files.size()));
    m_list->ListView1Edited(item("a.jpg"), c.edited);
    EXPECT_EQ(m_messages, c.messages);
    EXPECT_EQ(m_ui.shellErrors.size(), c.shellErrors);
    EXPECT_EQ(captions(), c.captions);
    for (const QString& caption : c.captions) {
        EXPECT_TRUE(QFileInfo::exists(m_pics + caption)) << caption.toStdString();
        EXPECT_EQ(itemRecord(item(caption))->Path, m_pics + caption);
    }
    for (const QString& file : c.absent)
        EXPECT_FALSE(QFileInfo::exists(m_pics + file)) << file.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Edits, FileListRename,
    ::testing::Values(
        RenameCase{"OtherLetterCase", {"a.jpg"}, "b.JPG", {}, 0, {"b.JPG"}, {"a.jpg"}},
        RenameCase{
            "NewExtension", {"a.jpg"}, "b.bmp", {kMsgExtensionError}, 0, {"a.jpg"}, {"b.bmp"}},
        // The shell reports the clash; the program adds no message of its own.
        RenameCase{"OntoAFile", {"a.jpg", "t.jpg"}, "t.jpg", {}, 1, {"a.jpg", "t.jpg"}, {}},
        // The renamed item takes its place in the order at once.
        RenameCase{"Blanks", {"a.jpg", "m.jpg"}, "z.JPG  ", {}, 0, {"m.jpg", "z.JPG"}, {"a.jpg"}},
        RenameCase{"LeavingTheFolder", {"a.jpg"}, "sub/a.jpg", {}, 0, {"a.jpg"}, {"sub/a.jpg"}},
        RenameCase{"Unchanged", {"a.jpg"}, "a.jpg", {}, 0, {"a.jpg"}, {}}),
    [](const ::testing::TestParamInfo<RenameCase>& p) { return std::string(p.param.name); });

struct DeleteCase {
    const char* name;
    bool confirm;
    bool editing; // the Delete key reaches an open in-place edit
    QStringList captions;
};

class FileListDelete : public FileListTest, public ::testing::WithParamInterface<DeleteCase> {};

TEST_P(FileListDelete, RemovesTheConfirmedFilesAndSelectsTheTop) {
    const DeleteCase& c = GetParam();
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"})
        makeFile(m_pics + name, 10);
    fill(5);
    selectOnly({"a.jpg", "c.jpg", "d.jpg"});
    m_ui.confirmAnswer = c.confirm;
    m_list->ListView1KeyDown(Qt::Key_Delete, c.editing);
    EXPECT_EQ(m_ui.confirmations.size(), c.editing ? 0u : 1u);
    if (!c.editing) {
        EXPECT_EQ(m_ui.confirmations[0],
                  (QStringList{m_pics + "a.jpg", m_pics + "c.jpg", m_pics + "d.jpg"}));
    }
    EXPECT_EQ(captions(), c.captions);
    for (const QString& caption : c.captions)
        EXPECT_TRUE(QFileInfo::exists(m_pics + caption)) << caption.toStdString();
    EXPECT_EQ(QFileInfo::exists(m_dir.path() + "/share/Trash/files/c.jpg"), c.captions.size() == 2);
    EXPECT_TRUE(m_ui.errors.isEmpty());
    if (c.captions.size() == 2) {
        EXPECT_TRUE(m_list->SelectedItems().isEmpty());
        ASSERT_EQ(m_view->selectedItems().size(), 1);
        EXPECT_EQ(m_view->selectedItems()[0]->text(0), "b.jpg");
        EXPECT_TRUE(m_view->hasFocus()) << "the focus comes back to the list";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Answers, FileListDelete,
    ::testing::Values(
        DeleteCase{"Confirmed", true, false, {"b.jpg", "e.jpg"}},
        DeleteCase{"Cancelled", false, false, {"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"}},
        DeleteCase{"WhileEditing", true, true, {"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"}}),
    [](const ::testing::TestParamInfo<DeleteCase>& p) { return std::string(p.param.name); });

TEST_F(FileListTest, SelectionAndDoubleClickNeedTheListsFocus) {
    makeFile(m_pics + "a.jpg", 10);
    makeFile(m_pics + "bb.jpg", 10);
    fill(2);
    m_list->PopupMenu1Popup();
    EXPECT_EQ(m_commands, QList<bool>{false}) << "nothing selected";
    selectOnly({"a.jpg", "bb.jpg"});
    EXPECT_TRUE(m_list->CollectSelection());
    EXPECT_EQ(m_list->SelectedItems(), (QList<QTreeWidgetItem*>{item("a.jpg"), item("bb.jpg")}));
    EXPECT_EQ(m_list->SelectedPathBytes(),
              (m_pics + "a.jpg").size() + 1 + (m_pics + "bb.jpg").size() + 1);

    // Without the focus the selection is not collected and is left as it was.
    m_elsewhere->setFocus();
    m_commands.clear();
    m_list->PopupMenu1Popup();
    EXPECT_EQ(m_commands, QList<bool>{false});
    EXPECT_EQ(m_list->SelectedItems().size(), 2);

    // Deselecting disables the commands and empties the preview.
    m_view->setFocus();
    m_commands.clear();
    m_list->PopupMenu1Popup();
    m_list->ListView1SelectItem(item("a.jpg"), false);
    EXPECT_EQ(m_commands, (QList<bool>{true, false}));
    EXPECT_EQ(m_cleared, 1);

    // A double-click previews the first selected item with the focus, else asks for a refresh.
    m_list->ListView1SelectItem(item("bb.jpg"), true);
    m_list->ListView1DblClick();
    EXPECT_EQ(m_previews, (QStringList{m_pics + "bb.jpg", m_pics + "a.jpg"}));
    m_elsewhere->setFocus();
    m_list->ListView1SelectItem(item("a.jpg"), true);
    m_list->ListView1DblClick();
    EXPECT_EQ(m_previews.size(), 2) << "no preview without the focus";
    EXPECT_EQ(m_refreshes, 1);
    // Clearing the list empties the selection.
    m_list->ClearFileList();
    EXPECT_TRUE(m_list->SelectedItems().isEmpty());
    EXPECT_FALSE(m_list->CollectSelection());
}

} // namespace
} // namespace lumicart
