// SystemDialog: template 131's controls, only OK ends it.
#include "clipmail/system_dialog.h"

#include "clipmail/com_calls.h"
#include "clipmail/control_ids.h"
#include "platform/com/com_object.h"
#include "tests/clipmail/app_support.h"
#include "tests/clipmail/encoder_fake.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QPushButton>

namespace kerris::clipmail {
namespace {

class SystemDialogFrame : public ::testing::Test {
protected:
    void SetUp() override { test::ensureApplication(); }
    test::PrivateRegistry registryFolder;
};

TEST_F(SystemDialogFrame, OnlyOkEndsTheDialog) {
    // No host component registered: the dialog still opens and OK still ends it.
    SystemDialog dialog(nullptr, nullptr);
    EXPECT_EQ(dialog.windowTitle(), "System");
    EXPECT_FALSE(dialog.hostCreated());
    auto* ok = qobject_cast<QPushButton*>(dialog.control(kIdOk));
    auto* help = qobject_cast<QPushButton*>(dialog.control(kIdHelp));
    ASSERT_TRUE(ok && help);
    EXPECT_EQ(ok->text(), "OK");
    EXPECT_EQ(help->text(), "Help");
    dialog.show();
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(&dialog, &escape);
    EXPECT_TRUE(dialog.isVisible());
    dialog.close();
    EXPECT_TRUE(dialog.isVisible());
    dialog.reject();
    EXPECT_TRUE(dialog.isVisible());
    help->click();
    EXPECT_TRUE(dialog.isVisible());
    ok->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(SystemDialogFrame, HostFillsTheUpperPartAboveTheButtons) {
    SystemDialog dialog(nullptr, nullptr);
    dialog.show();
    QApplication::processEvents();
    const QRect host = dialog.control(kIdPropShell)->geometry();
    const QRect ok = dialog.control(kIdOk)->geometry();
    const QRect help = dialog.control(kIdHelp)->geometry();
    EXPECT_GE(host.width(), 480);
    EXPECT_GE(host.height(), 360);
    EXPECT_LT(host.bottom(), ok.top());
    EXPECT_LT(ok.right(), help.left());
    EXPECT_EQ(ok.top(), help.top());
}

using SystemDialogTest = test::FakeEncoderTest;

TEST_F(SystemDialogTest, TheHostGetsTheEncoderThenTheFourPagesInOrder) {
    SystemDialog dialog(encoderObject.get(), nullptr);
    EXPECT_TRUE(dialog.hostCreated());
    std::vector<std::string> order;
    for (const test::EncoderCall& c : fake.calls()) {
        if (c.object.rfind("create:Page", 0) == 0)
            order.push_back(c.object);
        else if (c.object == "host" && (c.slot == 7 || c.slot == 10))
            order.push_back("host." + std::to_string(c.slot));
    }
    const std::vector<std::string> expected = {
        "create:Page1", "create:Page2", "create:Page3", "create:Page4", "host.10",
        "host.7",       "host.7",       "host.7",       "host.7",
    };
    EXPECT_EQ(order, expected);
    // The host's control sits in the dialog's place for it.
    const auto attach = fake.callsOf("site", 3);
    ASSERT_EQ(attach.size(), 1u);
    EXPECT_EQ(attach[0].args.at(0),
              std::to_string(KerrisWindowHandle(dialog.control(kIdPropShell))));
    EXPECT_EQ(attach[0].args.at(1), "34");
}

TEST_F(SystemDialogTest, OkAppliesAndEnds) {
    SystemDialog dialog(encoderObject.get(), nullptr);
    dialog.show();
    dialog.reject();
    EXPECT_TRUE(fake.callsOf("host", 12).empty());
    dialog.OnOK();
    EXPECT_EQ(fake.callsOf("host", 12).size(), 1u);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}

TEST_F(SystemDialogTest, HelpShowsTheCurrentPagesHelp) {
    struct Case {
        int32_t current;
        bool readFails;
        std::vector<std::string> shown; // pages whose help was asked for
    };
    const Case cases[] = {
        {2, false, {"2"}}, {0, false, {"0"}}, {-1, false, {}}, {-7, false, {}}, {3, true, {"0"}},
    };
    SystemDialog dialog(encoderObject.get(), nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.current);
        fake.setCurrentPage(c.current);
        if (c.readFails)
            fake.failOnce("host", 17, 1, "no page");
        fake.clearLog();
        dialog.OnHelp();
        std::vector<std::string> shown;
        for (const test::EncoderCall& call : fake.callsOf("host", 30))
            shown.push_back(call.args.at(0));
        EXPECT_EQ(shown, c.shown);
    }
}

} // namespace
} // namespace kerris::clipmail
