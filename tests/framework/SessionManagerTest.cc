// The session manager against a real loopback host end: connection events, framing, limits,
// closing, and back-pressure.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <vector>

#include "framework/RefCountedObject.h"
#include "framework/SessionManager.h"
#include "interfaces/SessionFrame.h"
#include "tests/framework/HostPeer.h"
#include "tests/framework/SessionEventLog.h"

namespace framework_test {
namespace {

using framework::RefPtr;
using framework::SessionLimits;
using framework::SessionManager;

struct Fetched {
    uint32_t type;
    std::string data;
    bool zeroTerminated;
};

// Everything queued for the session, oldest first; each record released after copying.
std::vector<Fetched> FetchAll(SessionManager* manager, uint16_t session) {
    std::vector<Fetched> fetched;
    while (SessionEventRecord* record = manager->FetchEvent(session)) {
        EXPECT_EQ(record->session, session);
        fetched.push_back({record->type, std::string(record->data, record->length),
                           record->data != nullptr && record->data[record->length] == '\0'});
        manager->ReleaseEvent(session, record);
    }
    return fetched;
}

std::vector<uint32_t> TypesOf(const std::vector<Fetched>& fetched) {
    std::vector<uint32_t> types;
    types.reserve(fetched.size());
    for (const Fetched& record : fetched) {
        types.push_back(record.type);
    }
    return types;
}

std::string LengthPrefix(uint32_t length) {
    unsigned char header[4];
    EncodeFrameLength(length, header);
    return std::string(reinterpret_cast<char*>(header), 4);
}

class SessionManagerTest : public testing::Test {
  protected:
    explicit SessionManagerTest(const SessionLimits& limits = SessionLimits())
        : manager_(new SessionManager(limits)) {}

    // Creates a session to the peer and waits until both ends see the connection.
    uint16_t Connect() {
        const SessionParams params = log_.Params();
        const uint16_t session = manager_->CreateSession(peer_.Address().c_str(), 0, 0, &params);
        EXPECT_NE(session, 0);
        EXPECT_TRUE(peer_.Accept());
        EXPECT_TRUE(log_.WaitForCount(1));
        return session;
    }

    HostPeer peer_;
    SessionEventLog log_;
    RefPtr<SessionManager> manager_;
};

TEST_F(SessionManagerTest, DeliversEachFrameInOrderAsAZeroTerminatedRecord) {
    const uint16_t session = Connect();
    const std::string binary("\0a\0b\xff", 5);
    ASSERT_TRUE(peer_.SendFrame("<hello/>"));
    ASSERT_TRUE(peer_.SendFrame(""));
    ASSERT_TRUE(peer_.SendFrame(binary));
    peer_.Close();
    ASSERT_TRUE(log_.WaitForCount(5));

    const std::vector<Fetched> fetched = FetchAll(manager_.get(), session);
    EXPECT_EQ(TypesOf(fetched), (std::vector<uint32_t>{kSessionCreated, kSessionData, kSessionData,
                                                       kSessionData, kSessionClosed}));
    ASSERT_EQ(fetched.size(), 5u);
    EXPECT_EQ(fetched[1].data, "<hello/>");
    EXPECT_EQ(fetched[2].data, "");
    EXPECT_EQ(fetched[3].data, binary);
    for (const Fetched& record : fetched) {
        EXPECT_TRUE(record.zeroTerminated);
    }
    EXPECT_EQ(log_.Types(), TypesOf(fetched));
    EXPECT_EQ(manager_->CloseSession(session), S_OK);
}

TEST_F(SessionManagerTest, TakesTheLargestPayloadAndClosesOnALongerPrefix) {
    const uint16_t session = Connect();
    std::string largest(kMaxSessionPayload, '\0');
    for (size_t i = 0; i < largest.size(); ++i) {
        largest[i] = static_cast<char>(i * 7 + i / 4096);
    }
    ASSERT_TRUE(peer_.SendFrame(largest));
    ASSERT_TRUE(peer_.SendRaw(LengthPrefix(kMaxSessionPayload + 1)));
    ASSERT_TRUE(log_.WaitForCount(3));

    const std::vector<Fetched> fetched = FetchAll(manager_.get(), session);
    EXPECT_EQ(TypesOf(fetched),
              (std::vector<uint32_t>{kSessionCreated, kSessionData, kSessionClosed}));
    ASSERT_EQ(fetched.size(), 3u);
    EXPECT_TRUE(fetched[1].data == largest);
    EXPECT_TRUE(fetched[1].zeroTerminated);
    EXPECT_TRUE(peer_.SeesClose());  // the manager dropped the connection
    EXPECT_EQ(manager_->Send(session, "x", 1), E_FAIL);
}

TEST_F(SessionManagerTest, FrameCutShortByAPeerCloseGivesClosedAndNoData) {
    const uint16_t session = Connect();
    ASSERT_TRUE(peer_.SendRaw(LengthPrefix(10) + "abc"));
    peer_.Close();
    ASSERT_TRUE(log_.WaitForCount(2));
    EXPECT_EQ(TypesOf(FetchAll(manager_.get(), session)),
              (std::vector<uint32_t>{kSessionCreated, kSessionClosed}));
}

TEST_F(SessionManagerTest, ConnectionThatCannotBeMadeReportsCreateFailed) {
    const std::vector<std::string> addresses = {
        "TCP:127.0.0.1:" + std::to_string(UnusedPort()),
        "TCP:127.0.0.1:70000",  // accepted as text; the connection cannot be made
    };
    for (const std::string& address : addresses) {
        SessionEventLog log;
        const SessionParams params = log.Params();
        const uint16_t session = manager_->CreateSession(address.c_str(), 0, 0, &params);
        ASSERT_NE(session, 0) << address;
        ASSERT_TRUE(log.WaitForCount(1)) << address;
        EXPECT_EQ(TypesOf(FetchAll(manager_.get(), session)),
                  std::vector<uint32_t>{kSessionCreateFailed})
            << address;
        EXPECT_EQ(manager_->Send(session, "x", 1), E_FAIL);
        EXPECT_EQ(manager_->CloseSession(session), S_OK);
    }
}

TEST_F(SessionManagerTest, RefusesMalformedAddressesAndMissingCallbacks) {
    const SessionParams params = log_.Params();
    const char* malformed[] = {
        nullptr,
        "",
        "TCP:",
        "UDP:127.0.0.1:5000",
        "TCP:127.0.0.1",
        "TCP:127.0.0.1:",
        "TCP:127.0.0.1:5x",
        "TCP:127.0.0.1:-1",
        "TCP:256.0.0.1:1",
        "TCP:1.2.3:5000",
        "TCP:1.2.3.4.5:1",
        "TCP:localhost:5000",
        "TCP::5000",
        "TCP:1..2.3:5000",
    };
    for (const char* address : malformed) {
        EXPECT_EQ(manager_->CreateSession(address, 0, 0, &params), 0)
            << (address != nullptr ? address : "(null)");
    }
    SessionParams noCallback = params;
    noCallback.callback = nullptr;
    EXPECT_EQ(manager_->CreateSession(peer_.Address().c_str(), 0, 0, nullptr), 0);
    EXPECT_EQ(manager_->CreateSession(peer_.Address().c_str(), 0, 0, &noCallback), 0);
    EXPECT_EQ(log_.Count(), 0u);
}

TEST_F(SessionManagerTest, SendWritesLengthPrefixedFrames) {
    const uint16_t session = Connect();
    const std::string large(5000, 'L');  // past the single-write size
    EXPECT_EQ(manager_->Send(session, "<ok/>", 5), S_OK);
    EXPECT_EQ(manager_->Send(session, "", 0), S_OK);
    EXPECT_EQ(manager_->Send(session, large.data(), static_cast<uint32_t>(large.size())), S_OK);
    EXPECT_EQ(manager_->Send(session, large.data(), kMaxSessionPayload + 1), E_FAIL);
    EXPECT_EQ(manager_->Send(static_cast<uint16_t>(session + 1), "x", 1), E_FAIL);

    std::string frame;
    ASSERT_TRUE(peer_.ReadFrame(&frame));
    EXPECT_EQ(frame, "<ok/>");
    ASSERT_TRUE(peer_.ReadFrame(&frame));
    EXPECT_EQ(frame, "");
    ASSERT_TRUE(peer_.ReadFrame(&frame));
    EXPECT_EQ(frame, large);

    EXPECT_EQ(manager_->CloseSession(session), S_OK);
    EXPECT_EQ(manager_->Send(session, "x", 1), E_FAIL);
}

TEST_F(SessionManagerTest, CloseDuringABlockedReadEndsTheSessionWithoutFurtherCallbacks) {
    const uint16_t session = Connect();
    ASSERT_EQ(manager_->CloseSession(session), S_OK);  // the I/O thread was blocked reading
    const size_t notified = log_.Count();
    peer_.SendFrame("too late");
    EXPECT_TRUE(peer_.SeesClose());
    EXPECT_EQ(log_.Count(), notified);
    // A close the program asked for is not reported back to it.
    EXPECT_EQ(log_.Types(), std::vector<uint32_t>{kSessionCreated});
    EXPECT_EQ(manager_->FetchEvent(session), nullptr);
    EXPECT_TRUE(QXSucceeded(manager_->CloseSession(session)));  // again: nothing left to do
}

TEST_F(SessionManagerTest, CloseRightAfterCreateCancelsTheConnectQuietly) {
    const SessionParams params = log_.Params();
    for (int i = 0; i < 20; ++i) {
        const uint16_t session = manager_->CreateSession(peer_.Address().c_str(), 0, 0, &params);
        ASSERT_NE(session, 0);
        ASSERT_EQ(manager_->CloseSession(session), S_OK);
        EXPECT_EQ(manager_->FetchEvent(session), nullptr);
    }
    // Some connects may have completed first; none reports a failure or a close.
    for (const uint32_t type : log_.Types()) {
        EXPECT_EQ(type, kSessionCreated);
    }
}

TEST_F(SessionManagerTest, CallbackMayCloseItsOwnSession) {
    log_.hook = [this](uint32_t type, uint16_t session) {
        if (type == kSessionData) {
            manager_->CloseSession(session);
        }
    };
    const uint16_t session = Connect();
    ASSERT_TRUE(peer_.SendFrame("first"));
    ASSERT_TRUE(peer_.SendFrame("second"));
    ASSERT_TRUE(log_.WaitForCount(2));
    EXPECT_TRUE(peer_.SeesClose());

    // Making another session joins the thread of the one closed from its own callback.
    log_.hook = nullptr;
    const SessionParams params = log_.Params();
    const uint16_t next = manager_->CreateSession("TCP:127.0.0.1:70000", 0, 0, &params);
    EXPECT_NE(next, session);
    ASSERT_TRUE(log_.WaitForCount(3));
    EXPECT_EQ(log_.Types(),
              (std::vector<uint32_t>{kSessionCreated, kSessionData, kSessionCreateFailed}));
}

TEST_F(SessionManagerTest, ReleasingTheManagerClosesItsSessions) {
    Connect();
    manager_.reset();
    EXPECT_TRUE(peer_.SeesClose());
}

// Back-pressure: the host sends far more than the limits allow to be queued while the program
// fetches slowly. The queue never holds more than the limits (plus the record being added),
// and every message arrives once, in order.
struct BackPressureCase {
    const char* name;
    SessionLimits limits;
    size_t payloadBytes;
    size_t mostQueued;
};

class SessionBackPressureTest : public SessionManagerTest,
                                public testing::WithParamInterface<BackPressureCase> {
  protected:
    SessionBackPressureTest() : SessionManagerTest(GetParam().limits) {}
};

TEST_P(SessionBackPressureTest, KeepsTheQueueBoundedAndLosesNothing) {
    constexpr int kMessages = 200;
    std::atomic<size_t> taken{0};
    std::atomic<size_t> mostQueued{0};
    std::atomic<size_t> notified{0};
    log_.hook = [&](uint32_t, uint16_t) {
        const size_t queued = ++notified - taken.load();
        size_t most = mostQueued.load();
        while (queued > most && !mostQueued.compare_exchange_weak(most, queued)) {
        }
    };
    const uint16_t session = Connect();
    for (int i = 0; i < kMessages; ++i) {
        std::string payload = std::to_string(i);
        payload.resize(GetParam().payloadBytes, '.');
        ASSERT_TRUE(peer_.SendFrame(payload));
    }
    ASSERT_TRUE(log_.WaitForCount(GetParam().mostQueued));

    for (int i = -1; i < kMessages; ++i) {
        ASSERT_TRUE(log_.WaitForCount(taken.load() + 1));
        ++taken;  // counted before the record leaves the queue, so `queued` never overstates
        SessionEventRecord* record = manager_->FetchEvent(session);
        ASSERT_NE(record, nullptr);
        if (i >= 0) {
            ASSERT_EQ(record->type, kSessionData);
            EXPECT_EQ(std::string(record->data).substr(0, std::to_string(i).size()),
                      std::to_string(i));
        }
        manager_->ReleaseEvent(session, record);
    }
    EXPECT_LE(mostQueued.load(), GetParam().mostQueued);
}

INSTANTIATE_TEST_SUITE_P(
    Limits, SessionBackPressureTest,
    testing::Values(BackPressureCase{"RecordCount", SessionLimits{8, size_t{1} << 20}, 16, 8},
                    // Queueing stops once 5 records of 1000 bytes (5000 >= 4096) are held.
                    BackPressureCase{"Bytes", SessionLimits{1000, 4096}, 1000, 6}),
    [](const testing::TestParamInfo<BackPressureCase>& info) { return info.param.name; });

class SessionStalledTest : public SessionManagerTest {
  protected:
    SessionStalledTest() : SessionManagerTest(SessionLimits{4, size_t{1} << 20}) {}
};

TEST_F(SessionStalledTest, CloseWakesAThreadWaitingForRoomAndFreesTheQueue) {
    const uint16_t session = Connect();
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(peer_.SendFrame("message"));
    }
    ASSERT_TRUE(log_.WaitForCount(4));  // full: the I/O thread now waits for room
    ASSERT_EQ(manager_->CloseSession(session), S_OK);
    EXPECT_EQ(manager_->FetchEvent(session), nullptr);
    EXPECT_TRUE(peer_.SeesClose());
}

}  // namespace
}  // namespace framework_test
