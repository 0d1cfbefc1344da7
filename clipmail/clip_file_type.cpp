// The ".wmv" registration.
#include "clipmail/clip_file_type.h"

#include "clipmail/destination_folder.h"
#include "platform/registry/registry.h"

namespace kerris::clipmail {

void RegisterClipFileType() {
    using registry::Hive;
    using registry::Key;
    if (Key::open(Hive::ClassesRoot, ".wmv"))
        return;
    std::optional<Key> wmv = Key::create(Hive::ClassesRoot, ".wmv");
    if (!wmv)
        return;
    wmv->writeString("", "WMVFile");
    wmv->writeString("Content Type", "video/x-ms-wmv");
    wmv->close();

    const std::string aviClass = readRegistryText(Hive::ClassesRoot, ".avi", "", "");
    std::string description;
    // With no ".avi" class there is no key to name; its description stays empty.
    if (!aviClass.empty())
        description = readRegistryText(Hive::ClassesRoot, aviClass, "", "");
    if (description.empty())
        description = kDefaultClipDescription;

    struct Entry {
        const char* path;
        std::string value;
    };
    const Entry entries[] = {
        {"WMVFile", description},
        {"WMVFile\\shell", "play"},
        {"WMVFile\\shell\\play", "&Play"},
        {"WMVFile\\shell\\play\\command", kClipPlayCommand},
    };
    for (const Entry& e : entries) {
        std::optional<Key> key = Key::create(Hive::ClassesRoot, e.path);
        if (!key)
            return;
        key->writeString("", e.value);
    }
}

} // namespace kerris::clipmail
