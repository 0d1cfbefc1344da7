// A MediaHost that records what a command showed and asked for.
#pragma once

#include "browser/media/media_host.h"

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace lumicart::media::testing {

struct RecordingHost : MediaHost {
    std::string folder;                  // what updateCurrentFolder returns
    std::optional<std::string> saveName; // what the save dialog returns
    std::optional<std::string> openName; // what the open dialog returns
    std::vector<std::string> opened;     // files handed to the desktop
    std::vector<std::string> previewed;  // files shown in the preview
    int previewClears = 0;

    std::vector<std::pair<int, std::optional<std::string>>> messages;
    std::vector<std::string> events; // progress and refresh calls in order
    bool progressEverShown = false;
    bool progressVisible = false;
    int progressMinimum = 0, progressMaximum = 0, progressPosition = 0;
    int folderUpdates = 0, refreshes = 0, saveDialogs = 0;

    void showMessageEntry(int entry, const std::optional<std::string>& argument) override;
    void showProgress(int minimum, int maximum, int position) override;
    void setProgressRange(int minimum, int maximum) override;
    void setProgressPosition(int position) override;
    void moveProgressToMaximum() override;
    void hideProgress() override;
    std::string updateCurrentFolder() override;
    void requestListRefresh() override;
    std::optional<std::string> chooseMovieToSave() override;
    std::optional<std::string> chooseMovieToOpen() override;
    void openWithDesktop(const std::string& fileName) override;
    void clearPreview() override;
    void showPreviewFile(const std::string& fileName) override;

    std::vector<int> messageNumbers() const;
};

} // namespace lumicart::media::testing
