// The tool's progress bar text.
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstring>

#include "tests/tools/tool_test_support.h"
#include "tools/kerris/progress_bar.h"

using namespace kerris::tool;
using namespace tooltest;

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
