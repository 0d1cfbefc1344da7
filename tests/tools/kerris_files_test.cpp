// The tool's file side: picture names and the running-number loop, bitmap layout, writing
// without replacing and without partial files, and the progress bar's text.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>

#include "tests/tools/tool_test_support.h"
#include "tools/kerris/bitmap_writer.h"
#include "tools/kerris/picture_naming.h"
#include "tools/kerris/progress_bar.h"

using namespace kerris::tool;
using namespace tooltest;

namespace {

const LocalDate kJan31{2024, 1, 31};

// A 24-bit picture record as the camera library makes it, pixels filled with a pattern.
std::vector<std::uint8_t> pictureRecord(int w, int h) {
    std::vector<std::uint8_t> block(sizeof(CpiImage) + std::size_t(w) * h * 3);
    CpiImage header{};
    header.headerSize = 40;
    header.width = w;
    header.height = h;
    header.planes = 1;
    header.bitsPerPixel = 24;
    header.imageSize = std::uint32_t(w * h * 3);
    std::memcpy(block.data(), &header, sizeof header);
    for (std::size_t i = sizeof header; i < block.size(); ++i)
        block[i] = std::uint8_t(i * 31);
    return block;
}

CpiImage* headerOf(std::vector<std::uint8_t>& block) {
    return reinterpret_cast<CpiImage*>(block.data());
}

} // namespace

TEST(PictureNaming, FileNames) {
    struct Case {
        LocalDate date;
        unsigned number;
        std::uint32_t compression;
        const char* name;
    } cases[] = {
        {kJan31, 1, 0, "20240131-01.bmp"},    {kJan31, 99, 0, "20240131-99.bmp"},
        {kJan31, 100, 0, "20240131-100.bmp"}, {kJan31, 65535, 0, "20240131-65535.bmp"},
        {kJan31, 7, 1, "20240131-07.jpg"},    {{999, 12, 5}, 3, 0, "09991205-03.bmp"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(pictureFileName(c.date, c.number, c.compression), c.name);
    EXPECT_EQ(joinPath("/tmp/x", "a.bmp"), "/tmp/x/a.bmp");
    EXPECT_EQ(joinPath("/tmp/x/", "a.bmp"), "/tmp/x/a.bmp");
    EXPECT_EQ(joinPath("", "a.bmp"), "a.bmp");
}

TEST(PictureNaming, RunningNumberSkipsTakenNamesAndOnlyGrows) {
    // With -01 and -03 in the folder, three pictures become -02, -04 and -05.
    TempFolder folder;
    writeFile(folder / "20240131-01.bmp", "old one");
    writeFile(folder / "20240131-03.bmp", "old three");
    std::uint16_t number = 0;
    std::vector<std::string> names;
    for (int picture = 0; picture < 3; ++picture) {
        std::string path;
        ASSERT_TRUE(nextFreePictureName(folder.path(), kJan31, 0, number, path));
        names.push_back(path.substr(folder.path().size() + 1));
        writeFile(path, "new");
    }
    EXPECT_EQ(names,
              (std::vector<std::string>{"20240131-02.bmp", "20240131-04.bmp", "20240131-05.bmp"}));
    EXPECT_EQ(readFile(folder / "20240131-01.bmp").size(), 7u);
}

TEST(PictureNaming, ANewDateKeepsTheRunningNumber) {
    // The run's number is shared by all its pictures: after midnight it goes on from where it
    // was, even though the new day's low numbers are free.
    std::uint16_t number = 0;
    std::string path;
    auto nothingTaken = [](const std::string&) { return false; };
    ASSERT_TRUE(nextFreePictureName("/f", kJan31, 0, number, path, nothingTaken));
    ASSERT_TRUE(nextFreePictureName("/f", kJan31, 0, number, path, nothingTaken));
    ASSERT_TRUE(nextFreePictureName("/f", {2024, 2, 1}, 0, number, path, nothingTaken));
    EXPECT_EQ(path, "/f/20240201-03.bmp");
}

TEST(PictureNaming, GivesUpWhenEveryNumberIsTaken) {
    std::uint16_t number = 0;
    std::string path = "unchanged";
    int asked = 0;
    auto allTaken = [&asked](const std::string&) {
        ++asked;
        return true;
    };
    EXPECT_FALSE(nextFreePictureName("/f", kJan31, 0, number, path, allTaken));
    EXPECT_EQ(number, 0xFFFF);
    EXPECT_EQ(asked, 0xFFFF);
    EXPECT_EQ(path, "unchanged");
    // And a run that already stands at the end does not wrap round to 0.
    EXPECT_FALSE(nextFreePictureName("/f", kJan31, 0, number, path,
                                     [](const std::string&) { return false; }));
}

TEST(PictureNaming, ADanglingLinkHoldsItsName) {
    TempFolder folder;
    ASSERT_EQ(::symlink("/nonexistent/target", (folder / "20240131-01.bmp").c_str()), 0);
    std::uint16_t number = 0;
    std::string path;
    ASSERT_TRUE(nextFreePictureName(folder.path(), kJan31, 0, number, path));
    EXPECT_EQ(path, folder / "20240131-02.bmp");
}

TEST(BitmapLayout, FollowsTheFileHeaderRules) {
    struct Case {
        const char* what;
        std::int32_t w, h;
        std::uint16_t bits;
        std::uint32_t compression, imageSize, coloursUsed;
        bool valid;
        std::uint32_t colours, image, offset, file;
    } cases[] = {
        {"camera VGA", 640, 480, 24, 0, 640 * 480 * 3, 0, true, 0, 921600, 54, 921654},
        {"camera QCIF", 176, 144, 24, 0, 176 * 144 * 3, 0, true, 0, 76032, 54, 76086},
        {"rows padded to 4 bytes", 5, 2, 24, 0, 0, 0, true, 0, 32, 54, 86},
        {"stale image size recomputed", 4, 4, 24, 0, 12345, 0, true, 0, 48, 54, 102},
        {"8 bits get a full colour table", 4, 1, 8, 0, 0, 0, true, 256, 4, 1078, 1082},
        {"colours-used wins", 4, 1, 8, 0, 0, 16, true, 16, 4, 118, 122},
        {"compressed keeps its size", 4, 4, 8, 1, 100, 0, true, 256, 100, 1078, 1178},
        {"compressed without size", 4, 4, 8, 1, 0, 0, false, 0, 0, 0, 0},
        {"zero width", 0, 4, 24, 0, 0, 0, false, 0, 0, 0, 0},
        {"negative height", 4, -4, 24, 0, 0, 0, false, 0, 0, 0, 0},
        {"past 4 GiB", 65536, 65536, 24, 0, 0, 0, false, 0, 0, 0, 0},
    };
    for (const auto& c : cases) {
        CpiImage header{};
        header.width = c.w;
        header.height = c.h;
        header.bitsPerPixel = c.bits;
        header.compression = c.compression;
        header.imageSize = c.imageSize;
        header.coloursUsed = c.coloursUsed;
        const auto layout = bitmapLayout(header);
        ASSERT_EQ(layout.has_value(), c.valid) << c.what;
        if (!layout)
            continue;
        EXPECT_EQ(layout->colourCount, c.colours) << c.what;
        EXPECT_EQ(layout->imageSize, c.image) << c.what;
        EXPECT_EQ(layout->pixelOffset, c.offset) << c.what;
        EXPECT_EQ(layout->fileSize, c.file) << c.what;
    }
}

TEST(BitmapWriter, WritesHeaderAndRecordExactly) {
    TempFolder folder;
    auto record = pictureRecord(8, 4);
    headerOf(record)->imageSize = 7; // brought up to date before writing
    std::string error;
    ASSERT_EQ(writeBitmapFile(headerOf(record), record.size(), folder / "a.bmp", error),
              WriteOutcome::Written)
        << error;
    const auto bytes = readFile(folder / "a.bmp");
    ASSERT_EQ(bytes.size(), 14u + 40 + 96);
    EXPECT_EQ(bytes[0], 'B');
    EXPECT_EQ(bytes[1], 'M');
    EXPECT_EQ(little32(bytes, 2), 150u);
    EXPECT_EQ(little32(bytes, 6), 0u);
    EXPECT_EQ(little32(bytes, 10), 54u);
    EXPECT_EQ(headerOf(record)->imageSize, 96u);
    EXPECT_TRUE(std::equal(record.begin(), record.end(), bytes.begin() + 14));
    EXPECT_EQ(entries(folder.path()), (std::set<std::string>{"a.bmp"}));
    struct stat info;
    ASSERT_EQ(::stat((folder / "a.bmp").c_str(), &info), 0);
    const mode_t mask = ::umask(0);
    ::umask(mask);
    EXPECT_EQ(info.st_mode & 0777, 0666u & ~mask) << "a new file's usual permissions";
}

TEST(BitmapWriter, NeverReplacesAnExistingFile) {
    TempFolder folder;
    writeFile(folder / "a.bmp", "precious");
    ASSERT_EQ(::symlink("elsewhere", (folder / "b.bmp").c_str()), 0);
    auto record = pictureRecord(8, 4);
    for (const char* name : {"a.bmp", "b.bmp"}) {
        std::string error;
        EXPECT_EQ(writeBitmapFile(headerOf(record), record.size(), folder / name, error),
                  WriteOutcome::NameTaken)
            << name;
    }
    const auto kept = readFile(folder / "a.bmp");
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "precious");
    EXPECT_TRUE(fs::is_symlink(folder / "b.bmp"));
    EXPECT_EQ(entries(folder.path()), (std::set<std::string>{"a.bmp", "b.bmp"}))
        << "no temporary file left";
}

TEST(BitmapWriter, LeavesNoPartialFileWhenTheDiskIsFull) {
    TempFolder folder;
    auto record = pictureRecord(64, 64); // 12 342 bytes on disk
    std::string error;
    {
        FileSizeLimit limit(5000);
        EXPECT_EQ(writeBitmapFile(headerOf(record), record.size(), folder / "a.bmp", error),
                  WriteOutcome::Failed);
    }
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
    EXPECT_TRUE(entries(folder.path()).empty()) << "neither the file nor its temporary";
    // With room again the same write succeeds.
    error.clear();
    EXPECT_EQ(writeBitmapFile(headerOf(record), record.size(), folder / "a.bmp", error),
              WriteOutcome::Written)
        << error;
}

TEST(BitmapWriter, RefusesRecordsThatCannotBeWrittenWhole) {
    TempFolder folder;
    auto record = pictureRecord(8, 4);
    std::string error;
    // Shorter than its header says: nothing is read past the end, nothing is written.
    EXPECT_EQ(writeBitmapFile(headerOf(record), record.size() - 1, folder / "a.bmp", error),
              WriteOutcome::Failed);
    headerOf(record)->width = 0;
    EXPECT_EQ(writeBitmapFile(headerOf(record), record.size(), folder / "b.bmp", error),
              WriteOutcome::Failed);
    headerOf(record)->width = 8;
    EXPECT_EQ(writeBitmapFile(headerOf(record), record.size(), folder / "missing/c.bmp", error),
              WriteOutcome::Failed);
    EXPECT_NE(error.find("cannot create"), std::string::npos) << error;
    EXPECT_TRUE(entries(folder.path()).empty());
}

TEST(ProgressBar, RendersItsBoundaries) {
    struct Case {
        int done, total;
        const char* label;
        const char* text;
    } cases[] = {
        {0, 4, "", "[----------] 0/4"},  {2, 4, "x.bmp", "[#####-----] 2/4  x.bmp"},
        {4, 4, "", "[##########] 4/4"},  {9, 4, "", "[##########] 4/4"},
        {-3, 4, "", "[----------] 0/4"}, {0, 0, "", "[----------] 0/0"},
        {1, 3, "", "[###-------] 1/3"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(renderProgress(c.done, c.total, 10, c.label), c.text) << c.done << "/" << c.total;
}

TEST(ProgressBar, StaysSilentOffATerminal) {
    std::FILE* file = std::tmpfile();
    ASSERT_NE(file, nullptr);
    {
        ProgressBar bar(file);
        EXPECT_FALSE(bar.enabled());
        bar.start(3);
        bar.update(1, "a");
        bar.finish();
    }
    EXPECT_EQ(std::ftell(file), 0L);
    std::fclose(file);
}
