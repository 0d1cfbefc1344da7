// The recording host of the command tests.
#include "tests/browser_media/recording_host.h"

namespace lumicart::media::testing {

void RecordingHost::showMessageEntry(int entry, const std::optional<std::string>& argument) {
    messages.emplace_back(entry, argument);
}

void RecordingHost::showProgress(int minimum, int maximum, int position) {
    progressEverShown = progressVisible = true;
    progressMinimum = minimum;
    progressMaximum = maximum;
    progressPosition = position;
    events.push_back("show " + std::to_string(minimum) + " " + std::to_string(maximum));
}

void RecordingHost::setProgressRange(int minimum, int maximum) {
    progressMinimum = minimum;
    progressMaximum = maximum;
    events.push_back("range " + std::to_string(minimum) + " " + std::to_string(maximum));
}

void RecordingHost::setProgressPosition(int position) {
    progressPosition = position;
    events.push_back("position " + std::to_string(position));
}

void RecordingHost::moveProgressToMaximum() {
    progressPosition = progressMaximum;
    events.push_back("maximum");
}

void RecordingHost::hideProgress() {
    progressVisible = false;
    events.push_back("hide");
}

std::string RecordingHost::updateCurrentFolder() {
    ++folderUpdates;
    return folder;
}

void RecordingHost::requestListRefresh() {
    ++refreshes;
    events.push_back("refresh");
}

std::optional<std::string> RecordingHost::chooseMovieToSave() {
    ++saveDialogs;
    return saveName;
}

std::optional<std::string> RecordingHost::chooseMovieToOpen() {
    return openName;
}

void RecordingHost::openWithDesktop(const std::string& fileName) {
    opened.push_back(fileName);
}

void RecordingHost::clearPreview() {
    ++previewClears;
    events.push_back("clear preview");
}

void RecordingHost::showPreviewFile(const std::string& fileName) {
    previewed.push_back(fileName);
    events.push_back("preview");
}

std::vector<int> RecordingHost::messageNumbers() const {
    std::vector<int> numbers;
    for (const auto& m : messages)
        numbers.push_back(m.first);
    return numbers;
}

} // namespace lumicart::media::testing
