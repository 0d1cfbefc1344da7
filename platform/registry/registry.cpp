// The Key class: typed reads from the current hive text, one locked change per write.
#include "platform/registry/registry.h"

#include "platform/registry/hive_store.h"

#include <functional>

namespace kerris::registry {

using detail::EditResult;
using detail::HiveKey;
using detail::HiveTree;

namespace {

// A key path split at "\", empty parts dropped ("Software\Veltrane\Murvane\" has three).
// nullopt when a name could not be written to a hive file or the path is too deep.
std::optional<std::vector<std::string_view>> splitPath(std::string_view path) {
    std::vector<std::string_view> parts;
    while (!path.empty()) {
        size_t sep = path.find('\\');
        std::string_view part = path.substr(0, sep);
        if (!part.empty()) {
            if (part.find_first_of(std::string_view("\0\r\n", 3)) != std::string_view::npos)
                return std::nullopt;
            parts.push_back(part);
        }
        if (sep == std::string_view::npos)
            break;
        path.remove_prefix(sep + 1);
    }
    if (parts.size() > detail::kMaxKeyDepth)
        return std::nullopt;
    return parts;
}

std::string joinPath(const std::vector<std::string_view>& parts) {
    std::string out;
    for (std::string_view p : parts) {
        if (!out.empty())
            out += '\\';
        out += p;
    }
    return out;
}

const HiveKey* findKey(const HiveTree& tree, const std::vector<std::string_view>& parts) {
    const HiveKey* key = &tree.root;
    for (std::string_view p : parts) {
        key = key->findSubKey(p);
        if (!key)
            return nullptr;
    }
    return key;
}

HiveKey& makeKey(HiveTree& tree, const std::vector<std::string_view>& parts, bool* added) {
    HiveKey* key = &tree.root;
    for (std::string_view p : parts) {
        bool fresh = false;
        key = &key->subKey(p, &fresh);
        if (fresh && added)
            *added = true;
    }
    return *key;
}

bool keyExists(Hive hive, const std::vector<std::string_view>& parts) {
    auto tree = detail::loadHive(hive);
    return tree && findKey(*tree, parts);
}

} // namespace

std::optional<Key> Key::open(Hive hive, std::string_view path) {
    auto parts = splitPath(path);
    if (!parts || !keyExists(hive, *parts))
        return std::nullopt;
    return Key(hive, joinPath(*parts));
}

std::optional<Key> Key::create(Hive hive, std::string_view path, bool* created) {
    auto parts = splitPath(path);
    if (!parts)
        return std::nullopt;
    bool added = false;
    if (!keyExists(hive, *parts)) {
        EditResult r = detail::modifyHive(hive, [&](HiveTree& tree) {
            added = false;
            makeKey(tree, *parts, &added);
            return added;
        });
        if (r == EditResult::Failed)
            return std::nullopt;
    }
    if (created)
        *created = added;
    return Key(hive, joinPath(*parts));
}

bool Key::remove(Hive hive, std::string_view path) {
    auto parts = splitPath(path);
    if (!parts || parts->empty())
        return false; // the hive's root cannot be removed
    if (!keyExists(hive, *parts))
        return false;
    EditResult r = detail::modifyHive(hive, [&](HiveTree& tree) {
        HiveKey* parent = &tree.root;
        for (size_t i = 0; i + 1 < parts->size() && parent; ++i)
            parent = parent->findSubKey((*parts)[i]);
        return parent && parent->removeSubKey(parts->back());
    });
    return r == EditResult::Changed;
}

Key::Key(Key&& other) noexcept
    : m_hive(other.m_hive), m_path(std::move(other.m_path)), m_open(other.m_open) {
    other.m_open = false;
}

Key& Key::operator=(Key&& other) noexcept {
    if (this != &other) {
        m_hive = other.m_hive;
        m_path = std::move(other.m_path);
        m_open = other.m_open;
        other.m_open = false;
    }
    return *this;
}

Key::~Key() = default;

void Key::close() {
    m_open = false;
}

std::optional<Value> Key::read(std::string_view name) const {
    if (!m_open)
        return std::nullopt;
    auto parts = splitPath(m_path);
    auto tree = detail::loadHive(m_hive);
    if (!parts || !tree)
        return std::nullopt;
    const HiveKey* key = findKey(*tree, *parts);
    const detail::HiveValue* v = key ? key->findValue(name) : nullptr;
    if (!v)
        return std::nullopt;
    return Value{v->type, v->data};
}

std::optional<std::string> Key::readString(std::string_view name) const {
    auto v = read(name);
    if (!v || v->type != kTypeString)
        return std::nullopt;
    std::string text(v->data.begin(), v->data.end());
    // Text written by other tools may carry its terminator.
    if (!text.empty() && text.back() == '\0')
        text.pop_back();
    return text;
}

std::optional<uint32_t> Key::readDword(std::string_view name) const {
    auto v = read(name);
    if (!v || v->type != kTypeDword || v->data.size() != 4)
        return std::nullopt;
    return static_cast<uint32_t>(v->data[0]) | (static_cast<uint32_t>(v->data[1]) << 8) |
           (static_cast<uint32_t>(v->data[2]) << 16) | (static_cast<uint32_t>(v->data[3]) << 24);
}

std::optional<std::vector<uint8_t>> Key::readBinary(std::string_view name) const {
    auto v = read(name);
    if (!v || v->type != kTypeBinary)
        return std::nullopt;
    return std::move(v->data);
}

namespace {

// One change to the key at path: the key is made first when create is set, else change gets
// null when the key is missing. Failed for a closed key or a path no hive can hold.
EditResult editKey(bool open, Hive hive, const std::string& path, bool create,
                   const std::function<bool(HiveKey*)>& change) {
    auto parts = open ? splitPath(path) : std::nullopt;
    if (!parts)
        return EditResult::Failed;
    return detail::modifyHive(hive, [&](HiveTree& tree) {
        if (create)
            return change(&makeKey(tree, *parts, nullptr));
        const HiveKey* key = findKey(tree, *parts);
        return change(const_cast<HiveKey*>(key));
    });
}

} // namespace

bool Key::write(std::string_view name, const Value& value) {
    EditResult r = editKey(m_open, m_hive, m_path, true, [&](HiveKey* key) {
        const detail::HiveValue* old = key->findValue(name);
        if (old && old->type == value.type && old->data == value.data)
            return false; // already so: no need to rewrite the file
        key->setValue(name, value.type, value.data);
        return true;
    });
    return r != EditResult::Failed;
}

bool Key::writeString(std::string_view name, std::string_view text) {
    return write(name, Value{kTypeString, std::vector<uint8_t>(text.begin(), text.end())});
}

bool Key::writeDword(std::string_view name, uint32_t value) {
    return write(name,
                 Value{kTypeDword,
                       {static_cast<uint8_t>(value), static_cast<uint8_t>(value >> 8),
                        static_cast<uint8_t>(value >> 16), static_cast<uint8_t>(value >> 24)}});
}

bool Key::writeBinary(std::string_view name, const void* data, size_t size) {
    if (!data && size != 0)
        return false;
    const auto* bytes = static_cast<const uint8_t*>(data);
    return write(name, Value{kTypeBinary, std::vector<uint8_t>(bytes, bytes + size)});
}

bool Key::removeValue(std::string_view name) {
    EditResult r = editKey(m_open, m_hive, m_path, false,
                           [&](HiveKey* key) { return key && key->removeValue(name); });
    return r == EditResult::Changed;
}

namespace {

// The names of the values (or sub-keys) of a key, as the hive holds them now.
template <typename Member>
std::vector<std::string> namesOf(bool open, Hive hive, const std::string& path, Member member) {
    std::vector<std::string> names;
    auto parts = splitPath(path);
    auto tree = open ? detail::loadHive(hive) : nullptr;
    const HiveKey* key = (tree && parts) ? findKey(*tree, *parts) : nullptr;
    if (key)
        for (const auto& item : key->*member)
            names.push_back(item.name);
    return names;
}

} // namespace

std::vector<std::string> Key::valueNames() const {
    return namesOf(m_open, m_hive, m_path, &HiveKey::values);
}

std::vector<std::string> Key::subKeyNames() const {
    return namesOf(m_open, m_hive, m_path, &HiveKey::subKeys);
}

bool Key::hasSubKey(std::string_view name) const {
    if (!m_open)
        return false;
    auto parts = splitPath(m_path);
    auto sub = splitPath(name);
    if (!parts || !sub || sub->empty())
        return false;
    parts->insert(parts->end(), sub->begin(), sub->end());
    return keyExists(m_hive, *parts);
}

} // namespace kerris::registry
