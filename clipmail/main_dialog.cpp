// MainDialog: controls, message table, skin layout and drawing, dragging, start and exit.
#include "clipmail/main_dialog.h"

#include "clipmail/about_dialog.h"
#include "clipmail/capture_hardware.h"
#include "clipmail/clip_copy.h"
#include "clipmail/clip_player.h"
#include "clipmail/control_ids.h"
#include "clipmail/desktop_services.h"
#include "clipmail/mapi_library.h"
#include "clipmail/program_resources.h"
#include "clipmail/skin_painter.h"
#include "clipmail/splash_dialog.h"
#include "clipmail/system_dialog.h"
#include "platform/desktop/desktop.h"

#include <QApplication>
#include <QCloseEvent>
#include <QElapsedTimer>
#include <QFrame>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QMenu>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QShortcut>
#include <QTimer>
#include <QUrl>
#include <QWindow>

#include <memory>
#include <utility>

namespace kerris::clipmail {
namespace {

constexpr const char* kVolumeMixer = "pavucontrol";
constexpr const char* kNoVolumeMixer = "No volume mixer could be started. Install pavucontrol to "
                                       "set the recording and playback levels.";

// Template 102 before the skin places anything.
constexpr QSize kTemplateSize(360, 400);

// A posted close message, among the commands held back during initialisation.
constexpr int kPostedClose = -1;

// The wait cursor for a scope; the previous cursor comes back at its end.
class WaitCursor {
public:
    WaitCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
    ~WaitCursor() { QApplication::restoreOverrideCursor(); }
    WaitCursor(const WaitCursor&) = delete;
    WaitCursor& operator=(const WaitCursor&) = delete;
};

} // namespace

MainDialog::MainDialog(const SkinSet& skin, const std::string& destinationFolder,
                       MainDialogOptions options)
    : QWidget(nullptr, Qt::Window | Qt::FramelessWindowHint), m_skin(skin),
      m_options(std::move(options)), m_destinationFolder(destinationFolder) {
    setObjectName("MainDialog");
    setWindowTitle("Murvane");
    createControls();
    m_systemMenu = new QMenu(this);
    m_systemMenu->setObjectName("systemMenu");
    // A frameless window has no system menu of its own: the right button and Alt+Space open ours.
    auto* shortcut = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_Space), this);
    connect(shortcut, &QShortcut::activated, this,
            [this] { m_systemMenu->popup(mapToGlobal(QPoint(0, 0))); });
    resize(kTemplateSize);
    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() -
             QPoint(kTemplateSize.width() / 2, kTemplateSize.height() / 2));
}

MainDialog::~MainDialog() = default;

void MainDialog::createControls() {
    struct Entry {
        int id;
        const char* text;
        bool visible;
        bool enabled;
    };
    // Control table of template 102.
    const Entry buttons[] = {
        {kIdWebLink, "WebLink", true, false}, {kIdMinimize, "Minimize", false, false},
        {kIdExit, "Exit", true, true},        {kIdAbout, "About", true, true},
        {kIdRecord, "Record", true, true},    {kIdPlay, "Play", true, false},
        {kIdStop, "Stop", true, false},       {kIdMail, "Mail", true, false},
        {kIdConfig, "Config", true, true},    {kIdAudio, "Audio", true, true},
    };
    auto plain = [this](int id, const char* text, bool visible) {
        auto* button = new QPushButton(QString::fromUtf8(text), this);
        setControlId(button, id);
        button->setVisible(visible);
        connect(button, &QPushButton::clicked, this, [this, id] { onCommand(id); });
        m_controls.insert(id, button);
    };
    plain(kIdOk, "OK", false);
    plain(kIdCancel, "Cancel", false);
    for (const Entry& e : buttons) {
        auto* button = new SkinButton(e.id, QString::fromUtf8(e.text), *this, this);
        button->setEnabled(e.enabled);
        button->setVisible(e.visible);
        connect(button, &QAbstractButton::clicked, this, [this, id = e.id] { onCommand(id); });
        m_controls.insert(e.id, button);
    }
    auto* preview = new QFrame(this);
    setControlId(preview, kIdPreview);
    preview->setAutoFillBackground(true);
    QPalette black = preview->palette();
    black.setColor(QPalette::Window, Qt::black);
    preview->setPalette(black);
    m_controls.insert(kIdPreview, preview);
    m_propShell = new QWidget(this);
    setControlId(m_propShell, kIdPropShell);
    m_propShell->setAccessibleName("CMSPropShell");
    m_propShell->hide();
    m_controls.insert(kIdPropShell, m_propShell);
    for (auto [id, text] : {std::pair{kIdTimer, "Timer"}, std::pair{kIdSize, "Size"}}) {
        auto* display = new DigitDisplay(id, QString::fromUtf8(text), *this, this);
        display->setEnabled(false);
        m_controls.insert(id, display);
    }
    plain(kIdNoUse, "nouse", false);
}

void MainDialog::buildSystemMenu() {
    m_systemMenu->clear();
    auto add = [this](const QString& text, int command) {
        QAction* action = m_systemMenu->addAction(text);
        action->setData(command);
        connect(action, &QAction::triggered, this, [this, command] { onSysCommand(command); });
    };
    add("Mi&nimize", kSysCommandMinimize);
    add("&Close", kSysCommandClose);
    if (!m_options.aboutItemText.isEmpty()) {
        m_systemMenu->addSeparator();
        add(m_options.aboutItemText, kSysCommandAbout);
    }
}

void MainDialog::initialise() {
    if (m_initialised)
        return;
    m_initialised = true;
    m_initialising = true;
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // Default initialisation: control 1004 gets its control. When that fails the encoder's
    // start-up finds no shell interface and says so.
    m_propShellControl.create(m_propShell, kMainHostInitData);
    buildSystemMenu();
    setWindowIcon(icon128());
    std::unique_ptr<SplashDialog> splash;
    const QImage logo = m_skin.bitmap(SkinKey::Logo).CreateDeviceBitmap();
    QElapsedTimer splashShown;
    splashShown.start();
    if (!logo.isNull()) {
        splash = std::make_unique<SplashDialog>(logo);
        splash->showNow();
    }
    startMail();
    LayoutSkin(false);
    InitEncoder();
    if (splash) {
        // The start-up picture stays above the main window, which the layout has just shown.
        splash->raise();
        splash->repaint();
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
    }
    if (splash && m_options.splashHoldMilliseconds > splashShown.elapsed()) {
        QEventLoop hold;
        QTimer::singleShot(int(m_options.splashHoldMilliseconds - splashShown.elapsed()), &hold,
                           &QEventLoop::quit);
        hold.exec(QEventLoop::ExcludeUserInputEvents);
    }
    splash.reset();
    QApplication::restoreOverrideCursor();
    m_initialising = false;
    for (int id : std::exchange(m_postedDuringInitialisation, {})) {
        if (id == kPostedClose)
            postClose();
        else
            postCommand(id);
    }
}

int MainDialog::exec() {
    initialise();
    show();
    if (m_result == 0)
        m_loop.exec();
    return m_result;
}

void MainDialog::setVideoSize(QSize size) {
    m_videoWidth = size.width();
    m_videoHeight = size.height();
}

void MainDialog::FitWindowToSkin() {
    hide();
    const QRect window = fitWindowRect(m_skin, videoSize(), QSize(0, 0), geometry());
    setGeometry(window);
    // A hidden window hears of its new size only when shown; lay out now, as the position
    // change does on a visible one.
    LayoutSkin(size() == m_laidOutSize);
    show();
}

void MainDialog::LayoutSkin(bool sizeUnchanged) {
    if (sizeUnchanged)
        return;
    m_skinReady = false;
    const SkinLayout layout =
        computeSkinLayout(m_skin, SkinFrame{videoSize(), size(), QSize(0, 0)});
    m_background = composeBackground(m_skin, bitmap137().CreateDeviceBitmap(), layout, size());
    const QPolygon outline =
        TraceOutline(m_skin.bitmap(SkinKey::CtrlPanel).CreateDeviceBitmap(), layout, 0);
    m_region = skinWindowRegion(layout.mainRect, outline);
    setMask(m_region);
    for (const ControlPlacement& c : layout.controls) {
        QWidget* w = control(c.id);
        if (!w)
            continue;
        w->setGeometry(c.rect);
        if (c.show)
            w->show();
    }
    m_laidOutSize = size();
    m_skinReady = true;
    update();
}

void MainDialog::SetCounters(int seconds, int kilobytes) {
    m_elapsedSeconds = seconds;
    m_recordedKilobytes = kilobytes;
    control(kIdTimer)->update();
    control(kIdSize)->update();
}

void MainDialog::drawItem(int id, QPainter& painter, const QRect& rect, bool disabled,
                          bool pressed) {
    // Every drawing converts the slot's bitmap afresh; nothing is cached.
    if (id == kIdTimer || id == kIdSize) {
        const QImage strip = m_skin.bitmap(SkinKey::Digit).CreateDeviceBitmap();
        if (id == kIdTimer)
            drawDigitCells(painter, strip, timeDisplayCells(m_elapsedSeconds));
        else
            drawDigitCells(painter, strip, sizeDisplayCells(m_recordedKilobytes));
        return;
    }
    if (std::optional<SkinKey> slot = buttonSlot(id))
        drawButtonCell(painter, m_skin.bitmap(*slot).CreateDeviceBitmap(), rect, disabled, pressed);
}

void MainDialog::postCommand(int id) {
    if (m_initialising) {
        m_postedDuringInitialisation.push_back(id);
        return;
    }
    QMetaObject::invokeMethod(
        this, [this, id] { onCommand(id); }, Qt::QueuedConnection);
}

void MainDialog::postClose() {
    if (m_initialising) {
        m_postedDuringInitialisation.push_back(kPostedClose);
        return;
    }
    // The close message is Exit.
    QMetaObject::invokeMethod(
        this, [this] { Exit(); }, Qt::QueuedConnection);
}

void MainDialog::showMessage(const QString& text) {
    desktopServices().showMessage(this, text);
}

com::HWND MainDialog::previewWindow() const {
    return KerrisWindowHandle(control(kIdPreview));
}

void MainDialog::SetButtonState(ButtonState state) {
    m_buttonState = state;
    const ButtonEnables enables = buttonEnables(state, mailAvailable());
    const std::pair<int, bool> rows[] = {
        {kIdRecord, enables.record}, {kIdPlay, enables.play},     {kIdStop, enables.stop},
        {kIdMail, enables.mail},     {kIdConfig, enables.config}, {kIdAudio, enables.audio},
    };
    for (auto [id, enabled] : rows)
        control(id)->setEnabled(enabled);
}

void MainDialog::postSysCommand(int command) {
    QMetaObject::invokeMethod(
        this, [this, command] { onSysCommand(command); }, Qt::QueuedConnection);
}

void MainDialog::onCommand(int id) {
    switch (id) {
    case kIdOk:
    case kIdCancel:
        // Enter and Escape never close the window.
        break;
    case kIdWebLink:
        desktop::current().openUrl(QUrl(QString::fromUtf8(kEncoderDownloadPage)));
        break;
    case kIdMinimize:
        postSysCommand(kSysCommandMinimize);
        break;
    case kIdExit:
        Exit();
        break;
    case kIdAbout:
        postSysCommand(kSysCommandAbout);
        break;
    case kIdAudio:
        openVolumeMixer();
        break;
    case kIdRecord:
        Record();
        break;
    case kIdPlay:
        Play();
        break;
    case kIdStop:
        Stop();
        break;
    case kIdMail:
        // The copy to send is made as for playing: a copy still open elsewhere is kept.
        if (m_mail) {
            if (const std::optional<std::string> copy = CopyClip(m_destinationFolder))
                m_mail->SendClipByMail(*copy, uintptr_t(effectiveWinId()));
        }
        break;
    case kIdConfig:
        Config();
        break;
    case kIdNoUse:
        CheckHardwareCommand();
        break;
    default:
        break;
    }
}

void MainDialog::onSysCommand(int command) {
    if ((command & ~0xF) == kSysCommandAbout) {
        AboutDialog about(this);
        desktopServices().runModal(about);
    } else if ((command & 0xFFF0) == kSysCommandMinimize) {
        showMinimized();
    } else if ((command & 0xFFF0) == kSysCommandClose) {
        close();
    }
}

void MainDialog::openVolumeMixer() {
    desktop::Desktop& programs = desktop::current();
    if (programs.programExists(kVolumeMixer) && programs.startProgram(kVolumeMixer, {}))
        return;
    desktopServices().showMessage(this, QString::fromUtf8(kNoVolumeMixer));
}

void MainDialog::Exit() {
    ShutdownEncoder();
    freeMail();
    endDialog(1);
}

void MainDialog::endDialog(int result) {
    m_result = result;
    hide();
    if (m_loop.isRunning())
        m_loop.exit(result);
}

void MainDialog::InitEncoder() {
    // The window takes the skin's size for the video size it has until the encoder's profile
    // tells its own (at once with a settings file, after the configuration without).
    FitWindowToSkin();
    EncoderSessionHost& host = *this;
    m_encoderSession = std::make_unique<EncoderSession>(host, m_destinationFolder);
    com::ComPtr<encoder::IPropertyPageHost> shell = m_propShellControl.shellInterface();
    m_encoderSession->InitEncoder(shell.get(), previewWindow());
}

void MainDialog::ShutdownEncoder() {
    if (m_encoderSession)
        m_encoderSession->ShutdownEncoder();
}

void MainDialog::Record() {
    if (!m_encoderSession)
        return;
    WaitCursor wait;
    SetButtonState(ButtonState::Recording);
    m_encoderSession->StartRecording();
}

void MainDialog::Stop() {
    if (!m_encoderSession)
        return;
    WaitCursor wait;
    SetButtonState(ButtonState::Stopped);
    m_encoderSession->StopIfRunning();
    m_encoderSession->StopRecording();
    m_encoderSession->StartEncoder();
}

void MainDialog::Play() {
    WaitCursor wait;
    PlayClip(m_destinationFolder);
}

void MainDialog::Config() {
    if (!m_encoderSession || !m_encoderSession->encoder())
        return;
    {
        WaitCursor wait;
        m_encoderSession->StopIfRunning();
    }
    {
        SystemDialog dialog(m_encoderSession->encoder(), this);
        desktopServices().runModal(dialog);
    }
    {
        WaitCursor wait;
        m_encoderSession->ReadVideoSize();
        repaint();
        if (m_encoderSession->SetupPreview(previewWindow()))
            m_encoderSession->StartEncoder();
    }
    SetButtonState(ButtonState::Idle);
}

void MainDialog::CheckHardwareCommand() {
    if (!m_encoderSession)
        return;
    WaitCursor wait;
    const bool found =
        CheckCaptureHardware(m_encoderSession->encoder(), [this](const std::string& text) {
            showMessage(QString::fromStdString(text));
        });
    if (found) {
        postCommand(kIdConfig);
    } else {
        m_encoderSession->DropSettings();
        postClose();
    }
}

void MainDialog::startMail() {
    m_mail = std::make_unique<MapiLibrary>();
    if (IsMapiInstalled() && m_mail->Load()) {
        m_mail->Logon(uintptr_t(effectiveWinId()));
        return;
    }
    freeMail(); // no mail for the rest of the run: Mail stays disabled
}

void MainDialog::freeMail() {
    if (m_mail)
        m_mail->Free();
    m_mail.reset();
}

void MainDialog::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (isMinimized()) {
        const QPixmap icon = windowIcon().pixmap(32, 32);
        painter.drawPixmap((width() - icon.width() + 1) / 2, (height() - icon.height() + 1) / 2,
                           icon);
        return;
    }
    if (m_skinReady)
        painter.drawImage(QPoint(0, 0), m_background);
}

void MainDialog::resizeEvent(QResizeEvent* event) {
    LayoutSkin(event->size() == m_laidOutSize);
}

void MainDialog::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    // Let the window manager move the window when it can; otherwise follow the mouse here.
    if (windowHandle() && windowHandle()->startSystemMove())
        return;
    m_dragging = true;
    m_dragOffset = event->globalPosition().toPoint() - pos();
}

void MainDialog::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragging && (event->buttons() & Qt::LeftButton))
        move(event->globalPosition().toPoint() - m_dragOffset);
}

void MainDialog::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        m_dragging = false;
}

void MainDialog::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        // The replaced OK and Cancel operations: nothing happens.
        event->accept();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void MainDialog::closeEvent(QCloseEvent* event) {
    // Closing is Exit: the encoder settings are saved first.
    event->ignore();
    Exit();
}

void MainDialog::contextMenuEvent(QContextMenuEvent* event) {
    m_systemMenu->popup(event->globalPos());
}

} // namespace kerris::clipmail
