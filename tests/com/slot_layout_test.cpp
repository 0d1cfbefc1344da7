// The slot numbers callers rely on, read from the compiler's own tables: in the Itanium C++ ABI
// a pointer to a virtual member function holds its table offset in bytes plus one.
#include "platform/com/com_object.h"
#include "platform/encoder/encoder_interfaces.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

using namespace kerris::com;
using namespace kerris::encoder;

// The slot of a virtual member function; -1 when the pointer names no virtual function.
template <class C, class F> long slotOf(F C::*member) {
    struct Raw {
        uintptr_t pointer;
        ptrdiff_t adjustment;
    } raw;
    static_assert(sizeof(member) == sizeof(Raw));
    std::memcpy(&raw, &member, sizeof raw);
    if ((raw.pointer & 1) == 0 || raw.adjustment != 0)
        return -1;
    return long((raw.pointer - 1) / sizeof(void*));
}

struct Slot {
    const char* name;
    long expected;
    long actual;
};

#define SLOT(Interface, function, number)                                                          \
    Slot {                                                                                         \
#Interface "::" #function, number, slotOf(&Interface::function)                            \
    }

const std::vector<Slot> kSlots = {
    SLOT(IUnknown, QueryInterface, 0),
    SLOT(IUnknown, AddRef, 1),
    SLOT(IUnknown, Release, 2),
    SLOT(IDispatch, GetTypeInfoCount, 3),
    SLOT(IDispatch, Invoke, 6),
    SLOT(IErrorInfo, GetGUID, 3),
    SLOT(IErrorInfo, GetSource, 4),
    SLOT(IErrorInfo, GetDescription, 5),
    SLOT(IErrorInfo, GetHelpFile, 6),
    SLOT(IErrorInfo, GetHelpContext, 7),
    SLOT(IClassFactory, CreateInstance, 3),
    SLOT(IClassFactory, LockServer, 4),

    SLOT(IEncoder, Load, 8),
    SLOT(IEncoder, Save, 9),
    SLOT(IEncoder, Start, 10),
    SLOT(IEncoder, Stop, 11),
    SLOT(IEncoder, PrepareToEncode, 15),
    SLOT(IEncoder, get_SourceGroupCollection, 26),
    SLOT(IEncoder, get_Broadcast, 31),
    SLOT(IEncoder, get_File, 32),
    SLOT(IEncoder, get_Statistics, 33),
    SLOT(IEncoder, get_ProfileCollection, 34),
    SLOT(IEncoder, get_RunState, 35),
    SLOT(IEncoder, get_ErrorState, 36),
    SLOT(ISourceGroupCollection, get_Count, 7),
    SLOT(ISourceGroupCollection, Item, 8),
    SLOT(ISourceGroupCollection, Remove, 10),
    SLOT(ISourceGroupCollection, Add, 11),
    SLOT(ISourceGroupCollection, get_Active, 14),
    SLOT(ISourceGroupCollection, put_Active, 15),
    SLOT(ISourceGroup, get_Name, 7),
    SLOT(ISourceGroup, get_SourceCount, 8),
    SLOT(ISourceGroup, get_Source, 10),
    SLOT(ISourceGroup, AddSource, 11),
    SLOT(ISourceGroup, RemoveSource, 12),
    SLOT(ISourceGroup, get_Profile, 13),
    SLOT(ISourceGroup, put_Profile, 14),
    SLOT(ISource, get_Type, 7),
    SLOT(ISource, SetInput, 8),
    SLOT(ISource, GetInput, 9),
    SLOT(IVideoSource, SetInput, 8),
    SLOT(IVideoSource, get_PreviewCollection, 19),
    SLOT(IPreviewCollection, get_Count, 7),
    SLOT(IPreviewCollection, Add, 10),
    SLOT(IPreviewCollection, Remove, 11),
    SLOT(IPreviewCollection, RemoveAll, 12),
    SLOT(IView, SetViewProperties, 3),
    SLOT(IView, StartView, 9),
    SLOT(IView, StopView, 10),
    SLOT(IProfileCollection, get_Count, 8),
    SLOT(IProfileCollection, Item, 12),
    SLOT(IProfileCollection, Refresh, 13),
    SLOT(IProfile, get_Name, 7),
    SLOT(IProfile, get_Description, 8),
    SLOT(IProfileDetailsService, GetDetails, 10),
    SLOT(IBroadcast, get_PortNumber, 7),
    SLOT(IBroadcast, put_PortNumber, 8),
    SLOT(IFile, get_LocalFileName, 7),
    SLOT(IFile, put_LocalFileName, 8),
    SLOT(IStatistics, get_EncodingTime, 7),
    SLOT(IStatistics, get_StreamOutputStats, 9),
    SLOT(IStreamStatistics, get_SampleCount, 7),
    SLOT(IStreamStatistics, get_ByteCount, 8),
    SLOT(IStreamStatistics, get_DroppedCount, 9),
    SLOT(IControlSite, Attach, 3),
    SLOT(IControlSite, Detach, 4),
    SLOT(IPropertyPageHost, AddPage, 7),
    SLOT(IPropertyPageHost, get_PageCount, 8),
    SLOT(IPropertyPageHost, put_Object, 10),
    SLOT(IPropertyPageHost, Apply, 12),
    SLOT(IPropertyPageHost, get_CurrentPage, 17),
    SLOT(IPropertyPageHost, put_CurrentPage, 18),
    SLOT(IPropertyPageHost, ShowHelp, 30),
    SLOT(IEncoderPage, get_Title, 3),
    SLOT(IEncoderPage, Activate, 4),
    SLOT(IEncoderPage, Deactivate, 5),
    SLOT(IEncoderPage, Apply, 6),
    SLOT(IEncoderPage, get_HelpText, 7),
    SLOT(ICreateDevEnum, CreateClassEnumerator, 3),
    SLOT(IEnumMoniker, Next, 3),
    SLOT(IEnumMoniker, Skip, 4),
    SLOT(IEnumMoniker, Reset, 5),
    SLOT(IEnumMoniker, Clone, 6),
    SLOT(IMoniker, BindToStorage, 9),
    SLOT(IPropertyBag, Read, 3),
    SLOT(IPropertyBag, Write, 4),
};

TEST(SlotLayout, EveryNamedSlotIsWhereCallersLookForIt) {
    for (const auto& slot : kSlots)
        EXPECT_EQ(slot.actual, slot.expected) << slot.name;
}

// The identifiers the program asks for by number must be the ones it names.
TEST(SlotLayout, InterfaceIdentifiersAreTheWellKnownOnes) {
    EXPECT_EQ(guidText(IEncoder::kIid), "{632B607F-BBC6-11D2-A329-006097C4E476}");
    EXPECT_EQ(guidText(IView::kIid), "{BB406AA0-2B2B-11D3-B36B-00C04F6108FF}");
    EXPECT_EQ(guidText(IProfileDetailsService::kIid), "{731B9D9E-6CF4-4C37-A6A9-A89B880D36EC}");
    EXPECT_EQ(guidText(IStreamStatistics::kIid), "{2BE53BA6-B726-11D2-A8EB-006097C4E476}");
    EXPECT_EQ(guidText(IVideoSource::kIid), "{632B6086-BBC6-11D2-A329-006097C4E476}");
    EXPECT_EQ(guidText(IPropertyPageHost::kIid), "{119338AA-F278-47CC-9F88-500E86510B66}");
    EXPECT_EQ(guidText(IPropertyBag::kIid), "{55272A00-42CB-11CE-8135-00AA004BB851}");
    EXPECT_EQ(guidText(ICreateDevEnum::kIid), "{29840822-5B84-11D0-BD3B-00A0C911CE86}");
    EXPECT_EQ(guidText(IErrorInfo::kIid), "{1CF2B120-547D-101B-8E65-08002B2BF9B9}");
}

} // namespace
