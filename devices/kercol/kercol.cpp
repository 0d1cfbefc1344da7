// The exported entry points: a thin shell that checks handles and pointers, then converts.
#include "devices/kercol/kercol.h"

#include <new>

#include "devices/kercol/contexts.h"
#include "devices/kercol/conversion.h"

using namespace kercol;

namespace {

// Frame sizes accepted by both conversions; products stay far below 2^32.
bool frameSideFits(std::uint32_t side, std::uint32_t minimum) {
    return side >= minimum && side <= kMaxFrameSide;
}

} // namespace

extern "C" {

KERC_API uint32_t KERC_Open(uint32_t zero1, uint32_t zero2) {
    if (zero1 != 0 || zero2 != 0)
        return 0;
    try {
        return addContext(std::make_shared<Context>());
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

KERC_API uint32_t KERC_Close(uint32_t handle) {
    return removeContext(handle) ? KERC_OK : KERC_ERR_HANDLE;
}

KERC_API uint32_t KERC_LoadDeviceDefaults(uint32_t handle, uint32_t zero) {
    const auto context = findContext(handle);
    if (!context)
        return KERC_ERR_HANDLE;
    if (zero != 0)
        return KERC_ERR_ARGUMENT;
    std::lock_guard guard(context->lock);
    context->settings = deviceDefaults();
    context->tablesCurrent = false;
    return KERC_OK;
}

KERC_API uint32_t KERC_SetParameter(uint32_t handle, uint32_t number, void* value, uint32_t size) {
    const auto context = findContext(handle);
    if (!context)
        return KERC_ERR_HANDLE;
    std::lock_guard guard(context->lock);
    const uint32_t status = setParameter(context->settings, number, value, size);
    if (status == KERC_OK)
        context->tablesCurrent = false;
    return status;
}

KERC_API uint32_t KERC_QueryParameter(uint32_t handle, uint32_t number, void* buffer,
                                      uint32_t size) {
    const auto context = findContext(handle);
    if (!context)
        return KERC_ERR_HANDLE;
    std::lock_guard guard(context->lock);
    return queryParameter(context->settings, number, buffer, size);
}

KERC_API uint32_t KERC_BunchedToBayer(uint32_t handle, uint8_t* bunched, uint8_t* bayer,
                                      uint32_t width, uint32_t height) {
    const auto context = findContext(handle);
    if (!context)
        return KERC_ERR_HANDLE;
    if (bunched == nullptr || bayer == nullptr)
        return KERC_ERR_POINTER;
    if (!frameSideFits(width, 2) || width % 2 != 0 || !frameSideFits(height, 1))
        return KERC_ERR_FRAME;
    std::lock_guard guard(context->lock);
    try {
        if (bunched == bayer && context->row.size() < width)
            context->row.resize(width);
    } catch (const std::bad_alloc&) {
        return KERC_ERR_MEMORY;
    }
    bunchedToBayer(bunched, bayer, width, height, context->row.data());
    return KERC_OK;
}

KERC_API uint32_t KERC_Colour(uint32_t handle, uint8_t* bayer, uint8_t* rgb, uint32_t width,
                              uint32_t height, uint32_t zero) {
    const auto context = findContext(handle);
    if (!context)
        return KERC_ERR_HANDLE;
    if (bayer == nullptr || rgb == nullptr)
        return KERC_ERR_POINTER;
    if (zero != 0)
        return KERC_ERR_ARGUMENT;
    if (!frameSideFits(width, 5) || !frameSideFits(height, 5))
        return KERC_ERR_FRAME;
    std::lock_guard guard(context->lock);
    if (context->settings.mode == KERC_MODE_CAMERA_FRAMES && !isCameraFrame(width, height))
        return KERC_RETRY_MODE;
    try {
        if (!context->tables)
            context->tables = std::make_unique<ConversionTables>();
        if (!context->tablesCurrent) {
            buildTables(context->settings, *context->tables);
            context->tablesCurrent = true;
        }
        const std::size_t scratchSize = 3 * std::size_t(width - 4);
        if (context->scratch.size() < scratchSize)
            context->scratch.resize(scratchSize);
    } catch (const std::bad_alloc&) {
        return KERC_ERR_MEMORY;
    }
    convertFrame(*context->tables, bayer, rgb, width, height, context->scratch.data());
    return KERC_OK;
}

} // extern "C"
