// The picture browser's window: construction, layout, settings, messages, menus, help and
// the order of shut-down.
#include "browser/tformmain.h"

#include "browser/messages.h"
#include "browser/path_elements.h"
#include "platform/desktop/desktop.h"

#include <QAction>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFileInfo>
#include <QFrame>
#include <QItemSelectionModel>
#include <QLayout>
#include <QListWidget>
#include <QMenuBar>
#include <QProgressBar>
#include <QShortcut>

namespace lumicart {

namespace {

constexpr int kSplitterSize = 3;
constexpr int kProgressBarHeight = 23;
constexpr int kMinimumPanelSize = 30; // a splitter never squeezes a panel below this
constexpr int kHelpContext = 100;

} // namespace

// Applies the values read from the settings to the window, one at a time.
class TFormMain::SettingsApplier : public SettingsTarget {
public:
    explicit SettingsApplier(TFormMain& form) : m_form(form) {}
    void applyCurrentFolder(const QString& folder) override { m_form.CurrentFolder = folder; }
    void applyWindowState(uint32_t state) override {
        m_form.setWindowState(state == kStateMaximised   ? Qt::WindowMaximized
                              : state == kStateMinimised ? Qt::WindowMinimized
                                                         : Qt::WindowNoState);
    }
    void applyLeft(int32_t left) override { m_form.move(left, m_form.pos().y()); }
    void applyTop(int32_t top) override { m_form.move(m_form.pos().x(), top); }
    void applyHeight(int32_t height) override { m_form.resize(m_form.width(), height); }
    void applyWidth(int32_t width) override { m_form.resize(width, m_form.height()); }
    void applyPanel1Width(int32_t width) override { m_form.setPanel1Width(width); }
    void applyTreeView1Height(int32_t height) override { m_form.setTreeView1Height(height); }

private:
    TFormMain& m_form;
};

TFormMain::TFormMain(UserInterface& ui, Options options, QWidget* parent)
    : QMainWindow(parent), m_ui(ui), m_programPath(options.programPath) {
    if (m_programPath.isEmpty())
        m_programPath = QCoreApplication::applicationFilePath();

    // 1. The controls of the form description.
    buildControls();
    buildMenus();

    // 2. The start folder is read at show.
    CurrentFolder.clear();

    // 3. Which acquisition and camera commands the installed capture drivers allow.
    ProbeCaptureDrivers();

    // 4. The shell's allocator and desktop folder; the tree and the list, empty, over their
    // controls.
    const std::shared_ptr<kerris::shell::Allocator> allocator = kerris::shell::taskAllocator();
    DesktopFolder = kerris::shell::desktopFolder();
    m_folderTree = std::make_unique<FolderTree>(*TreeView1, ImageListTreeView, allocator);
    m_folderTree->onCurrentFolder = [this](const QString& folder) { CurrentFolder = folder; };
    m_folderTree->onFolderSelected = [this] { PostFileListRefresh(); };
    m_fileList = std::make_unique<FileList>(*ListView1, ImageListListViewSmall,
                                            ImageListListViewLarge, allocator, m_ui);
    m_fileList->onPreview = [this](const QString& path) { LoadPreview(path); };
    m_fileList->onPreviewCleared = [this] { clearPreviewImage(); };
    m_fileList->onSelectionCommands = [this](bool enabled) { setSelectionCommands(enabled); };
    m_fileList->onMessage = [this](int entry) { ShowMessageEntry(entry); };
    m_fileList->onRefresh = [this] { RefreshFileList(); };
    m_fileList->onLeaveFocus = [this] { TreeView1->setFocus(); };

    // 5.
    PreviewBitmap = std::make_unique<QImage>();

    // 6. The camera library (and the movie compression options).
    LoadCameraLibrary();
}

TFormMain::~TFormMain() {
    FormDestroy();
    // From here on the controls' signals must not reach a window that is coming apart.
    TreeView1->disconnect(this);
    TreeView1->selectionModel()->disconnect(this);
    ListView1->disconnect(this);
    ListView1->selectionModel()->disconnect(this);
    ListView1->onEdited = nullptr;
    FormClient->onResize = nullptr;

    CloseCameraConnection();
    UnloadCameraLibrary();
    CloseMovieFile();
    ReleaseAcquiredImage();
    PreviewBitmap.reset();
    DesktopFolder.reset();
    m_fileList.reset();
    m_folderTree.reset();
    CurrentFolder.clear();
}

void TFormMain::buildControls() {
    setWindowTitle(QStringLiteral("Lumicart"));
    resize(700, 480);
    setWindowState(Qt::WindowMaximized);

    FormClient = new ClientArea(this);
    setCentralWidget(FormClient);

    Panel1 = new QWidget(FormClient);
    TreeView1 = new TreeView(Panel1);
    TreeView1->setHeaderHidden(true);
    TreeView1->setIndentation(19);
    TreeView1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    TreeView1->setSelectionMode(QAbstractItemView::SingleSelection);
    TreeView1->setDragEnabled(true);
    TreeView1->setAcceptDrops(false);
    TreeView1->setIconSize(QSize(16, 16));
    QPalette white = TreeView1->palette();
    white.setColor(QPalette::Base, Qt::white);
    TreeView1->setPalette(white);

    Splitter2 = new SplitterBar(Qt::Vertical, Panel1);
    Panel2 = new QFrame(Panel1);
    Panel2->setFrameShape(QFrame::NoFrame);
    Image1 = new PreviewImage(Panel2);

    Splitter1 = new SplitterBar(Qt::Horizontal, FormClient);

    ListView1 = new ListView(FormClient);
    ListView1->setRootIsDecorated(false);
    ListView1->setUniformRowHeights(true);
    ListView1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListView1->setEditTriggers(QAbstractItemView::SelectedClicked |
                               QAbstractItemView::EditKeyPressed);
    ListView1->setDragEnabled(true);
    ListView1->setAcceptDrops(false);
    ListView1->setContextMenuPolicy(Qt::CustomContextMenu);
    ListView1->setSortingEnabled(false);
    ListView1->setIconSize(QSize(16, 16));

    ProgressBar1 = new QProgressBar(FormClient);
    ProgressBar1->setRange(0, 100);
    ProgressBar1->setVisible(false);
    ProgressBar1->installEventFilter(this);

    ListBoxSWMsg = new QListWidget(this);
    ListBoxSWMsg->addItems(messageTable());
    ListBoxSWMsg->setVisible(false);

    const QString avis =
        QStringLiteral("Audio Video Interleaved Files (*.avi)|*.avi|All Files (*.*)|*.*");
    SaveDialog1.defaultExtension = QStringLiteral(".avi");
    SaveDialog1.filter = avis;
    SaveDialog1.promptOverwrite = true;
    SaveDialog1.hideReadOnly = true;
    OpenDialog1.defaultExtension = QStringLiteral(".avi");
    OpenDialog1.filter = avis;
    OpenDialog1.fileMustExist = true;
    OpenDialog1.pathMustExist = true;
    OpenDialog1.hideReadOnly = true;

    FormClient->onResize = [this] { FormResize(); };
    connect(TreeView1, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem* current, QTreeWidgetItem*) {
                if (current)
                    TreeView1Change(current);
            });
    connect(TreeView1, &QTreeWidget::itemExpanded, this,
            [this](QTreeWidgetItem* node) { TreeView1Expanding(node); });
    connect(ListView1, &ListView::doubleClicked, this, [this] { ListView1DblClick(); });
    connect(ListView1, &ListView::keyDown, this, [this](int key) { ListView1KeyDown(key); });
    connect(ListView1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TFormMain::onListSelectionChanged);
    ListView1->onEdited = [this](QTreeWidgetItem* item, const QString& text) {
        ListView1Edited(item, text);
    };
    connect(Image1, &PreviewImage::doubleClicked, this, [this] { Image1DblClick(); });

    connect(Splitter1, &SplitterBar::dragged, this, [this](int delta) {
        if (delta == 0 && m_dragStart == 0)
            return;
        if (m_dragStart == 0)
            m_dragStart = m_panel1Width;
        const int limit = std::max(kMinimumPanelSize, FormClient->width() - kMinimumPanelSize);
        setPanel1Width(std::clamp(m_dragStart + delta, kMinimumPanelSize, limit));
    });
    connect(Splitter1, &SplitterBar::released, this, [this] {
        m_dragStart = 0;
        Splitter1Moved();
    });
    connect(Splitter2, &SplitterBar::dragged, this, [this](int delta) {
        if (m_dragStart == 0)
            m_dragStart = m_treeView1Height;
        const int limit =
            std::max(kMinimumPanelSize, Panel1->height() - kSplitterSize - kMinimumPanelSize);
        setTreeView1Height(std::clamp(m_dragStart + delta, kMinimumPanelSize, limit));
    });
    connect(Splitter2, &SplitterBar::released, this, [this] {
        m_dragStart = 0;
        Splitter2Moved();
    });
}

void TFormMain::buildMenus() {
    QMenuBar* bar = menuBar();
    File1 = bar->addMenu(QStringLiteral("&File"));
    SelectSource1 = File1->addAction(QStringLiteral("&Select Source"));
    SelectSource1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    Active1 = File1->addAction(QStringLiteral("&Active"));
    Active1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_A));
    N1 = File1->addSeparator();
    AutoDownloadImage1 = File1->addAction(QStringLiteral("Auto &Download Image"));
    AutoDownloadImage1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_D));
    CreateAVIFile1 = File1->addAction(QStringLiteral("Create AVI File"));
    CreateAVIFile1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_C));
    PlayAVIFiles1 = File1->addAction(QStringLiteral("&Play AVI Files"));
    PlayAVIFiles1->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
    Help1 = bar->addAction(QStringLiteral("&Help"));

    PopupMenu1 = new QMenu(this);
    Rename1 = PopupMenu1->addAction(QStringLiteral("Rename"));
    Delete1 = PopupMenu1->addAction(QStringLiteral("Delete"));
    N2 = PopupMenu1->addSeparator();
    CreateAVIFiles1 = PopupMenu1->addAction(QStringLiteral("Create AVI Files"));

    // Menu shortcuts work from anywhere in the window.
    for (QAction* action :
         {SelectSource1, Active1, AutoDownloadImage1, CreateAVIFile1, PlayAVIFiles1})
        action->setShortcutContext(Qt::WindowShortcut);

    connect(SelectSource1, &QAction::triggered, this, [this] { SelectSource1Click(); });
    connect(Active1, &QAction::triggered, this, [this] { Active1Click(); });
    connect(AutoDownloadImage1, &QAction::triggered, this, [this] { AutoDownloadImage1Click(); });
    connect(CreateAVIFile1, &QAction::triggered, this, [this] { CreateAVIFile1Click(); });
    connect(PlayAVIFiles1, &QAction::triggered, this, [this] { PlayAVIFiles1Click(); });
    connect(Help1, &QAction::triggered, this, [this] { Help1Click(); });
    connect(Rename1, &QAction::triggered, this, [this] { Rename1Click(); });
    connect(Delete1, &QAction::triggered, this, [this] { Delete1Click(); });
    connect(CreateAVIFiles1, &QAction::triggered, this, [this] { CreateAVIFiles1Click(); });
    connect(ListView1, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        PopupMenu1Popup();
        PopupMenu1->popup(ListView1->viewport()->mapToGlobal(at));
    });

    // F1 opens the window's help context, as Help does.
    auto* help = new QShortcut(QKeySequence::HelpContents, this);
    connect(help, &QShortcut::activated, this, [this] { Help1Click(); });
}

void TFormMain::setPanel1Width(int width) {
    m_panel1Width = width;
    layoutClient();
}

void TFormMain::setTreeView1Height(int height) {
    m_treeView1Height = height;
    layoutClient();
}

// The docked layout: the progress bar along the bottom when shown, Panel1 on the left with
// the tree on top, Splitter2 under it and the preview panel filling the rest; Splitter1 right
// of Panel1 and the list filling the rest of the window.
void TFormMain::layoutClient() {
    const int w = FormClient->width();
    const int progress = ProgressBar1->isVisibleTo(this) ? kProgressBarHeight : 0;
    const int h = std::max(0, FormClient->height() - progress);
    const int panel1 = std::max(0, m_panel1Width);
    Panel1->setGeometry(0, 0, panel1, h);
    Splitter1->setGeometry(panel1, 0, kSplitterSize, h);
    ListView1->setGeometry(panel1 + kSplitterSize, 0, std::max(0, w - panel1 - kSplitterSize), h);
    ProgressBar1->setGeometry(0, h, w, kProgressBarHeight);

    const int tree = std::max(0, m_treeView1Height);
    TreeView1->setGeometry(0, 0, panel1, tree);
    Splitter2->setGeometry(0, tree, panel1, kSplitterSize);
    Panel2->setGeometry(0, tree + kSplitterSize, panel1, std::max(0, h - tree - kSplitterSize));
}

bool TFormMain::eventFilter(QObject* watched, QEvent* event) {
    // Showing or hiding the progress bar changes the height the panels share.
    if (watched == ProgressBar1 && (event->type() == QEvent::Show || event->type() == QEvent::Hide))
        layoutClient();
    return QMainWindow::eventFilter(watched, event);
}

void TFormMain::setVisible(bool visible) {
    // The show handling runs before the window appears, as the user can act only after it.
    if (visible && !m_shown) {
        m_shown = true;
        FormShow();
    }
    QMainWindow::setVisible(visible);
}

void TFormMain::FormShow() {
    // 1-2. The settings key: read it, or create it on a first start.
    const std::string keyName = settingsKeyName(m_programPath).toStdString();
    const QString ownFolder = programFolder(m_programPath);
    SettingsApplier applier(*this);
    Settings = kerris::registry::Key::open(kerris::registry::Hive::CurrentUser, keyName);
    if (Settings) {
        readSettings(*Settings, ownFolder, applier);
    } else {
        Settings = kerris::registry::Key::create(kerris::registry::Hive::CurrentUser, keyName);
        applyDefaultSettings(ownFolder, applier);
    }

    // 3. The start folder's elements, for the tree's descent.
    m_folderTree->setPathElements(
        pathElements(CurrentFolder, kerris::shell::driveRoot(CurrentFolder)));

    // 4. The panel sizes as they stand now are the ones resizing keeps.
    if (QLayout* frame = layout())
        frame->activate();
    layoutClient();
    SavedPanel1Width = Panel1->width();
    SavedPanel2Height = Panel2->height();

    // 5.
    Image1->setGeometry(0, 0, Panel2->width(), Panel2->height());

    // 6.
    ImageListTreeView.clear();
    ImageListStateImage.clear();
    ImageListListViewSmall.clear();
    ImageListListViewLarge.clear();
    ClearFileList();
    m_folderTree->FreeNodeRecords(0);

    // 7. The root level; 8. the tree takes the focus, which selects its first root and so
    // starts the descent to the start folder.
    m_folderTree->FillTreeLevel(DesktopFolder, nullptr);
    TreeView1->setFocus();
    if (!TreeView1->currentItem() && TreeView1->topLevelItemCount() > 0)
        TreeView1->setCurrentItem(TreeView1->topLevelItem(0));

    // 9.
    setSelectionCommands(false);

    // 10.
    CheckAcquisitionAvailable();
}

void TFormMain::FormResize() {
    const int progress = ProgressBar1->isVisibleTo(this) ? kProgressBarHeight : 0;
    const int panel1Height = std::max(0, FormClient->height() - progress);
    m_treeView1Height = panel1Height - SavedPanel2Height - kSplitterSize;
    m_panel1Width = SavedPanel1Width;
    layoutClient();
}

void TFormMain::Splitter1Moved() {
    SavedPanel1Width = Panel1->width();
    if (Image1->hasPicture())
        FitPreview(m_previewPictureSize.width(), m_previewPictureSize.height());
}

void TFormMain::Splitter2Moved() {
    SavedPanel2Height = Panel2->height();
    if (Image1->hasPicture())
        FitPreview(m_previewPictureSize.width(), m_previewPictureSize.height());
}

QUrl TFormMain::helpUrl() const {
    const QString folder = programFolder(m_programPath);
    const QStringList candidates{folder + QStringLiteral("lumicart.html"),
                                 folder + QStringLiteral("../share/kerris/help/lumicart.html")};
    QString page = candidates.constFirst();
    for (const QString& candidate : candidates) {
        if (QFileInfo::exists(candidate)) {
            page = QFileInfo(candidate).canonicalFilePath();
            break;
        }
    }
    QUrl url = QUrl::fromLocalFile(page);
    url.setFragment(QString::number(kHelpContext));
    return url;
}

void TFormMain::Help1Click() {
    kerris::desktop::current().openUrl(helpUrl());
}

void TFormMain::closeEvent(QCloseEvent* event) {
    FormClose();
    event->accept();
}

void TFormMain::FormClose() {
    UpdateCurrentFolder();
    if (Settings) {
        WindowLayout layout;
        layout.currentFolder = CurrentFolder;
        layout.left = pos().x();
        layout.top = pos().y();
        layout.height = height();
        layout.width = width();
        layout.treeView1Height = TreeView1->height();
        layout.panel1Width = Panel1->width();
        layout.windowState = isMinimized()   ? kStateMinimised
                             : isMaximized() ? kStateMaximised
                                             : kStateNormal;
        writeSettings(*Settings, layout);
    }
    Settings.reset();
}

void TFormMain::FormDestroy() {
    m_folderTree->releaseRootFolders();
    ClearFileList();
    m_folderTree->FreeNodeRecords(0);
}

void TFormMain::ShowMessageEntry(int entry, const std::optional<QString>& argument) {
    QStringList table;
    for (int i = 0; i < ListBoxSWMsg->count(); ++i)
        table.append(ListBoxSWMsg->item(i)->text());
    if (const std::optional<QString> text = messageText(table, entry, argument))
        m_ui.showError(this, *text);
}

// ---- The tree's and the list's handlers ----

void TFormMain::TreeView1Expanding(QTreeWidgetItem* node) {
    m_folderTree->TreeView1Expanding(node);
}

void TFormMain::TreeView1Change(QTreeWidgetItem* node) {
    m_folderTree->TreeView1Change(node);
}

void TFormMain::UpdateCurrentFolder() {
    m_folderTree->UpdateCurrentFolder();
}

bool TFormMain::FillFileList(const std::shared_ptr<kerris::shell::Folder>& folder) {
    return m_fileList->FillFileList(folder);
}

void TFormMain::ClearFileList() {
    m_fileList->ClearFileList();
}

// The list shows the folder of the current node; selecting a root leaves it as it is.
void TFormMain::RefreshFileList() {
    QTreeWidgetItem* node = m_folderTree->currentNode();
    if (node && nodeLevel(node) > 0)
        m_fileList->RefreshFileList(m_folderTree->FolderOfNode(node));
}

void TFormMain::PostFileListRefresh() {
    QMetaObject::invokeMethod(
        this, [this] { ListView1DblClick(); }, Qt::QueuedConnection);
}

bool TFormMain::CollectSelection() {
    return m_fileList->CollectSelection();
}

void TFormMain::DeleteSelection() {
    m_fileList->DeleteSelection();
}

void TFormMain::ListView1DblClick() {
    m_fileList->ListView1DblClick();
}

void TFormMain::onListSelectionChanged(const QItemSelection& selected,
                                       const QItemSelection& deselected) {
    for (const QModelIndex& index : deselected.indexes()) {
        if (index.column() == kColumnName)
            ListView1SelectItem(ListView1->itemFromIndex(index), false);
    }
    for (const QModelIndex& index : selected.indexes()) {
        if (index.column() == kColumnName)
            ListView1SelectItem(ListView1->itemFromIndex(index), true);
    }
}

void TFormMain::ListView1SelectItem(QTreeWidgetItem* item, bool selected) {
    m_fileList->ListView1SelectItem(item, selected);
}

void TFormMain::ListView1Edited(QTreeWidgetItem* item, const QString& text) {
    m_fileList->ListView1Edited(item, text);
}

void TFormMain::ListView1KeyDown(int key) {
    m_fileList->ListView1KeyDown(key, ListView1->isEditing());
}

void TFormMain::PopupMenu1Popup() {
    m_fileList->PopupMenu1Popup();
}

void TFormMain::setSelectionCommands(bool enabled) {
    Rename1->setEnabled(enabled);
    Delete1->setEnabled(enabled);
    CreateAVIFiles1->setEnabled(enabled);
}

void TFormMain::Rename1Click() {
    m_fileList->Rename1Click();
}

void TFormMain::Delete1Click() {
    m_fileList->Delete1Click();
}

void TFormMain::Image1DblClick() {}

} // namespace lumicart
