// A context's input table: handles from 100 (a refused booking takes none), the answer for a
// stream already booked, booking through the output, and a context whose inputs are stopped.
#include "media/Context.h"

#include <gtest/gtest.h>

#include "base/ResultCodes.h"
#include "tests/fakes/ChannelPort.h"
#include "tests/fakes/FakeFramework.h"

namespace streammanager {
namespace {

// Stand-ins for the framework objects: the context only checks that they are given.
sctest::FakeFramework g_framework;
int g_sessionManager = 0;

class ContextTest : public ::testing::Test {
  protected:
    void SetUp() override {
        const int32_t port = sctest::ChannelPort(0);
        ASSERT_EQ(
            0, context.Init(10001, &g_framework, &g_sessionManager, nullptr, port, WaveFormat()));
    }
    // The result and the handle given.
    std::pair<uint16_t, int32_t> Create(uint32_t user, uint8_t type, uint8_t mediaId) {
        InputStreamKey key{user, 0, type, mediaId};
        int32_t handle = 0;
        const uint16_t result = context.CreateInput(&key, &handle);
        return {result, handle};
    }
    Context context;
};

TEST_F(ContextTest, HandlesCountFromOneHundredAndAStreamBookedAgainGivesItsHandle) {
    using Created = std::pair<uint16_t, int32_t>;
    EXPECT_EQ(Created(0, 100), Create(1, 1, 240));
    EXPECT_EQ(Created(0, 101), Create(1, 2, 0));
    EXPECT_EQ(Created(kResultStreamBooked, 100), Create(1, 1, 240));
    EXPECT_EQ(kMediaAudio, context.GetInputMediaType(100));  // the key as given
    EXPECT_EQ(0, context.BookInput(100));
    EXPECT_EQ(0, context.UnBookInput(100));
    EXPECT_EQ(0, context.RemoveInput(100));
    EXPECT_EQ(nullptr, context.FindInput(100));
    EXPECT_EQ(Created(0, 102), Create(1, 1, 240));  // free again, under a new handle
    EXPECT_EQ(kResultContextInitFailed, context.CreateInput(nullptr, nullptr));

    EXPECT_EQ(kResultNoSuchInput, context.RemoveInput(555));
    EXPECT_EQ(E_FAIL, context.BookInput(555));
    EXPECT_EQ(E_FAIL, context.UnBookInput(555));
    EXPECT_EQ(0, context.GetInputMediaType(555));
}

TEST_F(ContextTest, AfterStopAllInputsNothingCanBook) {
    ASSERT_EQ(0, Create(1, 1, 0).first);
    context.StopAllInputs();
    EXPECT_EQ(nullptr, context.FindInput(100));
    EXPECT_EQ(std::make_pair(uint16_t{kResultContextInitFailed}, -1), Create(1, 1, 0));
}

}  // namespace
}  // namespace streammanager
