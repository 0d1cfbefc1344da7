// Source groups and their sources through the slots: the group in use, names, sources of each
// type (a video source answers IVideoSource and has a preview collection), and the misuse the
// program or a page might commit, each refused with a description and nothing changed.
#include "tests/encoder/objects_support.h"

#include "platform/encoder/encoder_interfaces.h"

#include <gtest/gtest.h>

namespace kerris::encoder::testing {
namespace {

class Groups : public ComponentTest {
protected:
    void SetUp() override {
        ComponentTest::SetUp();
        encoder = create(CLSID_Encoder, IEncoder::kIid);
        ASSERT_TRUE(encoder);
        groups = encoder.out(slot::kSourceGroupCollection);
        ASSERT_TRUE(groups);
    }
    SlotObject add(const std::string& name) {
        Text n = text(name);
        return groups.out(slot::kGroupAdd, n.get());
    }
    int32_t count(const SlotObject& object, int slotNumber) {
        int32_t n = -1;
        EXPECT_EQ(object(slotNumber, &n), com::S_OK);
        return n;
    }
    int32_t sources(const SlotObject& group, int32_t type) {
        int32_t n = -1;
        EXPECT_EQ(group(slot::kSourceCount, type, &n), com::S_OK);
        return n;
    }
    std::string activeName() {
        SlotObject group = groups.out(slot::kActiveGroup);
        if (!group)
            return "(none: " + takeErrorDescription() + ")";
        com::BSTR name = nullptr;
        EXPECT_EQ(group(slot::kGroupName, &name), com::S_OK);
        return takeText(name);
    }
    SlotObject encoder, groups;
};

TEST_F(Groups, TheGroupAddedLastIsInUseUntilAnotherIsChosen) {
    EXPECT_EQ(activeName().rfind("(none: ", 0), 0u) << "a new encoder has none";
    EXPECT_NE(activeName(), "(none: )") << "and says so";
    SlotObject first = add("First");
    SlotObject second = add("Second");
    ASSERT_TRUE(first && second);
    EXPECT_EQ(count(groups, slot::kGroupCount), 2);
    EXPECT_EQ(activeName(), "Second");
    EXPECT_EQ(groups(slot::kPutActiveGroup, first.get()), com::S_OK);
    EXPECT_EQ(activeName(), "First");
    // Removing the group before the one in use keeps that one in use.
    SlotObject third = add("Third");
    EXPECT_EQ(groups(slot::kPutActiveGroup, second.get()), com::S_OK);
    EXPECT_EQ(groups(slot::kGroupRemove, 0), com::S_OK);
    EXPECT_EQ(activeName(), "Second");
    EXPECT_EQ(groups(slot::kGroupRemove, 0), com::S_OK);
    EXPECT_EQ(activeName().rfind("(none: ", 0), 0u) << "the group in use went away";
    EXPECT_EQ(count(groups, slot::kGroupCount), 1);
    SlotObject item = groups.out(slot::kGroupItem, 0);
    com::BSTR name = nullptr;
    ASSERT_EQ(item(slot::kGroupName, &name), com::S_OK);
    EXPECT_EQ(takeText(name), "Third");
}

TEST_F(Groups, NamesMustBeGivenAndDifferent) {
    ASSERT_TRUE(add("Kerris Camera"));
    for (const char* name : {"", "Kerris Camera", "KERRIS camera"}) {
        EXPECT_FALSE(add(name)) << name;
        EXPECT_NE(takeErrorDescription(), "") << name;
    }
    void* out = reinterpret_cast<void*>(0xdeadbeef);
    EXPECT_EQ(groups(slot::kGroupAdd, static_cast<com::BSTR>(nullptr), &out), com::E_INVALIDARG);
    EXPECT_EQ(out, reinterpret_cast<void*>(0xdeadbeef));
    EXPECT_EQ(count(groups, slot::kGroupCount), 1);
    EXPECT_EQ(activeName(), "Kerris Camera");
}

TEST_F(Groups, IndexesOutsideTheCollectionAndForeignGroupsAreRefused) {
    SlotObject group = add("G");
    for (int32_t index : {-1, 1, INT32_MAX}) {
        EXPECT_FALSE(groups.out(slot::kGroupItem, index)) << index;
        EXPECT_NE(takeErrorDescription(), "") << index;
        EXPECT_EQ(groups(slot::kGroupRemove, index), com::E_INVALIDARG) << index;
        EXPECT_NE(takeErrorDescription(), "") << index;
    }
    SlotObject other = create(CLSID_Encoder, IEncoder::kIid);
    Text name = text("G");
    SlotObject foreign = other.out(slot::kSourceGroupCollection).out(slot::kGroupAdd, name.get());
    ASSERT_TRUE(foreign);
    EXPECT_EQ(groups(slot::kPutActiveGroup, foreign.get()), com::E_INVALIDARG);
    EXPECT_NE(takeErrorDescription(), "");
    EXPECT_EQ(groups(slot::kPutActiveGroup, static_cast<void*>(nullptr)), com::E_INVALIDARG);
    EXPECT_EQ(activeName(), "G");
}

TEST_F(Groups, AVideoSourceIsAVideoSourceWithAPreviewAndAnAudioSourceIsNot) {
    SlotObject group = add("G");
    SlotObject audio = group.out(slot::kAddSource, kSourceTypeAudio);
    SlotObject video = group.out(slot::kAddSource, kSourceTypeVideo);
    ASSERT_TRUE(audio && video);
    EXPECT_EQ(sources(group, kSourceTypeVideo), 1);
    EXPECT_EQ(sources(group, kSourceTypeAudio), 1);

    // The program's way to the preview: group slot 10 with type 2, index 0, then slot 19.
    SlotObject same = group.out(slot::kSource, kSourceTypeVideo, 0);
    ASSERT_TRUE(same);
    EXPECT_EQ(same.get(), video.get()) << "the very source, through its IVideoSource table";
    EXPECT_TRUE(same.query(IVideoSource::kIid));
    int32_t type = 0;
    EXPECT_EQ(same(slot::kSourceType, &type), com::S_OK);
    EXPECT_EQ(type, kSourceTypeVideo);
    SlotObject previews = same.out(slot::kPreviewCollection);
    ASSERT_TRUE(previews);
    EXPECT_EQ(count(previews, slot::kPreviewCount), 0);
    EXPECT_EQ(previews(slot::kPreviewRemoveAll), com::S_OK);

    EXPECT_FALSE(audio.query(IVideoSource::kIid));
    EXPECT_TRUE(audio.query(ISource::kIid));
    EXPECT_EQ(audio(slot::kSourceType, &type), com::S_OK);
    EXPECT_EQ(type, kSourceTypeAudio);
}

TEST_F(Groups, SourceTypesAndIndexesOutsideTheGroupAreRefused) {
    SlotObject group = add("G");
    SlotObject video = group.out(slot::kAddSource, kSourceTypeVideo);
    struct Case {
        int32_t type, index;
    };
    for (Case c : {Case{0, 0}, Case{3, 0}, Case{-1, 0}, Case{kSourceTypeVideo, 1},
                   Case{kSourceTypeVideo, -1}, Case{kSourceTypeAudio, 0}}) {
        void* out = reinterpret_cast<void*>(0xdeadbeef);
        EXPECT_EQ(group(slot::kSource, c.type, c.index, &out), com::E_INVALIDARG)
            << c.type << "/" << c.index;
        EXPECT_EQ(out, reinterpret_cast<void*>(0xdeadbeef));
        EXPECT_NE(takeErrorDescription(), "");
        EXPECT_EQ(group(slot::kRemoveSource, c.type, c.index), com::E_INVALIDARG);
        EXPECT_NE(takeErrorDescription(), "");
    }
    EXPECT_FALSE(group.out(slot::kAddSource, 7));
    EXPECT_NE(takeErrorDescription(), "");
    EXPECT_EQ(sources(group, kSourceTypeVideo), 1);
    EXPECT_EQ(group(slot::kRemoveSource, kSourceTypeVideo, 0), com::S_OK);
    EXPECT_EQ(sources(group, kSourceTypeVideo), 0);
}

TEST_F(Groups, AGroupTakesSixteenSourcesOfEachType) {
    SlotObject group = add("G");
    for (int i = 0; i < 16; ++i)
        ASSERT_TRUE(group.out(slot::kAddSource, kSourceTypeAudio)) << i;
    EXPECT_FALSE(group.out(slot::kAddSource, kSourceTypeAudio));
    EXPECT_NE(takeErrorDescription(), "");
    EXPECT_TRUE(group.out(slot::kAddSource, kSourceTypeVideo)) << "the other type has room";
}

TEST_F(Groups, TheBroadcastPortIsKeptPerProtocolWithinItsRange) {
    SlotObject broadcast = encoder.out(slot::kBroadcast);
    ASSERT_TRUE(broadcast);
    int32_t port = -1;
    EXPECT_EQ(broadcast(slot::kGetPort, 1, &port), com::S_OK);
    EXPECT_EQ(port, 0) << "none set";
    EXPECT_EQ(broadcast(slot::kPutPort, 1, 8080), com::S_OK);
    for (auto [protocol, value] : {std::pair{1, 0}, {1, 65536}, {1, -1}, {-1, 80}}) {
        EXPECT_EQ(broadcast(slot::kPutPort, protocol, value), com::E_INVALIDARG);
        EXPECT_NE(takeErrorDescription(), "");
    }
    EXPECT_EQ(broadcast(slot::kPutPort, 2, 65535), com::S_OK);
    EXPECT_EQ(broadcast(slot::kGetPort, 1, &port), com::S_OK);
    EXPECT_EQ(port, 8080);
    EXPECT_EQ(broadcast(slot::kGetPort, 2, &port), com::S_OK);
    EXPECT_EQ(port, 65535);
}

TEST_F(Groups, SlotsWithoutAPlaceForTheirResultFail) {
    SlotObject group = add("G");
    SlotObject statistics = encoder.out(slot::kStatistics);
    struct Case {
        const char* name;
        const SlotObject* object;
        int slotNumber;
    };
    for (Case c :
         {Case{"run state", &encoder, slot::kRunState},
          Case{"group collection", &encoder, slot::kSourceGroupCollection},
          Case{"file", &encoder, slot::kFile}, Case{"group count", &groups, slot::kGroupCount},
          Case{"active group", &groups, slot::kActiveGroup},
          Case{"group name", &group, slot::kGroupName},
          Case{"group profile", &group, slot::kProfile},
          Case{"encoding time", &statistics, slot::kEncodingTime}}) {
        EXPECT_EQ((*c.object)(c.slotNumber, static_cast<void*>(nullptr)), com::E_POINTER) << c.name;
        EXPECT_NE(takeErrorDescription(), "") << c.name;
    }
}

} // namespace
} // namespace kerris::encoder::testing
