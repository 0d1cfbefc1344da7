// Window handles: stable for a widget's life, null once it is gone, never handed out twice.
#include "platform/com/com.h"

#include "tests/com/com_test_support.h"

#include <QWidget>

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <thread>
#include <vector>

namespace {

using kerris::com::HWND;

class WindowHandles : public ::testing::Test {
protected:
    static void SetUpTestSuite() { kerris::comtest::ensureApplication(); }
};

TEST_F(WindowHandles, StableForTheWidgetsLife) {
    QWidget a, b;
    HWND ha = KerrisWindowHandle(&a);
    HWND hb = KerrisWindowHandle(&b);
    EXPECT_NE(ha, 0u);
    EXPECT_NE(hb, 0u);
    EXPECT_NE(ha, hb);
    EXPECT_EQ(KerrisWindowHandle(&a), ha);
    EXPECT_EQ(KerrisWindowFromHandle(ha), &a);
    EXPECT_EQ(KerrisWindowFromHandle(hb), &b);
}

TEST_F(WindowHandles, NullAndUnknownMapToNothing) {
    EXPECT_EQ(KerrisWindowHandle(nullptr), 0u);
    EXPECT_EQ(KerrisWindowFromHandle(0), nullptr);
    EXPECT_EQ(KerrisWindowFromHandle(0xFFFFFFFFu), nullptr);
    QWidget w;
    HWND h = KerrisWindowHandle(&w);
    EXPECT_EQ(KerrisWindowFromHandle(h + 1000), nullptr);
}

TEST_F(WindowHandles, GoneWidgetMapsToNull) {
    auto w = std::make_unique<QWidget>();
    HWND h = KerrisWindowHandle(w.get());
    w.reset();
    EXPECT_EQ(KerrisWindowFromHandle(h), nullptr);
}

TEST_F(WindowHandles, ChildDestroyedWithItsParent) {
    auto parent = std::make_unique<QWidget>();
    auto* child = new QWidget(parent.get());
    HWND h = KerrisWindowHandle(child);
    EXPECT_EQ(KerrisWindowFromHandle(h), child);
    parent.reset();
    EXPECT_EQ(KerrisWindowFromHandle(h), nullptr);
}

// Widgets made and destroyed in turn often reuse one address: each still gets a new number,
// and an old number never reaches the new widget.
TEST_F(WindowHandles, NumbersAreNeverReused) {
    std::set<HWND> seen;
    std::vector<HWND> old;
    for (int i = 0; i < 50; ++i) {
        auto w = std::make_unique<QWidget>();
        HWND h = KerrisWindowHandle(w.get());
        EXPECT_TRUE(seen.insert(h).second) << h;
        for (HWND stale : old)
            EXPECT_NE(KerrisWindowFromHandle(stale), w.get());
        old.push_back(h);
    }
}

TEST_F(WindowHandles, ThreadsAgreeOnTheNumbers) {
    std::vector<std::unique_ptr<QWidget>> widgets;
    for (int i = 0; i < 8; ++i)
        widgets.push_back(std::make_unique<QWidget>());
    std::vector<std::vector<HWND>> results(4);
    std::vector<std::thread> threads;
    for (size_t t = 0; t < results.size(); ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 100; ++round)
                for (auto& w : widgets) {
                    HWND h = KerrisWindowHandle(w.get());
                    if (round == 0)
                        results[t].push_back(h);
                    (void)KerrisWindowFromHandle(h);
                }
        });
    for (auto& th : threads)
        th.join();
    std::set<HWND> distinct(results[0].begin(), results[0].end());
    EXPECT_EQ(distinct.size(), widgets.size());
    for (size_t t = 1; t < results.size(); ++t)
        EXPECT_EQ(results[t], results[0]);
    for (size_t i = 0; i < widgets.size(); ++i)
        EXPECT_EQ(KerrisWindowFromHandle(results[0][i]), widgets[i].get());
}

} // namespace
