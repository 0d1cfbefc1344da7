// Connections: open, close, enumeration, camera names, error texts, retries, lock timeout,
// reset and sync, the set of open connections and the library's unload behaviour.
#include "camera/connection.h"

#include "camera/colour.h"
#include "camera/colour_binding.h"
#include "camera/commands.h"
#include "camera/transport_binding.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

namespace kerris::camera {

namespace {

// Connections made by CpiCameraOpen and not yet freed. A pointer is looked up here before its
// memory is read, so a connection passed again after CpiCameraClose is refused safely.
std::vector<CpiConnection*>& openConnections() noexcept {
    static std::vector<CpiConnection*> connections;
    return connections;
}

struct TransportAttempt {
    const char* library;
    TransportKind kind;
    uint16_t idBase;
};
constexpr TransportAttempt kUsbAttempt{kUsbTransportName, kTransportUsb, kCpiUsbIdBase};
constexpr TransportAttempt kSerialAttempt{kSerialTransportName, kTransportSerial, kCpiSerialIdBase};

// Frees a record that never reached the caller or whose transport handle is gone.
void freeConnection(CpiConnection* c) noexcept {
    removeConnection(c);
    c->magic = kMagicClosed;
    delete c;
}

// Tries one transport: loads its library as the connection's binding and opens the handle.
uint32_t attemptOpen(CpiConnection* c, const TransportAttempt& attempt, uint32_t selector,
                     uint32_t port, uint16_t* cameraId) noexcept {
    TransportBinding* binding = TransportBinding::load(attempt.library);
    if (!binding)
        return kCpiTransportMissing;
    uint8_t number = 0;
    uint32_t handle = 0;
    uint32_t status = cti::handleOpen(port, selector, &number, &handle);
    if (status != kCpiOk) {
        TransportBinding::release(binding);
        return status;
    }
    c->transport = binding;
    c->handle = handle;
    c->transportKind = attempt.kind;
    c->cameraId = uint16_t(attempt.idBase + number);
    if (cameraId)
        *cameraId = c->cameraId;
    return kCpiOk;
}

// Releases what an open connection holds, in the order of CpiCameraClose after its transport
// handle was closed.
void tearDown(CpiConnection* c) noexcept {
    TransportBinding::release(c->transport);
    c->transport = nullptr;
    setLastOpenedTransport(nullptr);
    c->magic = kMagicClosed;
    if (c->colourHandle) {
        kerc::close(c->colourHandle);
        ColourBinding::release();
    }
    freeConnection(c);
}

uint32_t openCamera(uint32_t selector, uint32_t port, CpiConnection** connection,
                    uint16_t* cameraId) noexcept {
    if (!connection)
        return kCpiBadValue;
    auto* c = new (std::nothrow) CpiConnection();
    if (!c || !addConnection(c)) {
        delete c;
        *connection = nullptr;
        return kCpiOutOfMemory;
    }
    c->magic = kMagicOpen;

    const TransportAttempt* attempts[2] = {};
    size_t attemptCount = 0;
    switch ((selector >> 8) & 0xFF) {
    case kCpiSelectAny:
        attempts[attemptCount++] = &kUsbAttempt;
        attempts[attemptCount++] = &kSerialAttempt;
        break;
    case kCpiSelectSerial:
        attempts[attemptCount++] = &kSerialAttempt;
        break;
    case kCpiSelectUsb:
        attempts[attemptCount++] = &kUsbAttempt;
        break;
    default:
        freeConnection(c);
        *connection = nullptr;
        return kCpiNoTransport;
    }
    uint32_t status = kCpiOk;
    for (size_t i = 0; i < attemptCount; ++i) {
        status = attemptOpen(c, *attempts[i], selector, port, cameraId);
        if (status == kCpiOk)
            break;
    }
    if (status != kCpiOk) {
        freeConnection(c);
        *connection = nullptr;
        return status;
    }

    setLastOpenedTransport(c->transport);
    c->retryCount = kDefaultRetryCount;
    c->lockTimeout = kDefaultLockTimeout;
    // An unreadable camera information leaves the record zero: an older camera without
    // capabilities, which the echo test below then judges.
    if (readCameraInfo(c, &c->cameraInfo) == kCpiOk)
        c->cameraInfo.cameraId = c->cameraId;

    // From here on the connection is open: on an echo or settle failure the caller gets it
    // with the error and must close it.
    status = echoTest(c);
    if (status == kCpiOk)
        status = settleWait(c);
    if (status != kCpiOk) {
        *connection = c;
        return status;
    }

    if (ColourBinding::load(kColourLibraryName)) {
        c->colourHandle = kerc::open();
        if (!c->colourHandle)
            ColourBinding::release(); // refused to open: nothing will close it later
    }
    if (!c->colourHandle) {
        // Closed as CpiCameraClose closes, but torn down even when the transport refuses to
        // close its handle: the caller never sees this connection and could not close it later.
        cti::handleClose(c->handle);
        tearDown(c);
        return kCpiColourFailed;
    }
    configureColour(c);
    *connection = c;
    return kCpiOk;
}

uint32_t closeCamera(CpiConnection* c) noexcept {
    uint32_t status = cti::handleClose(c->handle);
    if (status != kCpiOk)
        return status;
    tearDown(c);
    return kCpiOk;
}

uint32_t enumerateCameras(uint32_t first, uint32_t second, uint8_t capacity, uint16_t* ids,
                          uint8_t* count) noexcept {
    std::unique_ptr<uint8_t[]> numbers(new (std::nothrow) uint8_t[capacity ? capacity : 1]());
    if (!numbers)
        return kCpiOutOfMemory;
    *count = 0;
    uint32_t result = kCpiOk;
    uint8_t usbCount = 0;

    if (TransportBinding* usb = TransportBinding::load(kUsbTransportName)) {
        uint8_t found = 0;
        uint32_t status = cti::cameraEnum(first, second, capacity, numbers.get(), &found);
        if (status == kCpiOk) {
            *count = found;
            usbCount = std::min(found, capacity);
            for (uint8_t k = 0; k < usbCount; ++k)
                ids[k] = uint16_t(kCpiUsbIdBase | numbers[k]);
        } else if (status != kCtiNoEntry) {
            result = status;
        }
        TransportBinding::release(usb);
    }

    if (capacity > usbCount) {
        if (TransportBinding* serial = TransportBinding::load(kSerialTransportName)) {
            uint8_t found = 0;
            uint32_t status = cti::cameraEnum(first, second, capacity, numbers.get(), &found);
            if (status == kCpiOk) {
                *count = uint8_t(*count + found);
                uint8_t room = uint8_t(capacity - usbCount);
                uint8_t filled = std::min(found, room);
                for (uint8_t k = 0; k < filled; ++k)
                    ids[usbCount + k] = uint16_t(kCpiSerialIdBase | numbers[k]);
                result = kCpiOk;
            } else if (status == kCtiNoEntry || status == kCtiNone) {
                result = kCpiOk;
            } else {
                result = status;
            }
            TransportBinding::release(serial);
        }
    }
    restoreLastOpenedTransport();
    return result;
}

// Loads the transport named by bits 8-15 of a camera id for one name operation.
enum class NameOp { Get, Set };
uint32_t cameraName(NameOp op, uint16_t id, uint32_t arg, char* buffer) noexcept {
    if (!buffer)
        return kCpiNullPointer;
    const char* library = nullptr;
    switch ((id >> 8) & 0xFF) {
    case kCpiSelectUsb:
        library = kUsbTransportName;
        break;
    case kCpiSelectSerial:
        library = kSerialTransportName;
        break;
    default:
        return kCpiBadValue;
    }
    TransportBinding* binding = TransportBinding::load(library);
    if (!binding)
        return kCpiBadValue;
    uint8_t number = uint8_t(id & 0xFF);
    uint32_t status = op == NameOp::Get ? cti::cameraNameGet(number, arg, buffer)
                                        : cti::cameraNameSet(number, arg, buffer);
    TransportBinding::release(binding);
    restoreLastOpenedTransport();
    return status;
}

// At unload the active transport library goes with us.
__attribute__((destructor)) void releaseActiveTransportAtUnload() {
    TransportBinding::release(activeTransport());
}

} // namespace

bool isOpenConnection(const CpiConnection* c) noexcept {
    if (!c)
        return false;
    const auto& open = openConnections();
    if (std::find(open.begin(), open.end(), c) == open.end())
        return false;
    return c->magic == kMagicOpen;
}

bool addConnection(CpiConnection* c) noexcept {
    try {
        openConnections().push_back(c);
        return true;
    } catch (...) {
        return false;
    }
}

void removeConnection(CpiConnection* c) noexcept {
    auto& open = openConnections();
    open.erase(std::remove(open.begin(), open.end(), c), open.end());
}

} // namespace kerris::camera

using namespace kerris::camera;

extern "C" {

uint32_t CpiCameraEnum(uint32_t first, uint32_t second, uint8_t capacity, uint16_t* ids,
                       uint8_t* count) noexcept {
    if (!ids || !count)
        return kCpiNullPointer;
    return enumerateCameras(first, second, capacity, ids, count);
}

uint32_t CpiCameraNameGet(uint16_t id, uint32_t arg, char* buffer) noexcept {
    return cameraName(NameOp::Get, id, arg, buffer);
}

uint32_t CpiCameraNameSet(uint16_t id, uint32_t arg, char* buffer) noexcept {
    return cameraName(NameOp::Set, id, arg, buffer);
}

uint32_t CpiCameraOpen(uint32_t selector, uint32_t port, CpiConnection** connection,
                       uint16_t* cameraId) noexcept {
    return openCamera(selector, port, connection, cameraId);
}

uint32_t CpiCameraClose(CpiConnection* c) noexcept {
    if (!isOpenConnection(c))
        return kCpiBadConnection;
    return closeCamera(c);
}

uint32_t CpiGetErrorText(CpiConnection* c, uint32_t code, char* buffer, uint32_t size) noexcept {
    if (!isOpenConnection(c))
        return kCpiBadConnection;
    if (!buffer || size == 0)
        return kCpiBadValue;
    if (code == kCpiColourDefaults)
        return colourDefaultsText(c, buffer, size);
    return cti::getErrorText(c->handle, code, buffer, size);
}

uint32_t CpiSetNoOfRetrys(CpiConnection* c, uint32_t n) noexcept {
    if (!isOpenConnection(c))
        return kCpiBadConnection;
    c->retryCount = uint16_t(n);
    return kCpiOk;
}

uint32_t CpiSetLockTimeout(CpiConnection* c, uint32_t timeout) noexcept {
    if (!isOpenConnection(c))
        return kCpiBadConnection;
    c->lockTimeout = uint16_t(timeout);
    return kCpiOk;
}

uint32_t CpiResetComms(CpiConnection* c) noexcept {
    if (!isOpenConnection(c))
        return kCpiBadConnection;
    return resetSequence(c);
}

uint32_t CpiSyncCamera(CpiConnection* c) noexcept {
    if (!isOpenConnection(c))
        return kCpiBadConnection;
    uint8_t ignored[2];
    receiveCommand(c, kReqEcho, uint8_t(kSyncEchoValue), uint8_t(kSyncEchoValue >> 8), ignored,
                   sizeof ignored);
    uint32_t status = echoTest(c);
    if (status != kCpiOk)
        return status;
    return settleWait(c);
}

} // extern "C"
