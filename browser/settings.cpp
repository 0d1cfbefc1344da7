// The window layout kept in the registry.
#include "browser/settings.h"

#include <optional>

namespace lumicart {

using kerris::registry::Key;

QString settingsKeyName(const QString& programPath) {
    QString name = programPath.mid(programPath.lastIndexOf(QLatin1Char('/')) + 1);
    const qsizetype dot = name.lastIndexOf(QLatin1Char('.'));
    if (dot >= 0)
        name.truncate(dot);
    return QStringLiteral("SOFTWARE\\VELTRANE\\") + name;
}

QString programFolder(const QString& programPath) {
    return programPath.left(programPath.lastIndexOf(QLatin1Char('/')) + 1);
}

void applyDefaultSettings(const QString& folder, SettingsTarget& target) {
    target.applyCurrentFolder(folder);
    target.applyWindowState(kStateNormal);
    target.applyPanel1Width(kDefaultPanel1Width);
    target.applyTreeView1Height(kDefaultTreeView1Height);
}

namespace {

// A 32-bit number as the registry stores it, read as signed.
std::optional<int32_t> readInteger(const Key& key, const char* name) {
    const std::optional<uint32_t> value = key.readDword(name);
    if (!value)
        return std::nullopt;
    return static_cast<int32_t>(*value);
}

bool readAll(const Key& key, const QString& folder, SettingsTarget& target) {
    // A missing path is an empty one; a path stored as another type is a failed read.
    QString path;
    if (const std::optional<kerris::registry::Value> value = key.read(kValueRunDefaultPath)) {
        if (value->type != kerris::registry::kTypeString &&
            value->type != kerris::registry::kTypeExpandString)
            return false;
        const std::optional<std::string> text = key.readString(kValueRunDefaultPath);
        if (!text)
            return false;
        path = QString::fromStdString(*text);
    }
    target.applyCurrentFolder(path.isEmpty() ? folder : path);

    const std::optional<int32_t> state = readInteger(key, kValueWindowState);
    if (!state)
        return false;
    if (*state >= 0 && *state <= static_cast<int32_t>(kStateMaximised))
        target.applyWindowState(static_cast<uint32_t>(*state));
    if (*state == static_cast<int32_t>(kStateNormal)) {
        const struct {
            const char* name;
            void (SettingsTarget::*apply)(int32_t);
        } bounds[] = {{kValueLeft, &SettingsTarget::applyLeft},
                      {kValueTop, &SettingsTarget::applyTop},
                      {kValueHeight, &SettingsTarget::applyHeight},
                      {kValueWidth, &SettingsTarget::applyWidth}};
        for (const auto& bound : bounds) {
            const std::optional<int32_t> value = readInteger(key, bound.name);
            if (!value)
                return false;
            (target.*bound.apply)(*value);
        }
    }
    const std::optional<int32_t> panel = readInteger(key, kValuePanel1Width);
    if (!panel)
        return false;
    target.applyPanel1Width(*panel);
    const std::optional<int32_t> tree = readInteger(key, kValueTreeView1Height);
    if (!tree)
        return false;
    target.applyTreeView1Height(*tree);
    return true;
}

} // namespace

bool readSettings(const Key& key, const QString& folder, SettingsTarget& target) {
    if (readAll(key, folder, target))
        return true;
    applyDefaultSettings(folder, target);
    return false;
}

bool writeSettings(Key& key, const WindowLayout& layout) {
    bool ok = key.writeString(kValueRunDefaultPath, layout.currentFolder.toStdString());
    const struct {
        const char* name;
        int32_t value;
    } numbers[] = {{kValueLeft, layout.left},
                   {kValueTop, layout.top},
                   {kValueHeight, layout.height},
                   {kValueWidth, layout.width},
                   {kValueTreeView1Height, layout.treeView1Height},
                   {kValuePanel1Width, layout.panel1Width}};
    for (const auto& number : numbers)
        ok = key.writeDword(number.name, static_cast<uint32_t>(number.value)) && ok;
    ok = key.writeDword(kValueWindowState, layout.windowState) && ok;
    return ok;
}

} // namespace lumicart
