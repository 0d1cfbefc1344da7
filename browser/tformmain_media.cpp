// The camera download, movie and acquisition commands of the browser window.
#include "browser/tformmain.h"

namespace lumicart {

void TFormMain::ProbeCaptureDrivers() {
    // filled in with the camera commands
}

void TFormMain::LoadCameraLibrary() {
    // filled in with the camera commands
}

void TFormMain::BindCameraApi() {
    // filled in with the camera commands
}

void TFormMain::InitCompressionOptions() {
    // filled in with the camera commands
}

void TFormMain::UnloadCameraLibrary() {
    // filled in with the camera commands
}

void TFormMain::AutoDownloadImage1Click() {
    // filled in with the camera commands
}

uint32_t TFormMain::QueryCameraState() {
    // filled in with the camera commands
    return 5;
}

uint32_t TFormMain::QueryPictureFormat(uint32_t) {
    // filled in with the camera commands
    return 5;
}

uint32_t TFormMain::RecreatePicture() {
    // filled in with the camera commands
    return 8;
}

bool TFormMain::WritePictureBitmap(const void*, const QString&) {
    // filled in with the camera commands
    return false;
}

void TFormMain::CloseCameraConnection() {
    // filled in with the camera commands
}

void TFormMain::CreateAVIFile1Click() {
    // filled in with the camera commands
}

void TFormMain::CreateAVIFiles1Click() {
    // filled in with the camera commands
}

void TFormMain::PlayAVIFiles1Click() {
    // filled in with the camera commands
}

bool TFormMain::WriteCameraFrames(uint16_t, uint16_t) {
    // filled in with the camera commands
    return false;
}

void TFormMain::WriteFileFrames() {
    // filled in with the camera commands
}

void TFormMain::CloseMovieFile() {
    // filled in with the camera commands
}

void TFormMain::CheckAcquisitionAvailable() {
    // filled in with the camera commands
}

void TFormMain::SelectSource1Click() {
    // filled in with the camera commands
}

void TFormMain::Active1Click() {
    // filled in with the camera commands
}

void TFormMain::ReleaseAcquiredImage() {
    // filled in with the camera commands
}

} // namespace lumicart
