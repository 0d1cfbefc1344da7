// The folder tree over a plain tree widget: the descent to the start folder, the order of
// levels, expansion, the current folder, binding from the roots, icons and failing folders.
#include "browser/folder_tree.h"
#include "tests/browser/test_support.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace lumicart {
namespace {

using kerris::shell::Folder;
using test::makeFile;
using test::makeFolder;

class FolderTreeTest : public test::VolumeTest {
protected:
    void SetUp() override {
        VolumeTest::SetUp();
        m_view = std::make_unique<QTreeWidget>();
        m_tree = std::make_unique<FolderTree>(*m_view, m_images, kerris::shell::taskAllocator());
        // The window's wiring: selection and expansion reach the tree's handlers.
        QObject::connect(m_view.get(), &QTreeWidget::currentItemChanged,
                         [this](QTreeWidgetItem* node, QTreeWidgetItem*) {
                             if (node)
                                 m_tree->TreeView1Change(node);
                         });
        QObject::connect(m_view.get(), &QTreeWidget::itemExpanded,
                         [this](QTreeWidgetItem* node) { m_tree->TreeView1Expanding(node); });
        m_tree->onCurrentFolder = [this](const QString& folder) { m_folders << folder; };
        m_tree->onFolderSelected = [this] { ++m_refreshes; };
    }
    void TearDown() override {
        m_tree.reset();
        VolumeTest::TearDown();
    }

    // Fills the roots and selects the first, as the window's show does.
    void start(const QStringList& elements = {}) {
        m_tree->setPathElements(elements);
        ASSERT_TRUE(m_tree->FillTreeLevel(kerris::shell::desktopFolder(), nullptr));
        m_view->setCurrentItem(m_view->topLevelItem(0));
    }

    // The selected node's path below the roots, as in selectedTreePath of the window's tests.
    QStringList selectedPath() const {
        QStringList out;
        for (QTreeWidgetItem* n = m_view->currentItem(); n && n->parent(); n = n->parent())
            out.prepend(n->parent()->parent() ? n->text(0) : nodeRecord(n)->Name);
        return out;
    }

    QTreeWidgetItem* volume() const { return m_view->topLevelItem(0)->child(0); }

    std::unique_ptr<QTreeWidget> m_view;
    ImageList m_images{16};
    std::unique_ptr<FolderTree> m_tree;
    QStringList m_folders;
    int m_refreshes = 0;
};

struct StartCase {
    const char* name;
    QStringList folders;  // made below the volume
    QStringList elements; // after the volume's
    QStringList selected; // after the volume's
};

class FolderTreeStart : public FolderTreeTest, public ::testing::WithParamInterface<StartCase> {};

TEST_P(FolderTreeStart, DescendsAsFarAsTheElementsExist) {
    const StartCase& c = GetParam();
    for (const QString& folder : c.folders)
        makeFolder(m_vol + folder);
    start(QStringList{m_vol} + c.elements);
    EXPECT_EQ(selectedPath(), QStringList{m_vol} + c.selected);
    for (QTreeWidgetItem* n = m_view->currentItem(); n->parent(); n = n->parent())
        EXPECT_TRUE(n->isExpanded()) << n->text(0).toStdString();
    ASSERT_FALSE(m_folders.isEmpty());
    EXPECT_EQ(m_folders.constLast(),
              m_vol + c.selected.join('/') + (c.selected.isEmpty() ? "" : "/"));
    EXPECT_EQ(m_tree->currentNode(), m_view->currentItem());
    EXPECT_GE(m_refreshes, 1);
}

INSTANTIATE_TEST_SUITE_P(
    Folders, FolderTreeStart,
    ::testing::Values(
        StartCase{"ThreeLevels", {"a/b/c/d", "a/other"}, {"a", "b", "c"}, {"a", "b", "c"}},
        StartCase{"LastDeleted", {"a/b/sibling"}, {"a", "b", "gone"}, {"a", "b"}},
        StartCase{"LetterCaseAside", {"Photos"}, {"photos"}, {"Photos"}},
        StartCase{"VolumeOnly", {"a"}, {}, {}}),
    [](const ::testing::TestParamInfo<StartCase>& p) { return std::string(p.param.name); });

TEST_F(FolderTreeTest, StartOnAMissingVolumeSelectsOnlyTheRoot) {
    makeFolder(m_vol + "a");
    start({m_dir.path() + "/elsewhere/", "a"});
    EXPECT_EQ(m_view->currentItem(), m_view->topLevelItem(0));
    EXPECT_TRUE(m_folders.isEmpty()) << "a root's name is not a folder to work in";
    EXPECT_EQ(m_refreshes, 0) << "selecting a root leaves the list as it was";
}

TEST_F(FolderTreeTest, RootsComeFirstAndLevelsSortByName) {
    kerris::shell::setHomeFolder(m_dir.path() + "/home");
    makeFolder(m_dir.path() + "/home/docs");
    for (const char* name : {"zeta", "Alpha", "beta", "app"})
        makeFolder(m_vol + name);
    start({m_vol});
    ASSERT_EQ(m_view->topLevelItemCount(), 2);
    EXPECT_EQ(m_tree->rootFolders().size(), 2u);
    // Expanding a root fills it and sorts the whole tree; roots keep their order.
    m_view->topLevelItem(1)->setExpanded(true);
    EXPECT_EQ(m_view->topLevelItem(0)->text(0), "Computer");
    EXPECT_EQ(m_view->topLevelItem(1)->text(0), "Home");
    QStringList names;
    for (int i = 0; i < volume()->childCount(); ++i)
        names << volume()->child(i)->text(0);
    EXPECT_EQ(names, (QStringList{"Alpha", "app", "beta", "zeta"}));
}

TEST_F(FolderTreeTest, ExpandingFillsOnceAndDropsTheButtonOfAnEmptyFolder) {
    makeFile(m_vol + "empty/file.jpg");
    start({m_vol});
    QTreeWidgetItem* empty = volume()->child(0);
    ASSERT_EQ(empty->text(0), "empty");
    EXPECT_EQ(empty->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicatorWhenChildless);
    makeFolder(m_vol + "empty/late");
    m_tree->TreeView1Expanding(empty);
    EXPECT_EQ(empty->childCount(), 1) << "filled on first expansion";
    ASSERT_TRUE(QDir(m_vol + "empty/late").removeRecursively());
    m_tree->TreeView1Expanding(empty);
    EXPECT_EQ(empty->childCount(), 1) << "a filled node is never read again";
}

TEST_F(FolderTreeTest, FolderOfNodeBindsFromTheRootEveryTime) {
    makeFile(m_vol + "a/b/p.jpg");
    start({m_vol, "a", "b"});
    QTreeWidgetItem* b = m_view->currentItem();
    auto first = m_tree->FolderOfNode(b);
    auto second = m_tree->FolderOfNode(b);
    ASSERT_TRUE(first && second);
    EXPECT_NE(first.get(), second.get());
    std::vector<kerris::shell::ItemId> files =
        second->enumerate(kerris::shell::kEnumNonFolders).value();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].key, "p.jpg");
    kerris::shell::taskAllocator()->free(files[0]);
    // The root itself is the tree's own entry, not a new reference.
    EXPECT_EQ(m_tree->FolderOfNode(m_view->topLevelItem(0)), m_tree->rootFolders()[0]);
    EXPECT_FALSE(m_tree->FolderOfNode(nullptr));
}

TEST_F(FolderTreeTest, FoldersThatCannotBeBoundOrReadAddNothing) {
    kerris::shell::setHomeFolder(m_dir.path() + "/nohome"); // a root that does not bind
    makeFolder(m_vol + "gone/sub");
    start({m_vol});
    ASSERT_EQ(m_tree->rootFolders().size(), 2u);
    EXPECT_FALSE(m_tree->rootFolders()[1]) << "the entry keeps its place";
    QTreeWidgetItem* gone = volume()->child(0);
    ASSERT_EQ(gone->childIndicatorPolicy(), QTreeWidgetItem::ShowIndicator);
    const std::shared_ptr<Folder> unreadable = m_tree->FolderOfNode(gone);
    ASSERT_TRUE(unreadable && QDir(m_vol + "gone").removeRecursively());
    m_view->setCurrentItem(gone); // it binds no more
    EXPECT_EQ(gone->childCount(), 0);
    EXPECT_EQ(gone->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicatorWhenChildless);
    EXPECT_FALSE(m_tree->FillTreeLevel(unreadable, gone)) << "no enumerator";
    EXPECT_FALSE(m_tree->FillTreeLevel(nullptr, gone));
    QTreeWidget other;
    FolderTree withoutAllocator(other, m_images, nullptr);
    EXPECT_FALSE(withoutAllocator.FillTreeLevel(kerris::shell::desktopFolder(), nullptr));
    EXPECT_EQ(other.topLevelItemCount(), 0);
}

TEST_F(FolderTreeTest, IconsAreSharedWithinOneFill) {
    for (const char* name : {"f1", "f2", "f3"})
        makeFolder(m_vol + name);
    start({m_vol});
    ASSERT_EQ(volume()->childCount(), 3);
    const int image = volume()->child(0)->data(0, kImageIndexRole).toInt();
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(volume()->child(i)->data(0, kImageIndexRole).toInt(), image);
        EXPECT_NE(volume()->child(i)->data(0, kSelectedImageIndexRole).toInt(), image);
    }
    EXPECT_GE(image, 0);
    EXPECT_LT(image, m_images.count());
}

TEST_F(FolderTreeTest, DestructionGivesBackEveryIdentifier) {
    makeFolder(m_vol + "a/b");
    const long before = kerris::shell::taskAllocator()->outstanding();
    start({m_vol, "a", "b"});
    EXPECT_GT(kerris::shell::taskAllocator()->outstanding(), before);
    m_tree.reset();
    EXPECT_EQ(kerris::shell::taskAllocator()->outstanding(), before);
}

} // namespace
} // namespace lumicart
