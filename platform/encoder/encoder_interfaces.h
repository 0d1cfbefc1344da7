// The interfaces of the media encoder component and its companions (view, profile details
// service, property-page host and pages, system device enumerator), slot by slot. The clip
// mail program, libkerrisenc.so and the test fakes all build on this one header, so the slot
// positions cannot drift apart.
//
// Slots count from IUnknown's QueryInterface (0); declaration order is slot order. A dispatch
// interface has IDispatch's four functions at 3-6. Slots that nobody calls by number are
// placeholders answering E_NOTIMPL. Text arguments are BSTRs; out-parameters are written only
// on success, and an object handed out carries one reference for the caller. A failing call
// sets the thread's error information with a description a user understands.
#pragma once

#include "platform/com/com.h"

namespace kerris::encoder {

using com::BSTR;
using com::GUID;
using com::HRESULT;
using com::HWND;
using com::IDispatch;
using com::IUnknown;
using com::VARIANT;

#define KERRIS_UNUSED_SLOT(n)                                                                      \
    virtual HRESULT unusedSlot##n() {                                                              \
        return com::E_NOTIMPL;                                                                     \
    }

// Source types, as the program passes them.
inline constexpr int32_t kSourceTypeAudio = 1;
inline constexpr int32_t kSourceTypeVideo = 2;

// Run states (encoder slot 35). 2 and 3 mean the encoder must be stopped first.
inline constexpr int32_t kRunStateStarting = 1;
inline constexpr int32_t kRunStateRunning = 2;
inline constexpr int32_t kRunStatePaused = 3;
inline constexpr int32_t kRunStateStopping = 4;
inline constexpr int32_t kRunStateStopped = 5;

// ---- Class identifiers ----------------------------------------------------------------------
// {632B606A-BBC6-11D2-A329-006097C4E476}
inline constexpr GUID CLSID_Encoder = {
    0x632B606A, 0xBBC6, 0x11D2, {0xA3, 0x29, 0x00, 0x60, 0x97, 0xC4, 0xE4, 0x76}};
// {C3043B13-E649-436A-9CE7-8DA8CB0BF7C8}
inline constexpr GUID CLSID_View = {
    0xC3043B13, 0xE649, 0x436A, {0x9C, 0xE7, 0x8D, 0xA8, 0xCB, 0x0B, 0xF7, 0xC8}};
// {A8D3AD02-7508-4004-B2E9-AD33F087F43C}
inline constexpr GUID CLSID_ProfileDetailsService = {
    0xA8D3AD02, 0x7508, 0x4004, {0xB2, 0xE9, 0xAD, 0x33, 0xF0, 0x87, 0xF4, 0x3C}};
// {E297AB5E-40B0-41BD-9E06-E4144084EE5F}
inline constexpr GUID CLSID_PropertyPageHost = {
    0xE297AB5E, 0x40B0, 0x41BD, {0x9E, 0x06, 0xE4, 0x14, 0x40, 0x84, 0xEE, 0x5F}};
// The pages: the main dialog's hidden host gets the first, the configuration dialog the other
// four in this order.
// {DF0AD8E0-F91C-4109-AE46-1EAA5CD8AB08}
inline constexpr GUID CLSID_PageMain = {
    0xDF0AD8E0, 0xF91C, 0x4109, {0xAE, 0x46, 0x1E, 0xAA, 0x5C, 0xD8, 0xAB, 0x08}};
// {247161C5-995C-4097-9FF4-655DC6D12DB5}
inline constexpr GUID CLSID_Page1 = {
    0x247161C5, 0x995C, 0x4097, {0x9F, 0xF4, 0x65, 0x5D, 0xC6, 0xD1, 0x2D, 0xB5}};
// {4178CE3B-11B1-46DD-A36D-BBCD36A5425A}
inline constexpr GUID CLSID_Page2 = {
    0x4178CE3B, 0x11B1, 0x46DD, {0xA3, 0x6D, 0xBB, 0xCD, 0x36, 0xA5, 0x42, 0x5A}};
// {0037AC54-E32B-4ACA-9864-09F869AA82FE}
inline constexpr GUID CLSID_Page3 = {
    0x0037AC54, 0xE32B, 0x4ACA, {0x98, 0x64, 0x09, 0xF8, 0x69, 0xAA, 0x82, 0xFE}};
// {FF8F1D65-AD2B-47F1-9E71-66B7D35E3852}
inline constexpr GUID CLSID_Page4 = {
    0xFF8F1D65, 0xAD2B, 0x47F1, {0x9E, 0x71, 0x66, 0xB7, 0xD3, 0x5E, 0x38, 0x52}};
// System device enumerator {62BE5D10-60EB-11D0-BD3B-00A0C911CE86}
inline constexpr GUID CLSID_SystemDeviceEnum = {
    0x62BE5D10, 0x60EB, 0x11D0, {0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
// Device categories: video input {860BB310-5D01-11D0-BD3B-00A0C911CE86}, audio input
// {33D9A762-90C8-11D0-BD43-00A0C911CE86}.
inline constexpr GUID CLSID_VideoInputDeviceCategory = {
    0x860BB310, 0x5D01, 0x11D0, {0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
inline constexpr GUID CLSID_AudioInputDeviceCategory = {
    0x33D9A762, 0x90C8, 0x11D0, {0xBD, 0x43, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};

// ---- Encoder objects ------------------------------------------------------------------------
// Interfaces marked "(ours)" have identifiers of our own: the program reaches those objects
// through the slots that hand them out and never asks for them by identifier.

class IProfile : public IDispatch { // (ours)
public:
    static constexpr GUID kIid = {
        0x4B455201, 0x0001, 0x4E43, {0x80, 0x00, 0x4B, 0x45, 0x52, 0x52, 0x49, 0x53}};
    virtual HRESULT get_Name(BSTR* name) = 0;               // 7
    virtual HRESULT get_Description(BSTR* description) = 0; // 8
};

class IProfileCollection : public IDispatch { // (ours)
public:
    static constexpr GUID kIid = {
        0x4B455201, 0x0002, 0x4E43, {0x80, 0x00, 0x4B, 0x45, 0x52, 0x52, 0x49, 0x53}};
    KERRIS_UNUSED_SLOT(7)
    virtual HRESULT get_Count(int32_t* count) = 0; // 8
    KERRIS_UNUSED_SLOT(9)
    KERRIS_UNUSED_SLOT(10)
    KERRIS_UNUSED_SLOT(11)
    virtual HRESULT Item(int32_t index, IProfile** profile) = 0; // 12
    virtual HRESULT Refresh() = 0; // 13: once before a profile is read
};

// A view's place in a source's preview collection.
class IPreviewCollection : public IDispatch { // (ours)
public:
    static constexpr GUID kIid = {
        0x4B455201, 0x0003, 0x4E43, {0x80, 0x00, 0x4B, 0x45, 0x52, 0x52, 0x49, 0x53}};
    virtual HRESULT get_Count(int32_t* count) = 0; // 7
    KERRIS_UNUSED_SLOT(8)
    KERRIS_UNUSED_SLOT(9)
    virtual HRESULT Add(IUnknown* view, int32_t* cookie) = 0; // 10
    virtual HRESULT Remove(int32_t cookie) = 0;               // 11
    virtual HRESULT RemoveAll() = 0;                          // 12
};

class ISource : public IDispatch { // (ours)
public:
    static constexpr GUID kIid = {
        0x4B455201, 0x0004, 0x4E43, {0x80, 0x00, 0x4B, 0x45, 0x52, 0x52, 0x49, 0x53}};
    virtual HRESULT get_Type(int32_t* type) = 0;                                   // 7
    virtual HRESULT SetInput(BSTR input, BSTR scheme, BSTR initialisation) = 0;    // 8
    virtual HRESULT GetInput(BSTR* input, BSTR* scheme, BSTR* initialisation) = 0; // 9
};

// {632B6086-BBC6-11D2-A329-006097C4E476}
class IVideoSource : public ISource {
public:
    static constexpr GUID kIid = {
        0x632B6086, 0xBBC6, 0x11D2, {0xA3, 0x29, 0x00, 0x60, 0x97, 0xC4, 0xE4, 0x76}};
    using Parent = ISource;
    KERRIS_UNUSED_SLOT(10)
    KERRIS_UNUSED_SLOT(11)
    KERRIS_UNUSED_SLOT(12)
    KERRIS_UNUSED_SLOT(13)
    KERRIS_UNUSED_SLOT(14)
    KERRIS_UNUSED_SLOT(15)
    KERRIS_UNUSED_SLOT(16)
    KERRIS_UNUSED_SLOT(17)
    KERRIS_UNUSED_SLOT(18)
    virtual HRESULT get_PreviewCollection(IPreviewCollection** collection) = 0; // 19
};

class ISourceGroup : public IDispatch { // (ours)
public:
    static constexpr GUID kIid = {
        0x4B455201, 0x0005, 0x4E43, {0x80, 0x00, 0x4B, 0x45, 0x52, 0x52, 0x49, 0x53}};
    virtual HRESULT get_Name(BSTR* name) = 0;                          // 7
    virtual HRESULT get_SourceCount(int32_t type, int32_t* count) = 0; // 8
    KERRIS_UNUSED_SLOT(9)
    // The source of that type at that index; a video source is handed out as IVideoSource.
    virtual HRESULT get_Source(int32_t type, int32_t index, ISource** source) = 0; // 10
    virtual HRESULT AddSource(int32_t type, ISource** source) = 0;                 // 11
    virtual HRESULT RemoveSource(int32_t type, int32_t index) = 0;                 // 12
    virtual HRESULT get_Profile(IProfile** profile) = 0;                           // 13
    // The profile as a VARIANT of type VT_DISPATCH, by value.
    virtual HRESULT put_Profile(VARIANT profile) = 0; // 14
};

class ISourceGroupCollection : public IDispatch { // (ours)
public:
    static constexpr GUID kIid = {
        0x4B455201, 0x0006, 0x4E43, {0x80, 0x00, 0x4B, 0x45, 0x52, 0x52, 0x49, 0x53}};
    virtual HRESULT get_Count(int32_t* count) = 0;                 // 7
    virtual HRESULT Item(int32_t index, ISourceGroup** group) = 0; // 8
    KERRIS_UNUSED_SLOT(9)
    virtual HRESULT Remove(int32_t index) = 0; // 10
    // Adds a group of that name and makes it the group in use.
    virtual HRESULT Add(BSTR name, ISourceGroup** group) = 0; // 11
    KERRIS_UNUSED_SLOT(12)
    KERRIS_UNUSED_SLOT(13)
    virtual HRESULT get_Active(ISourceGroup** group) = 0; // 14
    virtual HRESULT put_Active(ISourceGroup* group) = 0;  // 15
};

class IBroadcast : public IDispatch { // (ours)
public:
    static constexpr GUID kIid = {
        0x4B455201, 0x0007, 0x4E43, {0x80, 0x00, 0x4B, 0x45, 0x52, 0x52, 0x49, 0x53}};
    virtual HRESULT get_PortNumber(int32_t protocol, int32_t* port) = 0; // 7
    virtual HRESULT put_PortNumber(int32_t protocol, int32_t port) = 0;  // 8
};

class IFile : public IDispatch { // (ours)
public:
    static constexpr GUID kIid = {
        0x4B455201, 0x0008, 0x4E43, {0x80, 0x00, 0x4B, 0x45, 0x52, 0x52, 0x49, 0x53}};
    virtual HRESULT get_LocalFileName(BSTR* path) = 0; // 7
    // The output file; the empty text for none (preview only).
    virtual HRESULT put_LocalFileName(BSTR path) = 0; // 8
};

// {2BE53BA6-B726-11D2-A8EB-006097C4E476}
class IStreamStatistics : public IDispatch {
public:
    static constexpr GUID kIid = {
        0x2BE53BA6, 0xB726, 0x11D2, {0xA8, 0xEB, 0x00, 0x60, 0x97, 0xC4, 0xE4, 0x76}};
    virtual HRESULT get_SampleCount(int64_t* samples) = 0;  // 7: frames (video) or audio packets
    virtual HRESULT get_ByteCount(int64_t* bytes) = 0;      // 8: bytes written for the stream
    virtual HRESULT get_DroppedCount(int64_t* dropped) = 0; // 9: video frames the source lost
};

class IStatistics : public IDispatch { // (ours)
public:
    static constexpr GUID kIid = {
        0x4B455201, 0x0009, 0x4E43, {0x80, 0x00, 0x4B, 0x45, 0x52, 0x52, 0x49, 0x53}};
    // Milliseconds since the start of the file being written.
    virtual HRESULT get_EncodingTime(int64_t* milliseconds) = 0; // 7
    KERRIS_UNUSED_SLOT(8)
    // Statistics of the output stream of that type; query the result for IStreamStatistics.
    virtual HRESULT get_StreamOutputStats(int32_t type, int32_t reserved1, int32_t reserved2,
                                          IUnknown** statistics) = 0; // 9
};

// {632B607F-BBC6-11D2-A329-006097C4E476}
class IEncoder : public IDispatch {
public:
    static constexpr GUID kIid = {
        0x632B607F, 0xBBC6, 0x11D2, {0xA3, 0x29, 0x00, 0x60, 0x97, 0xC4, 0xE4, 0x76}};
    KERRIS_UNUSED_SLOT(7)
    virtual HRESULT Load(BSTR path) = 0; // 8: the settings file
    virtual HRESULT Save(BSTR path) = 0; // 9: written atomically
    virtual HRESULT Start() = 0;         // 10: preview or recording; a start while running succeeds
    virtual HRESULT Stop() = 0;          // 11
    KERRIS_UNUSED_SLOT(12)
    KERRIS_UNUSED_SLOT(13)
    KERRIS_UNUSED_SLOT(14)
    // 1 when a view is first added, 0 after a recording stops, -1 before the preview restarts.
    virtual HRESULT PrepareToEncode(int32_t prepare) = 0; // 15
    KERRIS_UNUSED_SLOT(16)
    KERRIS_UNUSED_SLOT(17)
    KERRIS_UNUSED_SLOT(18)
    KERRIS_UNUSED_SLOT(19)
    KERRIS_UNUSED_SLOT(20)
    KERRIS_UNUSED_SLOT(21)
    KERRIS_UNUSED_SLOT(22)
    KERRIS_UNUSED_SLOT(23)
    KERRIS_UNUSED_SLOT(24)
    KERRIS_UNUSED_SLOT(25)
    virtual HRESULT get_SourceGroupCollection(ISourceGroupCollection** groups) = 0; // 26
    KERRIS_UNUSED_SLOT(27)
    KERRIS_UNUSED_SLOT(28)
    KERRIS_UNUSED_SLOT(29)
    KERRIS_UNUSED_SLOT(30)
    virtual HRESULT get_Broadcast(IBroadcast** broadcast) = 0;                // 31
    virtual HRESULT get_File(IFile** file) = 0;                               // 32
    virtual HRESULT get_Statistics(IStatistics** statistics) = 0;             // 33
    virtual HRESULT get_ProfileCollection(IProfileCollection** profiles) = 0; // 34
    virtual HRESULT get_RunState(int32_t* state) = 0;                         // 35
    // The last error of a run that ended by itself (a device gone), empty when none.
    virtual HRESULT get_ErrorState(BSTR* description) = 0; // 36 (ours)
};

// {BB406AA0-2B2B-11D3-B36B-00C04F6108FF}
class IView : public IUnknown {
public:
    static constexpr GUID kIid = {
        0xBB406AA0, 0x2B2B, 0x11D3, {0xB3, 0x6B, 0x00, 0xC0, 0x4F, 0x61, 0x08, 0xFF}};
    // Binds the view of that cookie to a window: size 4, data = pointer to an HWND.
    virtual HRESULT SetViewProperties(int32_t cookie, uint32_t size, void* data) = 0; // 3
    KERRIS_UNUSED_SLOT(4)
    KERRIS_UNUSED_SLOT(5)
    KERRIS_UNUSED_SLOT(6)
    KERRIS_UNUSED_SLOT(7)
    KERRIS_UNUSED_SLOT(8)
    virtual HRESULT StartView(int32_t cookie) = 0; // 9
    virtual HRESULT StopView(int32_t cookie) = 0;  // 10
};

// {731B9D9E-6CF4-4C37-A6A9-A89B880D36EC}
class IProfileDetailsService : public IDispatch {
public:
    static constexpr GUID kIid = {
        0x731B9D9E, 0x6CF4, 0x4C37, {0xA6, 0xA9, 0xA8, 0x9B, 0x88, 0x0D, 0x36, 0xEC}};
    KERRIS_UNUSED_SLOT(7)
    KERRIS_UNUSED_SLOT(8)
    KERRIS_UNUSED_SLOT(9)
    // A details text of the named profile; it holds "... Video] W x H ...".
    virtual HRESULT GetDetails(BSTR profileName, int32_t reserved, BSTR* details) = 0; // 10
};

// ---- Property-page host ---------------------------------------------------------------------

// Places a control (the host) in a window of the program: the control fills `parent` and
// follows its size. initData: the template's stored initialisation data for the control.
class IControlSite : public IUnknown { // (ours)
public:
    static constexpr GUID kIid = {
        0x4B455201, 0x000A, 0x4E43, {0x80, 0x00, 0x4B, 0x45, 0x52, 0x52, 0x49, 0x53}};
    virtual HRESULT Attach(HWND parent, const uint8_t* initData, uint32_t size) = 0; // 3
    virtual HRESULT Detach() = 0;                                                    // 4
};

// {119338AA-F278-47CC-9F88-500E86510B66}
class IPropertyPageHost : public IDispatch {
public:
    static constexpr GUID kIid = {
        0x119338AA, 0xF278, 0x47CC, {0x9F, 0x88, 0x50, 0x0E, 0x86, 0x51, 0x0B, 0x66}};
    virtual HRESULT AddPage(IUnknown* page) = 0;       // 7
    virtual HRESULT get_PageCount(int32_t* count) = 0; // 8
    KERRIS_UNUSED_SLOT(9)
    virtual HRESULT put_Object(IUnknown* encoder) = 0; // 10: the object the pages edit
    KERRIS_UNUSED_SLOT(11)
    virtual HRESULT Apply() = 0; // 12
    KERRIS_UNUSED_SLOT(13)
    KERRIS_UNUSED_SLOT(14)
    KERRIS_UNUSED_SLOT(15)
    KERRIS_UNUSED_SLOT(16)
    virtual HRESULT get_CurrentPage(int32_t* index) = 0; // 17: -1 when none
    virtual HRESULT put_CurrentPage(int32_t index) = 0;  // 18
    KERRIS_UNUSED_SLOT(19)
    KERRIS_UNUSED_SLOT(20)
    KERRIS_UNUSED_SLOT(21)
    KERRIS_UNUSED_SLOT(22)
    KERRIS_UNUSED_SLOT(23)
    KERRIS_UNUSED_SLOT(24)
    KERRIS_UNUSED_SLOT(25)
    KERRIS_UNUSED_SLOT(26)
    KERRIS_UNUSED_SLOT(27)
    KERRIS_UNUSED_SLOT(28)
    KERRIS_UNUSED_SLOT(29)
    virtual HRESULT ShowHelp(int32_t pageIndex) = 0; // 30
};

// What a page object gives the host (ours): its tab title, its widget, apply, help.
class IEncoderPage : public IUnknown { // (ours)
public:
    static constexpr GUID kIid = {
        0x4B455201, 0x000B, 0x4E43, {0x80, 0x00, 0x4B, 0x45, 0x52, 0x52, 0x49, 0x53}};
    virtual HRESULT get_Title(BSTR* title) = 0; // 3
    // Creates the page's widget as a child of parent, editing `encoder`.
    virtual HRESULT Activate(HWND parent, IUnknown* encoder) = 0; // 4
    virtual HRESULT Deactivate() = 0;                             // 5
    // Writes the page's choices into the encoder; S_OK also when nothing changed.
    virtual HRESULT Apply() = 0; // 6
    // The page's help text (HTML or plain).
    virtual HRESULT get_HelpText(BSTR* text) = 0; // 7
};

// ---- System device enumerator (public COM layout) -------------------------------------------

// {55272A00-42CB-11CE-8135-00AA004BB851}
class IPropertyBag : public IUnknown {
public:
    static constexpr GUID kIid = {
        0x55272A00, 0x42CB, 0x11CE, {0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51}};
    // Reads "FriendlyName" (VT_BSTR) and "DevicePath" (VT_BSTR: the source's "device://" input).
    virtual HRESULT Read(const char16_t* name, VARIANT* value, IUnknown* errorLog) = 0; // 3
    virtual HRESULT Write(const char16_t* name, VARIANT* value) = 0;                    // 4
};

// The moniker of one device, reduced to what binding to its property bag needs.
class IMoniker : public IUnknown {
public:
    static constexpr GUID kIid = {
        0x0000000F, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
    KERRIS_UNUSED_SLOT(3) // GetClassID
    KERRIS_UNUSED_SLOT(4) // IsDirty
    KERRIS_UNUSED_SLOT(5) // Load
    KERRIS_UNUSED_SLOT(6) // Save
    KERRIS_UNUSED_SLOT(7) // GetSizeMax
    KERRIS_UNUSED_SLOT(8) // BindToObject
    virtual HRESULT BindToStorage(IUnknown* bindContext, IMoniker* left, const GUID& iid,
                                  void** object) = 0; // 9
};

class IEnumMoniker : public IUnknown {
public:
    static constexpr GUID kIid = {
        0x00000102, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
    // S_OK when `count` were fetched, S_FALSE when fewer.
    virtual HRESULT Next(uint32_t count, IMoniker** monikers, uint32_t* fetched) = 0; // 3
    virtual HRESULT Skip(uint32_t count) = 0;                                         // 4
    virtual HRESULT Reset() = 0;                                                      // 5
    virtual HRESULT Clone(IEnumMoniker** copy) = 0;                                   // 6
};

// {29840822-5B84-11D0-BD3B-00A0C911CE86}
class ICreateDevEnum : public IUnknown {
public:
    static constexpr GUID kIid = {
        0x29840822, 0x5B84, 0x11D0, {0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
    // S_OK with an enumerator; S_FALSE and a null enumerator when the category has no device.
    virtual HRESULT CreateClassEnumerator(const GUID& category, IEnumMoniker** enumerator,
                                          uint32_t flags) = 0; // 3
};

} // namespace kerris::encoder
