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

#include <QDateTime>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <langinfo.h>
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
    const QByteArray encoded = nativeName(withSlash(folder));
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
    return ::stat(nativeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode);
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
        const QByteArray encoded = nativeName(m_path);
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
            items.push_back(ItemId{nameText(QByteArray(entry->d_name))});
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
        if (item.empty() || ::stat(nativeName(m_path + item.key).constData(), &st) != 0)
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
        return (flags & kNameForParsing) ? item.key : displayText(item.key);
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

// The length of the valid UTF-8 sequence at p (at most `left` bytes), or 0 when there is none:
// no overlong forms, no surrogates, nothing past U+10FFFF.
int utf8Length(const unsigned char* p, qsizetype left) {
    const unsigned char c = p[0];
    if (c < 0x80)
        return 1;
    int n = 0;
    uint32_t code = 0;
    if ((c & 0xE0) == 0xC0) {
        n = 2;
        code = c & 0x1F;
    } else if ((c & 0xF0) == 0xE0) {
        n = 3;
        code = c & 0x0F;
    } else if ((c & 0xF8) == 0xF0) {
        n = 4;
        code = c & 0x07;
    } else {
        return 0;
    }
    if (left < n)
        return 0;
    for (int k = 1; k < n; ++k) {
        if ((p[k] & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (p[k] & 0x3F);
    }
    constexpr uint32_t kLeast[] = {0, 0, 0x80, 0x800, 0x10000};
    if (code < kLeast[n] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return 0;
    return n;
}

constexpr char16_t kByteEscape = 0xDC00; // U+DC80..U+DCFF carry the bytes 0x80..0xFF

} // namespace

QString nameText(const QByteArray& native) {
    const auto* p = reinterpret_cast<const unsigned char*>(native.constData());
    const qsizetype size = native.size();
    QString text;
    text.reserve(size);
    qsizetype run = 0; // start of the valid run not yet appended
    for (qsizetype i = 0; i < size;) {
        const int n = utf8Length(p + i, size - i);
        if (n > 0) {
            i += n;
            continue;
        }
        text += QString::fromUtf8(native.constData() + run, i - run);
        text += QChar(static_cast<char16_t>(kByteEscape + p[i]));
        run = ++i;
    }
    text += QString::fromUtf8(native.constData() + run, size - run);
    return text;
}

QByteArray nativeName(const QString& text) {
    QByteArray native;
    qsizetype run = 0;
    const qsizetype size = text.size();
    for (qsizetype i = 0; i < size; ++i) {
        const char16_t c = text.at(i).unicode();
        if (QChar::isHighSurrogate(c) && i + 1 < size && text.at(i + 1).isLowSurrogate()) {
            ++i;
            continue;
        }
        if (c >= kByteEscape + 0x80 && c <= kByteEscape + 0xFF) {
            native += QStringView(text).mid(run, i - run).toUtf8();
            native += static_cast<char>(c - kByteEscape);
            run = i + 1;
        }
    }
    native += QStringView(text).mid(run).toUtf8();
    return native;
}

QString displayText(const QString& text) {
    const QByteArray native = nativeName(text);
    if (native == text.toUtf8())
        return text;
    // A UTF-8 locale, or none set up (plain ASCII), shows each stray byte as the replacement
    // character; any other character set decodes the bytes as its own.
    const char* codeset = ::nl_langinfo(CODESET);
    if (codeset && qstricmp(codeset, "UTF-8") != 0 && qstricmp(codeset, "utf8") != 0 &&
        qstricmp(codeset, "ANSI_X3.4-1968") != 0) {
        QStringDecoder decoder(codeset);
        if (decoder.isValid())
            return decoder.decode(native);
    }
    return QString::fromUtf8(native); // each stray byte shows as the replacement character
}

QtReadablePath::QtReadablePath(const QString& path) {
    const QByteArray native = nativeName(path);
    if (native == QFile::encodeName(path)) {
        m_path = path;
        return;
    }
    // Never blocks on a FIFO; anything but a regular file is not read.
    m_fd = ::open(native.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat st;
    if (m_fd >= 0 && ::fstat(m_fd, &st) == 0 && S_ISREG(st.st_mode))
        m_path = QStringLiteral("/proc/self/fd/%1").arg(m_fd);
}

QtReadablePath::~QtReadablePath() {
    if (m_fd >= 0)
        ::close(m_fd);
}

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
    const bool exists = ::stat(nativeName(path).constData(), &st) == 0;
    const bool directory = exists && S_ISDIR(st.st_mode);
    const int slash = path.lastIndexOf(QLatin1Char('/'), path.endsWith(QLatin1Char('/')) ? -2 : -1);
    info.displayName = displayText(path.mid(slash + 1));
    info.typeName = typeName(path, directory);
    if (exists)
        info.attributes = kAttrFileSystem | (directory ? kAttrFolder | kAttrFileSysAncestor : 0u);
    return info;
}

std::optional<FindData> findFile(const QString& path) {
    struct stat st;
    if (path.isEmpty() || ::stat(nativeName(path).constData(), &st) != 0)
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

// Qt's Trash cannot name a file whose name is not UTF-8: such a file goes to the home Trash by
// the freedesktop rules (the info file first, created exclusively; then the move, which never
// replaces). 0 or the error.
int moveToHomeTrash(const QByteArray& native) {
    QByteArray data = qgetenv("XDG_DATA_HOME");
    if (data.isEmpty() || data.front() != '/')
        data = QFile::encodeName(QDir::homePath()) + "/.local/share";
    const QByteArray trash = data + "/Trash";
    for (const QByteArray& dir : {trash, trash + "/files", trash + "/info"}) {
        if (::mkdir(dir.constData(), 0700) != 0 && errno != EEXIST)
            return errno;
    }
    struct stat source;
    struct stat files;
    if (::lstat(native.constData(), &source) != 0 ||
        ::stat((trash + "/files").constData(), &files) != 0)
        return errno;
    if (source.st_dev != files.st_dev)
        return EXDEV; // the home Trash takes only files of its own file system
    const QByteArray base = native.mid(native.lastIndexOf('/') + 1);
    const QByteArray info =
        "[Trash Info]\nPath=" + native.toPercentEncoding("/") +
        "\nDeletionDate=" + QDateTime::currentDateTime().toString(Qt::ISODate).toLatin1() + "\n";
    for (int n = 0; n < 10000; ++n) {
        const QByteArray name = n == 0 ? base : base + '.' + QByteArray::number(n);
        const QByteArray infoPath = trash + "/info/" + name + ".trashinfo";
        const int fd = ::open(infoPath.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST)
                continue;
            return errno;
        }
        const bool written = ::write(fd, info.constData(), static_cast<size_t>(info.size())) ==
                             static_cast<ssize_t>(info.size());
        const int writeError = errno;
        ::close(fd);
        if (!written) {
            ::unlink(infoPath.constData());
            return writeError != 0 ? writeError : EIO;
        }
        const int moved = renameNoReplace(native, trash + "/files/" + name);
        if (moved == 0)
            return 0;
        ::unlink(infoPath.constData());
        if (moved != EEXIST)
            return moved;
    }
    return EEXIST;
}

} // namespace

OperationResult renameItem(const QString& from, const QString& to, const ErrorReporter& report) {
    OperationResult result;
    if (from.isEmpty() || to.isEmpty()) {
        result.error = EINVAL;
    } else {
        result.error = renameNoReplace(nativeName(from), nativeName(to));
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
        if (::lstat(nativeName(path).constData(), &st) != 0) {
            result.error = errno;
        } else if (S_ISDIR(st.st_mode)) {
            continue;
        } else if (nativeName(path) != QFile::encodeName(path)) {
            result.error = moveToHomeTrash(nativeName(path));
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
