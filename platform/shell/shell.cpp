// The shell namespace over the Linux file system: desktop, computer, volumes, folders and files.
#include "platform/shell/shell.h"

#include "platform/fs/safe_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QIcon>
#include <QMimeDatabase>
#include <QPainter>
#include <QStorageInfo>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kerris::shell {

namespace {

constexpr const char* kComputerKey = "::computer";
constexpr const char* kHomeKey = "::home";
constexpr int kTypeNameLimit = 79;

std::optional<std::vector<QString>> g_volumeOverride;
std::optional<QString> g_homeOverride;

QString withSlash(QString path) {
    if (!path.endsWith(QLatin1Char('/')))
        path += QLatin1Char('/');
    return path;
}

bool isHiddenName(const char* name) {
    return name[0] == '.';
}

// True when the entry of an open directory stream is a directory (following links).
bool entryIsDirectory(const QByteArray& folder, const dirent* entry) {
    if (entry->d_type == DT_DIR)
        return true;
    if (entry->d_type != DT_LNK && entry->d_type != DT_UNKNOWN)
        return false;
    struct stat st;
    const QByteArray full = folder + entry->d_name;
    return ::stat(full.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Whether a folder holds at least one visible sub-folder; stops at the first one.
bool hasSubFolder(const QString& folder) {
    const QByteArray encoded = QFile::encodeName(withSlash(folder));
    DIR* dir = ::opendir(encoded.constData());
    if (!dir)
        return false;
    bool found = false;
    while (const dirent* entry = ::readdir(dir)) {
        if (isHiddenName(entry->d_name))
            continue;
        if (entryIsDirectory(encoded, entry)) {
            found = true;
            break;
        }
    }
    ::closedir(dir);
    return found;
}

bool isDirectory(const QString& path) {
    struct stat st;
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// The icon theme is chosen once: a desktop session names its own; elsewhere (a bare X server,
// the offscreen platform) the installed Adwaita theme serves when it is there.
void ensureIconTheme() {
    static bool done = false;
    if (done)
        return;
    done = true;
    const QString current = QIcon::themeName();
    if (!current.isEmpty() && current != QLatin1String("hicolor"))
        return;
    for (const QString& base : QIcon::themeSearchPaths()) {
        if (QFileInfo::exists(base + QLatin1String("/Adwaita/index.theme"))) {
            QIcon::setThemeName(QStringLiteral("Adwaita"));
            return;
        }
    }
}

// Icon indices: one per distinct icon name for the life of the process, as a system image
// list would hand them out. Index 0 is the generic document icon.
int iconIndexFor(const QString& name) {
    static QHash<QString, int> indices{{QStringLiteral("text-x-generic"), 0}};
    auto it = indices.find(name);
    if (it == indices.end())
        it = indices.insert(name, static_cast<int>(indices.size()));
    return it.value();
}

// Our own drawing for names the icon theme lacks: a folder or a page.
QPixmap drawnIcon(const QString& name, int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal u = size / 16.0;
    if (name.startsWith(QLatin1String("folder")) || name.startsWith(QLatin1String("drive")) ||
        name == QLatin1String("computer") || name == QLatin1String("user-home")) {
        painter.setPen(QColor(0x8a, 0x6d, 0x1f));
        painter.setBrush(QColor(0xe8, 0xc0, 0x4f));
        painter.drawRect(QRectF(1 * u, 3 * u, 6 * u, 2 * u));
        painter.drawRect(QRectF(1 * u, 4.5 * u, 14 * u, 9.5 * u));
    } else {
        painter.setPen(QColor(0x55, 0x55, 0x55));
        painter.setBrush(name.startsWith(QLatin1String("image")) ? QColor(0xb8, 0xd8, 0xf0)
                                                                 : QColor(Qt::white));
        painter.drawRect(QRectF(3 * u, 1 * u, 10 * u, 14 * u));
    }
    return pixmap;
}

QPixmap renderIcon(const QString& name, int size) {
    ensureIconTheme();
    if (QIcon::hasThemeIcon(name)) {
        QPixmap pixmap = QIcon::fromTheme(name).pixmap(size, size);
        if (!pixmap.isNull()) {
            if (pixmap.width() != size || pixmap.height() != size)
                pixmap = pixmap.scaled(size, size, Qt::KeepAspectRatio, Qt::SmoothTransformation);
            return pixmap;
        }
    }
    return drawnIcon(name, size);
}

// Rendered icons are kept for the life of the process, as the system image list keeps them:
// a folder of thousands of pictures asks for the same few icons over and over.
QPixmap iconPixmap(const QString& name, int size) {
    static QHash<QPair<QString, int>, QPixmap> cache;
    const QPair<QString, int> key(name, size);
    auto it = cache.constFind(key);
    if (it == cache.constEnd())
        it = cache.insert(key, renderIcon(name, size));
    return it.value();
}

// What the MIME database says of a file name, by its extension: the lookup is by name only,
// so one answer per extension serves every file that has it.
struct TypeFacts {
    QString comment;
    QString iconName;
};

const TypeFacts& typeFacts(const QString& path) {
    static QHash<QString, TypeFacts> cache;
    const qsizetype slash = path.lastIndexOf(QLatin1Char('/'));
    const qsizetype dot = path.lastIndexOf(QLatin1Char('.'));
    const QString extension = dot > slash ? path.mid(dot).toLower() : QString();
    auto it = cache.constFind(extension);
    if (it != cache.constEnd() && !extension.isEmpty())
        return it.value();
    ensureIconTheme();
    static QMimeDatabase db;
    const QMimeType type = db.mimeTypeForFile(path, QMimeDatabase::MatchExtension);
    TypeFacts facts;
    facts.comment = type.comment();
    if (QIcon::hasThemeIcon(type.iconName()))
        facts.iconName = type.iconName();
    else if (type.genericIconName().isEmpty())
        facts.iconName = QStringLiteral("text-x-generic");
    else
        facts.iconName = type.genericIconName();
    return cache.insert(extension, facts).value();
}

// The theme name of a file's icon: the MIME type's own icon, else its generic one.
QString fileIconName(const QString& path) {
    return typeFacts(path).iconName;
}

// An extractor that answers one normal and one open icon name.
class NamedIconExtractor : public IconExtractor {
public:
    NamedIconExtractor(QString normal, QString open)
        : m_normal(std::move(normal)), m_open(std::move(open)) {}
    IconLocation location(uint32_t flags) const override {
        const QString& name = (flags & kIconOpen) ? m_open : m_normal;
        return {name, iconIndexFor(name)};
    }

private:
    QString m_normal;
    QString m_open;
};

// A folder of the file system; its items are the entries' names. A folder that is itself a
// root of the desktop (the home folder) gives its items absolute parsing names even in-folder,
// as the volumes under "Computer" have, so every path built from the tree's names starts at "/".
class FileSystemFolder : public Folder {
public:
    enum class Names { Relative, Absolute };
    explicit FileSystemFolder(QString path, Names names = Names::Relative)
        : m_path(withSlash(std::move(path))), m_absoluteNames(names == Names::Absolute) {}

    std::optional<std::vector<ItemId>> enumerate(uint32_t flags) const override {
        const QByteArray encoded = QFile::encodeName(m_path);
        DIR* dir = ::opendir(encoded.constData());
        if (!dir)
            return std::nullopt;
        std::vector<ItemId> items;
        const bool folders = flags & kEnumFolders;
        const bool nonFolders = flags & kEnumNonFolders;
        Allocator& allocator = *taskAllocator();
        while (const dirent* entry = ::readdir(dir)) {
            if (isHiddenName(entry->d_name))
                continue;
            const bool directory = entryIsDirectory(encoded, entry);
            if (directory ? !folders : !nonFolders)
                continue;
            items.push_back(ItemId{QFile::decodeName(entry->d_name)});
            m_kinds.insert(items.back().key, directory);
            allocator.take(items.back());
        }
        ::closedir(dir);
        // Directory order on Linux is the file system's hash order; items come in name order,
        // letter case aside, as a user expects of a folder.
        std::sort(items.begin(), items.end(), [](const ItemId& a, const ItemId& b) {
            const int folded = a.key.compare(b.key, Qt::CaseInsensitive);
            return folded != 0 ? folded < 0 : a.key < b.key;
        });
        return items;
    }

    uint32_t attributes(const ItemId& item, uint32_t mask) const override {
        // Whether an item is a folder was learnt when it was enumerated; only other questions
        // go back to the file system.
        if (!(mask & ~(kAttrFolder | kAttrFileSystem)) && !item.empty()) {
            const auto known = m_kinds.constFind(item.key);
            if (known != m_kinds.constEnd())
                return (kAttrFileSystem | (known.value() ? kAttrFolder : 0u)) & mask;
        }
        struct stat st;
        if (item.empty() || ::stat(QFile::encodeName(m_path + item.key).constData(), &st) != 0)
            return 0;
        uint32_t attrs = kAttrFileSystem;
        if (S_ISDIR(st.st_mode)) {
            attrs |= kAttrFolder | kAttrFileSysAncestor;
            if ((mask & kAttrHasSubFolder) && hasSubFolder(m_path + item.key))
                attrs |= kAttrHasSubFolder;
        }
        return attrs & mask;
    }

    std::optional<QString> displayName(const ItemId& item, uint32_t flags) const override {
        if (item.empty())
            return std::nullopt;
        if ((flags & kNameForParsing) && (!(flags & kNameInFolder) || m_absoluteNames))
            return m_path + item.key;
        return item.key;
    }

    std::shared_ptr<Folder> bindToFolder(const ItemId& item) const override {
        if (item.empty() || !isDirectory(m_path + item.key))
            return nullptr;
        return std::make_shared<FileSystemFolder>(m_path + item.key);
    }

    std::unique_ptr<IconExtractor> iconExtractor(const ItemId& item) const override {
        if (item.empty())
            return nullptr;
        const QString path = m_path + item.key;
        const auto known = m_kinds.constFind(item.key);
        if (known != m_kinds.constEnd() ? known.value() : isDirectory(path))
            return std::make_unique<NamedIconExtractor>(QStringLiteral("folder"),
                                                        QStringLiteral("folder-open"));
        const QString name = fileIconName(path);
        return std::make_unique<NamedIconExtractor>(name, name);
    }

private:
    QString m_path;
    bool m_absoluteNames;
    // Folder or not, for each item the last enumeration returned.
    mutable QHash<QString, bool> m_kinds;
};

// "Computer": its items are the volumes, keyed by their mount paths.
class ComputerFolder : public Folder {
public:
    std::optional<std::vector<ItemId>> enumerate(uint32_t flags) const override {
        std::vector<ItemId> items;
        if (!(flags & kEnumFolders))
            return items;
        for (const QString& volume : volumes()) {
            items.push_back(ItemId{volume});
            taskAllocator()->take(items.back());
        }
        return items;
    }

    uint32_t attributes(const ItemId& item, uint32_t mask) const override {
        if (!isVolume(item))
            return 0;
        uint32_t attrs = kAttrFolder | kAttrFileSysAncestor | kAttrFileSystem;
        if ((mask & kAttrHasSubFolder) && hasSubFolder(item.key))
            attrs |= kAttrHasSubFolder;
        return attrs & mask;
    }

    std::optional<QString> displayName(const ItemId& item, uint32_t flags) const override {
        if (!isVolume(item))
            return std::nullopt;
        if (flags & kNameForParsing)
            return item.key;
        if (item.key == QLatin1String("/"))
            return QStringLiteral("File System (/)");
        const QString label = QStorageInfo(item.key).name();
        const QString base = QDir(item.key).dirName();
        return QStringLiteral("%1 (%2)").arg(label.isEmpty() ? base : label, item.key);
    }

    std::shared_ptr<Folder> bindToFolder(const ItemId& item) const override {
        if (!isVolume(item) || !isDirectory(item.key))
            return nullptr;
        return std::make_shared<FileSystemFolder>(item.key);
    }

    std::unique_ptr<IconExtractor> iconExtractor(const ItemId& item) const override {
        if (!isVolume(item))
            return nullptr;
        const QString name = item.key == QLatin1String("/")
                                 ? QStringLiteral("drive-harddisk")
                                 : QStringLiteral("drive-removable-media");
        return std::make_unique<NamedIconExtractor>(name, name);
    }

private:
    static bool isVolume(const ItemId& item) {
        const std::vector<QString> all = volumes();
        return std::find(all.begin(), all.end(), item.key) != all.end();
    }
};

// The desktop: "Computer", then the home folder.
class DesktopFolder : public Folder {
public:
    std::optional<std::vector<ItemId>> enumerate(uint32_t flags) const override {
        std::vector<ItemId> items;
        if (!(flags & kEnumFolders))
            return items;
        items.push_back(ItemId{QString::fromLatin1(kComputerKey)});
        if (!homeFolder().isEmpty())
            items.push_back(ItemId{QString::fromLatin1(kHomeKey)});
        for (const ItemId& item : items)
            taskAllocator()->take(item);
        return items;
    }

    uint32_t attributes(const ItemId& item, uint32_t mask) const override {
        if (item.key == QLatin1String(kComputerKey))
            return (kAttrFolder | kAttrFileSysAncestor | kAttrHasSubFolder) & mask;
        if (item.key == QLatin1String(kHomeKey) && !homeFolder().isEmpty()) {
            uint32_t attrs = kAttrFolder | kAttrFileSysAncestor | kAttrFileSystem;
            if ((mask & kAttrHasSubFolder) && hasSubFolder(homeFolder()))
                attrs |= kAttrHasSubFolder;
            return attrs & mask;
        }
        return 0;
    }

    std::optional<QString> displayName(const ItemId& item, uint32_t flags) const override {
        if (item.key == QLatin1String(kComputerKey))
            return (flags & kNameForParsing) ? QString::fromLatin1(kComputerKey)
                                             : QStringLiteral("Computer");
        if (item.key == QLatin1String(kHomeKey) && !homeFolder().isEmpty())
            return (flags & kNameForParsing) ? homeFolder() : QStringLiteral("Home");
        return std::nullopt;
    }

    std::shared_ptr<Folder> bindToFolder(const ItemId& item) const override {
        if (item.key == QLatin1String(kComputerKey))
            return std::make_shared<ComputerFolder>();
        if (item.key == QLatin1String(kHomeKey) && isDirectory(homeFolder()))
            return std::make_shared<FileSystemFolder>(homeFolder(),
                                                      FileSystemFolder::Names::Absolute);
        return nullptr;
    }

    std::unique_ptr<IconExtractor> iconExtractor(const ItemId& item) const override {
        if (item.key == QLatin1String(kComputerKey))
            return std::make_unique<NamedIconExtractor>(QStringLiteral("computer"),
                                                        QStringLiteral("computer"));
        if (item.key == QLatin1String(kHomeKey))
            return std::make_unique<NamedIconExtractor>(QStringLiteral("user-home"),
                                                        QStringLiteral("user-home"));
        return nullptr;
    }
};

bool isRemovableMount(const QString& root) {
    return root.startsWith(QLatin1String("/media/")) ||
           root.startsWith(QLatin1String("/run/media/")) || root.startsWith(QLatin1String("/mnt/"));
}

} // namespace

std::optional<ExtractedIcons> IconExtractor::extract(const IconLocation& location, int size) const {
    if (location.name.isEmpty())
        return std::nullopt;
    const int large = size > 0 ? size : 32;
    const int small = size > 0 ? size : 16;
    return ExtractedIcons{iconPixmap(location.name, large), iconPixmap(location.name, small)};
}

std::unique_ptr<IconExtractor> Folder::iconExtractor(const ItemId&) const {
    return nullptr;
}

void Allocator::take(const ItemId& item) {
    if (!item.empty())
        ++m_outstanding;
}

void Allocator::free(ItemId& item) {
    if (item.empty())
        return;
    --m_outstanding;
    item.key.clear();
}

std::shared_ptr<Folder> desktopFolder() {
    return std::make_shared<DesktopFolder>();
}

std::shared_ptr<Allocator> taskAllocator() {
    static const std::shared_ptr<Allocator> allocator = std::make_shared<Allocator>();
    return allocator;
}

std::vector<QString> volumes() {
    std::vector<QString> result;
    if (g_volumeOverride) {
        for (const QString& v : *g_volumeOverride)
            result.push_back(withSlash(v));
        return result;
    }
    const QByteArray env = qgetenv("KERRIS_SHELL_VOLUMES");
    if (!env.isEmpty()) {
        for (const QString& v :
             QString::fromLocal8Bit(env).split(QLatin1Char(':'), Qt::SkipEmptyParts))
            result.push_back(withSlash(v));
        return result;
    }
    result.push_back(QStringLiteral("/"));
    std::vector<QString> removable;
    for (const QStorageInfo& info : QStorageInfo::mountedVolumes()) {
        const QString root = withSlash(info.rootPath());
        if (info.isValid() && info.isReady() && isRemovableMount(root))
            removable.push_back(root);
    }
    std::sort(removable.begin(), removable.end());
    result.insert(result.end(), removable.begin(), removable.end());
    return result;
}

void setVolumes(std::optional<std::vector<QString>> list) {
    g_volumeOverride = std::move(list);
}

QString homeFolder() {
    if (g_homeOverride)
        return g_homeOverride->isEmpty() ? QString() : withSlash(*g_homeOverride);
    if (qEnvironmentVariableIsSet("KERRIS_SHELL_HOME")) {
        const QString env = qEnvironmentVariable("KERRIS_SHELL_HOME");
        return env.isEmpty() ? QString() : withSlash(env);
    }
    return withSlash(QDir::homePath());
}

void setHomeFolder(std::optional<QString> folder) {
    g_homeOverride = std::move(folder);
}

QString driveRoot(const QString& path) {
    QString best;
    for (const QString& volume : volumes()) {
        const bool prefixes = path.startsWith(volume) || withSlash(path) == volume;
        if (prefixes && volume.size() > best.size())
            best = volume;
    }
    return best;
}

QString typeName(const QString& path, bool isDirectoryItem) {
    static QMimeDatabase db;
    QString name = isDirectoryItem ? db.mimeTypeForName(QStringLiteral("inode/directory")).comment()
                                   : typeFacts(path).comment;
    if (name.isEmpty())
        name = QStringLiteral("File");
    return name.left(kTypeNameLimit);
}

FileInfo fileInfo(const QString& path) {
    FileInfo info;
    struct stat st;
    const bool exists = ::stat(QFile::encodeName(path).constData(), &st) == 0;
    const bool directory = exists && S_ISDIR(st.st_mode);
    const int slash = path.lastIndexOf(QLatin1Char('/'), path.endsWith(QLatin1Char('/')) ? -2 : -1);
    info.displayName = path.mid(slash + 1);
    info.typeName = typeName(path, directory);
    if (exists)
        info.attributes = kAttrFileSystem | (directory ? kAttrFolder | kAttrFileSysAncestor : 0u);
    return info;
}

std::optional<FindData> findFile(const QString& path) {
    struct stat st;
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0)
        return std::nullopt;
    FindData data;
    data.directory = S_ISDIR(st.st_mode);
    data.size = static_cast<int64_t>(st.st_size);
    data.lastWrite = static_cast<int64_t>(st.st_mtime);
    return data;
}

namespace {

QString errorText(const QString& action, const QString& path, int error) {
    return QStringLiteral("Cannot %1 %2: %3")
        .arg(action, path, QString::fromLocal8Bit(std::strerror(error)));
}

// rename(2) that refuses to replace: 0, EEXIST or the error.
int renameNoReplace(const QByteArray& from, const QByteArray& to) {
    switch (kerris::fs::renameNoReplace(from.toStdString(), to.toStdString())) {
    case kerris::fs::CommitResult::Committed:
        return 0;
    case kerris::fs::CommitResult::NameTaken:
        return EEXIST;
    case kerris::fs::CommitResult::Failed:
        break;
    }
    return errno;
}

} // namespace

OperationResult renameItem(const QString& from, const QString& to, const ErrorReporter& report) {
    OperationResult result;
    if (from.isEmpty() || to.isEmpty()) {
        result.error = EINVAL;
    } else {
        result.error = renameNoReplace(QFile::encodeName(from), QFile::encodeName(to));
    }
    if (result.error != 0 && report)
        report(errorText(QStringLiteral("rename"), from, result.error));
    return result;
}

OperationResult deleteToTrash(const QStringList& paths, const DeleteConfirmation& confirm,
                              const ErrorReporter& report) {
    OperationResult result;
    if (paths.isEmpty())
        return result;
    if (!confirm || !confirm(paths)) {
        result.aborted = true;
        return result;
    }
    for (const QString& path : paths) {
        struct stat st;
        if (::lstat(QFile::encodeName(path).constData(), &st) != 0) {
            result.error = errno;
        } else if (S_ISDIR(st.st_mode)) {
            continue;
        } else if (!QFile::moveToTrash(path)) {
            result.error = EIO;
        }
        if (result.error != 0) {
            if (report)
                report(errorText(QStringLiteral("move to the Trash"), path, result.error));
            return result;
        }
    }
    return result;
}

ChangeNotifier& changeNotifier() {
    static ChangeNotifier* notifier = new ChangeNotifier;
    return *notifier;
}

void notifyChange(ChangeEvent event, const QString& path1, const QString& path2) {
    emit changeNotifier().changed(event, path1, path2);
}

} // namespace kerris::shell
