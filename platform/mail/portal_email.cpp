// The portal's Email interface over a private libdbus connection: the connection is this
// library's own, so it neither needs nor disturbs the program's event loop or its bus.
#include "platform/mail/portal_email.h"

#include <dbus/dbus.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <unistd.h>

#include <memory>
#include <mutex>

namespace kerris::mail {

namespace {

constexpr const char* kPortalService = "org.freedesktop.portal.Desktop";
constexpr const char* kPortalObject = "/org/freedesktop/portal/desktop";
constexpr const char* kEmailInterface = "org.freedesktop.portal.Email";
// The portal may be started by the bus on the first call.
constexpr int kCallTimeoutMs = 15000;

struct ConnectionCloser {
    void operator()(DBusConnection* connection) const {
        dbus_connection_close(connection);
        dbus_connection_unref(connection);
    }
};
struct MessageUnref {
    void operator()(DBusMessage* message) const { dbus_message_unref(message); }
};
using Connection = std::unique_ptr<DBusConnection, ConnectionCloser>;
using Message = std::unique_ptr<DBusMessage, MessageUnref>;

class Error {
public:
    Error() { dbus_error_init(&m_error); }
    ~Error() { dbus_error_free(&m_error); }
    Error(const Error&) = delete;
    Error& operator=(const Error&) = delete;
    DBusError* get() { return &m_error; }

private:
    DBusError m_error;
};

// libdbus keeps process-wide state that only dbus_shutdown frees, and that must not be called
// here: the program's toolkit may share the same libdbus. So once the bus is used, libdbus stays
// loaded for the rest of the process (as it does in any program on the bus) even when this
// library is unloaded; unloading it would lose that state.
void keepBusLibraryLoaded() {
    static std::once_flag once;
    std::call_once(once, [] {
        Dl_info info{};
        if (!dladdr(reinterpret_cast<void*>(&dbus_connection_open_private), &info) ||
            !info.dli_fname)
            return;
        if (void* handle = dlopen(info.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE))
            dlclose(handle);
    });
}

Connection connect(const std::string& address) {
    keepBusLibraryLoaded();
    Error error;
    Connection connection(dbus_connection_open_private(address.c_str(), error.get()));
    if (!connection)
        return nullptr;
    dbus_connection_set_exit_on_disconnect(connection.get(), false);
    if (!dbus_bus_register(connection.get(), error.get()))
        return nullptr;
    return connection;
}

Message call(DBusConnection* connection, DBusMessage* request) {
    Error error;
    return Message(dbus_connection_send_with_reply_and_block(connection, request, kCallTimeoutMs,
                                                             error.get()));
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0)
            close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

// Appends one "{sv}" entry whose variant holds what FILL appends with the signature SIGNATURE.
template <typename Fill>
bool appendOption(DBusMessageIter* dictionary, const char* key, const char* signature, Fill fill) {
    DBusMessageIter entry, variant;
    if (!dbus_message_iter_open_container(dictionary, DBUS_TYPE_DICT_ENTRY, nullptr, &entry))
        return false;
    bool ok = dbus_message_iter_append_basic(&entry, DBUS_TYPE_STRING, &key) &&
              dbus_message_iter_open_container(&entry, DBUS_TYPE_VARIANT, signature, &variant);
    if (ok) {
        ok = fill(&variant);
        ok = dbus_message_iter_close_container(&entry, &variant) && ok;
    }
    return dbus_message_iter_close_container(dictionary, &entry) && ok;
}

bool appendString(DBusMessageIter* dictionary, const char* key, const std::string& text) {
    return appendOption(dictionary, key, "s", [&](DBusMessageIter* variant) {
        const char* value = text.c_str();
        return bool(dbus_message_iter_append_basic(variant, DBUS_TYPE_STRING, &value));
    });
}

bool appendStrings(DBusMessageIter* dictionary, const char* key,
                   const std::vector<std::string>& texts) {
    return appendOption(dictionary, key, "as", [&](DBusMessageIter* variant) {
        DBusMessageIter array;
        if (!dbus_message_iter_open_container(variant, DBUS_TYPE_ARRAY, "s", &array))
            return false;
        bool ok = true;
        for (const std::string& text : texts) {
            const char* value = text.c_str();
            ok = ok && dbus_message_iter_append_basic(&array, DBUS_TYPE_STRING, &value);
        }
        return dbus_message_iter_close_container(variant, &array) && ok;
    });
}

// The bus duplicates each descriptor as it is appended; ours are closed when this returns.
bool appendDescriptors(DBusMessageIter* dictionary, const std::vector<std::string>& paths) {
    return appendOption(dictionary, "attachment_fds", "ah", [&](DBusMessageIter* variant) {
        DBusMessageIter array;
        if (!dbus_message_iter_open_container(variant, DBUS_TYPE_ARRAY, "h", &array))
            return false;
        bool ok = true;
        for (const std::string& path : paths) {
            FileDescriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY));
            int fd = file.get();
            ok = ok && fd >= 0 && dbus_message_iter_append_basic(&array, DBUS_TYPE_UNIX_FD, &fd);
        }
        return dbus_message_iter_close_container(variant, &array) && ok;
    });
}

bool appendOptions(DBusMessage* request, const Composition& message) {
    DBusMessageIter arguments, dictionary;
    dbus_message_iter_init_append(request, &arguments);
    const char* parentWindow = "";
    if (!dbus_message_iter_append_basic(&arguments, DBUS_TYPE_STRING, &parentWindow) ||
        !dbus_message_iter_open_container(&arguments, DBUS_TYPE_ARRAY, "{sv}", &dictionary))
        return false;
    bool ok = true;
    if (!message.to.empty()) {
        // "address" for portals before version 3, "addresses" for the rest.
        ok = ok && appendString(&dictionary, "address", message.to.front());
        ok = ok && appendStrings(&dictionary, "addresses", message.to);
    }
    if (!message.cc.empty())
        ok = ok && appendStrings(&dictionary, "cc", message.cc);
    if (!message.bcc.empty())
        ok = ok && appendStrings(&dictionary, "bcc", message.bcc);
    if (!message.subject.empty())
        ok = ok && appendString(&dictionary, "subject", message.subject);
    if (!message.body.empty())
        ok = ok && appendString(&dictionary, "body", message.body);
    if (!message.attachments.empty())
        ok = ok && appendDescriptors(&dictionary, message.attachments);
    return dbus_message_iter_close_container(&arguments, &dictionary) && ok;
}

} // namespace

bool portalComposeEmail(const std::string& address, const Composition& message) {
    for (const auto* list : {&message.to, &message.cc, &message.bcc, &message.attachments})
        for (const std::string& text : *list)
            if (!dbus_validate_utf8(text.c_str(), nullptr))
                return false; // the bus refuses strings that are not UTF-8
    if (!dbus_validate_utf8(message.subject.c_str(), nullptr) ||
        !dbus_validate_utf8(message.body.c_str(), nullptr))
        return false;
    Connection connection = connect(address);
    if (!connection)
        return false;
    if (!message.attachments.empty() &&
        !dbus_connection_can_send_type(connection.get(), DBUS_TYPE_UNIX_FD))
        return false;
    Message request(dbus_message_new_method_call(kPortalService, kPortalObject, kEmailInterface,
                                                 "ComposeEmail"));
    if (!request || !appendOptions(request.get(), message))
        return false;
    Message reply = call(connection.get(), request.get());
    return reply && dbus_message_get_type(reply.get()) == DBUS_MESSAGE_TYPE_METHOD_RETURN;
}

bool portalOffersEmail(const std::string& address) {
    Connection connection = connect(address);
    if (!connection)
        return false;
    Message request(dbus_message_new_method_call(kPortalService, kPortalObject,
                                                 "org.freedesktop.DBus.Properties", "Get"));
    const char* interface = kEmailInterface;
    const char* property = "version";
    if (!request || !dbus_message_append_args(request.get(), DBUS_TYPE_STRING, &interface,
                                              DBUS_TYPE_STRING, &property, DBUS_TYPE_INVALID))
        return false;
    Message reply = call(connection.get(), request.get());
    return reply && dbus_message_get_type(reply.get()) == DBUS_MESSAGE_TYPE_METHOD_RETURN;
}

} // namespace kerris::mail
