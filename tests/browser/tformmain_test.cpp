// The browser window on the offscreen platform: settings at show and close, the tree's descent
// to the start folder, the file list, rename, delete, preview, menus and help.
#include "browser/tformmain.h"
#include "tests/browser/test_support.h"
#include "tests/platform/fifo_watch.h"
#include "tests/support/recording_desktop.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QFrame>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QProgressBar>
#include <QRegularExpression>
#include <QTest>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace lumicart {
namespace {

using kerris::registry::Hive;
using kerris::registry::Key;
using test::makeFile;
using test::makeFolder;
using test::makePicture;

constexpr const char* kKey = "SOFTWARE\\VELTRANE\\Lumicart";

class FormTest : public ::testing::Test {
protected:
    void SetUp() override {
        test::ensureApplication();
        QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
        ASSERT_TRUE(m_dir.isValid());
        m_root = m_dir.path() + "/";
        m_vol = m_root + "vol/";
        makeFolder(m_root + "registry");
        makeFolder(m_vol + "app");
        makeFolder(m_root + "share");
        qputenv("KERRIS_REGISTRY_DIR", (m_root + "registry").toLocal8Bit());
        qputenv("XDG_DATA_HOME", (m_root + "share").toLocal8Bit());
        kerris::shell::setVolumes(std::vector<QString>{m_vol});
        kerris::shell::setHomeFolder(QString());
    }
    void TearDown() override {
        m_form.reset();
        kerris::shell::setVolumes(std::nullopt);
        kerris::shell::setHomeFolder(std::nullopt);
        QLocale::setDefault(QLocale::c());
    }

    QString programPath() const { return m_vol + "app/Lumicart"; }

    // The window; what its construction reported (no capture device, no camera library on
    // a test machine) is not the business of these tests and is forgotten.
    TFormMain& makeForm() {
        m_form = std::make_unique<TFormMain>(m_ui, TFormMain::Options{programPath()});
        m_ui.errors.clear();
        return *m_form;
    }

    // Shows the window and lets the posted refreshes run.
    TFormMain& showForm() {
        TFormMain& form = makeForm();
        form.show();
        QCoreApplication::processEvents();
        m_ui.errors.clear();
        return form;
    }

    // Shows the window, makes it the active one and gives the list the focus.
    TFormMain& showActiveForm() {
        TFormMain& form = showForm();
        form.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&form));
        form.ListView1->setFocus();
        EXPECT_TRUE(form.ListView1->hasFocus());
        return form;
    }

    Key settingsKey() {
        std::optional<Key> key = Key::create(Hive::CurrentUser, kKey);
        EXPECT_TRUE(key);
        return std::move(*key);
    }

    void writeLayout(uint32_t state, const QString& folder, int panel = 250, int tree = 300) {
        Key key = settingsKey();
        key.writeString("RunDefaultPath", folder.toStdString());
        key.writeDword("WindowState", state);
        key.writeDword("Left", 30);
        key.writeDword("Top", 40);
        key.writeDword("Height", 500);
        key.writeDword("Width", 760);
        key.writeDword("Panel1Width", static_cast<uint32_t>(panel));
        key.writeDword("TreeView1Height", static_cast<uint32_t>(tree));
    }

    QStringList captions() const {
        QStringList out;
        for (int i = 0; i < m_form->ListView1->topLevelItemCount(); ++i)
            out << m_form->ListView1->topLevelItem(i)->text(kColumnName);
        return out;
    }

    QTreeWidgetItem* listItem(const QString& caption) const {
        for (int i = 0; i < m_form->ListView1->topLevelItemCount(); ++i) {
            if (m_form->ListView1->topLevelItem(i)->text(kColumnName) == caption)
                return m_form->ListView1->topLevelItem(i);
        }
        return nullptr;
    }

    // The selected node's path below the roots: the volume's parsing name, then the
    // captions of the folders down to the selected one.
    QStringList selectedTreePath() const {
        QStringList out;
        for (QTreeWidgetItem* n = m_form->TreeView1->currentItem(); n && n->parent();
             n = n->parent()) {
            const NodeRecord* record = nodeRecord(n);
            out.prepend(n->parent()->parent() || !record ? n->text(0) : record->Name);
        }
        return out;
    }

    // Opens the window on a folder of pictures and waits for the list.
    TFormMain& openOn(const QString& folder, int expectedItems) {
        writeLayout(2, folder);
        TFormMain& form = showActiveForm();
        EXPECT_EQ(form.CurrentFolder, folder);
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return form.ListView1->topLevelItemCount() == expectedItems; }, 5000));
        return form;
    }

    void selectOnly(const QStringList& names) {
        m_form->ListView1->clearSelection();
        for (const QString& name : names) {
            QTreeWidgetItem* item = listItem(name);
            ASSERT_TRUE(item) << name.toStdString();
            item->setSelected(true);
        }
    }

    QTemporaryDir m_dir;
    QString m_root;
    QString m_vol;
    test::RecordingUserInterface m_ui;
    std::unique_ptr<TFormMain> m_form;
};

// ---- Construction, show, settings ----

TEST_F(FormTest, ControlsMenusAndMessagesAreInPlace) {
    TFormMain& form = makeForm();
    EXPECT_EQ(form.windowTitle(), "Lumicart");
    EXPECT_EQ(form.ListBoxSWMsg->count(), 11);
    EXPECT_FALSE(form.ListBoxSWMsg->isVisibleTo(&form));
    EXPECT_FALSE(form.ProgressBar1->isVisibleTo(&form));
    EXPECT_EQ(form.ProgressBar1->maximum(), 100);
    ASSERT_EQ(form.ListView1->columnCount(), 4);
    EXPECT_EQ(form.ListView1->headerItem()->text(0), "File Name");
    EXPECT_EQ(form.ListView1->headerItem()->text(1), "Size");
    EXPECT_EQ(form.ListView1->headerItem()->text(2), "File Type");
    EXPECT_EQ(form.ListView1->headerItem()->text(3), "Last Modification Day");
    EXPECT_EQ(form.ListView1->columnWidth(1), 80);

    const struct {
        QAction* action;
        const char* caption;
        QKeySequence shortcut;
    } items[] = {
        {form.SelectSource1, "&Select Source", QKeySequence(Qt::CTRL | Qt::Key_S)},
        {form.Active1, "&Active", QKeySequence(Qt::CTRL | Qt::Key_A)},
        {form.AutoDownloadImage1, "Auto &Download Image", QKeySequence(Qt::CTRL | Qt::Key_D)},
        {form.CreateAVIFile1, "Create AVI File", QKeySequence(Qt::CTRL | Qt::Key_C)},
        {form.PlayAVIFiles1, "&Play AVI Files", QKeySequence(Qt::CTRL | Qt::Key_P)},
        {form.Help1, "&Help", QKeySequence()},
        {form.Rename1, "Rename", QKeySequence()},
        {form.Delete1, "Delete", QKeySequence()},
        {form.CreateAVIFiles1, "Create AVI Files", QKeySequence()},
    };
    for (const auto& item : items) {
        ASSERT_TRUE(item.action);
        EXPECT_EQ(item.action->text(), item.caption);
        EXPECT_EQ(item.action->shortcut(), item.shortcut) << item.caption;
    }
    EXPECT_EQ(form.File1->title(), "&File");
    EXPECT_TRUE(form.N1->isSeparator());
    EXPECT_TRUE(form.N2->isSeparator());
    EXPECT_EQ(form.SaveDialog1.filter,
              "Audio Video Interleaved Files (*.avi)|*.avi|All Files (*.*)|*.*");
    EXPECT_TRUE(form.SaveDialog1.promptOverwrite);
    EXPECT_TRUE(form.OpenDialog1.fileMustExist);
}

TEST_F(FormTest, FirstStartWithoutKeyUsesDefaultsAndCreatesTheKey) {
    ASSERT_FALSE(Key::open(Hive::CurrentUser, kKey));
    TFormMain& form = showForm();
    EXPECT_FALSE(form.isMaximized());
    EXPECT_FALSE(form.isMinimized());
    EXPECT_EQ(form.Panel1->width(), 201);
    EXPECT_EQ(form.TreeView1->height(), 264);
    EXPECT_EQ(form.CurrentFolder, m_vol + "app/");
    EXPECT_EQ(form.PathElements, (QStringList{m_vol, "app"}));
    EXPECT_TRUE(Key::open(Hive::CurrentUser, kKey));
    // The tree heads for the program's folder.
    EXPECT_EQ(selectedTreePath(), (QStringList{m_vol, "app"}));
    // Rename, Delete and Create AVI Files start disabled.
    EXPECT_FALSE(form.Rename1->isEnabled());
    EXPECT_FALSE(form.Delete1->isEnabled());
    EXPECT_FALSE(form.CreateAVIFiles1->isEnabled());
}

TEST_F(FormTest, MaximisedStateIgnoresStoredBounds) {
    writeLayout(2, m_vol);
    TFormMain& form = showForm();
    EXPECT_TRUE(form.isMaximized());
    EXPECT_EQ(form.Panel1->width(), 250);
}

TEST_F(FormTest, UnknownStateKeepsMaximisedAndStillAppliesPanels) {
    writeLayout(7, m_vol, 240, 200);
    TFormMain& form = showForm();
    EXPECT_TRUE(form.isMaximized());
    EXPECT_EQ(form.Panel1->width(), 240);
    // The preview panel keeps the height it had at show; the tree takes the growth.
    EXPECT_EQ(form.Panel2->height(), form.SavedPanel2Height);
    EXPECT_GE(form.TreeView1->height(), 200);
}

TEST_F(FormTest, NormalStateAppliesStoredBounds) {
    writeLayout(0, m_vol, 230, 180);
    TFormMain& form = showForm();
    EXPECT_FALSE(form.isMaximized());
    EXPECT_EQ(form.pos(), QPoint(30, 40));
    EXPECT_EQ(form.size(), QSize(760, 500));
    EXPECT_EQ(form.Panel1->width(), 230);
    EXPECT_EQ(form.TreeView1->height(), 180);
}

TEST_F(FormTest, LeftStoredAsStringFallsBackToDefaults) {
    makeFolder(m_vol + "photos");
    writeLayout(0, m_vol + "photos/");
    settingsKey().writeString("Left", "30");
    TFormMain& form = showForm();
    EXPECT_FALSE(form.isMaximized());
    EXPECT_EQ(form.Panel1->width(), 201);
    EXPECT_EQ(form.TreeView1->height(), 264);
    EXPECT_EQ(form.CurrentFolder, m_vol + "app/");
    EXPECT_EQ(selectedTreePath(), (QStringList{m_vol, "app"}));
}

TEST_F(FormTest, ClosingMaximisedWritesStateTwoAndTheMaximisedBounds) {
    writeLayout(2, m_vol + "app/");
    TFormMain& form = showForm();
    ASSERT_TRUE(form.isMaximized());
    const QRect bounds(form.pos(), form.size());
    form.close();
    EXPECT_FALSE(form.Settings.has_value());
    std::optional<Key> key = Key::open(Hive::CurrentUser, kKey);
    ASSERT_TRUE(key);
    EXPECT_EQ(key->readDword("WindowState"), 2u);
    EXPECT_EQ(key->readDword("Width"), static_cast<uint32_t>(bounds.width()));
    EXPECT_EQ(key->readDword("Height"), static_cast<uint32_t>(bounds.height()));
    EXPECT_EQ(key->readDword("Left"), static_cast<uint32_t>(bounds.x()));
    EXPECT_EQ(key->readDword("Top"), static_cast<uint32_t>(bounds.y()));
    EXPECT_EQ(key->readString("RunDefaultPath"), (m_vol + "app/").toStdString());
}

TEST_F(FormTest, NextStartRestoresWindowPanelsAndFolder) {
    makeFolder(m_vol + "a/b");
    {
        writeLayout(0, m_vol + "a/b/", 220, 240);
        TFormMain& form = showForm();
        // The user drags both splitters, then picks another folder.
        form.setPanel1Width(260);
        form.Splitter1Moved();
        form.setTreeView1Height(150);
        form.Splitter2Moved();
        QTreeWidgetItem* b = form.TreeView1->currentItem();
        ASSERT_TRUE(b && b->parent());
        form.TreeView1->setCurrentItem(b->parent());
        form.move(55, 66);
        form.resize(780, 520);
        form.close();
        m_form.reset();
    }
    TFormMain& form = showForm();
    EXPECT_FALSE(form.isMaximized());
    EXPECT_EQ(form.pos(), QPoint(55, 66));
    EXPECT_EQ(form.size(), QSize(780, 520));
    EXPECT_EQ(form.Panel1->width(), 260);
    EXPECT_EQ(form.CurrentFolder, m_vol + "a/");
    EXPECT_EQ(selectedTreePath(), (QStringList{m_vol, "a"}));
}

TEST_F(FormTest, ResizingKeepsTheDraggedPreviewHeight) {
    writeLayout(0, m_vol, 201, 264);
    TFormMain& form = showForm();
    form.setTreeView1Height(100);
    form.Splitter2Moved();
    const int preview = form.Panel2->height();
    form.resize(form.width() + 50, form.height() + 120);
    QCoreApplication::processEvents();
    EXPECT_EQ(form.Panel2->height(), preview);
    EXPECT_EQ(form.Panel1->width(), 201);
    EXPECT_EQ(form.TreeView1->height(), 100 + 120);
}

TEST_F(FormTest, SettingsThatCannotBeKeptAreSkippedAtClose) {
    // The registry folder is a file: the key can neither be opened nor created.
    makeFile(m_root + "blocked", 1);
    qputenv("KERRIS_REGISTRY_DIR", (m_root + "blocked").toLocal8Bit());
    TFormMain& form = showForm();
    EXPECT_FALSE(form.Settings.has_value());
    EXPECT_EQ(form.Panel1->width(), 201);
    EXPECT_EQ(form.CurrentFolder, m_vol + "app/");
    form.close();
    EXPECT_EQ(test::readAll(m_root + "blocked").size(), 1);
}

TEST_F(FormTest, ProgressBarTakesItsRowFromThePanels) {
    TFormMain& form = showForm();
    const int panel = form.Panel1->height();
    const int preview = form.Panel2->height();
    form.ProgressBar1->show();
    EXPECT_EQ(form.Panel1->height(), panel - 23);
    EXPECT_EQ(form.Panel2->height(), preview - 23);
    EXPECT_EQ(form.ProgressBar1->geometry().bottom(), form.FormClient->height() - 1);
    form.ProgressBar1->hide();
    EXPECT_EQ(form.Panel1->height(), panel);
    EXPECT_EQ(form.Panel2->height(), preview);
}

TEST_F(FormTest, ShowMessageEntryFormatsTheEntry) {
    TFormMain& form = makeForm();
    form.ShowMessageEntry(4);
    form.ShowMessageEntry(10, QString("x.bmp"));
    form.ShowMessageEntry(11);
    form.ShowMessageEntry(-1);
    EXPECT_EQ(m_ui.errors,
              (QStringList{"No images on camera!!", "Can not load Bitmap file(x.bmp)!!"}));
}

TEST_F(FormTest, HelpOpensTheProgramsPageAtContext100) {
    makeFile(m_vol + "app/lumicart.html", 10);
    kerris::desktop::test::RecordingDesktop desktop;
    TFormMain& form = makeForm();
    form.Help1->trigger();
    ASSERT_EQ(desktop.urls.size(), 1u);
    EXPECT_EQ(desktop.urls[0].fragment(), "100");
    EXPECT_EQ(desktop.urls[0].toLocalFile(),
              QFileInfo(m_vol + "app/lumicart.html").canonicalFilePath());
}

// ---- Folder tree ----

TEST_F(FormTest, StartFolderDescendsThroughThreeLevels) {
    makeFolder(m_vol + "a/b/c/d");
    makeFolder(m_vol + "a/other");
    makePicture(m_vol + "a/b/c/one.jpg", 8, 8, "JPG");
    writeLayout(2, m_vol + "a/b/c/");
    TFormMain& form = showForm();
    EXPECT_EQ(selectedTreePath(), (QStringList{m_vol, "a", "b", "c"}));
    QTreeWidgetItem* c = form.TreeView1->currentItem();
    ASSERT_TRUE(c);
    EXPECT_TRUE(c->isExpanded());
    EXPECT_TRUE(c->parent()->isExpanded());
    EXPECT_TRUE(c->parent()->parent()->isExpanded());
    EXPECT_EQ(c->childCount(), 1);
    EXPECT_EQ(form.CurrentFolder, m_vol + "a/b/c/");
    EXPECT_TRUE(QTest::qWaitFor([&] { return captions() == QStringList{"one.jpg"}; }, 5000));
}

TEST_F(FormTest, StartFolderWhoseLastFolderWasDeletedStopsAtTheParent) {
    makeFolder(m_vol + "a/b/sibling");
    writeLayout(2, m_vol + "a/b/gone/");
    TFormMain& form = showForm();
    EXPECT_EQ(selectedTreePath(), (QStringList{m_vol, "a", "b"}));
    EXPECT_TRUE(form.TreeView1->currentItem()->isExpanded());
    EXPECT_EQ(form.CurrentFolder, m_vol + "a/b/");
}

TEST_F(FormTest, StartFolderOnAMissingVolumeSelectsOnlyTheRoot) {
    writeLayout(2, m_root + "elsewhere/x/");
    TFormMain& form = showForm();
    ASSERT_TRUE(form.TreeView1->currentItem());
    EXPECT_EQ(form.TreeView1->currentItem()->parent(), nullptr);
    EXPECT_EQ(form.CurrentFolder, m_root + "elsewhere/x/");
}

TEST_F(FormTest, RootsComeFirstAndLevelsSortByName) {
    kerris::shell::setHomeFolder(m_root + "home");
    makeFolder(m_root + "home/docs");
    makeFolder(m_vol + "zeta");
    makeFolder(m_vol + "Alpha");
    makeFolder(m_vol + "beta");
    writeLayout(2, m_vol);
    TFormMain& form = showForm();
    ASSERT_EQ(form.TreeView1->topLevelItemCount(), 2);
    EXPECT_EQ(form.TreeView1->topLevelItem(0)->text(0), "Computer");
    EXPECT_EQ(form.TreeView1->topLevelItem(1)->text(0), "Home");
    EXPECT_EQ(form.RootFolders.size(), 2u);
    // Expanding a root fills it and sorts the whole tree; roots keep their order.
    form.TreeView1->topLevelItem(1)->setExpanded(true);
    EXPECT_EQ(form.TreeView1->topLevelItem(0)->text(0), "Computer");
    QTreeWidgetItem* volume = form.TreeView1->topLevelItem(0)->child(0);
    QStringList names;
    for (int i = 0; i < volume->childCount(); ++i)
        names << volume->child(i)->text(0);
    EXPECT_EQ(names.size(), 4);
    EXPECT_EQ(names.indexOf("app") < names.indexOf("beta"), true);
    EXPECT_LT(names.indexOf("beta"), names.indexOf("zeta"));
    EXPECT_LT(names.indexOf("Alpha"), names.indexOf("beta"));
}

TEST_F(FormTest, ExpandingAFolderWithoutSubFoldersRemovesItsButton) {
    makeFolder(m_vol + "empty");
    makeFile(m_vol + "empty/file.jpg");
    writeLayout(2, m_vol);
    TFormMain& form = showForm();
    QTreeWidgetItem* volume = form.TreeView1->topLevelItem(0)->child(0);
    QTreeWidgetItem* empty = nullptr;
    for (int i = 0; i < volume->childCount(); ++i)
        if (volume->child(i)->text(0) == "empty")
            empty = volume->child(i);
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->childIndicatorPolicy(), QTreeWidgetItem::DontShowIndicatorWhenChildless);
    makeFolder(m_vol + "empty/late");
    form.TreeView1Expanding(empty);
    EXPECT_EQ(empty->childCount(), 1) << "filled on first expansion";
    ASSERT_TRUE(QDir(m_vol + "empty/late").removeRecursively());
    form.TreeView1Expanding(empty);
    EXPECT_EQ(empty->childCount(), 1) << "a filled node is never read again";
}

TEST_F(FormTest, SelectingARootLeavesTheListAsItWas) {
    makePicture(m_vol + "app/a.jpg", 4, 4, "JPG");
    TFormMain& form = showForm();
    EXPECT_TRUE(QTest::qWaitFor([&] { return captions() == QStringList{"a.jpg"}; }, 5000));
    const QString folder = form.CurrentFolder;
    form.TreeView1->setCurrentItem(form.TreeView1->topLevelItem(0));
    QCoreApplication::processEvents();
    EXPECT_EQ(captions(), QStringList{"a.jpg"});
    EXPECT_EQ(form.CurrentFolder, folder);
}

TEST_F(FormTest, FolderOfNodeBindsFromTheRootEveryTime) {
    makeFolder(m_vol + "a/b");
    makePicture(m_vol + "a/b/p.jpg", 4, 4, "JPG");
    writeLayout(2, m_vol + "a/b/");
    TFormMain& form = showForm();
    QTreeWidgetItem* b = form.TreeView1->currentItem();
    auto first = form.FolderOfNode(b);
    auto second = form.FolderOfNode(b);
    ASSERT_TRUE(first && second);
    EXPECT_NE(first.get(), second.get());
    std::vector<kerris::shell::ItemId> files =
        second->enumerate(kerris::shell::kEnumNonFolders).value();
    ASSERT_EQ(files.size(), 1u);
    EXPECT_EQ(files[0].key, "p.jpg");
    kerris::shell::taskAllocator()->free(files[0]);
    // With its root gone, no node below it binds.
    form.RootFolders[0].reset();
    EXPECT_FALSE(form.FolderOfNode(b));
}

TEST_F(FormTest, IconsAreSharedWithinOneFill) {
    for (const char* name : {"f1", "f2", "f3"})
        makeFolder(m_vol + name);
    writeLayout(2, m_vol);
    TFormMain& form = showForm();
    QTreeWidgetItem* volume = form.TreeView1->topLevelItem(0)->child(0);
    ASSERT_EQ(volume->childCount(), 4); // app, f1, f2, f3
    const int image = volume->child(1)->data(0, kImageIndexRole).toInt();
    for (int i = 1; i < 4; ++i) {
        EXPECT_EQ(volume->child(i)->data(0, kImageIndexRole).toInt(), image);
        EXPECT_NE(volume->child(i)->data(0, kSelectedImageIndexRole).toInt(), image);
    }
    EXPECT_GE(image, 0);
    EXPECT_LT(image, form.ImageListTreeView.count());
}

// ---- File list ----

TEST_F(FormTest, ListShowsOnlyPictureFiles) {
    const QString dir = m_vol + "pics/";
    for (const char* name : {"a.JPG", "b.jpeg", "c.Bmp", "d.gif", "e.jpe"})
        makeFile(dir + name, 100);
    makeFolder(dir + "x.jpg");
    TFormMain& form = openOn(dir, 3);
    EXPECT_EQ(captions(), (QStringList{"a.JPG", "b.jpeg", "c.Bmp"}));
    QTreeWidgetItem* a = listItem("a.JPG");
    EXPECT_EQ(itemRecord(a)->Path, dir + "a.JPG");
    EXPECT_TRUE(a->text(kColumnType).contains("JPEG", Qt::CaseInsensitive));
    EXPECT_TRUE(QRegularExpression("^\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}$")
                    .match(a->text(kColumnDate))
                    .hasMatch())
        << a->text(kColumnDate).toStdString();
    // Icons sit in both lists at the same position. One icon index maps to one image, except
    // that a first copy at position 0 counts as absent and is added once more.
    EXPECT_EQ(a->data(0, kImageIndexRole).toInt(), 0);
    EXPECT_EQ(listItem("b.jpeg")->data(0, kImageIndexRole).toInt(), 1);
    EXPECT_EQ(form.ImageListListViewSmall.count(), form.ImageListListViewLarge.count());
    EXPECT_EQ(form.ImageListListViewLarge.pixmap(0).size(), QSize(32, 32));
    EXPECT_FALSE(a->icon(0).isNull());
}

TEST_F(FormTest, SizeCellsRoundToKilobytes) {
    const QString dir = m_vol + "sizes/";
    const struct {
        const char* name;
        int64_t size;
        const char* text;
    } files[] = {{"s0.jpg", 0, "0KB"},
                 {"s1.jpg", 1100, "1KB"},
                 {"s2.jpg", 1900, "2KB"},
                 {"s3.jpg", 2048, "2KB"},
                 {"s4.jpg", 1048576, "1,024KB"}};
    for (const auto& f : files)
        makeFile(dir + f.name, f.size);
    openOn(dir, 5);
    for (const auto& f : files)
        EXPECT_EQ(listItem(f.name)->text(kColumnSize), f.text) << f.name;
}

TEST_F(FormTest, OneIconIndexIsAddedOncePerRefresh) {
    const QString dir = m_vol + "pics/";
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg"})
        makeFile(dir + name);
    TFormMain& form = openOn(dir, 4);
    QList<int> positions;
    for (int i = 0; i < 4; ++i)
        positions << form.ListView1->topLevelItem(i)->data(0, kImageIndexRole).toInt();
    EXPECT_EQ(positions, (QList<int>{0, 1, 1, 1}));
    EXPECT_EQ(form.ImageListListViewSmall.count(), 2);
    // A refresh starts both lists afresh.
    form.RefreshFileList();
    EXPECT_EQ(form.ImageListListViewSmall.count(), 2);
    EXPECT_EQ(form.ImageListListViewLarge.count(), 2);
}

TEST_F(FormTest, RefreshRebuildsTheListAndItsImages) {
    const QString dir = m_vol + "pics/";
    makeFile(dir + "a.jpg");
    TFormMain& form = openOn(dir, 1);
    const int images = form.ImageListListViewSmall.count();
    makeFile(dir + "b.bmp");
    form.TreeView1->setFocus();
    form.PostFileListRefresh();
    EXPECT_EQ(captions().size(), 1) << "the refresh is posted, not run at once";
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return captions() == (QStringList{"a.jpg", "b.bmp"});
        },
        5000));
    EXPECT_LE(form.ImageListListViewSmall.count(), images + 1);
}

TEST_F(FormTest, RenameToAnotherExtensionShowsMessageTwo) {
    const QString dir = m_vol + "pics/";
    makeFile(dir + "a.jpg", 10);
    TFormMain& form = openOn(dir, 1);
    form.ListView1Edited(listItem("a.jpg"), "b.bmp");
    EXPECT_EQ(m_ui.errors, QStringList{"File's extension name error !!"});
    EXPECT_EQ(captions(), QStringList{"a.jpg"});
    EXPECT_TRUE(QFileInfo::exists(dir + "a.jpg"));
    EXPECT_FALSE(QFileInfo::exists(dir + "b.bmp"));
}

TEST_F(FormTest, RenameOntoAnExistingFileKeepsBothFiles) {
    const QString dir = m_vol + "pics/";
    makeFile(dir + "a.jpg", 10);
    makeFile(dir + "taken.jpg", 20);
    TFormMain& form = openOn(dir, 2);
    form.ListView1Edited(listItem("a.jpg"), "taken.jpg");
    EXPECT_TRUE(m_ui.errors.isEmpty()) << "no message of the program's own";
    EXPECT_EQ(m_ui.shellErrors.size(), 1);
    EXPECT_EQ(captions(), (QStringList{"a.jpg", "taken.jpg"}));
    EXPECT_EQ(QFileInfo(dir + "a.jpg").size(), 10);
    EXPECT_EQ(QFileInfo(dir + "taken.jpg").size(), 20);
    EXPECT_EQ(itemRecord(listItem("a.jpg"))->Path, dir + "a.jpg");
}

TEST_F(FormTest, RenameWithTrailingBlanksRenamesWithoutThem) {
    const QString dir = m_vol + "pics/";
    makeFile(dir + "a.jpg", 10);
    makeFile(dir + "m.jpg", 10);
    TFormMain& form = openOn(dir, 2);
    form.ListView1Edited(listItem("a.jpg"), "z.JPG   ");
    EXPECT_TRUE(m_ui.errors.isEmpty());
    EXPECT_TRUE(QFileInfo::exists(dir + "z.JPG"));
    EXPECT_FALSE(QFileInfo::exists(dir + "a.jpg"));
    // The renamed item takes its place in the order at once.
    EXPECT_EQ(captions(), (QStringList{"m.jpg", "z.JPG"}));
    EXPECT_EQ(itemRecord(listItem("z.JPG"))->Path, dir + "z.JPG");
}

TEST_F(FormTest, RenameThatWouldLeaveTheFolderIsRefused) {
    const QString dir = m_vol + "pics/";
    makeFile(dir + "a.jpg", 10);
    makeFolder(dir + "sub");
    TFormMain& form = openOn(dir, 1);
    form.ListView1Edited(listItem("a.jpg"), "sub/a.jpg");
    form.ListView1Edited(listItem("a.jpg"), "a.jpg");
    EXPECT_TRUE(m_ui.errors.isEmpty());
    EXPECT_TRUE(m_ui.shellErrors.isEmpty());
    EXPECT_TRUE(QFileInfo::exists(dir + "a.jpg"));
    EXPECT_FALSE(QFileInfo::exists(dir + "sub/a.jpg"));
}

TEST_F(FormTest, InPlaceEditorRenamesThroughTheHandler) {
    const QString dir = m_vol + "pics/";
    makeFile(dir + "a.jpg", 10);
    TFormMain& form = openOn(dir, 1);
    selectOnly({"a.jpg"});
    form.Rename1Click();
    auto* editor = form.ListView1->findChild<QLineEdit*>();
    ASSERT_TRUE(editor);
    editor->setText("b.jpg");
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_TRUE(QTest::qWaitFor([&] { return captions() == QStringList{"b.jpg"}; }, 5000));
    EXPECT_TRUE(QFileInfo::exists(dir + "b.jpg"));
}

TEST_F(FormTest, DeletingThreeFilesRemovesTheirItemsAndSelectsTheTop) {
    const QString dir = m_vol + "pics/";
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg", "d.jpg", "e.jpg"})
        makeFile(dir + name, 10);
    TFormMain& form = openOn(dir, 5);
    selectOnly({"a.jpg", "c.jpg", "d.jpg"});
    form.ListView1->setFocus();
    QTest::keyClick(form.ListView1, Qt::Key_Delete);
    ASSERT_EQ(m_ui.confirmations.size(), 1u);
    EXPECT_EQ(m_ui.confirmations[0], (QStringList{dir + "a.jpg", dir + "c.jpg", dir + "d.jpg"}));
    EXPECT_EQ(captions(), (QStringList{"b.jpg", "e.jpg"}));
    EXPECT_TRUE(form.SelectedItems.isEmpty());
    ASSERT_EQ(form.ListView1->selectedItems().size(), 1);
    EXPECT_EQ(form.ListView1->selectedItems()[0]->text(0), "b.jpg");
    EXPECT_TRUE(form.ListView1->hasFocus());
    EXPECT_FALSE(QFileInfo::exists(dir + "a.jpg"));
    EXPECT_TRUE(QFileInfo::exists(m_root + "share/Trash/files/c.jpg"));
}

TEST_F(FormTest, CancelledDeleteChangesNothing) {
    const QString dir = m_vol + "pics/";
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"})
        makeFile(dir + name, 10);
    TFormMain& form = openOn(dir, 3);
    selectOnly({"a.jpg", "b.jpg"});
    m_ui.confirmAnswer = false;
    form.Delete1Click();
    EXPECT_EQ(m_ui.confirmations.size(), 1u);
    EXPECT_EQ(captions(), (QStringList{"a.jpg", "b.jpg", "c.jpg"}));
    EXPECT_TRUE(QFileInfo::exists(dir + "a.jpg"));
    EXPECT_TRUE(m_ui.errors.isEmpty());
}

TEST_F(FormTest, SelectionNeedsTheListsFocus) {
    const QString dir = m_vol + "pics/";
    makeFile(dir + "a.jpg", 10);
    makeFile(dir + "bb.jpg", 10);
    TFormMain& form = openOn(dir, 2);
    selectOnly({"a.jpg", "bb.jpg"});
    EXPECT_TRUE(form.CollectSelection());
    EXPECT_EQ(form.SelectedItems.size(), 2);
    EXPECT_EQ(form.SelectedPathBytes, (dir + "a.jpg").size() + 1 + (dir + "bb.jpg").size() + 1);
    form.PopupMenu1Popup();
    EXPECT_TRUE(form.Rename1->isEnabled());
    EXPECT_TRUE(form.CreateAVIFiles1->isEnabled());

    // Without the focus the selection is not collected and is left as it was.
    form.TreeView1->setFocus();
    EXPECT_FALSE(form.CollectSelection());
    EXPECT_EQ(form.SelectedItems.size(), 2);
    form.PopupMenu1Popup();
    EXPECT_FALSE(form.Delete1->isEnabled());

    // Deselecting disables the pop-up items again.
    form.ListView1->setFocus();
    form.PopupMenu1Popup();
    form.ListView1->clearSelection();
    EXPECT_FALSE(form.Rename1->isEnabled());
    EXPECT_FALSE(form.CollectSelection());
    EXPECT_TRUE(form.SelectedItems.isEmpty());
}

// ---- Preview ----

TEST_F(FormTest, SelectingAJpegShowsItsPreviewFitted) {
    const QString dir = m_vol + "pics/";
    makePicture(dir + "wide.jpg", 800, 400, "JPG");
    makePicture(dir + "small.bmp", 80, 60, "BMP");
    TFormMain& form = openOn(dir, 2);
    form.setPanel1Width(200);
    form.setTreeView1Height(form.Panel1->height() - 3 - 150);
    ASSERT_EQ(form.Panel2->size(), QSize(200, 150));

    selectOnly({"wide.jpg"});
    EXPECT_EQ(form.PreviewBitmap->size(), QSize(800, 400));
    EXPECT_EQ(form.Image1->geometry(), QRect(0, 25, 200, 100));
    EXPECT_TRUE(form.Image1->stretch());

    selectOnly({"small.bmp"});
    EXPECT_EQ(form.PreviewBitmap->size(), QSize(80, 60));
    EXPECT_EQ(form.Image1->geometry(), QRect(0, 0, 200, 150));
    EXPECT_FALSE(form.Image1->stretch());
    EXPECT_TRUE(form.Image1->hasPicture());

    // Deselecting empties the preview.
    form.ListView1->clearSelection();
    EXPECT_FALSE(form.Image1->hasPicture());
}

// A large JPEG is decoded reduced for the panel, yet placed as the whole picture would be, and
// the splitters refit it by its own size, not by the reduced pixels.
TEST_F(FormTest, LargeJpegIsDecodedReducedAndFittedByItsOwnSize) {
    const QString dir = m_vol + "pics/";
    makePicture(dir + "large.jpg", 2400, 1600, "JPG");
    TFormMain& form = openOn(dir, 1);
    form.setPanel1Width(200);
    form.setTreeView1Height(form.Panel1->height() - 3 - 150);
    ASSERT_EQ(form.Panel2->size(), QSize(200, 150));
    selectOnly({"large.jpg"});
    EXPECT_EQ(form.PreviewBitmap->size(), QSize(300, 200)) << "decoded at 1/8";
    EXPECT_EQ(form.Image1->geometry(), QRect(0, 8, 200, 133));
    EXPECT_TRUE(form.Image1->stretch());

    // A wider panel: still fitted as the 2400 x 1600 picture, stretched.
    form.setPanel1Width(600);
    form.Splitter1Moved();
    ASSERT_EQ(form.Panel2->size(), QSize(600, 150));
    EXPECT_EQ(form.Image1->geometry(), QRect(187, 0, 225, 150));
    EXPECT_TRUE(form.Image1->stretch());
    form.setTreeView1Height(form.Panel1->height() - 3 - 500);
    form.Splitter2Moved();
    ASSERT_EQ(form.Panel2->size(), QSize(600, 500));
    EXPECT_EQ(form.Image1->geometry(), QRect(0, 50, 600, 400));
    EXPECT_TRUE(form.Image1->stretch());
}

TEST_F(FormTest, UndecodablePictureKeepsThePreviousPreview) {
    const QString dir = m_vol + "pics/";
    makePicture(dir + "good.jpg", 40, 30, "JPG");
    makeFile(dir + "bad.jpg", 500);
    TFormMain& form = openOn(dir, 2);
    form.LoadPreview(dir + "good.jpg");
    ASSERT_TRUE(form.Image1->hasPicture());
    form.LoadPreview(dir + "bad.jpg");
    EXPECT_TRUE(form.Image1->hasPicture());
    EXPECT_EQ(form.Image1->picture().size(), QSize(40, 30));
    EXPECT_TRUE(m_ui.errors.isEmpty());
}

// Regression: a FIFO named like a picture held the window in open() until it was killed.
TEST_F(FormTest, FifoInTheFolderKeepsThePreviousPreviewWithoutWaiting) {
    const QString dir = m_vol + "pics/";
    makePicture(dir + "good.jpg", 40, 30, "JPG");
    TFormMain& form = openOn(dir, 1);
    form.LoadPreview(dir + "good.jpg");
    ASSERT_TRUE(form.Image1->hasPicture());
    const QByteArray fifo = QFile::encodeName(dir + "x.bmp");
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    kerris::test::FifoWatch watch(fifo.toStdString());
    form.LoadPreview(dir + "x.bmp");
    EXPECT_TRUE(watch.finish()) << "the preview waited on the FIFO";
    EXPECT_EQ(form.Image1->picture().size(), QSize(40, 30));
    EXPECT_TRUE(m_ui.errors.isEmpty());
}

TEST_F(FormTest, JpgFileHoldingBitmapDataPreviewsAsBitmap) {
    const QString dir = m_vol + "pics/";
    makePicture(dir + "fake.JPG", 30, 20, "BMP", Qt::blue);
    TFormMain& form = openOn(dir, 1);
    form.LoadPreview(dir + "fake.JPG");
    EXPECT_EQ(form.PreviewBitmap->size(), QSize(30, 20));
    EXPECT_EQ(form.PreviewBitmap->pixelColor(3, 3), QColor(Qt::blue));
}

TEST_F(FormTest, DoubleClickWithFocusLoadsThePreviewInsteadOfRefreshing) {
    const QString dir = m_vol + "pics/";
    makePicture(dir + "a.jpg", 16, 16, "JPG");
    TFormMain& form = openOn(dir, 1);
    selectOnly({"a.jpg"});
    form.Image1->clearPicture();
    makeFile(dir + "b.jpg");
    form.ListView1DblClick();
    EXPECT_TRUE(form.Image1->hasPicture());
    EXPECT_EQ(captions(), QStringList{"a.jpg"});
}

// Names from older systems (Big5, Latin-1) are bytes that are not UTF-8: listed with their
// size and date, shown as the locale decodes them, previewed, renamed and deleted.
TEST_F(FormTest, NamesThatAreNotUtf8WorkLikeAnyOther) {
    const QString dir = m_vol + "pics/";
    makeFolder(dir);
    const struct {
        QByteArray name;
        const char* format;
        QSize size;
    } files[] = {{"\xb9\xa4\xa7@.jpg", "JPG", {40, 30}}, {"\xff.bmp", "BMP", {24, 16}}};
    for (const auto& f : files) {
        QImage picture(f.size, QImage::Format_RGB32);
        picture.fill(Qt::green);
        QByteArray data;
        QBuffer buffer(&data);
        ASSERT_TRUE(buffer.open(QIODevice::WriteOnly));
        ASSERT_TRUE(picture.save(&buffer, f.format));
        const QByteArray path = kerris::shell::nativeName(dir) + f.name;
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, data.constData(), static_cast<size_t>(data.size())), data.size());
        ::close(fd);
    }
    TFormMain& form = openOn(dir, 2);
    for (const auto& f : files) {
        SCOPED_TRACE(f.name.toHex().toStdString());
        QTreeWidgetItem* item = listItem(QString::fromLocal8Bit(f.name));
        ASSERT_TRUE(item) << captions().join('|').toStdString();
        EXPECT_TRUE(item->text(kColumnSize).endsWith("KB"))
            << item->text(kColumnSize).toStdString();
        EXPECT_TRUE(QRegularExpression("^\\d{4}/\\d{2}/\\d{2} \\d{2}:\\d{2}:\\d{2}$")
                        .match(item->text(kColumnDate))
                        .hasMatch());
        const QString path = itemRecord(item)->Path;
        EXPECT_EQ(kerris::shell::nativeName(path), kerris::shell::nativeName(dir) + f.name);

        selectOnly({item->text(kColumnName)});
        EXPECT_EQ(form.PreviewBitmap->size(), f.size);
        EXPECT_TRUE(form.Image1->hasPicture());
        EXPECT_TRUE(form.CollectSelection());
        EXPECT_EQ(form.SelectedPathBytes, kerris::shell::nativeName(path).size() + 1);

        // Renamed in place, keeping its extension.
        const QString extension = QString(f.format) == "BMP" ? ".bmp" : ".jpg";
        const QString caption = "renamed" + QString(f.format) + extension;
        form.ListView1Edited(item, caption);
        EXPECT_TRUE(m_ui.errors.isEmpty());
        EXPECT_FALSE(kerris::shell::findFile(path));
        ASSERT_TRUE(QFileInfo::exists(dir + caption));
        EXPECT_EQ(item->text(kColumnName), caption);
    }

    // Deleted: a second pair of such names, to the Trash.
    const QByteArray names[] = {"\xb9\xa4.jpg", "\xfe.jpg"};
    for (const QByteArray& name : names) {
        const QByteArray path = kerris::shell::nativeName(dir) + name;
        const int fd = ::open(path.constData(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        ASSERT_GE(fd, 0);
        ::close(fd);
    }
    form.RefreshFileList();
    ASSERT_EQ(captions().size(), 4);
    selectOnly({QString::fromLocal8Bit(names[0]), QString::fromLocal8Bit(names[1])});
    form.ListView1->setFocus();
    form.Delete1Click();
    EXPECT_EQ(m_ui.confirmations.size(), 1u);
    EXPECT_TRUE(m_ui.shellErrors.isEmpty()) << m_ui.shellErrors.join('|').toStdString();
    EXPECT_EQ(captions(), (QStringList{"renamedBMP.bmp", "renamedJPG.jpg"}));
    for (const QByteArray& name : names) {
        EXPECT_FALSE(kerris::shell::findFile(
            kerris::shell::nameText(kerris::shell::nativeName(dir) + name)));
        EXPECT_TRUE(kerris::shell::findFile(kerris::shell::nameText(
            kerris::shell::nativeName(m_root) + "share/Trash/files/" + name)));
    }
}

TEST_F(FormTest, DestructionGivesBackEveryIdentifier) {
    makeFolder(m_vol + "a/b");
    makeFile(m_vol + "a/b/p.jpg");
    const long before = kerris::shell::taskAllocator()->outstanding();
    writeLayout(2, m_vol + "a/b/");
    showForm();
    EXPECT_TRUE(QTest::qWaitFor([&] { return captions() == QStringList{"p.jpg"}; }, 5000));
    EXPECT_GT(kerris::shell::taskAllocator()->outstanding(), before);
    m_form.reset();
    EXPECT_EQ(kerris::shell::taskAllocator()->outstanding(), before);
}

} // namespace
} // namespace lumicart
