// Window handles: 32-bit numbers standing for live QWidgets, so that a window can be passed
// where the interfaces want an HWND ("size 4"). Numbers count up from 1 and are never reused,
// so a stale handle never reaches a newer widget.
#include "platform/com/com.h"

#include <QPointer>
#include <QWidget>

#include <mutex>
#include <unordered_map>

namespace {

using kerris::com::HWND;

struct HandleTable {
    std::mutex mutex;
    HWND next = 1;
    std::unordered_map<HWND, QPointer<QWidget>> widgets;
    std::unordered_map<QWidget*, HWND> handles;
};

// Never destroyed: widgets may outlive static destruction order.
HandleTable& table() {
    static HandleTable* t = new HandleTable;
    return *t;
}

} // namespace

// The handle of a live widget: the same number for its whole life; 0 for null (or when the
// numbers are used up).
extern "C" HWND KerrisWindowHandle(void* widget) {
    if (!widget)
        return 0;
    auto* w = static_cast<QWidget*>(widget);
    HandleTable& t = table();
    std::lock_guard lock(t.mutex);
    auto known = t.handles.find(w);
    if (known != t.handles.end()) {
        // A widget at the address of a destroyed one is another widget: it gets a new number.
        auto entry = t.widgets.find(known->second);
        if (entry != t.widgets.end() && entry->second.data() == w)
            return known->second;
        t.widgets.erase(known->second);
        t.handles.erase(known);
    }
    if (t.next == 0)
        return 0;
    const HWND handle = t.next++;
    t.widgets.emplace(handle, QPointer<QWidget>(w));
    t.handles.emplace(w, handle);
    // Drop the entry when the widget goes, so the table does not grow with dead windows.
    QObject::connect(w, &QObject::destroyed, [handle, w] {
        HandleTable& gone = table();
        std::lock_guard goneLock(gone.mutex);
        gone.widgets.erase(handle);
        auto it = gone.handles.find(w);
        if (it != gone.handles.end() && it->second == handle)
            gone.handles.erase(it);
    });
    return handle;
}

// The widget of a handle; null for 0, an unknown handle or a widget that is gone.
extern "C" void* KerrisWindowFromHandle(HWND handle) {
    if (!handle)
        return nullptr;
    HandleTable& t = table();
    std::lock_guard lock(t.mutex);
    auto entry = t.widgets.find(handle);
    if (entry == t.widgets.end())
        return nullptr;
    return entry->second.data();
}
