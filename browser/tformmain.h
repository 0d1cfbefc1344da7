// The picture browser's window: folder tree, file list, preview, menus, settings and the
// camera, movie and acquisition commands.
#pragma once

#include "browser/file_list.h"
#include "browser/folder_tree.h"
#include "browser/image_list.h"
#include "browser/media/camera_session.h"
#include "browser/media/media_host.h"
#include "browser/media/movie_writer.h"
#include "browser/settings.h"
#include "browser/user_interface.h"
#include "browser/widgets.h"
#include "platform/acquire/acquisition_source.h"
#include "platform/registry/registry.h"
#include "platform/shell/shell.h"

#include <QImage>
#include <QMainWindow>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <cstdint>
#include <memory>
#include <optional>

class QAction;
class QFrame;
class QListWidget;
class QMenu;
class QProgressBar;

namespace lumicart {

class TFormMain : public QMainWindow {
    Q_OBJECT
public:
    struct Options {
        // The program's path; its name keys the settings, its folder is the default folder.
        // Empty: the running program's.
        QString programPath;
    };

    explicit TFormMain(UserInterface& ui, Options options = Options(), QWidget* parent = nullptr);
    ~TFormMain() override;

    // ---- Controls (names of the form description) ----
    ClientArea* FormClient = nullptr;
    QWidget* Panel1 = nullptr;
    TreeView* TreeView1 = nullptr;
    SplitterBar* Splitter2 = nullptr;
    QFrame* Panel2 = nullptr;
    PreviewImage* Image1 = nullptr;
    SplitterBar* Splitter1 = nullptr;
    ListView* ListView1 = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QListWidget* ListBoxSWMsg = nullptr;
    ImageList ImageListTreeView{16};
    ImageList ImageListListViewSmall{16};
    ImageList ImageListListViewLarge{32, false};
    ImageList ImageListStateImage{16};

    QMenu* File1 = nullptr;
    QAction* SelectSource1 = nullptr;
    QAction* Active1 = nullptr;
    QAction* N1 = nullptr;
    QAction* AutoDownloadImage1 = nullptr;
    QAction* CreateAVIFile1 = nullptr;
    QAction* PlayAVIFiles1 = nullptr;
    QAction* Help1 = nullptr;
    QMenu* PopupMenu1 = nullptr;
    QAction* Rename1 = nullptr;
    QAction* Delete1 = nullptr;
    QAction* N2 = nullptr;
    QAction* CreateAVIFiles1 = nullptr;

    // The AVI file dialogs.
    FileDialogOptions SaveDialog1;
    FileDialogOptions OpenDialog1;

    // ---- Window state ----
    std::optional<kerris::registry::Key> Settings;
    QString CurrentFolder;
    std::shared_ptr<kerris::shell::Folder> DesktopFolder;
    int32_t SavedPanel1Width = 0;
    int32_t SavedPanel2Height = 0;
    std::unique_ptr<QImage> PreviewBitmap;

    // The tree over TreeView1 (its roots, current node and start-folder elements) and the list
    // over ListView1 (its records and selection).
    FolderTree& folderTree() { return *m_folderTree; }
    FileList& fileList() { return *m_fileList; }

    // ---- Window events ----
    void FormShow();
    void FormResize();
    void Splitter1Moved();
    void Splitter2Moved();
    void Help1Click();
    void FormClose();
    void FormDestroy();

    // Shows entry `entry` of ListBoxSWMsg ("%s" replaced by the argument) in a modal box with
    // the error icon. Returns when the box is closed; a number outside the table shows nothing.
    void ShowMessageEntry(int entry, const std::optional<QString>& argument = std::nullopt);

    // Panel sizes (the docked layout follows them at once).
    void setPanel1Width(int width);
    void setTreeView1Height(int height);

    // The help page of the program and the URL Help opens.
    QUrl helpUrl() const;

    // ---- Folder tree (folderTree() does the work) ----
    void TreeView1Expanding(QTreeWidgetItem* node);
    void TreeView1Change(QTreeWidgetItem* node);
    void UpdateCurrentFolder();

    // ---- File list (fileList() does the work) and preview ----
    bool FillFileList(const std::shared_ptr<kerris::shell::Folder>& folder);
    void ClearFileList();
    void RefreshFileList();
    void LoadPreview(const QString& path);
    void FitPreview(int32_t w, int32_t h);
    // Shows a decoded picture (perhaps reduced) in the preview, fitted by the picture's own size.
    void showPreviewPicture(PreviewPicture picture);
    bool CollectSelection();
    void DeleteSelection();
    void ListView1DblClick();
    void ListView1SelectItem(QTreeWidgetItem* item, bool selected);
    void ListView1Edited(QTreeWidgetItem* item, const QString& text);
    void ListView1KeyDown(int key);
    void PopupMenu1Popup();
    void Rename1Click();
    void Delete1Click();
    void Image1DblClick();

    // Asks for the list to read the current folder again once the running event is done
    // (the posted double-click of the commands that write files).
    void PostFileListRefresh();

    // ---- Camera download, movies, acquisition (tformmain_media.cpp) ----
    void ProbeCaptureDrivers();
    void LoadCameraLibrary();
    void BindCameraApi();
    void InitCompressionOptions();
    void UnloadCameraLibrary();
    void AutoDownloadImage1Click();
    void CloseCameraConnection();
    void CreateAVIFile1Click();
    void CreateAVIFiles1Click();
    void PlayAVIFiles1Click();
    void CloseMovieFile();
    void CheckAcquisitionAvailable();
    void SelectSource1Click();
    void Active1Click();
    void ReleaseAcquiredImage();

    UserInterface& ui() const { return m_ui; }
    const QString& programPath() const { return m_programPath; }

protected:
    void setVisible(bool visible) override;
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class SettingsApplier;
    friend class SettingsApplier;

    void buildControls();
    void buildMenus();
    void layoutClient();
    void onListSelectionChanged(const class QItemSelection& selected,
                                const class QItemSelection& deselected);
    void setSelectionCommands(bool enabled);
    void clearPreviewImage();

    UserInterface& m_ui;
    QString m_programPath;
    bool m_shown = false;
    int m_panel1Width = kDefaultPanel1Width;
    int m_treeView1Height = kDefaultTreeView1Height;
    int m_dragStart = 0;
    // The size of the picture Image1 shows, which may be decoded smaller than it is.
    QSize m_previewPictureSize;
    std::unique_ptr<FolderTree> m_folderTree;
    std::unique_ptr<FileList> m_fileList;

public:
    // camera, movie and acquisition state
    // The camera library as loaded, and the entry-point table the camera commands call (the
    // library's; tests put their own table in with useCameraApi).
    media::CameraLibrary CameraModule;
    media::CameraApi CameraApi;
    // Connection, picture format and the held picture record.
    std::unique_ptr<media::CameraSession> Camera;
    media::CompressionOptions CompressionOptions;
    std::unique_ptr<media::MovieWriter> MovieWriter;
    // The acquisition source (SANE unless a test put another one in) and the image it holds.
    std::unique_ptr<kerris::acquire::AcquisitionSource> AcquisitionSource;
    kerris::acquire::ImageHandle TwainImage = 0;
    // The local time the commands name their files by.
    media::LocalClock Clock = media::SystemLocalTime;

    // Replaces the camera table (closing a connection and freeing the picture of the old one).
    void useCameraApi(const media::CameraApi& api);
    // The acquisition source, made on first use.
    kerris::acquire::AcquisitionSource& acquisitionSource();
    // The window's side of the media commands.
    media::MediaHost& mediaHost();

private:
    std::unique_ptr<media::MediaHost> m_mediaHost;
};

} // namespace lumicart
