// The window's camera, movie and acquisition glue on the offscreen platform: start-up probe and
// library messages, commands reaching the camera table, the progress bar, the acquisition
// source and the preview.
#include "browser/tformmain.h"
#include "browser/user_interface.h"
#include "platform/capture/capture.h"
#include "platform/shell/shell.h"
#include "tests/browser_media/fake_camera.h"
#include "tests/browser_media/movie_probe.h"
#include "tests/browser_media/scripted_source.h"
#include "tests/support/recording_desktop.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QProgressBar>
#include <QTemporaryDir>
#include <QTreeWidget>

namespace lumicart {
namespace {

using media::testing::fakeCamera;

class RecordingUi : public UserInterface {
public:
    void showError(QWidget*, const QString& text) override { errors << text; }
    bool confirmDelete(QWidget*, const QStringList&) override { return false; }
    void showShellError(QWidget*, const QString& text) override { errors << text; }
    QString getSaveFileName(QWidget*, const FileDialogOptions& options) override {
        saveFilters << options.filter;
        return saveAnswer;
    }
    QString getOpenFileName(QWidget*, const FileDialogOptions&) override { return openAnswer; }
    QStringList errors, saveFilters;
    QString saveAnswer, openAnswer;
};

// Counts how often a widget was shown.
class ShowCounter : public QObject {
public:
    int shows = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Show)
            ++shows;
        return false;
    }
};

void ensureApplication() {
    static int argc = 1;
    static char name[] = "tformmain_media_test";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance())
        new QApplication(argc, argv);
}

class FormMediaTest : public ::testing::Test {
protected:
    void SetUp() override {
        ensureApplication();
        ASSERT_TRUE(m_dir.isValid());
        QDir(m_dir.path()).mkpath("registry");
        QDir(m_dir.path()).mkpath("devices");
        QDir(m_dir.path()).mkpath("pictures");
        qputenv("KERRIS_REGISTRY_DIR", (m_dir.path() + "/registry").toLocal8Bit());
        qputenv("KERRIS_VIDEO_DEVICE_DIR", (m_dir.path() + "/devices").toLocal8Bit());
        // No camera library anywhere: the tests put their own table in.
        qputenv("KERRIS_MODULE_PATH", "");
        qputenv("KERRIS_MODULE_PATH_ONLY", "1");
        media::testing::resetFakeCamera();
    }
    void TearDown() override { m_form.reset(); }

    TFormMain& makeForm() {
        m_form =
            std::make_unique<TFormMain>(m_ui, TFormMain::Options{m_dir.path() + "/app/Lumicart"});
        return *m_form;
    }

    // A window on the fake camera, the start-up messages set aside.
    TFormMain& cameraForm() {
        kerris::capture::RegisterDriver("Kerris Camera", "1.0");
        TFormMain& form = makeForm();
        m_api = media::testing::fakeCameraApi();
        form.useCameraApi(m_api);
        form.CurrentFolder = pictures();
        m_ui.errors.clear();
        return form;
    }

    QString pictures() const { return m_dir.path() + "/pictures/"; }
    QStringList pictureFiles() const { return QDir(pictures()).entryList(QDir::Files, QDir::Name); }

    QTemporaryDir m_dir;
    RecordingUi m_ui;
    media::CameraApi m_api;
    std::unique_ptr<TFormMain> m_form;
};

struct ProbeCase {
    const char* name;
    const char* driver; // registered capture driver, or null
    bool active, selectSource, camera;
};

class FormProbe : public FormMediaTest, public ::testing::WithParamInterface<ProbeCase> {};

TEST_P(FormProbe, SetsTheFileMenuAtConstruction) {
    const ProbeCase& c = GetParam();
    if (c.driver) {
        ASSERT_TRUE(kerris::capture::RegisterDriver(c.driver, "1.0"));
    }
    TFormMain& form = makeForm();
    EXPECT_EQ(form.Active1->isEnabled(), c.active);
    EXPECT_EQ(form.SelectSource1->isEnabled(), c.selectSource);
    EXPECT_EQ(form.AutoDownloadImage1->isEnabled(), c.camera);
    EXPECT_EQ(form.CreateAVIFile1->isEnabled(), c.camera);
    QStringList expected;
    if (!c.driver)
        expected << "Cannot find device!!";
    expected << "DLL Can not found (kerriscp.dll)!!";
    EXPECT_EQ(m_ui.errors, expected) << "the probe runs before the library is loaded";
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FormProbe,
    ::testing::Values(ProbeCase{"no_driver", nullptr, false, false, false},
                      ProbeCase{"another_driver", "Video Grabber", true, true, false},
                      ProbeCase{"camera_in_capitals", "KERRIS CAMERA", true, true, true}),
    [](const auto& p) { return std::string(p.param.name); });

TEST_F(FormMediaTest, UnavailableAcquisitionTurnsOffActiveAndTheCameraCommands) {
    kerris::capture::RegisterDriver("Kerris Camera", "1.0");
    TFormMain& form = makeForm();
    auto source = std::make_unique<media::testing::ScriptedSource>();
    source->available = 0;
    form.AcquisitionSource = std::move(source);
    form.CheckAcquisitionAvailable();
    EXPECT_FALSE(form.Active1->isEnabled());
    EXPECT_FALSE(form.AutoDownloadImage1->isEnabled());
    EXPECT_FALSE(form.CreateAVIFile1->isEnabled());
    EXPECT_TRUE(form.SelectSource1->isEnabled());
}

TEST_F(FormMediaTest, CameraCommandsWithoutTheLibraryShowMessageOneAgain) {
    TFormMain& form = makeForm();
    m_ui.errors.clear();
    form.CurrentFolder = pictures();
    form.AutoDownloadImage1Click();
    form.CreateAVIFile1Click();
    EXPECT_EQ(m_ui.errors, (QStringList{"DLL Can not found (kerriscp.dll)!!",
                                        "DLL Can not found (kerriscp.dll)!!"}));
    EXPECT_TRUE(pictureFiles().isEmpty());
}

TEST_F(FormMediaTest, DownloadWritesIntoTheCurrentFolderAndHidesTheProgressBar) {
    TFormMain& form = cameraForm();
    fakeCamera().pictures = {{0, 1}, {0, 2}, {3, 3}};
    form.Clock = [] { return media::LocalTime{2024, 1, 31, 9, 0, 0}; };
    ShowCounter counter;
    form.ProgressBar1->installEventFilter(&counter);
    form.AutoDownloadImage1Click();
    EXPECT_EQ(pictureFiles(),
              (QStringList{"20240131-01.bmp", "20240131-02.bmp", "20240131-03.bmp"}));
    EXPECT_TRUE(m_ui.errors.isEmpty());
    EXPECT_FALSE(form.ProgressBar1->isVisibleTo(&form));
    EXPECT_EQ(form.ProgressBar1->maximum(), 3);
    EXPECT_FALSE(form.Camera->connected());
}

// A folder chosen under the home root becomes the current folder, so the download lands in
// the folder the list shows.
TEST_F(FormMediaTest, DownloadGoesToAFolderChosenUnderTheHomeRoot) {
    const QString home = m_dir.path() + "/home/";
    QDir().mkpath(home + "Pictures/trip");
    kerris::shell::setHomeFolder(home);
    kerris::shell::setVolumes(std::vector<QString>{m_dir.path() + "/pictures/"});
    TFormMain& form = cameraForm();
    form.FormShow();
    ASSERT_EQ(form.TreeView1->topLevelItemCount(), 2);
    QTreeWidgetItem* homeNode = form.TreeView1->topLevelItem(1);
    homeNode->setExpanded(true);
    ASSERT_EQ(homeNode->childCount(), 1);
    QTreeWidgetItem* picturesNode = homeNode->child(0);
    ASSERT_EQ(picturesNode->text(0), "Pictures");
    form.TreeView1->setCurrentItem(picturesNode);
    QCoreApplication::processEvents();
    EXPECT_EQ(form.CurrentFolder, home + "Pictures/");
    // One level deeper the rule holds as well.
    picturesNode->setExpanded(true);
    ASSERT_EQ(picturesNode->childCount(), 1);
    form.TreeView1->setCurrentItem(picturesNode->child(0));
    QCoreApplication::processEvents();
    EXPECT_EQ(form.CurrentFolder, home + "Pictures/trip/");
    form.TreeView1->setCurrentItem(picturesNode);
    QCoreApplication::processEvents();

    fakeCamera().pictures = {{0, 1}, {0, 2}};
    form.Clock = [] { return media::LocalTime{2024, 1, 31, 9, 0, 0}; };
    form.AutoDownloadImage1Click();
    EXPECT_EQ(QDir(home + "Pictures").entryList(QDir::Files, QDir::Name),
              (QStringList{"20240131-01.bmp", "20240131-02.bmp"}));
    EXPECT_TRUE(pictureFiles().isEmpty());
    kerris::shell::setHomeFolder(std::nullopt);
    kerris::shell::setVolumes(std::nullopt);
}

TEST_F(FormMediaTest, NoPicturesShowsMessageFourWithoutTheProgressBar) {
    TFormMain& form = cameraForm();
    ShowCounter counter;
    form.ProgressBar1->installEventFilter(&counter);
    form.AutoDownloadImage1Click();
    EXPECT_EQ(m_ui.errors, QStringList{"No images on camera!!"});
    EXPECT_EQ(counter.shows, 0);
    EXPECT_TRUE(pictureFiles().isEmpty());
}

TEST_F(FormMediaTest, CameraMovieGoesToTheNameOfTheSaveDialog) {
    TFormMain& form = cameraForm();
    fakeCamera().pictures = {{2, 1}, {2, 2}, {2, 3}};
    m_ui.saveAnswer = m_dir.path() + "/camera.avi";
    form.CreateAVIFile1Click();
    EXPECT_EQ(m_ui.saveFilters,
              QStringList{"Audio Video Interleaved Files (*.avi)|*.avi|All Files (*.*)|*.*"});
    auto stream = media::testing::ProbeMovieStream(m_ui.saveAnswer.toStdString());
    EXPECT_EQ(stream["nb_read_frames"], "3");
    EXPECT_EQ(stream["width"], "176");
    EXPECT_FALSE(form.MovieWriter) << "no movie stays open after the command";
}

TEST_F(FormMediaTest, ActiveWritesTheImageShowsItAndReleasesTheSource) {
    TFormMain& form = cameraForm();
    auto source = std::make_unique<media::testing::ScriptedSource>();
    auto log = source->log;
    source->width = 40;
    source->height = 30;
    form.AcquisitionSource = std::move(source);
    form.Clock = [] { return media::LocalTime{2024, 1, 31, 15, 45, 2}; };
    form.Active1Click();
    EXPECT_EQ(pictureFiles(), QStringList{"20240131154502.bmp"});
    EXPECT_EQ(form.PreviewBitmap->size(), QSize(40, 30));
    EXPECT_TRUE(form.Image1->hasPicture());
    EXPECT_EQ(*log, (std::vector<int>{44, 35, 2, 10, 12, 49, 17, 13, 5}));
    EXPECT_EQ(form.TwainImage, 0u);
}

TEST_F(FormMediaTest, ImageStillHeldIsFreedWhenTheWindowGoes) {
    TFormMain& form = cameraForm();
    auto source = std::make_unique<media::testing::ScriptedSource>();
    auto log = source->log;
    form.AcquisitionSource = std::move(source);
    form.TwainImage = 9;
    m_form.reset();
    EXPECT_EQ(*log, std::vector<int>{17});
}

TEST_F(FormMediaTest, PlayStartsFfplayWhenTheDesktopHasNoMoviePlayer) {
    // xdg-mime names nothing for movies here; without ffplay nothing plays, silently.
    for (const bool ffplay : {true, false}) {
        kerris::desktop::test::RecordingDesktop desktop;
        if (!ffplay)
            desktop.missingPrograms.insert("ffplay");
        TFormMain& form = cameraForm();
        form.PlayAVIFiles1Click(); // cancelled
        EXPECT_TRUE(desktop.runs.empty());
        m_ui.openAnswer = m_dir.path() + "/x y.avi";
        form.PlayAVIFiles1Click();
        ASSERT_EQ(desktop.runs.size(), ffplay ? 1u : 0u);
        EXPECT_TRUE(m_ui.errors.isEmpty());
        if (ffplay) {
            EXPECT_EQ(
                QStringList{desktop.runs[0].program} + desktop.runs[0].arguments,
                QStringList({"ffplay", "-autoexit", "-window_title", "x y.avi", m_ui.openAnswer}));
        }
        m_ui.openAnswer.clear();
    }
}

} // namespace
} // namespace lumicart
