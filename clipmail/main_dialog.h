// MainDialog: the skinned, frameless main window of the clip mail program (template 102).
// Its controls keep the template's identifiers; its shape and pictures come from the skin.
//
// A frameless window gets no system menu from the window manager, so the dialog keeps its
// own: the right mouse button anywhere on the window and Alt+Space open it. It holds
// Minimize and Close and, after a separator, the About item (command 16) from string 101.
#pragma once

#include "clipmail/button_state.h"
#include "clipmail/encoder_session.h"
#include "clipmail/property_page_host.h"
#include "clipmail/skin_layout.h"
#include "clipmail/skin_set.h"
#include "clipmail/skin_widgets.h"

#include <QEventLoop>
#include <QImage>
#include <QMap>
#include <QPointer>
#include <QRegion>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

class QMenu;

namespace kerris::clipmail {

class MapiLibrary;

struct MainDialogOptions {
    // The system menu's About item (string 101); no item when empty.
    QString aboutItemText;
    // Keeps the start-up picture up at least this long (0: only while initialising).
    int splashHoldMilliseconds = 0;
};

class MainDialog final : public QWidget, private ItemDrawer, private EncoderSessionHost {
    Q_OBJECT
public:
    MainDialog(const SkinSet& skin, const std::string& destinationFolder,
               MainDialogOptions options);
    ~MainDialog() override;

    // Initialises the dialog (menu, icon, start-up picture, layout, encoder) once.
    void initialise();
    // Initialises, shows the window and runs until Exit; returns the dialog's result (1 = OK).
    int exec();

    // Sizes the window to the skin for the current video size, keeping its centre.
    void FitWindowToSkin() override;
    // Composes background, region and control places for the current size; nothing when
    // sizeUnchanged (a move).
    void LayoutSkin(bool sizeUnchanged);
    // Stores the two counters and redraws the Time and Size displays.
    void SetCounters(int seconds, int kilobytes) override;
    // Enables the recording buttons as the state's row of the enable table says.
    void SetButtonState(ButtonState state) override;

    // The message table: a command from a control or menu, and a system command.
    void onCommand(int id);
    void onSysCommand(int command);

    QWidget* control(int id) const { return m_controls.value(id); }
    QMenu* systemMenu() const { return m_systemMenu; }
    bool skinReady() const { return m_skinReady; }
    const QImage& background() const { return m_background; }
    QRegion windowRegion() const { return m_region; }
    QSize videoSize() const override { return QSize(m_videoWidth, m_videoHeight); }
    void setVideoSize(QSize size) override;
    // The encoder and the recording operations (null before initialisation).
    EncoderSession* encoderSession() const { return m_encoderSession.get(); }
    ButtonState buttonState() const { return m_buttonState; }
    // The window handle of the preview window, control 1003.
    com::HWND previewWindow() const;
    bool isRunning() const { return m_loop.isRunning(); }
    int result() const { return m_result; }
    const std::string& destinationFolder() const { return m_destinationFolder; }
    // True when the mail library is loaded and logged on (Mail can be enabled when stopped).
    bool mailAvailable() const { return m_mail != nullptr; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void drawItem(int id, QPainter& painter, const QRect& rect, bool disabled,
                  bool pressed) override;
    void createControls();
    void buildSystemMenu();
    void postCommand(int id) override;
    void postClose() override;
    void showMessage(const QString& text) override;
    void postSysCommand(int command);
    void Exit();
    void endDialog(int result);
    void openVolumeMixer();
    // Commands 1008, 1009, 1010, 1012 and 1014.
    void Record();
    void Play();
    void Stop();
    void Config();
    void CheckHardwareCommand();
    // Places that the encoder, recording and mail parts fill in.
    void InitEncoder();
    void ShutdownEncoder();
    void startMail();
    void freeMail();

    const SkinSet& m_skin;
    MainDialogOptions m_options;
    QMap<int, QWidget*> m_controls;
    QWidget* m_propShell = nullptr; // CMSPropShell: host of the encoder's property pages
    PropertyPageHostControl m_propShellControl;
    QMenu* m_systemMenu = nullptr;
    QImage m_background;
    QRegion m_region;
    std::string m_destinationFolder;
    std::unique_ptr<EncoderSession> m_encoderSession; // EncoderState and its operations
    ButtonState m_buttonState = ButtonState::Idle;
    // Commands posted while initialising wait for its end, as posted messages wait for the
    // dialog's own loop.
    bool m_initialising = false;
    std::vector<int> m_postedDuringInitialisation;
    bool m_skinReady = false;
    int m_videoWidth = 320;
    int m_videoHeight = 240;
    int m_elapsedSeconds = 0;
    int m_recordedKilobytes = 0;
    bool m_initialised = false;
    QSize m_laidOutSize;
    QPoint m_dragOffset;
    bool m_dragging = false;
    QEventLoop m_loop;
    int m_result = 0;
    std::unique_ptr<MapiLibrary> m_mail;
};

} // namespace kerris::clipmail
