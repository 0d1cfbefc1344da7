// The camera download, movie and acquisition commands of the browser window: thin glue from
// the window's controls and user interface to the commands in browser/media.
#include "browser/tformmain.h"

#include "browser/file_list.h"
#include "browser/media/acquisition.h"
#include "browser/media/capture_probe.h"
#include "browser/media/download.h"
#include "browser/media/movie_commands.h"
#include "browser/preview.h"
#include "platform/acquire/sane_source.h"
#include "platform/desktop/player.h"

#include <QFile>
#include <QInputDialog>
#include <QProgressBar>

namespace lumicart {

namespace {

std::string localPath(const QString& path) {
    return kerris::shell::nativeName(path).toStdString();
}
QString fromLocalPath(const std::string& path) {
    return kerris::shell::nameText(QByteArray::fromStdString(path));
}

// The window as the media commands see it.
class FormMediaHost : public media::MediaHost {
public:
    explicit FormMediaHost(TFormMain& form) : m_form(form) {}

    void showMessageEntry(int entry, const std::optional<std::string>& argument) override {
        if (argument)
            m_form.ShowMessageEntry(entry, fromLocalPath(*argument));
        else
            m_form.ShowMessageEntry(entry);
    }
    void showProgress(int minimum, int maximum, int position) override {
        m_form.ProgressBar1->setRange(minimum, maximum);
        m_form.ProgressBar1->setValue(position);
        m_form.ProgressBar1->setVisible(true);
    }
    void setProgressRange(int minimum, int maximum) override {
        m_form.ProgressBar1->setRange(minimum, maximum);
    }
    void setProgressPosition(int position) override { m_form.ProgressBar1->setValue(position); }
    void moveProgressToMaximum() override {
        m_form.ProgressBar1->setValue(m_form.ProgressBar1->maximum());
    }
    void hideProgress() override { m_form.ProgressBar1->setVisible(false); }
    std::string updateCurrentFolder() override {
        m_form.UpdateCurrentFolder();
        return localPath(m_form.CurrentFolder);
    }
    void requestListRefresh() override {
        m_form.TreeView1->setFocus();
        m_form.PostFileListRefresh();
    }
    std::optional<std::string> chooseMovieToSave() override {
        const QString name = m_form.ui().getSaveFileName(&m_form, m_form.SaveDialog1);
        return name.isEmpty() ? std::nullopt : std::optional<std::string>(localPath(name));
    }
    std::optional<std::string> chooseMovieToOpen() override {
        const QString name = m_form.ui().getOpenFileName(&m_form, m_form.OpenDialog1);
        return name.isEmpty() ? std::nullopt : std::optional<std::string>(localPath(name));
    }
    void openWithDesktop(const std::string& fileName) override {
        // As the shell's "open" did, the result is not examined.
        kerris::desktop::playFile(fromLocalPath(fileName),
                                  QString::fromLatin1(media::kMovieMimeType));
    }
    void clearPreview() override { m_form.Image1->clearPicture(); }
    void showPreviewFile(const std::string& fileName) override {
        QImage picture = loadBitmapFile(fromLocalPath(fileName)).value_or(QImage());
        const QSize size = picture.size();
        m_form.showPreviewPicture(PreviewPicture{std::move(picture), size, QSizeF(size)});
    }

private:
    TFormMain& m_form;
};

// The source chooser of the running program: a list of SANE's devices.
std::optional<std::size_t>
chooseSourceInDialog(QWidget* owner, const std::vector<kerris::acquire::SourceInfo>& list) {
    QStringList items;
    for (const auto& source : list)
        items << QStringLiteral("%1 %2 (%3)")
                     .arg(QString::fromStdString(source.vendor),
                          QString::fromStdString(source.model),
                          QString::fromStdString(source.name));
    bool ok = false;
    const QString chosen = QInputDialog::getItem(owner, QStringLiteral("Select Source"),
                                                 QStringLiteral("Sources:"), items, 0, false, &ok);
    if (!ok)
        return std::nullopt;
    const qsizetype index = items.indexOf(chosen);
    return index < 0 ? std::nullopt : std::optional<std::size_t>(std::size_t(index));
}

} // namespace

media::MediaHost& TFormMain::mediaHost() {
    if (!m_mediaHost)
        m_mediaHost = std::make_unique<FormMediaHost>(*this);
    return *m_mediaHost;
}

kerris::acquire::AcquisitionSource& TFormMain::acquisitionSource() {
    if (!AcquisitionSource)
        AcquisitionSource = std::make_unique<kerris::acquire::SaneSource>(
            [this](const std::vector<kerris::acquire::SourceInfo>& list) {
                return chooseSourceInDialog(this, list);
            });
    return *AcquisitionSource;
}

void TFormMain::useCameraApi(const media::CameraApi& api) {
    if (Camera) {
        Camera->CloseCameraConnection();
        Camera->freePicture();
    }
    CameraApi = api;
}

void TFormMain::ProbeCaptureDrivers() {
    const media::CaptureProbe probe = media::ProbeCaptureDrivers();
    if (!probe.anyDriver)
        ShowMessageEntry(kMsgNoDevice);
    const media::AcquisitionMenuStates states = media::MenuStatesAfterProbe(probe);
    Active1->setEnabled(states.active);
    SelectSource1->setEnabled(states.selectSource);
    AutoDownloadImage1->setEnabled(states.autoDownload);
    CreateAVIFile1->setEnabled(states.createAvi);
}

void TFormMain::LoadCameraLibrary() {
    if (!Camera)
        Camera = std::make_unique<media::CameraSession>(CameraApi);
    const bool loaded = CameraModule.load();
    BindCameraApi();
    InitCompressionOptions();
    if (!loaded)
        ShowMessageEntry(kMsgNoCameraLibrary);
}

void TFormMain::BindCameraApi() {
    CameraApi = CameraModule.api();
}

void TFormMain::InitCompressionOptions() {
    CompressionOptions = media::InitCompressionOptions();
}

void TFormMain::UnloadCameraLibrary() {
    if (Camera)
        Camera->freePicture();
    CameraApi = media::CameraApi{};
    CameraModule.unload();
}

void TFormMain::AutoDownloadImage1Click() {
    media::AutoDownloadImage(*Camera, mediaHost(), Clock);
}

void TFormMain::CloseCameraConnection() {
    if (Camera)
        Camera->CloseCameraConnection();
}

void TFormMain::CreateAVIFile1Click() {
    MovieWriter = std::make_unique<media::MovieWriter>(CompressionOptions);
    media::CreateCameraMovie(*Camera, *MovieWriter, mediaHost());
    MovieWriter.reset();
}

namespace {

std::vector<media::SelectedFile> selectedFiles(const QList<QTreeWidgetItem*>& items) {
    std::vector<media::SelectedFile> files;
    for (QTreeWidgetItem* item : items) {
        const ItemRecord* record = itemRecord(item);
        files.push_back(
            {localPath(record ? record->Path : QString()), localPath(item->text(kColumnName))});
    }
    return files;
}

} // namespace

void TFormMain::CreateAVIFiles1Click() {
    const QList<QTreeWidgetItem*> selection =
        CollectSelection() ? m_fileList->SelectedItems() : QList<QTreeWidgetItem*>();
    MovieWriter = std::make_unique<media::MovieWriter>(CompressionOptions);
    media::CreateFileMovie(selectedFiles(selection), media::ProbeStandardBitmap, *MovieWriter,
                           mediaHost());
    MovieWriter.reset();
}

void TFormMain::PlayAVIFiles1Click() {
    media::PlayMovie(mediaHost());
}

void TFormMain::CloseMovieFile() {
    if (MovieWriter)
        MovieWriter->CloseMovieFile();
}

void TFormMain::CheckAcquisitionAvailable() {
    const media::AcquisitionMenuStates states =
        media::ApplyAvailability({SelectSource1->isEnabled(), Active1->isEnabled(),
                                  AutoDownloadImage1->isEnabled(), CreateAVIFile1->isEnabled()},
                                 acquisitionSource().isAvailable());
    Active1->setEnabled(states.active);
    AutoDownloadImage1->setEnabled(states.autoDownload);
    CreateAVIFile1->setEnabled(states.createAvi);
}

void TFormMain::SelectSource1Click() {
    media::SelectSource(acquisitionSource(), this);
}

void TFormMain::Active1Click() {
    media::Active(acquisitionSource(), TwainImage, mediaHost(), Clock, localPath(CurrentFolder),
                  this);
}

void TFormMain::ReleaseAcquiredImage() {
    if (AcquisitionSource)
        media::ReleaseAcquiredImage(*AcquisitionSource, TwainImage);
}

} // namespace lumicart
