// The property-page host: tabs in the order given, current page, help, apply through every
// page, misuse, and a host that is never shown.
#include "tests/encoder/pages_test_support.h"

#include <climits>

using namespace pagetest;

namespace {

const std::vector<GUID> kSystemPages{CLSID_Page1, CLSID_Page2, CLSID_Page3, CLSID_Page4};

TEST_F(PagesTest, ShowsTheGivenPagesAsTabsInOrder) {
    ASSERT_NO_FATAL_FAILURE(makeHost(kSystemPages));
    int32_t count = -1;
    ASSERT_EQ(host->get_PageCount(&count), com::S_OK);
    EXPECT_EQ(count, 4);
    ASSERT_TRUE(tabs());
    std::vector<std::string> titles;
    for (int i = 0; i < tabs()->count(); ++i)
        titles.push_back(tabs()->tabText(i).toStdString());
    EXPECT_EQ(titles,
              (std::vector<std::string>{"Video source", "Audio source", "Profile", "Output"}));
}

TEST_F(PagesTest, CurrentPageFollowsTheTabs) {
    ASSERT_NO_FATAL_FAILURE(makeHost({}));
    int32_t index = 7;
    ASSERT_EQ(host->get_CurrentPage(&index), com::S_OK);
    EXPECT_EQ(index, -1) << "no page yet";
    for (const GUID& clsid : kSystemPages)
        ASSERT_EQ(host->AddPage(ComPtr<IUnknown>::adopt(pages::createPage(clsid)).get()),
                  com::S_OK);
    ASSERT_EQ(host->get_CurrentPage(&index), com::S_OK);
    EXPECT_EQ(index, 0);
    tabs()->setCurrentIndex(2); // the user picks the profile tab
    ASSERT_EQ(host->get_CurrentPage(&index), com::S_OK);
    EXPECT_EQ(index, 2);
    ASSERT_EQ(host->put_CurrentPage(3), com::S_OK);
    EXPECT_EQ(tabs()->currentIndex(), 3);
    for (int32_t bad : {-1, 4, INT_MAX})
        EXPECT_EQ(host->put_CurrentPage(bad), com::E_INVALIDARG) << bad;
    EXPECT_EQ(tabs()->currentIndex(), 3);
    EXPECT_EQ(host->get_CurrentPage(nullptr), com::E_POINTER);
}

TEST_F(PagesTest, HelpOfAPageGoesToTheHelpWindow) {
    ASSERT_NO_FATAL_FAILURE(makeHost(kSystemPages));
    for (int32_t i = 0; i < 4; ++i)
        ASSERT_EQ(host->ShowHelp(i), com::S_OK) << i;
    ASSERT_EQ(helpShown.size(), 4u);
    EXPECT_EQ(helpShown[0].title, "Video source");
    EXPECT_EQ(helpShown[3].title, "Output");
    for (const HelpShown& shown : helpShown) {
        EXPECT_EQ(shown.near, window.get());
        EXPECT_EQ(shown.text.rfind(shown.title, 0), 0u) << "help opens with its page's name";
        EXPECT_GT(shown.text.size(), 100u);
    }
}

TEST_F(PagesTest, HelpOfAnIndexWithoutAPageFails) {
    ASSERT_NO_FATAL_FAILURE(makeHost(kSystemPages));
    for (int32_t bad : {-1, 4, 5, INT_MIN, INT_MAX}) {
        EXPECT_EQ(host->ShowHelp(bad), com::E_INVALIDARG) << bad;
        EXPECT_FALSE(errorDescription().empty()) << bad;
    }
    EXPECT_TRUE(helpShown.empty());
}

TEST_F(PagesTest, ApplyWritesThroughEveryPage) {
    encoder->addGroup("USB Camera", "device://USB Camera", "device://Built-in Microphone");
    encoder->addProfile("Murvane", "320 x 240");
    encoder->addProfile("Large", "640 x 480");
    ASSERT_NO_FATAL_FAILURE(makeHost(kSystemPages));
    listOn(0, "devices")->setCurrentRow(1);
    listOn(1, "devices")->setCurrentRow(1);
    listOn(2, "profiles")->setCurrentRow(1);
    ASSERT_EQ(host->Apply(), com::S_OK) << errorDescription();
    EXPECT_EQ(script->log,
              (std::vector<std::string>{"Source2.SetInput(device://Kerris Camera,,)",
                                        "Source1.SetInput(device://Kerris Camera Microphone,,)",
                                        "Group.put_Profile(9,Large)"}));
}

TEST_F(PagesTest, ApplyGoesOnAfterAFailureAndReportsTheFirst) {
    encoder->addGroup("USB Camera", "device://USB Camera", "device://Built-in Microphone");
    encoder->addProfile("Murvane", "");
    script->failures["Source2.SetInput"] = {com::E_FAIL,
                                            "No video device named \"Kerris Camera\" is connected"};
    script->failures["Source1.SetInput"] = {com::E_INVALIDARG, "the second failure"};
    ASSERT_NO_FATAL_FAILURE(makeHost(kSystemPages));
    listOn(0, "devices")->setCurrentRow(1);
    listOn(1, "devices")->setCurrentRow(1);
    listOn(2, "profiles")->setCurrentRow(0);
    EXPECT_EQ(host->Apply(), com::E_FAIL);
    EXPECT_EQ(errorDescription(), "No video device named \"Kerris Camera\" is connected");
    EXPECT_TRUE(script->logged("Group.put_Profile(9,Murvane)")) << "later pages still apply";
}

TEST_F(PagesTest, HostThatIsNeverShownWorks) {
    encoder->addProfile("Murvane", "");
    ASSERT_NO_FATAL_FAILURE(makeHost({CLSID_PageMain}, /*attach=*/false));
    int32_t count = 0;
    ASSERT_EQ(host->get_PageCount(&count), com::S_OK);
    EXPECT_EQ(count, 1);
    int32_t index = -1;
    ASSERT_EQ(host->get_CurrentPage(&index), com::S_OK);
    EXPECT_EQ(index, 0);
    EXPECT_EQ(host->Apply(), com::S_OK);
    EXPECT_EQ(host->ShowHelp(0), com::S_OK);
    for (QWidget* w : QApplication::allWidgets())
        EXPECT_FALSE(w->isVisible()) << w->metaObject()->className();
}

TEST_F(PagesTest, HostInAHiddenWindowStaysHidden) {
    ASSERT_NO_FATAL_FAILURE(makeHost({CLSID_PageMain}));
    ASSERT_TRUE(tabs());
    EXPECT_FALSE(tabs()->isVisible());
    EXPECT_TRUE(tabs()->isVisibleTo(window.get())) << "shown with its window";
}

TEST_F(PagesTest, HostFillsItsWindowAndFollowsItsSize) {
    ASSERT_NO_FATAL_FAILURE(makeHost(kSystemPages));
    window->show();
    EXPECT_EQ(tabs()->geometry(), window->rect());
    window->resize(620, 410);
    EXPECT_EQ(tabs()->geometry(), QRect(0, 0, 620, 410));
}

TEST_F(PagesTest, PagesAddedBeforeAttachMoveIntoTheWindow) {
    ASSERT_NO_FATAL_FAILURE(makeHost(kSystemPages, /*attach=*/false));
    EXPECT_FALSE(tabs());
    auto site = host.as<IControlSite>();
    ASSERT_EQ(site->Attach(KerrisWindowHandle(window.get()), nullptr, 0), com::S_OK);
    ASSERT_TRUE(tabs());
    EXPECT_EQ(tabs()->count(), 4);
    EXPECT_EQ(site->Detach(), com::S_OK);
    EXPECT_FALSE(tabs()) << "detached";
    QWidget other;
    ASSERT_EQ(site->Attach(KerrisWindowHandle(&other), nullptr, 0), com::S_OK);
    ASSERT_TRUE(other.findChild<QTabWidget*>());
    EXPECT_EQ(other.findChild<QTabWidget*>()->count(), 4);
    EXPECT_EQ(site->Detach(), com::S_OK);
}

TEST_F(PagesTest, MisuseIsRefusedWithAReason) {
    ASSERT_NO_FATAL_FAILURE(makeHost({}));
    auto site = host.as<IControlSite>();
    EXPECT_EQ(site->Attach(0, nullptr, 0), com::E_INVALIDARG);
    EXPECT_EQ(site->Attach(0x7FFFFFFF, nullptr, 0), com::E_INVALIDARG);
    EXPECT_EQ(site->Attach(KerrisWindowHandle(window.get()), nullptr, 34), com::E_POINTER);
    EXPECT_EQ(host->AddPage(nullptr), com::E_POINTER);
    EXPECT_FALSE(errorDescription().empty());
    EXPECT_EQ(host->AddPage(static_cast<IEncoder*>(encoder.get())), com::E_NOINTERFACE)
        << "an encoder is not a page";
    EXPECT_FALSE(errorDescription().empty());
    auto page = ComPtr<IUnknown>::adopt(pages::createPage(CLSID_Page1));
    EXPECT_EQ(host->put_Object(page.get()), com::E_NOINTERFACE) << "a page is not an encoder";
    EXPECT_FALSE(errorDescription().empty());
    int32_t count = -1;
    host->get_PageCount(&count);
    EXPECT_EQ(count, 0);
}

TEST_F(PagesTest, NewObjectReachesThePagesAlreadyAdded) {
    ASSERT_NO_FATAL_FAILURE(makeHost({CLSID_Page1}));
    auto other = ComPtr<TestEncoder>::adopt(new TestEncoder(script));
    other->addGroup("Other", "device://Kerris Camera", "");
    ASSERT_EQ(host->put_Object(static_cast<IEncoder*>(other.get())), com::S_OK);
    ASSERT_TRUE(listOn(0, "devices"));
    EXPECT_EQ(listOn(0, "devices")->currentRow(), 1) << "the new encoder's device is selected";
    listOn(0, "devices")->setCurrentRow(0);
    ASSERT_EQ(host->Apply(), com::S_OK);
    EXPECT_EQ(other->groups->active()->sources(kSourceTypeVideo)[0]->input(),
              "device://USB Camera");
    EXPECT_EQ(encoder->groups->size(), 0u) << "the first encoder is left alone";
}

TEST_F(PagesTest, WindowGoneBeforeTheHost) {
    ASSERT_NO_FATAL_FAILURE(makeHost(kSystemPages));
    window.reset(); // the dialog closes first
    EXPECT_EQ(host->Apply(), com::S_OK);
    int32_t index = 5;
    EXPECT_EQ(host->get_CurrentPage(&index), com::S_OK);
    EXPECT_EQ(index, -1);
    host.reset();
}

TEST(PageClasses, OnlyTheFivePagesAreMade) {
    for (const GUID& clsid : {CLSID_PageMain, CLSID_Page1, CLSID_Page2, CLSID_Page3, CLSID_Page4}) {
        EXPECT_TRUE(pages::isPageClass(clsid));
        auto page = ComPtr<IUnknown>::adopt(pages::createPage(clsid));
        ASSERT_TRUE(page);
        EXPECT_TRUE(page.as<IEncoderPage>());
    }
    for (const GUID& clsid : {CLSID_Encoder, CLSID_PropertyPageHost, GUID{}}) {
        EXPECT_FALSE(pages::isPageClass(clsid));
        EXPECT_EQ(pages::createPage(clsid), nullptr);
    }
    auto host = ComPtr<IUnknown>::adopt(pages::createPropertyPageHost());
    ASSERT_TRUE(host);
    EXPECT_TRUE(host.as<IPropertyPageHost>());
    EXPECT_TRUE(host.as<IControlSite>());
    EXPECT_TRUE(host.as<IDispatch>());
    EXPECT_FALSE(host.as<IEncoderPage>());
}

} // namespace

namespace {

TEST_F(PagesTest, DefaultHelpWindowDoesNotWait) {
    ASSERT_NO_FATAL_FAILURE(makeHost({CLSID_Page3}));
    pages::setHelpPresenter({});
    window->show();
    ASSERT_EQ(host->ShowHelp(0), com::S_OK); // returns at once: the window is not modal
    QWidget* help = nullptr;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible() && w->windowTitle() == "Profile")
            help = w;
    ASSERT_TRUE(help) << "a help window titled with the page's name";
    EXPECT_FALSE(help->isModal());
    help->close(); // it deletes itself
}

} // namespace
