// Every upload export of the camera library under libFuzzer. The input scripts the fake
// transport and colour libraries: camera generation and capabilities, descriptors, image
// information, locations, camera state, last errors, raw data (whole, short or missing), read
// limits and failures of single transport and colour calls. Buffers handed to the library are
// allocated at exactly their documented size, so AddressSanitizer sees any read or write past
// them; after each call the transport lock must be balanced and every command record sound.
#include "camera/cpi.h"
#include "tests/fakes/fake_call.h"

#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#ifndef KERRIS_FUZZ_FAKES
#error "KERRIS_FUZZ_FAKES names the folder of the fake libraries"
#endif

namespace {

// The fakes' control functions, resolved once from the very files the library loads.
struct Fakes {
    void (*ctiReset)();
    void (*setReply)(uint8_t, const uint8_t*, uint32_t);
    void (*queueReply)(uint8_t, const uint8_t*, uint32_t);
    void (*queueData)(const uint8_t*, uint32_t);
    void (*setReadLimit)(uint32_t);
    void (*ctiFailNth)(const char*, uint32_t, uint32_t);
    void (*failRequest)(uint8_t, uint32_t, uint32_t);
    int32_t (*lockBalance)();
    uint32_t (*malformed)();
    void (*kercReset)();
    void (*kercFailNth)(const char*, uint32_t, uint32_t);
};

Fakes g_fakes;

void* need(void* library, const char* name) {
    void* address = dlsym(library, name);
    if (!address) {
        std::fprintf(stderr, "fake lacks %s\n", name);
        std::abort();
    }
    return address;
}

template <typename Fn> void bind(Fn*& slot, void* library, const char* name) {
    slot = reinterpret_cast<Fn*>(need(library, name));
}

// Reads the input front to back; an exhausted input reads as zeros.
class Script {
public:
    Script(const uint8_t* data, size_t size) : m_data(data), m_size(size) {}
    uint8_t byte() { return m_pos < m_size ? m_data[m_pos++] : 0; }
    uint16_t u16() { return uint16_t(byte() << 8 | byte()); }
    uint32_t u32() { return uint32_t(u16()) << 16 | u16(); }
    // True with a chance of in256 / 256; false once the input is used up, so that an exhausted
    // input takes the ordinary path everywhere and every loop ends.
    bool rare(uint8_t in256) { return !empty() && byte() < in256; }
    bool empty() const { return m_pos >= m_size; }

private:
    const uint8_t* m_data;
    size_t m_size;
    size_t m_pos = 0;
};

void put16(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    v[at] = uint8_t(x >> 8);
    v[at + 1] = uint8_t(x);
}
void put32(std::vector<uint8_t>& v, size_t at, uint32_t x) {
    put16(v, at, x >> 16);
    put16(v, at + 2, x);
}

struct Size {
    int32_t w, h;
};

// The picture sizes the camera knows, and small ones that keep runs fast.
Size pictureSize(Script& s) {
    static constexpr Size kFormats[] = {{352, 288}, {640, 480}, {176, 144}, {320, 240}};
    uint8_t pick = s.byte();
    if (pick < 40)
        return kFormats[pick % 4];
    return {1 + s.byte() % 40, 1 + s.byte() % 40};
}

// The frame the camera sends for a picture: 4 larger, 2 larger for the two small formats; or,
// now and then, any size at all.
Size cameraFrame(Script& s, Size picture) {
    if (s.rare(32))
        return {s.u16() % 700, s.u16() % 500};
    const bool small =
        (picture.w == 176 && picture.h == 144) || (picture.w == 320 && picture.h == 240);
    const int32_t grow = small ? 2 : 4;
    return {picture.w + grow + (s.rare(16) ? int8_t(s.byte()) % 3 : 0),
            picture.h + grow + (s.rare(16) ? int8_t(s.byte()) % 3 : 0)};
}

// The raw data size a camera claims for a frame: usually the frame, sometimes off a little,
// sometimes anything.
uint32_t rawSize(Script& s, Size frame) {
    const uint32_t exact = uint32_t(frame.w) * uint32_t(frame.h);
    uint8_t pick = s.byte();
    if (pick < 200)
        return exact;
    if (pick < 240)
        return exact + uint32_t(int8_t(s.byte()));
    return s.u32();
}

std::vector<uint8_t> descriptor(Size frame, uint32_t raw, uint8_t flags) {
    std::vector<uint8_t> r(16, 0);
    put32(r, 0, raw);
    put16(r, 4, uint32_t(frame.w));
    put16(r, 6, uint32_t(frame.h));
    r[15] = flags;
    return r;
}

// What the camera was scripted to describe.
struct Scripted {
    Size frame;
    uint32_t raw;
};

// Scripts everything one upload may ask of the camera, then the raw data it may read.
Scripted scriptCamera(Script& s, Size picture, Size thumb) {
    const Fakes& f = g_fakes;
    const Size frame = cameraFrame(s, picture);
    const uint32_t raw = rawSize(s, frame);
    const uint8_t flags = s.byte();

    std::vector<uint8_t> d = descriptor(frame, raw, flags);
    f.setReply(0x83, d.data(), 16);
    f.setReply(0x8F, d.data(), 16);
    std::vector<uint8_t> td = descriptor({thumb.w + 4, thumb.h + 4}, raw, flags);
    f.setReply(0x84, (s.rare(128) ? d : td).data(), 16);

    // Image information: counts and the picture's frame as the camera reports it.
    std::vector<uint8_t> info(16, 0);
    put16(info, 0, s.byte() % 6);
    put16(info, 2, s.byte() % 6);
    put16(info, 4, !s.rare(56) ? uint32_t(picture.w + 4) : s.u16());
    put16(info, 6, !s.rare(56) ? uint32_t(picture.h + 4) : s.u16());
    put32(info, 8, raw);
    info[12] = !s.rare(56) ? uint8_t(thumb.w + 4) : s.byte();
    info[13] = !s.rare(56) ? uint8_t(thumb.h + 4) : s.byte();
    put16(info, 14, s.u16());
    f.setReply(0x86, info.data(), 16);

    // Image location (addressed block uploads).
    std::vector<uint8_t> location(16, 0);
    put32(location, 0, s.u32());
    put32(location, 4, !s.rare(56) ? raw : s.u32());
    put16(location, 8, uint32_t(frame.w));
    put16(location, 10, uint32_t(frame.h));
    f.setReply(0x90, location.data(), 16);

    std::vector<uint8_t> state(8, 0);
    state[1] = 0; // never busy: the settle wait would sleep
    put16(state, 2, s.byte() % 8);
    put16(state, 4, s.byte() % 8);
    f.setReply(0x8D, state.data(), 8);

    if (s.rare(64)) {
        uint8_t lastError[2] = {s.byte(), s.byte()};
        f.queueReply(0x80, lastError, 2);
    }

    // Raw data: the claimed size (capped), cut short now and then.
    uint32_t length = raw > 700u * 500 ? 700u * 500 : raw;
    if (s.rare(48))
        length = uint32_t(uint64_t{length} * s.byte() / 255);
    std::vector<uint8_t> data(length);
    const uint8_t seed = s.byte();
    for (uint32_t i = 0; i < length; ++i)
        data[i] = uint8_t(seed + i * 13 + (i >> 8));
    f.queueData(data.data(), length);
    if (s.rare(24))
        f.setReadLimit(1 + s.u16());

    // Failures of single calls, counted from now.
    static constexpr const char* kCti[] = {"CtiDataRead", "CtiCommand", "CtiHandleLockThread",
                                           "CtiTaskWaitComplete"};
    static constexpr const char* kKerc[] = {"KERC_Colour", "KERC_BunchedToBayer",
                                            "KERC_SetParameter"};
    static constexpr uint32_t kStatus[] = {0x1003, 0x1004, 7, 0x41, 0x11, 0x3003, 0x55};
    while (s.rare(40)) {
        const uint8_t which = s.byte();
        const uint32_t status = kStatus[s.byte() % 7];
        const uint32_t nth = 1 + s.byte() % 6;
        if (which & 1)
            f.kercFailNth(kKerc[(which >> 1) % 3], nth, status);
        else
            f.ctiFailNth(kCti[(which >> 1) % 4], nth, status);
    }
    if (s.rare(16))
        f.failRequest(uint8_t(0x80 + s.byte() % 0x11), 0x66, 1 + s.byte() % 3);
    return {frame, raw};
}

// Exactly the bytes a raw upload may write for a descriptor of w x h: the (widened) frame of
// one of the four formats, nothing for any other size.
size_t rawFrameBytes(int32_t w, int32_t h) {
    if ((w == 356 && h == 292) || (w == 644 && h == 484))
        return size_t(w) * size_t(h);
    if ((w == 178 && h == 146) || (w == 180 && h == 148) || (w == 322 && h == 242) ||
        (w == 324 && h == 244))
        return size_t(w + 2) * size_t(h + 2);
    return 0;
}

void checkTransport(bool blockInProgress) {
    if (g_fakes.lockBalance() != (blockInProgress ? 1 : 0)) {
        std::fprintf(stderr, "lock balance %d\n", g_fakes.lockBalance());
        std::abort();
    }
    if (g_fakes.malformed() != 0) {
        std::fprintf(stderr, "malformed command record\n");
        std::abort();
    }
}

struct ImageDeleter {
    void operator()(CpiImage* image) const {
        if (image)
            CpiFreeImage(image);
    }
};
using ImagePtr = std::unique_ptr<CpiImage, ImageDeleter>;

// A block upload driven to its end: next blocks, now and then a cancel.
void blockUpload(Script& s, CpiConnection* c, uint32_t index, Size picture) {
    ImagePtr image(CpiCreateImage(picture.w, picture.h));
    const uint32_t blockSize = s.rare(128) ? 1 + s.u16() : 1 + s.u32() % (1u << 20);
    uint32_t done = 0;
    CpiImageDescriptor d;
    uint32_t status = CpiReadFirstImageBlock(c, index, image.get(), blockSize, &done, &d);
    for (int block = 0; status == 6 && block < 400; ++block) {
        checkTransport(true);
        if (s.rare(4)) {
            CpiCancelImageBlockUpload(c);
            status = 0;
            break;
        }
        status = CpiReadNextImageBlock(c, !s.rare(56) ? &done : nullptr);
    }
    if (status == 6)
        CpiCancelImageBlockUpload(c);
}

void runOperation(Script& s, CpiConnection* c) {
    const uint8_t op = s.byte() % 9;
    const Size picture = pictureSize(s);
    const Size thumb = !s.rare(56) ? Size{80, 64} : Size{1 + s.byte() % 100, 1 + s.byte() % 80};
    const Scripted camera = scriptCamera(s, picture, thumb);
    const uint32_t index = !s.rare(36) ? s.byte() : s.u32();
    CpiImageDescriptor d;

    switch (op) {
    case 0: {
        ImagePtr image(CpiCreateImage(picture.w, picture.h));
        CpiUploadImage(c, index, image.get(), s.rare(128) ? &d : nullptr);
        break;
    }
    case 1: {
        const Size region = {1 + s.byte() % 64, 1 + s.byte() % 64};
        ImagePtr image(CpiCreateImage(region.w, region.h));
        const uint32_t x = !s.rare(16) ? s.u16() % 720u : s.u32();
        const uint32_t y = !s.rare(16) ? s.u16() % 520u : s.u32();
        CpiUploadImageROI(c, index, image.get(), &d, x, y);
        break;
    }
    case 2: {
        ImagePtr image(CpiCreateImage(thumb.w, thumb.h));
        CpiUploadThumbnail(c, index, image.get(), &d);
        break;
    }
    case 3: {
        // Exactly the frame the scripted descriptor allows, or a single byte the library must
        // leave alone.
        const size_t bytes = rawFrameBytes(camera.frame.w, camera.frame.h);
        std::vector<uint8_t> buffer(bytes ? bytes : 1, 0xA5);
        const uint32_t status = CpiUploadRawImage(c, index, buffer.data(), &d);
        if (bytes == 0 && (status == 0 || buffer[0] != 0xA5)) {
            std::fprintf(stderr, "raw upload of a frame of no format\n");
            std::abort();
        }
        break;
    }
    case 4:
        blockUpload(s, c, index, picture);
        break;
    case 5: {
        const uint32_t length = s.byte() % 64;
        std::vector<uint8_t> buffer(length ? length : 1);
        CpiBulkUpload(c, s.u32(), length, buffer.data(), 0);
        break;
    }
    case 6:
        CpiGetImageHeader(c, index, &d);
        break;
    case 7: {
        uint8_t flags = 0;
        CpiGetImageFlags(c, index, &flags);
        break;
    }
    default: {
        const uint32_t length = s.byte() % 10;
        std::vector<uint8_t> buffer(length ? length : 1, 0xA5);
        uint16_t headers = 0, images = 0;
        const uint32_t status = CpiUploadImageFlags(c, buffer.data(), length, &headers, &images);
        if (status == 3 && buffer[0] != 0xA5) {
            std::fprintf(stderr, "flags written into a short buffer\n");
            std::abort();
        }
        break;
    }
    }
    checkTransport(false);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    setenv("KERRIS_MODULE_PATH", KERRIS_FUZZ_FAKES, 1);
    setenv("KERRIS_MODULE_PATH_ONLY", "1", 1);
    char folder[] = "/tmp/kerris-fuzz-registry-XXXXXX";
    if (mkdtemp(folder))
        setenv("KERRIS_REGISTRY_DIR", folder, 1);
    const std::string fakes = KERRIS_FUZZ_FAKES;
    void* transport = dlopen((fakes + "/libkerrisu.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    void* colour = dlopen((fakes + "/libkercol.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!transport || !colour) {
        std::fprintf(stderr, "cannot load the fakes from %s: %s\n", fakes.c_str(), dlerror());
        std::abort();
    }
    Fakes& f = g_fakes;
    bind(f.ctiReset, transport, "FakeCti_Reset");
    bind(f.setReply, transport, "FakeCti_SetReply");
    bind(f.queueReply, transport, "FakeCti_QueueReply");
    bind(f.queueData, transport, "FakeCti_QueueData");
    bind(f.setReadLimit, transport, "FakeCti_SetReadLimit");
    bind(f.ctiFailNth, transport, "FakeCti_FailNthCall");
    bind(f.failRequest, transport, "FakeCti_FailRequest");
    bind(f.lockBalance, transport, "FakeCti_LockBalance");
    bind(f.malformed, transport, "FakeCti_MalformedRecords");
    bind(f.kercReset, colour, "FakeKerc_Reset");
    bind(f.kercFailNth, colour, "FakeKerc_FailNthCall");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Script s(data, size);
    g_fakes.ctiReset();
    g_fakes.kercReset();

    // Camera generation and capabilities. An older camera with capability bit 0 would pause
    // two seconds at open; only extended cameras get it (and so the addressed block upload).
    const uint8_t kind = s.byte();
    const bool extended = kind & 1;
    std::vector<uint8_t> info(16, 0);
    put32(info, 0, extended ? 0x00610000u + (kind & 0xF0) * 0x1000000u : 0x00600000u);
    info[6] = uint8_t((extended && (kind & 2) ? 0x01 : 0) | (kind & 4 ? 0x08 : 0));
    g_fakes.setReply(0x85, info.data(), 16);

    CpiConnection* c = nullptr;
    if (CpiCameraOpen(0x2000, 0, &c, nullptr) != 0) {
        if (c)
            CpiCameraClose(c);
        return 0;
    }
    CpiSetNoOfRetrys(c, s.byte() % 4);
    for (int op = 0; op < 4 && !s.empty(); ++op)
        runOperation(s, c);
    if (CpiCameraClose(c) != 0)
        std::abort();
    return 0;
}
