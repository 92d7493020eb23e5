// What StreamCourier answers, ignores and drops among the host's messages.
#include <random>
#include <string>

#include "host/CommandBuilder.h"
#include "tests/integration/StreamCourierTest.h"

namespace sctest {
namespace {

using qxhost::CommandBuilder;

class CommandExchangeTest : public StreamCourierTest {};

TEST_F(CommandExchangeTest, KeepAliveIsAnsweredWithTheCompactAnswerForm) {
    ASSERT_TRUE(StartSession());
    EXPECT_TRUE(KeepAliveAnswered());
    // Only the low 16 bits of the id count: 69641 is 4105 + 65536.
    ASSERT_TRUE(host_.Send(CommandBuilder(69641).Text()));
    EXPECT_TRUE(NextMessageIs(KeepAliveAnswer()));
}

TEST_F(CommandExchangeTest, KeepAlivesSentTogetherAreEachAnsweredInTurn) {
    ASSERT_TRUE(StartSession());
    const std::string keepAlive = CommandBuilder::KeepAlive();
    const std::string frame = FrameLength(static_cast<uint32_t>(keepAlive.size())) + keepAlive;
    ASSERT_TRUE(host_.SendRaw(frame + frame + frame));
    for (int i = 0; i < 3; ++i) {
        EXPECT_TRUE(NextMessageIs(KeepAliveAnswer())) << "answer " << i;
    }
}

// Commands that are never answered: a KeepAlive sent after one gets the only reply.
class UnansweredCommandTest : public StreamCourierTest,
                              public ::testing::WithParamInterface<uint32_t> {};

TEST_P(UnansweredCommandTest, GetsNoAnswer) {
    ASSERT_TRUE(StartSession());
    ASSERT_TRUE(host_.Send(CommandBuilder(GetParam()).Text()));
    EXPECT_TRUE(KeepAliveIsTheOnlyAnswer());
}

INSTANTIATE_TEST_SUITE_P(Commands, UnansweredCommandTest,
                         ::testing::Values(4097u, 4353u, 0u, 5000u,
                                           CommandBuilder::kDestroyContext));

// Payloads that are no command: dropped without a reply, and the session goes on. Several
// of them would read as a KeepAlive to a lax parser; its answer would then come twice.
struct BadPayload {
    const char* name;
    std::string payload;
};

// Names the case only: a megabyte of bytes helps nobody reading a failure.
void PrintTo(const BadPayload& bad, std::ostream* out) {
    *out << bad.name;
}

std::string MegabyteOfNoise() {
    std::mt19937 random(20240601u);
    std::string noise(1048576, '\0');
    for (char& c : noise) {
        c = static_cast<char>(random() & 0xFF);
    }
    return noise;
}

class BadPayloadTest : public StreamCourierTest,
                       public ::testing::WithParamInterface<BadPayload> {};

TEST_P(BadPayloadTest, IsDroppedAndTheSessionGoesOn) {
    ASSERT_TRUE(StartSession());
    ASSERT_TRUE(host_.Send(GetParam().payload));
    EXPECT_TRUE(KeepAliveIsTheOnlyAnswer());
}

INSTANTIATE_TEST_SUITE_P(
    Payloads, BadPayloadTest,
    ::testing::Values(BadPayload{"NotXml", "keep alive, please"},
                      BadPayload{"RootCapitalised", "<Cmd id=\"4105\" />"},
                      BadPayload{"RootCommand", "<command id=\"4105\" />"},
                      BadPayload{"XmlDeclarationFirst",
                                 "<?xml version=\"1.0\" encoding=\"UTF-8\"?><cmd id=\"4105\"/>"},
                      BadPayload{"NoId", "<cmd><ContextID val=\"1\" /></cmd>"},
                      BadPayload{"IdNotANumber", "<cmd id=\"keepalive\" />"},
                      BadPayload{"InvalidUtf8", "\xC3\x28\xA0\xA1\xFF\xFE\x80<cmd id=\"4105\" />"},
                      BadPayload{"InvalidUtf8InAParameter",
                                 "<cmd id=\"5000\"><Name val=\"\xC3\x28\xFF\xFE\" /></cmd>"},
                      BadPayload{"Empty", ""}, BadPayload{"MegabyteOfNoise", MegabyteOfNoise()}),
    [](const ::testing::TestParamInfo<BadPayload>& info) { return info.param.name; });

}  // namespace
}  // namespace sctest
