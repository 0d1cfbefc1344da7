// The shell namespace stand-in: roots, volumes, enumeration, attributes, names, icons,
// type names, rename without replacing, deletion to the Trash and change notification.
#include "platform/shell/shell.h"
#include "tests/browser/test_support.h"

#include <QDir>
#include <QFileInfo>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <algorithm>

namespace kerris::shell {
namespace {

using lumicart::test::makeFile;
using lumicart::test::makeFolder;

QStringList keys(const std::vector<ItemId>& items) {
    QStringList out;
    for (const ItemId& item : items)
        out << item.key;
    return out;
}

void freeAll(std::vector<ItemId>& items) {
    for (ItemId& item : items)
        taskAllocator()->free(item);
}

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        lumicart::test::ensureApplication();
        ASSERT_TRUE(m_dir.isValid());
        m_root = m_dir.path() + "/";
        setVolumes(std::vector<QString>{m_root + "vol1", m_root + "vol2/"});
        setHomeFolder(m_root + "home");
        makeFolder(m_root + "vol1");
        makeFolder(m_root + "vol2");
        makeFolder(m_root + "home");
        m_outstanding = taskAllocator()->outstanding();
    }
    void TearDown() override {
        EXPECT_EQ(taskAllocator()->outstanding(), m_outstanding) << "identifiers not given back";
        setVolumes(std::nullopt);
        setHomeFolder(std::nullopt);
    }

    // The folder of a volume, bound through the namespace from the desktop.
    std::shared_ptr<Folder> volumeFolder(int index) {
        auto desktop = desktopFolder();
        std::vector<ItemId> roots = desktop->enumerate(kEnumFolders).value();
        auto computer = desktop->bindToFolder(roots.at(0));
        std::vector<ItemId> drives = computer->enumerate(kEnumFolders).value();
        auto folder = computer->bindToFolder(drives.at(static_cast<size_t>(index)));
        freeAll(roots);
        freeAll(drives);
        return folder;
    }

    QTemporaryDir m_dir;
    QString m_root;
    long m_outstanding = 0;
};

TEST_F(ShellTest, DesktopHoldsComputerThenHome) {
    auto desktop = desktopFolder();
    std::vector<ItemId> roots = desktop->enumerate(kEnumFolders).value();
    ASSERT_EQ(roots.size(), 2u);
    EXPECT_EQ(desktop->displayName(roots[0], kNameInFolder), "Computer");
    EXPECT_EQ(desktop->displayName(roots[1], kNameInFolder), "Home");
    // The home root's parsing name is its path; the computer's is not a path at all.
    EXPECT_EQ(desktop->displayName(roots[1], kNameForParsing | kNameInFolder), m_root + "home/");
    EXPECT_FALSE(desktop->displayName(roots[0], kNameForParsing)->startsWith('/'));
    for (const ItemId& root : roots) {
        const uint32_t attrs = desktop->attributes(root, kAttrFileSysAncestor | kAttrFolder);
        EXPECT_EQ(attrs, kAttrFileSysAncestor | kAttrFolder);
    }
    EXPECT_TRUE(desktop->enumerate(kEnumNonFolders)->empty());
    freeAll(roots);

    setHomeFolder(QString());
    roots = desktop->enumerate(kEnumFolders).value();
    EXPECT_EQ(roots.size(), 1u);
    freeAll(roots);
}

TEST_F(ShellTest, ComputerListsTheVolumesInOrder) {
    auto desktop = desktopFolder();
    std::vector<ItemId> roots = desktop->enumerate(kEnumFolders).value();
    auto computer = desktop->bindToFolder(roots[0]);
    ASSERT_TRUE(computer);
    std::vector<ItemId> drives = computer->enumerate(kEnumFolders).value();
    QStringList names;
    for (const ItemId& drive : drives)
        names << computer->displayName(drive, kNameForParsing | kNameInFolder).value();
    EXPECT_EQ(names, (QStringList{m_root + "vol1/", m_root + "vol2/"}));
    EXPECT_TRUE(computer->attributes(drives[0], kAttrFileSysAncestor) & kAttrFileSysAncestor);
    EXPECT_FALSE(computer->bindToFolder(ItemId{m_root + "elsewhere/"}));
    freeAll(roots);
    freeAll(drives);
}

TEST_F(ShellTest, DefaultVolumesStartAtTheFileSystemRoot) {
    setVolumes(std::nullopt);
    qunsetenv("KERRIS_SHELL_VOLUMES");
    const std::vector<QString> all = volumes();
    ASSERT_FALSE(all.empty());
    EXPECT_EQ(all.front(), "/");
    qputenv("KERRIS_SHELL_VOLUMES", (m_root + "vol2:" + m_root + "vol1").toLocal8Bit());
    EXPECT_EQ(volumes(), (std::vector<QString>{m_root + "vol2/", m_root + "vol1/"}));
    qunsetenv("KERRIS_SHELL_VOLUMES");
}

TEST_F(ShellTest, DriveRootIsTheLongestVolumePrefix) {
    setVolumes(std::vector<QString>{"/", "/media/usb/"});
    EXPECT_EQ(driveRoot("/media/usb/DCIM/"), "/media/usb/");
    EXPECT_EQ(driveRoot("/media/usb"), "/media/usb/");
    EXPECT_EQ(driveRoot("/media/usbstick/"), "/");
    EXPECT_EQ(driveRoot("/home/"), "/");
    EXPECT_EQ(driveRoot("relative/"), "");
}

TEST_F(ShellTest, FoldersAndFilesAreEnumeratedSeparatelyInNameOrder) {
    makeFolder(m_root + "vol1/b");
    makeFolder(m_root + "vol1/A");
    makeFolder(m_root + "vol1/.hidden");
    makeFile(m_root + "vol1/c.jpg");
    makeFile(m_root + "vol1/B.bmp");
    makeFile(m_root + "vol1/.secret.jpg");
    auto folder = volumeFolder(0);
    ASSERT_TRUE(folder);
    std::vector<ItemId> folders = folder->enumerate(kEnumFolders).value();
    std::vector<ItemId> files = folder->enumerate(kEnumNonFolders).value();
    std::vector<ItemId> both = folder->enumerate(kEnumFolders | kEnumNonFolders).value();
    EXPECT_EQ(keys(folders), (QStringList{"A", "b"}));
    EXPECT_EQ(keys(files), (QStringList{"B.bmp", "c.jpg"}));
    EXPECT_EQ(keys(both), (QStringList{"A", "b", "B.bmp", "c.jpg"}));
    freeAll(folders);
    freeAll(files);
    freeAll(both);
}

TEST_F(ShellTest, AFolderThatCannotBeReadHasNoEnumerator) {
    makeFolder(m_root + "vol1/gone");
    auto folder = volumeFolder(0);
    auto gone = folder->bindToFolder(ItemId{"gone"});
    ASSERT_TRUE(gone);
    ASSERT_TRUE(QDir(m_root + "vol1/gone").removeRecursively());
    EXPECT_FALSE(gone->enumerate(kEnumFolders).has_value());
    EXPECT_FALSE(folder->bindToFolder(ItemId{"gone"}));
}

TEST_F(ShellTest, AttributesAnswerOnlyWhatWasAsked) {
    makeFolder(m_root + "vol1/parent/child");
    makeFolder(m_root + "vol1/leaf");
    makeFolder(m_root + "vol1/hiddenonly/.git");
    makeFile(m_root + "vol1/leaf/file.jpg");
    makeFile(m_root + "vol1/pic.jpg");
    auto folder = volumeFolder(0);
    const uint32_t all = kAttrFolder | kAttrHasSubFolder | kAttrFileSysAncestor | kAttrFileSystem;
    EXPECT_EQ(folder->attributes(ItemId{"parent"}, all), all);
    EXPECT_EQ(folder->attributes(ItemId{"leaf"}, all), all & ~kAttrHasSubFolder);
    EXPECT_EQ(folder->attributes(ItemId{"hiddenonly"}, kAttrHasSubFolder), 0u);
    EXPECT_EQ(folder->attributes(ItemId{"pic.jpg"}, all), kAttrFileSystem);
    EXPECT_EQ(folder->attributes(ItemId{"parent"}, kAttrFolder), kAttrFolder);
    EXPECT_EQ(folder->attributes(ItemId{"missing"}, all), 0u);
    EXPECT_EQ(folder->attributes(ItemId{}, all), 0u);
}

// Items right under the home root carry absolute parsing names, like the volumes under
// "Computer", so that a path built from the tree's names always starts at "/"; deeper items
// keep their plain names.
TEST_F(ShellTest, TheHomeRootsItemsHaveAbsoluteParsingNames) {
    makeFile(m_root + "home/Pictures/trip/a.jpg");
    auto desktop = desktopFolder();
    std::vector<ItemId> roots = desktop->enumerate(kEnumFolders).value();
    ASSERT_EQ(roots.size(), 2u);
    auto home = desktop->bindToFolder(roots[1]);
    ASSERT_TRUE(home);
    const ItemId pictures{"Pictures"};
    EXPECT_EQ(home->displayName(pictures, kNameForParsing | kNameInFolder),
              m_root + "home/Pictures");
    EXPECT_EQ(home->displayName(pictures, kNameForParsing), m_root + "home/Pictures");
    EXPECT_EQ(home->displayName(pictures, kNameInFolder), "Pictures");
    auto sub = home->bindToFolder(pictures);
    ASSERT_TRUE(sub);
    EXPECT_EQ(sub->displayName(ItemId{"trip"}, kNameForParsing | kNameInFolder), "trip");
    EXPECT_EQ(sub->displayName(ItemId{"trip"}, kNameForParsing), m_root + "home/Pictures/trip");
    freeAll(roots);
}

TEST_F(ShellTest, NamesForDisplayAndParsing) {
    makeFile(m_root + "vol1/sub/pic one.JPG");
    auto sub = volumeFolder(0)->bindToFolder(ItemId{"sub"});
    ASSERT_TRUE(sub);
    const ItemId pic{"pic one.JPG"};
    EXPECT_EQ(sub->displayName(pic, kNameNormal), "pic one.JPG");
    EXPECT_EQ(sub->displayName(pic, kNameInFolder), "pic one.JPG");
    EXPECT_EQ(sub->displayName(pic, kNameForParsing | kNameInFolder), "pic one.JPG");
    EXPECT_EQ(sub->displayName(pic, kNameForParsing), m_root + "vol1/sub/pic one.JPG");
    EXPECT_FALSE(sub->displayName(ItemId{}, kNameNormal));
    EXPECT_FALSE(sub->bindToFolder(pic)) << "a file is not a folder";
}

TEST_F(ShellTest, IconIndicesFollowTheIconNames) {
    makeFolder(m_root + "vol1/f1");
    makeFolder(m_root + "vol1/f2");
    makeFile(m_root + "vol1/a.jpg");
    makeFile(m_root + "vol1/b.JPG");
    makeFile(m_root + "vol1/c.txt");
    auto folder = volumeFolder(0);
    auto f1 = folder->iconExtractor(ItemId{"f1"});
    auto f2 = folder->iconExtractor(ItemId{"f2"});
    ASSERT_TRUE(f1 && f2);
    EXPECT_EQ(f1->location(kIconAsync).index, f2->location(kIconAsync).index);
    EXPECT_NE(f1->location(kIconAsync).name, f1->location(kIconOpen).name);
    EXPECT_NE(f1->location(kIconAsync).index, f1->location(kIconOpen).index);
    auto a = folder->iconExtractor(ItemId{"a.jpg"});
    auto b = folder->iconExtractor(ItemId{"b.JPG"});
    auto c = folder->iconExtractor(ItemId{"c.txt"});
    EXPECT_EQ(a->location(kIconAsync).index, b->location(kIconAsync).index);
    EXPECT_NE(a->location(kIconAsync).index, f1->location(kIconAsync).index);
    EXPECT_NE(a->location(kIconAsync).name, c->location(kIconAsync).name);
    EXPECT_NE(a->location(kIconAsync).index, c->location(kIconAsync).index);

    const std::optional<ExtractedIcons> icons = a->extract(a->location(kIconAsync), 0);
    ASSERT_TRUE(icons);
    EXPECT_EQ(icons->small.size(), QSize(16, 16));
    EXPECT_EQ(icons->large.size(), QSize(32, 32));
    EXPECT_FALSE(a->extract(IconLocation{}, 0));
    EXPECT_FALSE(folder->iconExtractor(ItemId{}));
}

TEST_F(ShellTest, TypeNamesComeFromTheMimeDatabase) {
    makeFile(m_root + "vol1/x.jpg");
    makeFolder(m_root + "vol1/d.jpg");
    const FileInfo jpeg = fileInfo(m_root + "vol1/x.jpg");
    EXPECT_TRUE(jpeg.typeName.contains("JPEG", Qt::CaseInsensitive)) << jpeg.typeName.toStdString();
    EXPECT_EQ(jpeg.displayName, "x.jpg");
    EXPECT_EQ(jpeg.attributes & kAttrFolder, 0u);
    EXPECT_TRUE(typeName(m_root + "vol1/y.bmp", false).contains("BMP", Qt::CaseInsensitive));
    const FileInfo dir = fileInfo(m_root + "vol1/d.jpg");
    EXPECT_TRUE(dir.attributes & kAttrFolder);
    EXPECT_NE(dir.typeName, jpeg.typeName);
    EXPECT_LE(typeName(m_root + "vol1/z.unknownextension", false).size(), 79);
}

TEST_F(ShellTest, FindFileReportsSizeKindAndTime) {
    makeFile(m_root + "vol1/big.jpg", 3'000'000'000LL);
    makeFolder(m_root + "vol1/dir.jpg");
    const std::optional<FindData> big = findFile(m_root + "vol1/big.jpg");
    ASSERT_TRUE(big);
    EXPECT_FALSE(big->directory);
    EXPECT_EQ(big->size, 3'000'000'000LL);
    EXPECT_NEAR(static_cast<double>(big->lastWrite),
                static_cast<double>(QDateTime::currentSecsSinceEpoch()), 60.0);
    EXPECT_TRUE(findFile(m_root + "vol1/dir.jpg")->directory);
    EXPECT_FALSE(findFile(m_root + "vol1/none.jpg"));
    EXPECT_FALSE(findFile(QString()));
}

TEST_F(ShellTest, RenameNeverReplacesAnExistingFile) {
    makeFile(m_root + "vol1/a.jpg", 10);
    makeFile(m_root + "vol1/b.jpg", 20);
    QStringList reports;
    const auto report = [&](const QString& text) { reports << text; };

    OperationResult result = renameItem(m_root + "vol1/a.jpg", m_root + "vol1/b.jpg", report);
    EXPECT_EQ(result.error, EEXIST);
    EXPECT_EQ(QFileInfo(m_root + "vol1/a.jpg").size(), 10);
    EXPECT_EQ(QFileInfo(m_root + "vol1/b.jpg").size(), 20);
    ASSERT_EQ(reports.size(), 1);
    EXPECT_TRUE(reports[0].contains("a.jpg"));

    result = renameItem(m_root + "vol1/a.jpg", m_root + "vol1/c.jpg", report);
    EXPECT_EQ(result.error, 0);
    EXPECT_FALSE(QFileInfo::exists(m_root + "vol1/a.jpg"));
    EXPECT_EQ(QFileInfo(m_root + "vol1/c.jpg").size(), 10);

    result = renameItem(m_root + "vol1/missing.jpg", m_root + "vol1/d.jpg", report);
    EXPECT_EQ(result.error, ENOENT);
    EXPECT_EQ(renameItem(QString(), m_root + "vol1/d.jpg", report).error, EINVAL);
    EXPECT_EQ(reports.size(), 3);
}

class TrashTest : public ShellTest {
protected:
    void SetUp() override {
        ShellTest::SetUp();
        // The Trash of the test's own data folder, on the same file system as the files.
        qputenv("XDG_DATA_HOME", (m_root + "share").toLocal8Bit());
        makeFolder(m_root + "share");
    }
    bool inTrash(const QString& name) const {
        return QFileInfo::exists(m_root + "share/Trash/files/" + name);
    }
};

TEST_F(TrashTest, RefusedConfirmationDeletesNothing) {
    makeFile(m_root + "vol1/a.jpg");
    QStringList asked;
    const OperationResult result = deleteToTrash(
        {m_root + "vol1/a.jpg"},
        [&](const QStringList& paths) {
            asked = paths;
            return false;
        },
        nullptr);
    EXPECT_TRUE(result.aborted);
    EXPECT_EQ(result.error, 0);
    EXPECT_EQ(asked, QStringList{m_root + "vol1/a.jpg"});
    EXPECT_TRUE(QFileInfo::exists(m_root + "vol1/a.jpg"));
}

TEST_F(TrashTest, ConfirmedDeletionMovesFilesToTheTrash) {
    makeFile(m_root + "vol1/a.jpg");
    makeFile(m_root + "vol1/b.jpg");
    const OperationResult result = deleteToTrash(
        {m_root + "vol1/a.jpg", m_root + "vol1/b.jpg"}, [](const QStringList&) { return true; },
        nullptr);
    EXPECT_FALSE(result.aborted);
    EXPECT_EQ(result.error, 0);
    EXPECT_FALSE(QFileInfo::exists(m_root + "vol1/a.jpg"));
    EXPECT_FALSE(QFileInfo::exists(m_root + "vol1/b.jpg"));
    EXPECT_TRUE(inTrash("a.jpg"));
    EXPECT_TRUE(inTrash("b.jpg"));
}

TEST_F(TrashTest, AMissingFileStopsWithAReport) {
    makeFile(m_root + "vol1/b.jpg");
    QStringList reports;
    const OperationResult result = deleteToTrash(
        {m_root + "vol1/missing.jpg", m_root + "vol1/b.jpg"},
        [](const QStringList&) { return true; }, [&](const QString& text) { reports << text; });
    EXPECT_EQ(result.error, ENOENT);
    EXPECT_EQ(reports.size(), 1);
    EXPECT_TRUE(QFileInfo::exists(m_root + "vol1/b.jpg"));
}

TEST_F(TrashTest, FoldersInTheListAreLeftAlone) {
    makeFolder(m_root + "vol1/keep.jpg");
    const OperationResult result = deleteToTrash(
        {m_root + "vol1/keep.jpg"}, [](const QStringList&) { return true; }, nullptr);
    EXPECT_EQ(result.error, 0);
    EXPECT_TRUE(QFileInfo(m_root + "vol1/keep.jpg").isDir());
}

TEST_F(ShellTest, ChangesReachTheListeners) {
    QSignalSpy spy(&changeNotifier(), &ChangeNotifier::changed);
    notifyChange(ChangeEvent::RenameItem, "/a/x.jpg", "/a/y.jpg");
    ASSERT_EQ(spy.count(), 1);
    EXPECT_EQ(spy.at(0).at(1).toString(), "/a/x.jpg");
    EXPECT_EQ(spy.at(0).at(2).toString(), "/a/y.jpg");
}

TEST(Allocator, CountsWhatIsOutstanding) {
    Allocator allocator;
    ItemId a{"a"};
    ItemId empty;
    allocator.take(a);
    allocator.take(empty);
    EXPECT_EQ(allocator.outstanding(), 1);
    allocator.free(a);
    EXPECT_TRUE(a.empty());
    allocator.free(a); // already given back: nothing happens
    EXPECT_EQ(allocator.outstanding(), 0);
}

} // namespace
} // namespace kerris::shell
