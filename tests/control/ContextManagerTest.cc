#include "control/ContextManager.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "control/MessageEnvelope.h"

namespace streammanager {
namespace {

// Records what the ContextManager sends; every other operation is unused here.
class RecordingSessionManager : public ISessionManager2 {
  public:
    HRESULT QueryInterface(const QXGUID&, void**) override { return E_NOINTERFACE; }
    uint32_t AddRef() override { return 1; }
    uint32_t Release() override { return 1; }
    uint16_t CreateSession(const char*, uint32_t, uint32_t, const SessionParams*) override {
        return 0;
    }
    SessionEventRecord* FetchEvent(uint16_t) override { return nullptr; }
    void ReleaseEvent(uint16_t, SessionEventRecord*) override {}
    HRESULT Send(uint16_t session, const char* data, uint32_t length) override {
        sent.emplace_back(session, std::string(data, length));
        return S_OK;
    }
    HRESULT CloseSession(uint16_t) override { return S_OK; }

    std::vector<std::pair<uint16_t, std::string>> sent;
};

class Dispatch : public ::testing::Test {
  protected:
    Dispatch() { manager.Attach(nullptr, &session, nullptr, nullptr, 5000); }

    int32_t Deliver(const std::string& text, uint16_t sessionId = 7) {
        TiXmlElement cmd("cmd");
        uint16_t command = 0;
        if (!ParseCommand(&cmd, text.c_str(), static_cast<uint32_t>(text.size())) ||
            !GetCommandId(&cmd, &command)) {
            return -1;
        }
        return manager.OnMessage(command, &cmd, sessionId);
    }

    RecordingSessionManager session;
    ContextManager manager;
};

TEST_F(Dispatch, KeepAliveIsAnsweredOnItsSession) {
    Deliver("<cmd id=\"4105\"/>", 9);
    ASSERT_EQ(1u, session.sent.size());
    EXPECT_EQ(9, session.sent[0].first);
    EXPECT_EQ("<cmd id=\"4361\" />", session.sent[0].second);
}

TEST_F(Dispatch, OnlyTheLowSixteenBitsOfTheIdCount) {
    Deliver("<cmd id=\"69641\"/>");  // 4105 + 65536
    ASSERT_EQ(1u, session.sent.size());
    EXPECT_EQ("<cmd id=\"4361\" />", session.sent[0].second);
}

TEST_F(Dispatch, UnhandledNumbersAnswerNothing) {
    for (const char* text : {"<cmd id=\"4097\"/>", "<cmd id=\"4353\"/>", "<cmd id=\"0\"/>",
                             "<cmd id=\"5000\"/>", "<cmd id=\"4104\"/>", "<cmd id=\"x\"/>"}) {
        EXPECT_EQ(0, Deliver(text)) << text;
    }
    EXPECT_TRUE(session.sent.empty());
}

TEST_F(Dispatch, SessionZeroRunsTheHandlerButSendsNothing) {
    Deliver("<cmd id=\"4105\"/>", 0);
    EXPECT_TRUE(session.sent.empty());
}

TEST(DispatchWithoutSession, DoesNothing) {
    ContextManager manager;
    TiXmlElement cmd("cmd");
    EXPECT_EQ(0, manager.OnMessage(4105, &cmd, 1));
    EXPECT_EQ(0, manager.SendResponse(1, &cmd));
}

}  // namespace
}  // namespace streammanager
