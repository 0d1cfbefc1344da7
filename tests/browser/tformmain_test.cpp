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

class FormTest : public test::VolumeTest {
protected:
    void SetUp() override {
        VolumeTest::SetUp();
        m_root = m_dir.path() + "/";
        makeFolder(m_root + "registry");
        makeFolder(m_vol + "app");
        makeFolder(m_root + "share");
        qputenv("KERRIS_REGISTRY_DIR", (m_root + "registry").toLocal8Bit());
        qputenv("XDG_DATA_HOME", (m_root + "share").toLocal8Bit());
    }
    void TearDown() override {
        m_form.reset();
        VolumeTest::TearDown();
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

    QString m_root;
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
    EXPECT_EQ(form.folderTree().pathElements(), (QStringList{m_vol, "app"}));
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

// ---- Folder tree and file list ----

// The tree's descent at show reaches the list through the posted refresh.
TEST_F(FormTest, StartFolderIsSelectedAndListed) {
    makePicture(m_vol + "a/b/one.jpg", 8, 8, "JPG");
    writeLayout(2, m_vol + "a/b/");
    TFormMain& form = showForm();
    EXPECT_EQ(selectedTreePath(), (QStringList{m_vol, "a", "b"}));
    EXPECT_EQ(form.CurrentFolder, m_vol + "a/b/");
    EXPECT_TRUE(QTest::qWaitFor([&] { return captions() == QStringList{"one.jpg"}; }, 5000));
}

TEST_F(FormTest, RefreshRebuildsTheListAndItsImages) {
    const QString dir = m_vol + "pics/";
    makeFile(dir + "a.jpg");
    TFormMain& form = openOn(dir, 1);
    makeFile(dir + "b.bmp");
    form.TreeView1->setFocus();
    form.PostFileListRefresh();
    EXPECT_EQ(captions().size(), 1) << "the refresh is posted, not run at once";
    EXPECT_TRUE(QTest::qWaitFor([&] { return captions() == QStringList{"a.jpg", "b.bmp"}; }, 5000));
}

// The in-place editor and the Delete key reach the list's handlers; the focus ends on the list.
TEST_F(FormTest, EditorAndDeleteKeyReachTheList) {
    const QString dir = m_vol + "pics/";
    makeFile(dir + "a.jpg", 10);
    makeFile(dir + "c.jpg", 10);
    TFormMain& form = openOn(dir, 2);
    selectOnly({"a.jpg"});
    form.Rename1Click();
    auto* editor = form.ListView1->findChild<QLineEdit*>();
    ASSERT_TRUE(editor);
    editor->setText("b.jpg");
    QTest::keyClick(editor, Qt::Key_Return);
    EXPECT_TRUE(QTest::qWaitFor([&] { return captions() == QStringList{"b.jpg", "c.jpg"}; }, 5000));
    selectOnly({"c.jpg"});
    QTest::keyClick(form.ListView1, Qt::Key_Delete);
    EXPECT_EQ(captions(), (QStringList{"b.jpg"}));
    EXPECT_TRUE(form.ListView1->hasFocus());
    EXPECT_TRUE(QFileInfo::exists(m_root + "share/Trash/files/c.jpg"));
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
        EXPECT_EQ(form.fileList().SelectedPathBytes(), kerris::shell::nativeName(path).size() + 1);

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
