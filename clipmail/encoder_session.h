// EncoderState and the recording operations of the main dialog: the encoder's start-up with
// its settings file, the live preview, Record and Stop, the statistics tick, error reports
// and shutdown. The dialog takes part through EncoderSessionHost (its window size, counters,
// buttons, message boxes and posted commands), so the operations run without a window too.
#pragma once

#include "clipmail/button_state.h"
#include "platform/com/com_object.h"
#include "platform/encoder/encoder_interfaces.h"

#include <QSize>
#include <QString>
#include <QTimer>

#include <optional>
#include <string>

namespace kerris::clipmail {

// What the recording operations ask of the dialog.
class EncoderSessionHost {
public:
    virtual ~EncoderSessionHost() = default;
    virtual void SetButtonState(ButtonState state) = 0;
    // The dialog's video width and height, and the window sized to them.
    virtual QSize videoSize() const = 0;
    virtual void setVideoSize(QSize size) = 0;
    virtual void FitWindowToSkin() = 0;
    virtual void SetCounters(int seconds, int kilobytes) = 0;
    // A message box of the dialog.
    virtual void showMessage(const QString& text) = 0;
    // Posts a command, or the close message, to the dialog.
    virtual void postCommand(int id) = 0;
    virtual void postClose() = 0;
};

// Statistics read failures show this many seconds (27:46:39).
inline constexpr int kFailedElapsedSeconds = 99999;
// Window timer 1 polls the statistics while recording.
inline constexpr int kStatisticsPeriodMs = 500;
inline constexpr int kBroadcastProtocol = 1;
inline constexpr int kBroadcastPort = 8080;
inline constexpr const char* kSettingsFileName = "Murvane.wme";
inline constexpr const char* kRecordingFileName = "VideoRec.wmv";

// The video size in a profile's details text: upper-cased, everything up to and including the
// first "VIDEO" and then the first "]" after it dropped, the rest read as "%d X %d". nullopt
// when a marker or the size is missing, or the size is not 1 to 8192 on each side.
std::optional<QSize> videoSizeFromDetails(const std::string& details);

class EncoderSession {
public:
    EncoderSession(EncoderSessionHost& host, std::string destinationFolder);
    ~EncoderSession();
    EncoderSession(const EncoderSession&) = delete;
    EncoderSession& operator=(const EncoderSession&) = delete;

    // Creates the encoder and the profile details service, gives the main dialog's host
    // (shell may be null: its control could not be made) the encoder and its page, then loads
    // the settings file and starts the preview in previewWindow, or posts the capture hardware
    // check when there is no settings file. Failures post Config; a missing component shows
    // string 102 and posts the close message.
    void InitEncoder(encoder::IPropertyPageHost* shell, com::HWND previewWindow);
    // Kills the timer, stops the encoder, saves the settings file (unless the settings were
    // dropped) and releases everything.
    void ShutdownEncoder();
    // The encoder's settings are not saved at shutdown: after a failed hardware check there is
    // nothing to keep, and a settings file would skip the check at the next start.
    void DropSettings() { m_saveSettings = false; }

    bool StartEncoder();
    void StopIfRunning();
    bool SetupPreview(com::HWND previewWindow);
    // Reads the profile's video size into the dialog and fits the window. False (the size
    // kept, the window untouched) when a call fails; a details text without a size keeps the
    // size but still fits the window.
    bool ReadVideoSize();
    bool SetBroadcastPort();
    bool StartRecording();
    void StopRecording();
    // The statistics tick of timer 1.
    void OnTimer();
    void ReportEncoderError();

    encoder::IEncoder* encoder() const { return m_encoder.get(); }
    bool recording() const { return m_recording; }
    bool timerActive() const { return m_timer.isActive(); }
    int32_t viewCookie() const { return m_viewCookie; }
    const std::string& destinationFolder() const { return m_destinationFolder; }

private:
    // Undoes a recording that started but cannot be watched: the encoder stops and loses its
    // output file, so the next preview never writes into the clip.
    void abandonRecording();
    bool setOutputFile(const std::string& path);
    void releaseStatistics();

    EncoderSessionHost& m_host;
    std::string m_destinationFolder;
    // EncoderState
    com::ComPtr<encoder::IEncoder> m_encoder;
    int32_t m_viewCookie = -1;
    com::ComPtr<encoder::IView> m_view;
    com::ComPtr<encoder::IProfileDetailsService> m_profileDetails;
    com::ComPtr<encoder::IStatistics> m_statistics;
    com::ComPtr<encoder::IStreamStatistics> m_videoStatistics;
    com::ComPtr<encoder::IStreamStatistics> m_audioStatistics;
    bool m_recording = false;
    bool m_saveSettings = true;
    QTimer m_timer;
};

} // namespace kerris::clipmail
