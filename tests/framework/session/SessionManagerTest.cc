// The session manager against the host simulator on loopback: framing both ways and its limits,
// how the host's bytes end a session, connecting, closing, and back-pressure.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "framework/RefCountedObject.h"
#include "framework/session/SessionManager.h"
#include "host/HostSimulator.h"
#include "interfaces/SessionFrame.h"
#include "tests/fakes/Journal.h"

namespace framework_test {
namespace {

using framework::SessionLimits;
using framework::SessionManager;
using qxhost::ReceiveStatus;

constexpr int kWaitMs = 5000;

std::string Prefix(uint32_t length) {
    unsigned char header[4];
    EncodeFrameLength(length, header);
    return std::string(reinterpret_cast<char*>(header), 4);
}

// Everything queued for the session, oldest first: the types and the data.
std::pair<std::vector<uint32_t>, std::vector<std::string>> FetchAll(SessionManager* manager,
                                                                    uint16_t session) {
    std::pair<std::vector<uint32_t>, std::vector<std::string>> fetched;
    while (SessionEventRecord* record = manager->FetchEvent(session)) {
        EXPECT_TRUE(record->session == session && record->data[record->length] == '\0');
        fetched.first.push_back(record->type);
        fetched.second.emplace_back(record->data, record->length);
        manager->ReleaseEvent(session, record);
    }
    return fetched;
}

class SessionManagerTest : public testing::Test {
  protected:
    void SetUp() override { ASSERT_TRUE(host_.Listen()); }
    std::string Address() const { return "TCP:127.0.0.1:" + std::to_string(host_.Port()); }
    // Notes the notification types in arrival order, on the session I/O threads; `hook_` runs
    // there before the type is noted.
    SessionParams Params() {
        SessionParams params{};
        params.callback = [](uint32_t, uint32_t type, uint32_t session, uint32_t, void* context) {
            auto* test = static_cast<SessionManagerTest*>(context);
            if (test->hook_) {
                test->hook_(type, static_cast<uint16_t>(session));
            }
            test->types_.Note([type](std::vector<uint32_t>& types) { types.push_back(type); });
        };
        params.context = this;
        return params;
    }
    bool WaitForCount(size_t count) {
        return types_.WaitFor(
            [count](const std::vector<uint32_t>& types) { return types.size() >= count; });
    }
    // A new manager (the last one closed) with one session the host accepted.
    uint16_t Connect(const SessionLimits& limits = SessionLimits()) {
        manager_.reset(new SessionManager(limits));
        types_.Note([](std::vector<uint32_t>& types) { types.clear(); });
        const SessionParams params = Params();
        const uint16_t session = manager_->CreateSession(Address().c_str(), 0, 0, &params);
        EXPECT_NE(session, 0);
        EXPECT_TRUE(host_.AcceptSession(kWaitMs));
        EXPECT_TRUE(WaitForCount(1));
        return session;
    }
    bool HostSeesClose() { return host_.Receive(kWaitMs).status == ReceiveStatus::kClosed; }

    // The host sends far more than `limits` allow to be queued while the program fetches
    // slowly: the queue never holds more than `mostQueued`, and every message arrives in order.
    void CheckBackPressure(const SessionLimits& limits, size_t payloadBytes, size_t mostQueued) {
        constexpr int kMessages = 200;
        std::atomic<size_t> taken{0}, most{0}, notified{0};
        hook_ = [&](uint32_t, uint16_t) {  // one I/O thread: no other writer of `most`
            most = std::max(most.load(), ++notified - taken.load());
        };
        const uint16_t session = Connect(limits);
        for (int i = 0; i < kMessages; ++i) {
            std::string payload = std::to_string(i);
            payload.resize(payloadBytes, '.');
            ASSERT_TRUE(host_.Send(payload));
        }
        ASSERT_TRUE(WaitForCount(mostQueued));
        for (int i = -1; i < kMessages; ++i) {
            ASSERT_TRUE(WaitForCount(taken.load() + 1));
            ++taken;  // before the record leaves the queue, so `queued` never overstates
            SessionEventRecord* record = manager_->FetchEvent(session);
            ASSERT_NE(record, nullptr);
            if (i >= 0) {
                ASSERT_EQ(record->type, kSessionData);
                EXPECT_EQ(std::string(record->data).substr(0, std::to_string(i).size()),
                          std::to_string(i));
            }
            manager_->ReleaseEvent(session, record);
        }
        EXPECT_LE(most.load(), mostQueued);
        hook_ = nullptr;
    }

    qxhost::HostSimulator host_;
    std::function<void(uint32_t type, uint16_t session)> hook_;
    fakes::Journal<std::vector<uint32_t>> types_;
    RefPtr<SessionManager> manager_{new SessionManager(SessionLimits())};
};

TEST_F(SessionManagerTest, SendsFramesToTheHostAndRefusesOnesOverTheLimitOrForNoSession) {
    const uint16_t session = Connect();
    EXPECT_EQ(host_.Receive(0).status, ReceiveStatus::kTimeout);
    const std::string large(5000, 'L');  // past the single-write size
    EXPECT_EQ(manager_->Send(session, "<ok/>", 5), S_OK);
    EXPECT_EQ(manager_->Send(session, "", 0), S_OK);
    EXPECT_EQ(manager_->Send(session, large.data(), static_cast<uint32_t>(large.size())), S_OK);
    EXPECT_EQ(manager_->Send(session, large.data(), kMaxSessionPayload + 1), E_FAIL);
    EXPECT_EQ(manager_->Send(static_cast<uint16_t>(session + 1), "x", 1), E_FAIL);
    for (const std::string& expected : {std::string("<ok/>"), std::string(), large}) {
        const qxhost::Received got = host_.Receive(kWaitMs);
        EXPECT_TRUE(got.status == ReceiveStatus::kMessage && got.payload == expected)
            << expected.size() << " bytes";
    }
}

// Each whole frame up to the largest payload arrives once, then one close. A length over the
// limit ends the session at once, without waiting for a payload; a frame cut short by the host's
// close gives nothing.
TEST_F(SessionManagerTest, WholeFramesArriveThenTheSessionClosesWhereTheHostsBytesEnd) {
    const std::string keepAlive = "<cmd id=\"4105\" />", binary("\0a\0b\xff", 5);
    std::string largest(kMaxSessionPayload, '\0');  // 1,048,576 bytes, no two chunks alike
    for (size_t i = 0; i < largest.size(); ++i) {
        largest[i] = static_cast<char>(i * 7 + i / 4096);
    }
    const struct {
        const char* name;
        std::string bytes;
        bool hostCloses;
        std::vector<std::string> payloads;
    } rows[] = {
        // The first length spelled out: 258, little-endian.
        {"whole frames, then a close",
         std::string("\x02\x01\x00\x00", 4) + std::string(258, 'h') + Prefix(0) + Prefix(5) +
             binary + Prefix(kMaxSessionPayload) + largest,
         true,
         {std::string(258, 'h'), "", binary, largest}},
        {"an empty frame, then one cut short", Prefix(0) + Prefix(40) + "<cmd", true, {""}},
        {"a length cut short", Prefix(17) + keepAlive + "\x01", true, {keepAlive}},
        {"the largest frame cut short", Prefix(kMaxSessionPayload) + keepAlive, true, {}},
        {"a length over the limit", Prefix(kMaxSessionPayload + 1) + keepAlive, false, {}},
        {"a length of all ones", Prefix(0xFFFFFFFFu) + keepAlive, false, {}},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.name);
        const uint16_t session = Connect();
        ASSERT_TRUE(host_.SendRaw(row.bytes));
        if (row.hostCloses) {
            host_.CloseSession();
        }
        ASSERT_TRUE(WaitForCount(row.payloads.size() + 2));
        const auto [types, data] = FetchAll(manager_.get(), session);
        std::vector<uint32_t> expected(row.payloads.size() + 2, kSessionData);
        expected.front() = kSessionCreated;
        expected.back() = kSessionClosed;
        EXPECT_EQ(types, expected);
        EXPECT_EQ(types_.Read(), types);
        EXPECT_TRUE(std::vector<std::string>(data.begin() + 1, data.end() - 1) == row.payloads);
        if (!row.hostCloses) {
            EXPECT_TRUE(HostSeesClose());
            EXPECT_EQ(manager_->Send(session, "x", 1), E_FAIL);
        }
    }
}

TEST_F(SessionManagerTest, RefusedConnectReportsCreateFailedAndBadArgumentsMakeNoSession) {
    const SessionParams params = Params();
    for (const char* address :
         {"", "UDP:127.0.0.1:5000", "TCP:127.0.0.1", "TCP:127.0.0.1:5x", "TCP:127.0.0.1:-1",
          "TCP:256.0.0.1:1", "TCP:1.2.3:5000", "TCP:localhost:5000", "TCP:1..2.3:5000"}) {
        EXPECT_EQ(manager_->CreateSession(address, 0, 0, &params), 0) << address;
    }
    SessionParams noCallback = params;
    noCallback.callback = nullptr;
    EXPECT_EQ(manager_->CreateSession(nullptr, 0, 0, &params), 0);
    EXPECT_EQ(manager_->CreateSession(Address().c_str(), 0, 0, nullptr), 0);
    EXPECT_EQ(manager_->CreateSession(Address().c_str(), 0, 0, &noCallback), 0);
    EXPECT_TRUE(types_.Read().empty());

    auto gone = std::make_unique<qxhost::HostSimulator>();  // a port no longer listened on
    ASSERT_TRUE(gone->Listen());
    const std::string refused = "TCP:127.0.0.1:" + std::to_string(gone->Port());
    gone.reset();
    const uint16_t session = manager_->CreateSession(refused.c_str(), 0, 0, &params);
    ASSERT_NE(session, 0);
    ASSERT_TRUE(WaitForCount(1));
    EXPECT_EQ(FetchAll(manager_.get(), session).first, std::vector<uint32_t>{4098u});
    EXPECT_EQ(manager_->Send(session, "x", 1), E_FAIL);
    EXPECT_EQ(manager_->CloseSession(session), S_OK);
}

// A close the program asked for (or the manager's release) is not reported back to it.
TEST_F(SessionManagerTest, CloseDuringABlockedReadRightAfterCreateOrByReleaseCallsNothingBack) {
    Connect();
    manager_.reset();  // closes its sessions
    EXPECT_TRUE(HostSeesClose());
    const uint16_t session = Connect();
    ASSERT_EQ(manager_->CloseSession(session), S_OK);  // the I/O thread was blocked reading
    host_.Send("too late");
    EXPECT_TRUE(HostSeesClose());
    EXPECT_EQ(manager_->FetchEvent(session), nullptr);
    EXPECT_TRUE(QXSucceeded(manager_->CloseSession(session)));
    const SessionParams params = Params();
    for (int i = 0; i < 20; ++i) {  // the connect is cancelled
        const uint16_t next = manager_->CreateSession(Address().c_str(), 0, 0, &params);
        ASSERT_NE(next, 0);
        ASSERT_EQ(manager_->CloseSession(next), S_OK);
        EXPECT_EQ(manager_->FetchEvent(next), nullptr);
    }
    for (const uint32_t type : types_.Read()) {
        EXPECT_EQ(type, kSessionCreated);
    }
}

TEST_F(SessionManagerTest, CallbackMayCloseItsOwnSession) {
    hook_ = [this](uint32_t type, uint16_t session) {
        if (type == kSessionData) {
            manager_->CloseSession(session);
        }
    };
    const uint16_t session = Connect();
    ASSERT_TRUE(host_.Send("first"));
    ASSERT_TRUE(host_.Send("second"));
    ASSERT_TRUE(WaitForCount(2));
    EXPECT_TRUE(HostSeesClose());

    // Making another session joins the thread of the one closed from its own callback.
    hook_ = nullptr;
    const SessionParams params = Params();
    EXPECT_NE(manager_->CreateSession("TCP:127.0.0.1:70000", 0, 0, &params), session);
    ASSERT_TRUE(WaitForCount(3));
    EXPECT_EQ(types_.Read(),
              (std::vector<uint32_t>{kSessionCreated, kSessionData, kSessionCreateFailed}));
}

TEST_F(SessionManagerTest, LimitsBoundTheQueueLosingNothingAndCloseWakesAThreadWaitingForRoom) {
    CheckBackPressure(SessionLimits{8, size_t{1} << 20}, 16, 8);
    CheckBackPressure(SessionLimits{1000, 4096}, 1000, 6);  // 5 x 1000 bytes pass 4096
    const uint16_t session = Connect(SessionLimits{4, size_t{1} << 20});
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(host_.Send("message"));
    }
    ASSERT_TRUE(WaitForCount(4));  // full: the I/O thread now waits for room
    ASSERT_EQ(manager_->CloseSession(session), S_OK);
    EXPECT_EQ(manager_->FetchEvent(session), nullptr);
    EXPECT_TRUE(HostSeesClose());
}

// A host that keeps its socket open but never reads again: once the socket's buffers are full a
// send stalls. It must give up within the send time-out (the program's: 5 s) and end the
// session as a close by the host would, so that the program's thread that answers the host is
// never held for good.
TEST_F(SessionManagerTest, HostThatStopsReadingLosesTheSessionInsteadOfStallingSends) {
    const uint16_t session = Connect();
    const std::string answer(256 * 1024, 'a');
    auto answering = std::async(std::launch::async, [&] {
        HRESULT sent = S_OK;
        for (int i = 0; i < 4096 && sent == S_OK; ++i) {  // 1 GiB: more than any buffers hold
            sent = manager_->Send(session, answer.data(), static_cast<uint32_t>(answer.size()));
        }
        return sent;
    });
    const bool endedInTime =
        answering.wait_for(std::chrono::seconds(20)) == std::future_status::ready;
    if (!endedInTime) {
        host_.CloseSession();  // unread data makes it a reset, which frees the stalled send
    }
    ASSERT_TRUE(endedInTime) << "a send to a host that does not read never returned";
    EXPECT_EQ(answering.get(), E_FAIL);
    ASSERT_TRUE(WaitForCount(2));
    EXPECT_EQ(FetchAll(manager_.get(), session).first,
              (std::vector<uint32_t>{kSessionCreated, kSessionClosed}));
    EXPECT_EQ(manager_->Send(session, "x", 1), E_FAIL);
    // The host reads what was sent: whole answers, then the close (the frame cut is none).
    qxhost::Received got;
    while ((got = host_.Receive(kWaitMs)).status == ReceiveStatus::kMessage) {
        ASSERT_TRUE(got.payload == answer);
    }
    EXPECT_EQ(got.status, ReceiveStatus::kClosed);
    EXPECT_TRUE(got.payload.empty());
}

}  // namespace
}  // namespace framework_test
