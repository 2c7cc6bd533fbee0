// The version rule and the handler slots.
#include <gtest/gtest.h>

#include "engine/archive.h"
#include "engine/events.h"
#include "engine_fixture.h"

namespace {

class FormatTest : public EngineTest {};

TEST_F(FormatTest, VersionRule) {
    struct {
        int needed;
        int accepted;
    } const cases[] = {
        {0x00, 1}, {0x10, 1}, {0x12, 1}, {0x2F, 1}, {0x30, 1}, {0x31, 1},
        {0x32, 0}, {0x3F, 0}, {0x40, 0}, {0x41, 0}, {0xF0, 0}, {0xFF, 0},
    };
    for (const auto& c : cases)
        EXPECT_EQ(VersionAccepted(c.needed), c.accepted) << std::hex << c.needed;
    EXPECT_EQ(ENGINE_VERSION, 0x31);
}

// The signatures are assembled at run time; they must come out as the format's bytes,
// and each call must give the same bytes.
TEST_F(FormatTest, Signatures) {
    struct {
        const char* what;
        const uint8_t* (*get)();
        uint8_t expected[SIGNATURE_SIZE];
    } const cases[] = {
        {"entry header", EntrySignature, {0x67, 0x57, 0x04, 0x01}},
        {"archive header", ArchiveSignature, {0x67, 0x57, 0x04, 0x02}},
    };
    for (const auto& c : cases) {
        const uint8_t* first = c.get();
        ASSERT_NE(first, nullptr) << c.what;
        EXPECT_EQ(Bytes(first, first + SIGNATURE_SIZE), Bytes(c.expected, c.expected + SIGNATURE_SIZE))
            << c.what;
        EXPECT_EQ(c.get(), first) << c.what;
    }
}

int Handler(EntryDescriptor*, int32_t, int32_t) { return 0; }
int Other(EntryDescriptor*, int32_t, int32_t) { return 0; }

TEST_F(FormatTest, HandlerSlots) {
    EXPECT_EQ(SetEventHandler(102, Handler), ERR_BAD_ARGUMENT);
    EXPECT_EQ(SetEventHandler(99, Handler), ERR_BAD_ARGUMENT);
    EXPECT_EQ(SetEventHandler(0, Handler), ERR_BAD_ARGUMENT);
    EXPECT_EQ(GetEventHandler(EVENT_SLOT_MAIN), nullptr);
    EXPECT_EQ(GetEventHandler(EVENT_SLOT_SECOND), nullptr);
    EXPECT_EQ(EventHandlerRegistered(), 0);

    EXPECT_EQ(SetEventHandler(EVENT_SLOT_SECOND, Handler), 0);
    EXPECT_EQ(EventHandlerRegistered(), 0); // only the main slot receives events
    EXPECT_EQ(SetEventHandler(EVENT_SLOT_MAIN, Other), 0);
    EXPECT_EQ(EventHandlerRegistered(), 1);
    EXPECT_EQ(SetEventHandler(102, Handler), ERR_BAD_ARGUMENT); // changes nothing
    EXPECT_EQ(GetEventHandler(EVENT_SLOT_MAIN), Other);
    EXPECT_EQ(GetEventHandler(EVENT_SLOT_SECOND), Handler);

    EXPECT_EQ(SetEventHandler(EVENT_SLOT_MAIN, nullptr), 0);
    EXPECT_EQ(EventHandlerRegistered(), 0);
    EXPECT_EQ(GetEventHandler(EVENT_SLOT_SECOND), Handler);
}

} // namespace
