// The shell namespace stand-in: folders, items, names, attributes, icons, type names and the
// file operations the picture browser needs, presented over the Linux file system.
//
// The namespace: the desktop holds a "Computer" root first, whose children are the volumes
// ("/" first, then the mounted removable volumes), then the user's home folder. Below a volume
// or the home folder every item is a file-system entry. Item identifiers are relative to their
// parent folder, as the browser's tree and list keep them.
#pragma once

#include <QObject>
#include <QPixmap>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace kerris::shell {

// Enumeration flags.
inline constexpr uint32_t kEnumFolders = 0x0020;
inline constexpr uint32_t kEnumNonFolders = 0x0040;
inline constexpr uint32_t kEnumNetPrinterSearch = 0x0200;

// Item attributes.
inline constexpr uint32_t kAttrFileSysAncestor = 0x10000000;
inline constexpr uint32_t kAttrFolder = 0x20000000;
inline constexpr uint32_t kAttrFileSystem = 0x40000000;
inline constexpr uint32_t kAttrHasSubFolder = 0x80000000;

// Display name flags: normal is the name shown to the user anywhere, in-folder relative to the
// parent, for-parsing the name a program parses (alone: the full path; with in-folder: the
// entry's own name, or the volume's mount path ending in "/").
inline constexpr uint32_t kNameNormal = 0x0000;
inline constexpr uint32_t kNameInFolder = 0x0001;
inline constexpr uint32_t kNameForParsing = 0x8000;

// Icon location flags.
inline constexpr uint32_t kIconOpen = 0x0001;
inline constexpr uint32_t kIconAsync = 0x0020;

// An item identifier relative to its parent folder. Empty means "no item".
struct ItemId {
    QString key;
    bool empty() const { return key.isEmpty(); }
    bool operator==(const ItemId&) const = default;
};

// Where an item's icon comes from: a desktop icon theme name and the shell's icon index for
// that name. Index 0 is a legitimate index (the generic icon), not an image-list position.
struct IconLocation {
    QString name;
    int index = 0;
};

// The two sizes of one icon.
struct ExtractedIcons {
    QPixmap large; // 32 x 32
    QPixmap small; // 16 x 16
};

// The icon extractor of one item.
class IconExtractor {
public:
    virtual ~IconExtractor() = default;
    // The icon's location for the given kIcon* flags.
    virtual IconLocation location(uint32_t flags) const = 0;
    // Renders the icon at a location; size 0 means the standard sizes 32 and 16.
    // nullopt when there is no such icon.
    virtual std::optional<ExtractedIcons> extract(const IconLocation& location, int size) const;
};

// A folder of the namespace. Folder objects are shared; dropping the last reference releases it.
class Folder {
public:
    virtual ~Folder() = default;
    // The items of the folder selected by kEnum* flags (file-system folders: in name order,
    // letter case aside); nullopt when the folder cannot be read (it has no enumerator).
    virtual std::optional<std::vector<ItemId>> enumerate(uint32_t flags) const = 0;
    // The requested kAttr* bits that the item has.
    virtual uint32_t attributes(const ItemId& item, uint32_t mask) const = 0;
    // The item's name for kName* flags; nullopt for an unknown item.
    virtual std::optional<QString> displayName(const ItemId& item, uint32_t flags) const = 0;
    // The folder object of a sub-folder; null when the item is not a folder or is gone.
    virtual std::shared_ptr<Folder> bindToFolder(const ItemId& item) const = 0;
    // The item's icon extractor; null when the item has none.
    virtual std::unique_ptr<IconExtractor> iconExtractor(const ItemId& item) const;
};

// The shell's task allocator: every item identifier a folder's enumeration hands out is given
// back through it. Ours only counts what is outstanding, so a program can check that it returns
// everything it takes.
class Allocator {
public:
    void take(const ItemId& item);
    // Gives an identifier back and empties it; an empty identifier is ignored.
    void free(ItemId& item);
    long outstanding() const { return m_outstanding; }

private:
    long m_outstanding = 0;
};

// File names on Linux are bytes. A name's text keeps every byte: a byte that is not part of
// valid UTF-8 (a name from an older system, often in a legacy Chinese encoding) is carried as
// the character U+DC00 + byte, a lone surrogate that no valid name decodes to, so that
// nativeName(nameText(bytes)) == bytes for every name. Paths the shell hands out (item
// identifiers, parsing names) are such texts, and every call here that takes a path takes one.
QString nameText(const QByteArray& native);
QByteArray nativeName(const QString& text);
// The name as the user's locale decodes its bytes, for display; a name that is valid UTF-8
// is shown as it is.
QString displayText(const QString& text);

// Qt's own file classes open a path by its UTF-8 text, which a name that is not UTF-8 does not
// have. This holds a regular file open for them: path() is the path itself when Qt reaches the
// file by it, else the process's name for the open file (/proc/self/fd/N), so that the same
// file is read; empty when the file is not a regular file that can be opened.
class QtReadablePath {
public:
    explicit QtReadablePath(const QString& path);
    QtReadablePath(const QtReadablePath&) = delete;
    QtReadablePath& operator=(const QtReadablePath&) = delete;
    ~QtReadablePath();
    const QString& path() const { return m_path; }

private:
    int m_fd = -1;
    QString m_path;
};

// The desktop folder and the task allocator (one per process; never null).
std::shared_ptr<Folder> desktopFolder();
std::shared_ptr<Allocator> taskAllocator();

// The volumes, "/" first, each an absolute path ending in "/". Taken, in this order, from the
// override set by setVolumes, from $KERRIS_SHELL_VOLUMES (colon-separated folders), or from
// the system: "/" followed by the mounted removable volumes.
std::vector<QString> volumes();
void setVolumes(std::optional<std::vector<QString>> volumes);

// The home folder shown as the second root, ending in "/"; empty means no home root.
// Override by setHomeFolder, else $KERRIS_SHELL_HOME (empty: none), else the user's home.
QString homeFolder();
void setHomeFolder(std::optional<QString> folder);

// The longest volume root that prefixes an absolute path; empty when none does.
QString driveRoot(const QString& path);

// What the shell knows of a file, by path.
struct FileInfo {
    QString displayName;
    QString typeName; // at most 79 characters
    uint32_t attributes = 0;
};
FileInfo fileInfo(const QString& path);

// The type name of a file ("JPEG image"): from the MIME database, by name only.
QString typeName(const QString& path, bool isDirectory);

// The result of a find-first call on one path.
struct FindData {
    bool directory = false;
    int64_t size = 0;
    int64_t lastWrite = 0; // seconds since the epoch (UTC)
};
std::optional<FindData> findFile(const QString& path);

// The outcome of a file operation.
struct OperationResult {
    int error = 0;        // 0 for success, else an errno value
    bool aborted = false; // the user refused the operation
};

// Shows the shell's own error report for a failed operation (text names the file and cause).
using ErrorReporter = std::function<void(const QString& text)>;
// Asks the user to confirm the deletion of the listed paths; true to go ahead.
using DeleteConfirmation = std::function<bool(const QStringList& paths)>;

// Renames a file or folder; never replaces an existing target (the call fails with EEXIST).
OperationResult renameItem(const QString& from, const QString& to, const ErrorReporter& report);

// Moves the listed files to the freedesktop Trash after the user's confirmation. Only files are
// moved (folders in the list are left alone). Stops at the first failure.
OperationResult deleteToTrash(const QStringList& paths, const DeleteConfirmation& confirm,
                              const ErrorReporter& report);

// Change notification: programs announce what they did to the namespace, and anything that
// shows it can listen.
enum class ChangeEvent { RenameItem, Delete, Create, UpdateDirectory };

class ChangeNotifier : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
signals:
    void changed(kerris::shell::ChangeEvent event, const QString& path1, const QString& path2);
};

ChangeNotifier& changeNotifier();
void notifyChange(ChangeEvent event, const QString& path1, const QString& path2 = QString());

} // namespace kerris::shell
