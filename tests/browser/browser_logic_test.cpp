// The browser's window logic without a window: path elements, size and date cells, the
// picture filter, rename checks and the message table.
#include "browser/file_filter.h"
#include "browser/file_list.h"
#include "browser/folder_tree.h"
#include "browser/messages.h"
#include "browser/path_elements.h"
#include "browser/size_text.h"
#include "browser/user_interface.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

namespace lumicart {
namespace {

struct ElementsCase {
    const char* folder;
    const char* root;
    QStringList expected;
};

class PathElementsTest : public ::testing::TestWithParam<ElementsCase> {};

TEST_P(PathElementsTest, SplitsIntoRootAndFolderNames) {
    const ElementsCase& c = GetParam();
    EXPECT_EQ(pathElements(QString::fromUtf8(c.folder), QString::fromUtf8(c.root)), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Folders, PathElementsTest,
    ::testing::Values(
        ElementsCase{"/home/ann/Photos/", "/", {"/", "home", "ann", "Photos"}},
        ElementsCase{"/media/usb/DCIM/100/", "/media/usb/", {"/media/usb/", "DCIM", "100"}},
        // Only the folder part counts: a trailing file name is not an element.
        ElementsCase{"/home/ann/x.jpg", "/", {"/", "home", "ann"}},
        // Repeated and overlapping names are found again at the front of what is left.
        ElementsCase{"/a/a/a/", "/", {"/", "a", "a", "a"}},
        ElementsCase{"/ab/b/", "/", {"/", "ab", "b"}}, ElementsCase{"/", "/", {"/"}},
        ElementsCase{"", "/", {"/"}},
        // A folder without its closing "/" loses its last name, as a folder part must.
        ElementsCase{"/home/ann", "/", {"/", "home"}},
        // No volume prefixes the folder: the split still ends.
        ElementsCase{"x/y/", "", {"/", "y"}}, ElementsCase{"/a//b/", "/", {"/", "a", "", "b"}},
        ElementsCase{"/Fotos 2001/Ürlaub/", "/", {"/", "Fotos 2001", "Ürlaub"}}));

TEST(FolderPart, UpToAndIncludingTheLastSlash) {
    EXPECT_EQ(folderPart("/a/b/c.jpg"), "/a/b/");
    EXPECT_EQ(folderPart("/a/b/"), "/a/b/");
    EXPECT_EQ(folderPart("c.jpg"), "");
}

struct SizeCase {
    int64_t bytes;
    const char* expected;
};

class SizeTextTest : public ::testing::TestWithParam<SizeCase> {};

TEST_P(SizeTextTest, RoundsToWholeKilobytesWithSeparators) {
    const QLocale english(QLocale::English, QLocale::UnitedStates);
    EXPECT_EQ(sizeText(GetParam().bytes, english), QString::fromLatin1(GetParam().expected));
}

INSTANTIATE_TEST_SUITE_P(Sizes, SizeTextTest,
                         ::testing::Values(SizeCase{0, "0KB"}, SizeCase{511, "0KB"},
                                           SizeCase{512, "1KB"}, SizeCase{1100, "1KB"},
                                           SizeCase{1900, "2KB"}, SizeCase{2048, "2KB"},
                                           SizeCase{1048576, "1,024KB"},
                                           SizeCase{1263616, "1,234KB"},
                                           // Beyond 2 GB a 32-bit size would turn negative.
                                           SizeCase{int64_t{1} << 31, "2,097,152KB"},
                                           SizeCase{int64_t{5} << 30, "5,242,880KB"}));

TEST(SizeText, FollowsTheLocaleSeparator) {
    EXPECT_EQ(sizeText(1048576, QLocale(QLocale::German, QLocale::Germany)), "1.024KB");
}

TEST(DateText, LocalTimeInFixedFormat) {
    const char* saved = std::getenv("TZ");
    const std::string previous = saved ? saved : "";
    setenv("TZ", "UTC", 1);
    tzset();
    EXPECT_EQ(dateText(0), "1970/01/01 00:00:00");
    EXPECT_EQ(dateText(1706715902), "2024/01/31 15:45:02");
    setenv("TZ", "UTC-2", 1); // two hours east
    tzset();
    EXPECT_EQ(dateText(1706715902), "2024/01/31 17:45:02");
    EXPECT_EQ(dateText(1706745599), "2024/02/01 01:59:59");
    if (saved)
        setenv("TZ", previous.c_str(), 1);
    else
        unsetenv("TZ");
    tzset();
}

struct FilterCase {
    const char* name;
    bool listed;
};

class PictureFilterTest : public ::testing::TestWithParam<FilterCase> {};

TEST_P(PictureFilterTest, ListsOnlyPictureExtensions) {
    EXPECT_EQ(isPictureFile(QString::fromUtf8(GetParam().name)), GetParam().listed)
        << GetParam().name;
}

INSTANTIATE_TEST_SUITE_P(
    Names, PictureFilterTest,
    ::testing::Values(FilterCase{"/p/a.JPG", true}, FilterCase{"/p/b.jpeg", true},
                      FilterCase{"/p/c.Bmp", true}, FilterCase{"/p/d.gif", false},
                      FilterCase{"/p/e.jpe", false}, FilterCase{"/p/noext", false},
                      FilterCase{"/p/x.jpg.txt", false}, FilterCase{"/p/.jpg", true},
                      FilterCase{"/p.jpg/file", false}, FilterCase{"/p/a:b.jpg", true},
                      FilterCase{"/p/x.jpg:stream", false}, FilterCase{"", false},
                      FilterCase{"/p/a.JPEG", true}, FilterCase{"/p/a.jpgx", false}));

TEST(FileExtension, FromTheLastDotAfterTheLastSeparator) {
    EXPECT_EQ(fileExtension("/a.b/c"), "");
    EXPECT_EQ(fileExtension("/a/b.tar.gz"), ".gz");
    EXPECT_EQ(fileExtension("/a/b."), ".");
    EXPECT_EQ(fileExtension("c:d"), "");
}

struct RenameCase {
    const char* edited;
    RenameVerdict verdict;
    const char* newPath;
};

class RenamePlanTest : public ::testing::TestWithParam<RenameCase> {};

TEST_P(RenamePlanTest, ChecksTheEditedName) {
    const RenamePlan plan = planRename("/p/a.jpg", QString::fromUtf8(GetParam().edited));
    EXPECT_EQ(plan.verdict, GetParam().verdict) << GetParam().edited;
    if (GetParam().verdict != RenameVerdict::ExtensionChanged) {
        EXPECT_EQ(plan.newPath, QString::fromUtf8(GetParam().newPath)) << GetParam().edited;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Edits, RenamePlanTest,
    ::testing::Values(RenameCase{"b.JPG", RenameVerdict::Rename, "/p/b.JPG"},
                      RenameCase{"b.jpg   ", RenameVerdict::Rename, "/p/b.jpg"},
                      RenameCase{"b.bmp", RenameVerdict::ExtensionChanged, ""},
                      RenameCase{"b", RenameVerdict::ExtensionChanged, ""},
                      RenameCase{"", RenameVerdict::ExtensionChanged, ""},
                      RenameCase{"a.jpg", RenameVerdict::Unchanged, "/p/a.jpg"},
                      RenameCase{"a.jpg  ", RenameVerdict::Unchanged, "/p/a.jpg"},
                      RenameCase{"A.jpg", RenameVerdict::Rename, "/p/A.jpg"},
                      // Names that would move the file elsewhere are refused.
                      RenameCase{"sub/b.jpg", RenameVerdict::InvalidName, "/p/sub/b.jpg"},
                      RenameCase{"../b.jpg", RenameVerdict::InvalidName, "/p/../b.jpg"},
                      RenameCase{".jpg", RenameVerdict::Rename, "/p/.jpg"}));

TEST(MessageTable, HoldsElevenEntriesInTheirPlaces) {
    const QStringList& table = messageTable();
    ASSERT_EQ(table.size(), 11);
    EXPECT_EQ(table.at(kMsgNoDevice), "Cannot find device!!");
    EXPECT_EQ(table.at(kMsgNoCameraLibrary), "DLL Can not found (kerriscp.dll)!!");
    EXPECT_EQ(table.at(kMsgExtensionError), "File's extension name error !!");
    EXPECT_EQ(table.at(kMsgDifferentImageFile), "Found different image file(%s)!!");
    EXPECT_EQ(table.at(kMsgCannotLoadBitmap), "Can not load Bitmap file(%s)!!");
}

TEST(MessageText, ReplacesTheFormatWithTheArgument) {
    const QStringList& table = messageTable();
    EXPECT_EQ(messageText(table, kMsgDifferentSize, QString("big.bmp")),
              "Different image size(big.bmp)!!");
    // A name that itself looks like a format is shown as it is.
    EXPECT_EQ(messageText(table, kMsgBitmapOnly, QString("%s%d.jpg")),
              "Support Bitmap files only(%s%d.jpg)!!");
    EXPECT_EQ(messageText(table, kMsgExtensionError, QString("ignored")),
              "File's extension name error !!");
    EXPECT_EQ(messageText(table, kMsgDifferentSize), "Different image size(%s)!!");
}

TEST(MessageText, NumbersOutsideTheTableGiveNothing) {
    const QStringList& table = messageTable();
    EXPECT_FALSE(messageText(table, -1).has_value());
    EXPECT_FALSE(messageText(table, 11).has_value());
    EXPECT_FALSE(messageText(QStringList(), 0).has_value());
}

// Sets the user's locale for one test.
class LocaleScope {
public:
    explicit LocaleScope(const QLocale& locale) { QLocale::setDefault(locale); }
    ~LocaleScope() { QLocale::setDefault(m_saved); }

private:
    QLocale m_saved;
};

TEST(NameOrder, FollowsCollationNotCodePoints) {
    const LocaleScope english(QLocale(QLocale::English, QLocale::UnitedStates));
    // Code points would put every capital before every small letter.
    EXPECT_LT(compareText("apple", "Banana"), 0);
    EXPECT_GT(compareText("Banana", "apple"), 0);
    // Case-sensitive: b and B differ, in a fixed order.
    EXPECT_NE(compareText("b", "B"), 0);
    EXPECT_EQ(compareText("b", "B"), -compareText("B", "b"));
    EXPECT_EQ(compareText("same", "same"), 0);
    // Digits before letters, and 10 after 1 as text.
    EXPECT_LT(compareText("1.jpg", "a.jpg"), 0);
    EXPECT_LT(compareText("IMG_1.jpg", "IMG_10.jpg"), 0);
}

TEST(NameOrder, ThePosixLocaleComparesCodePoints) {
    const LocaleScope posix(QLocale::c());
    EXPECT_LT(compareText("Banana", "apple"), 0);
    // Back in a language's locale the order follows it again.
    const LocaleScope english(QLocale(QLocale::English, QLocale::UnitedStates));
    EXPECT_LT(compareText("apple", "Banana"), 0);
}

TEST(NameOrder, RootNodesKeepTheirPlace) {
    TreeNode root;
    root.record = std::make_unique<NodeRecord>(NodeRecord{"zzz", {}});
    TreeNode parent;
    auto* a = new TreeNode;
    auto* b = new TreeNode;
    a->record = std::make_unique<NodeRecord>(NodeRecord{"a", {}});
    b->record = std::make_unique<NodeRecord>(NodeRecord{"b", {}});
    parent.addChild(b);
    parent.addChild(a);
    EXPECT_EQ(TreeView1Compare(&root, a), 0);
    EXPECT_EQ(TreeView1Compare(&root, &parent), 0);
    EXPECT_LT(TreeView1Compare(a, b), 0);
    EXPECT_GT(TreeView1Compare(b, a), 0);
    EXPECT_TRUE(*a < *b);
    EXPECT_FALSE(root < parent);
    // A node whose record was freed sorts as an empty name.
    b->record.reset();
    EXPECT_GT(TreeView1Compare(a, b), 0);
}

TEST(NameOrder, ItemsWithoutRecordsCompareEqual) {
    const LocaleScope english(QLocale(QLocale::English, QLocale::UnitedStates));
    FileItem a, b, bare;
    a.record = std::make_unique<ItemRecord>(ItemRecord{"/p/a.jpg"});
    b.record = std::make_unique<ItemRecord>(ItemRecord{"/p/b.jpg"});
    a.setText(kColumnName, "a.jpg");
    b.setText(kColumnName, "B.jpg");
    bare.setText(kColumnName, "0.jpg");
    EXPECT_LT(ListView1Compare(&a, &b), 0);
    EXPECT_EQ(ListView1Compare(&a, &bare), 0);
    EXPECT_EQ(ListView1Compare(&bare, &b), 0);
    EXPECT_TRUE(a.flags() & Qt::ItemIsEditable);
}

TEST(FileDialogFilter, PairsBecomeQtFilters) {
    EXPECT_EQ(qtFileFilter("Audio Video Interleaved Files (*.avi)|*.avi|All Files (*.*)|*.*"),
              "Audio Video Interleaved Files (*.avi);;All Files (*.*)");
    // A description without its patterns gets them; pattern lists are space-separated.
    EXPECT_EQ(qtFileFilter("Pictures|*.jpg;*.bmp"), "Pictures (*.jpg *.bmp)");
    // A dangling description without patterns is dropped.
    EXPECT_EQ(qtFileFilter("Movies|*.avi|Broken"), "Movies (*.avi)");
    EXPECT_EQ(qtFileFilter(""), "");
}

} // namespace
} // namespace lumicart
