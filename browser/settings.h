// The window layout kept under HKEY_CURRENT_USER "SOFTWARE\VELTRANE\<program name>".
#pragma once

#include "platform/registry/registry.h"

#include <QString>

#include <cstdint>

namespace lumicart {

// "SOFTWARE\VELTRANE\" followed by the program's file name without its extension: the text
// after the last "/" of the program path, cut before its last ".".
QString settingsKeyName(const QString& programPath);

// The program's folder: the program path up to and including its last "/".
QString programFolder(const QString& programPath);

// The values of the settings key.
inline constexpr const char* kValueRunDefaultPath = "RunDefaultPath";
inline constexpr const char* kValueWindowState = "WindowState";
inline constexpr const char* kValueLeft = "Left";
inline constexpr const char* kValueTop = "Top";
inline constexpr const char* kValueHeight = "Height";
inline constexpr const char* kValueWidth = "Width";
inline constexpr const char* kValuePanel1Width = "Panel1Width";
inline constexpr const char* kValueTreeView1Height = "TreeView1Height";

inline constexpr int kDefaultPanel1Width = 201;
inline constexpr int kDefaultTreeView1Height = 264;

// Window states as stored.
inline constexpr uint32_t kStateNormal = 0;
inline constexpr uint32_t kStateMinimised = 1;
inline constexpr uint32_t kStateMaximised = 2;

// What reading the settings applies, one value at a time, in the order read.
class SettingsTarget {
public:
    virtual ~SettingsTarget() = default;
    virtual void applyCurrentFolder(const QString& folder) = 0;
    // 0 normal, 1 minimised, 2 maximised; other numbers are not passed on.
    virtual void applyWindowState(uint32_t state) = 0;
    virtual void applyLeft(int32_t left) = 0;
    virtual void applyTop(int32_t top) = 0;
    virtual void applyHeight(int32_t height) = 0;
    virtual void applyWidth(int32_t width) = 0;
    virtual void applyPanel1Width(int32_t width) = 0;
    virtual void applyTreeView1Height(int32_t height) = 0;
};

// Reads "RunDefaultPath" (missing or empty: the program's folder), "WindowState" and, for 0,
// "Left", "Top", "Height", "Width", then "Panel1Width" and "TreeView1Height", applying each at
// once. The first read that fails (a missing number, a value of another type) ends the reading
// and applies the defaults: the program's folder, normal state, 201 and 264; what was applied
// before stays. Returns false when it fell back to the defaults.
bool readSettings(const kerris::registry::Key& key, const QString& programFolder,
                  SettingsTarget& target);

// Applies the defaults of a first start.
void applyDefaultSettings(const QString& programFolder, SettingsTarget& target);

// The layout written at close.
struct WindowLayout {
    QString currentFolder;
    int32_t left = 0;
    int32_t top = 0;
    int32_t height = 0;
    int32_t width = 0;
    int32_t treeView1Height = 0;
    int32_t panel1Width = 0;
    uint32_t windowState = kStateNormal;
};

// Writes "RunDefaultPath", "Left", "Top", "Height", "Width", "TreeView1Height",
// "Panel1Width", "WindowState" in this order; false when a write failed (later ones are
// still tried).
bool writeSettings(kerris::registry::Key& key, const WindowLayout& layout);

} // namespace lumicart
