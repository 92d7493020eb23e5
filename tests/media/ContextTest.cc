#include <gtest/gtest.h>
#include <unistd.h>

#include "base/ResultCodes.h"
#include "media/Context.h"
#include "tests/fakes/MediaTestSinks.h"

namespace streammanager {
namespace {

// Stand-ins for the framework objects: the context only checks that they are given.
int g_framework = 0, g_sessionManager = 0;

int32_t TestPort() {
    return 20000 + static_cast<int32_t>(getpid() % 20000);
}

class ContextTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(0, context.Init(10001, reinterpret_cast<IUnknown*>(&g_framework), &g_sessionManager,
                                  nullptr, TestPort(), WaveFormat()));
    }
    uint16_t Create(uint32_t user, uint8_t type, uint8_t mediaId, int32_t* handle) {
        InputStreamKey key{user, 0, type, mediaId};
        return context.CreateInput(&key, handle);
    }
    Context context;
};

TEST_F(ContextTest, HandlesCountFromOneHundredAndRefusalsGiveTheirNumberBack) {
    int32_t handle = 0;
    EXPECT_EQ(0, Create(1, 1, 0, &handle));
    EXPECT_EQ(100, handle);
    EXPECT_EQ(0, Create(1, 2, 0, &handle));
    EXPECT_EQ(101, handle);
    // The same stream again: 30012 with the handle of the input that has it.
    EXPECT_EQ(kResultStreamBooked, Create(1, 1, 0, &handle));
    EXPECT_EQ(100, handle);
    EXPECT_EQ(0, Create(2, 3, 0, &handle));
    EXPECT_EQ(102, handle);
    EXPECT_EQ(kResultContextInitFailed, context.CreateInput(nullptr, &handle));
}

TEST_F(ContextTest, UnknownInputHandles) {
    EXPECT_EQ(kResultNoSuchInput, context.RemoveInput(555));
    EXPECT_EQ(E_FAIL, context.BookInput(555));
    EXPECT_EQ(E_FAIL, context.UnBookInput(555));
    EXPECT_EQ(0, context.GetInputMediaType(555));
}

TEST_F(ContextTest, BookAndRemoveThroughTheOutput) {
    int32_t handle = 0;
    ASSERT_EQ(0, Create(1, 1, 240, &handle));
    EXPECT_EQ(kMediaAudio, context.GetInputMediaType(handle));  // the key as given
    EXPECT_EQ(0, context.BookInput(handle));
    EXPECT_EQ(0, context.UnBookInput(handle));
    EXPECT_EQ(0, context.RemoveInput(handle));
    EXPECT_EQ(nullptr, context.FindInput(handle));
    // The stream is free again.
    EXPECT_EQ(0, Create(1, 1, 240, &handle));
}

TEST_F(ContextTest, AfterStopAllInputsNothingCanBook) {
    int32_t handle = 0;
    ASSERT_EQ(0, Create(1, 1, 0, &handle));
    context.StopAllInputs();
    EXPECT_EQ(nullptr, context.FindInput(handle));
    EXPECT_EQ(kResultContextInitFailed, Create(1, 1, 0, &handle));
    EXPECT_EQ(-1, handle);
}

TEST(ContextInit, MissingFrameworkObjectsFail) {
    Context context;
    EXPECT_EQ(E_FAIL, context.Init(1, nullptr, &g_sessionManager, nullptr, TestPort(), WaveFormat()));
}

}  // namespace
}  // namespace streammanager
