// The session manager against a real loopback host end: framing and its limits, connecting,
// closing, and back-pressure.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "framework/RefCountedObject.h"
#include "framework/session/SessionManager.h"
#include "interfaces/SessionFrame.h"
#include "platform/TcpSocket.h"

namespace framework_test {
namespace {

using framework::SessionLimits;
using framework::SessionManager;
using platform::IoResult;

constexpr int kWaitMs = 5000;

std::string Frame(const std::string& payload, size_t length) {
    unsigned char header[4];
    EncodeFrameLength(static_cast<uint32_t>(length), header);
    return std::string(reinterpret_cast<char*>(header), 4) + payload;
}
std::string Frame(const std::string& payload) {
    return Frame(payload, payload.size());
}

// The host's end: a loopback listener and the one connection it accepts.
struct HostPeer {
    HostPeer() { listener.Listen("127.0.0.1", 0); }
    std::string Address() const { return "TCP:127.0.0.1:" + std::to_string(listener.Port()); }
    bool Accept() { return (socket = listener.Accept(kWaitMs)).IsOpen(); }
    bool Send(const std::string& bytes) { return socket.SendAll(bytes.data(), bytes.size()); }
    std::string ReadFrame() {
        unsigned char header[4];
        if (socket.ReadExact(header, 4, kWaitMs) != IoResult::kOk) {
            return "(no frame)";
        }
        std::string payload(DecodeFrameLength(header), '\0');
        return payload.empty() ||
                       socket.ReadExact(&payload[0], payload.size(), kWaitMs) == IoResult::kOk
                   ? payload
                   : "(cut frame)";
    }
    bool SeesClose() {
        char byte = 0;
        return socket.ReadExact(&byte, 1, kWaitMs) == IoResult::kClosed;
    }
    // Reads and drops what the program sent until the connection ends.
    bool SeesCloseAfterAll() {
        std::vector<char> chunk(64 * 1024);
        IoResult read = IoResult::kOk;
        while ((read = socket.ReadExact(chunk.data(), chunk.size(), kWaitMs)) == IoResult::kOk) {
        }
        return read == IoResult::kClosed;
    }

    platform::TcpListener listener;
    platform::TcpSocket socket;
};

// Notification types in arrival order; the callback runs on session I/O threads, and `hook`
// runs inside it before the type is counted.
struct EventLog {
    SessionParams Params() {
        SessionParams params{};
        params.callback = [](uint32_t, uint32_t type, uint32_t session, uint32_t, void* context) {
            auto* log = static_cast<EventLog*>(context);
            if (log->hook) {
                log->hook(type, static_cast<uint16_t>(session));
            }
            std::lock_guard<std::mutex> lock(log->mutex);
            log->types.push_back(type);
            log->arrived.notify_all();
        };
        params.context = this;
        return params;
    }
    bool WaitForCount(size_t count) {
        std::unique_lock<std::mutex> lock(mutex);
        return arrived.wait_for(lock, std::chrono::milliseconds(kWaitMs),
                                [&] { return types.size() >= count; });
    }
    std::vector<uint32_t> Types() {
        std::lock_guard<std::mutex> lock(mutex);
        return types;
    }

    std::function<void(uint32_t type, uint16_t session)> hook;
    std::mutex mutex;
    std::condition_variable arrived;
    std::vector<uint32_t> types;
};

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
    uint16_t Connect(const SessionLimits& limits = SessionLimits()) {
        manager_.reset(new SessionManager(limits));
        const SessionParams params = log_.Params();
        const uint16_t session = manager_->CreateSession(peer_.Address().c_str(), 0, 0, &params);
        EXPECT_NE(session, 0);
        EXPECT_TRUE(peer_.Accept());
        EXPECT_TRUE(log_.WaitForCount(1));
        return session;
    }

    // The host sends far more than `limits` allow to be queued while the program fetches
    // slowly: the queue never holds more than `mostQueued`, and every message arrives in order.
    void CheckBackPressure(const SessionLimits& limits, size_t payloadBytes, size_t mostQueued) {
        constexpr int kMessages = 200;
        std::atomic<size_t> taken{0};
        std::atomic<size_t> most{0};
        std::atomic<size_t> notified{0};
        log_.hook = [&](uint32_t, uint16_t) {  // one I/O thread: no other writer of `most`
            most = std::max(most.load(), ++notified - taken.load());
        };
        const uint16_t session = Connect(limits);
        for (int i = 0; i < kMessages; ++i) {
            std::string payload = std::to_string(i);
            payload.resize(payloadBytes, '.');
            ASSERT_TRUE(peer_.Send(Frame(payload)));
        }
        ASSERT_TRUE(log_.WaitForCount(mostQueued));
        for (int i = -1; i < kMessages; ++i) {
            ASSERT_TRUE(log_.WaitForCount(taken.load() + 1));
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
    }

    HostPeer peer_;
    EventLog log_;
    RefPtr<SessionManager> manager_{new SessionManager(SessionLimits())};
};

TEST_F(SessionManagerTest, FramesTravelBothWaysUpToTheLargestPayloadAndALongerPrefixCloses) {
    const uint16_t session = Connect();
    const std::string large(5000, 'L');  // past the single-write size
    EXPECT_EQ(manager_->Send(session, "<ok/>", 5), S_OK);
    EXPECT_EQ(manager_->Send(session, "", 0), S_OK);
    EXPECT_EQ(manager_->Send(session, large.data(), static_cast<uint32_t>(large.size())), S_OK);
    EXPECT_EQ(manager_->Send(session, large.data(), kMaxSessionPayload + 1), E_FAIL);
    EXPECT_EQ(manager_->Send(static_cast<uint16_t>(session + 1), "x", 1), E_FAIL);
    EXPECT_EQ(peer_.ReadFrame(), "<ok/>");
    EXPECT_EQ(peer_.ReadFrame(), "");
    EXPECT_EQ(peer_.ReadFrame(), large);

    const std::string binary("\0a\0b\xff", 5);
    std::string largest(kMaxSessionPayload, '\0');  // 1,048,576 bytes, no two chunks alike
    for (size_t i = 0; i < largest.size(); ++i) {
        largest[i] = static_cast<char>(i * 7 + i / 4096);
    }
    for (const std::string& payload : {std::string("<hello/>"), std::string(), binary, largest}) {
        ASSERT_TRUE(peer_.Send(Frame(payload)));
    }
    ASSERT_TRUE(peer_.Send(Frame("", kMaxSessionPayload + 1)));
    ASSERT_TRUE(log_.WaitForCount(6));

    const auto [types, data] = FetchAll(manager_.get(), session);
    EXPECT_EQ(types, (std::vector<uint32_t>{kSessionCreated, kSessionData, kSessionData,
                                            kSessionData, kSessionData, kSessionClosed}));
    ASSERT_EQ(data.size(), 6u);
    EXPECT_TRUE(data[1] == "<hello/>" && data[2].empty() && data[3] == binary);
    EXPECT_TRUE(data[4] == largest);  // no megabyte in a failure message
    EXPECT_EQ(log_.Types(), types);
    EXPECT_TRUE(peer_.SeesClose());
    EXPECT_EQ(manager_->Send(session, "x", 1), E_FAIL);
}

TEST_F(SessionManagerTest, FrameCutShortByAPeerCloseGivesClosedAndNoData) {
    const uint16_t session = Connect();
    ASSERT_TRUE(peer_.Send(Frame("abc", 10)));
    peer_.socket.Close();
    ASSERT_TRUE(log_.WaitForCount(2));
    EXPECT_EQ(FetchAll(manager_.get(), session).first,
              (std::vector<uint32_t>{kSessionCreated, kSessionClosed}));
}

TEST_F(SessionManagerTest, RefusedConnectReportsCreateFailedAndBadArgumentsMakeNoSession) {
    const SessionParams params = log_.Params();
    for (const char* address :
         {"", "UDP:127.0.0.1:5000", "TCP:127.0.0.1", "TCP:127.0.0.1:5x", "TCP:127.0.0.1:-1",
          "TCP:256.0.0.1:1", "TCP:1.2.3:5000", "TCP:localhost:5000", "TCP:1..2.3:5000"}) {
        EXPECT_EQ(manager_->CreateSession(address, 0, 0, &params), 0) << address;
    }
    SessionParams noCallback = params;
    noCallback.callback = nullptr;
    EXPECT_EQ(manager_->CreateSession(nullptr, 0, 0, &params), 0);
    EXPECT_EQ(manager_->CreateSession(peer_.Address().c_str(), 0, 0, nullptr), 0);
    EXPECT_EQ(manager_->CreateSession(peer_.Address().c_str(), 0, 0, &noCallback), 0);
    EXPECT_TRUE(log_.Types().empty());

    std::string refused;
    {
        platform::TcpListener closedSoon;
        closedSoon.Listen("127.0.0.1", 0);
        refused = "TCP:127.0.0.1:" + std::to_string(closedSoon.Port());
    }
    const uint16_t session = manager_->CreateSession(refused.c_str(), 0, 0, &params);
    ASSERT_NE(session, 0);
    ASSERT_TRUE(log_.WaitForCount(1));
    EXPECT_EQ(FetchAll(manager_.get(), session).first, std::vector<uint32_t>{4098u});
    EXPECT_EQ(manager_->Send(session, "x", 1), E_FAIL);
    EXPECT_EQ(manager_->CloseSession(session), S_OK);
}

// A close the program asked for is not reported back to it.
TEST_F(SessionManagerTest, CloseDuringABlockedReadOrRightAfterCreateCallsNothingBack) {
    const uint16_t session = Connect();
    ASSERT_EQ(manager_->CloseSession(session), S_OK);  // the I/O thread was blocked reading
    peer_.Send(Frame("too late"));
    EXPECT_TRUE(peer_.SeesClose());
    EXPECT_EQ(manager_->FetchEvent(session), nullptr);
    EXPECT_TRUE(QXSucceeded(manager_->CloseSession(session)));
    const SessionParams params = log_.Params();
    for (int i = 0; i < 20; ++i) {  // the connect is cancelled
        const uint16_t next = manager_->CreateSession(peer_.Address().c_str(), 0, 0, &params);
        ASSERT_NE(next, 0);
        ASSERT_EQ(manager_->CloseSession(next), S_OK);
        EXPECT_EQ(manager_->FetchEvent(next), nullptr);
    }
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
    ASSERT_TRUE(peer_.Send(Frame("first")));
    ASSERT_TRUE(peer_.Send(Frame("second")));
    ASSERT_TRUE(log_.WaitForCount(2));
    EXPECT_TRUE(peer_.SeesClose());

    // Making another session joins the thread of the one closed from its own callback.
    log_.hook = nullptr;
    const SessionParams params = log_.Params();
    EXPECT_NE(manager_->CreateSession("TCP:127.0.0.1:70000", 0, 0, &params), session);
    ASSERT_TRUE(log_.WaitForCount(3));
    EXPECT_EQ(log_.Types(),
              (std::vector<uint32_t>{kSessionCreated, kSessionData, kSessionCreateFailed}));
}

TEST_F(SessionManagerTest, ReleasingTheManagerClosesItsSessions) {
    Connect();
    manager_.reset();
    EXPECT_TRUE(peer_.SeesClose());
}

TEST_F(SessionManagerTest, RecordCountLimitBoundsTheQueueAndLosesNothing) {
    CheckBackPressure(SessionLimits{8, size_t{1} << 20}, 16, 8);
}

TEST_F(SessionManagerTest, ByteLimitBoundsTheQueueAndLosesNothing) {
    CheckBackPressure(SessionLimits{1000, 4096}, 1000, 6);  // 5 x 1000 bytes pass 4096
}

TEST_F(SessionManagerTest, CloseWakesAThreadWaitingForRoomAndFreesTheQueue) {
    const uint16_t session = Connect(SessionLimits{4, size_t{1} << 20});
    for (int i = 0; i < 50; ++i) {
        ASSERT_TRUE(peer_.Send(Frame("message")));
    }
    ASSERT_TRUE(log_.WaitForCount(4));  // full: the I/O thread now waits for room
    ASSERT_EQ(manager_->CloseSession(session), S_OK);
    EXPECT_EQ(manager_->FetchEvent(session), nullptr);
    EXPECT_TRUE(peer_.SeesClose());
}

// A host that keeps its socket open but never reads again: once the socket's buffers are full a
// send stalls. It must give up within the send time-out and end the session as a close by the
// host would, so that the program's thread that answers the host is never held for good.
TEST_F(SessionManagerTest, HostThatStopsReadingLosesTheSessionInsteadOfStallingSends) {
    SessionLimits limits;
    limits.sendTimeoutMs = 200;
    const uint16_t session = Connect(limits);
    const std::string answer(256 * 1024, 'a');
    constexpr int kMostAnswers = 4096;  // 1 GiB: far more than any socket buffers hold
    std::mutex mutex;
    std::condition_variable ended;
    bool sendsEnded = false;
    HRESULT last = S_OK;
    std::thread answering([&] {
        HRESULT sent = S_OK;
        for (int i = 0; i < kMostAnswers && sent == S_OK; ++i) {
            sent = manager_->Send(session, answer.data(), static_cast<uint32_t>(answer.size()));
        }
        std::lock_guard<std::mutex> lock(mutex);
        last = sent;
        sendsEnded = true;
        ended.notify_all();
    });
    bool endedInTime = false;
    {
        std::unique_lock<std::mutex> lock(mutex);
        endedInTime = ended.wait_for(lock, std::chrono::seconds(20), [&] { return sendsEnded; });
    }
    if (!endedInTime) {
        peer_.socket.Close();  // unread data makes it a reset, which frees the stalled send
    }
    answering.join();
    ASSERT_TRUE(endedInTime) << "a send to a host that does not read never returned";
    EXPECT_EQ(last, E_FAIL);
    ASSERT_TRUE(log_.WaitForCount(2));
    EXPECT_EQ(FetchAll(manager_.get(), session).first,
              (std::vector<uint32_t>{kSessionCreated, kSessionClosed}));
    EXPECT_EQ(manager_->Send(session, "x", 1), E_FAIL);
    EXPECT_TRUE(peer_.SeesCloseAfterAll());
}

}  // namespace
}  // namespace framework_test
