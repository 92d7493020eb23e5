// The platform layer: the semaphore and the event, the named objects the host and the program
// share, and outgoing connections by name (with a name service of the test's own) and through a
// SOCKS4 proxy, which a lookup or a proxy that hangs must not hold up once Abort comes.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include "platform/Event.h"
#include "platform/FileSystem.h"
#include "platform/NameResolver.h"
#include "platform/NamedSemaphore.h"
#include "platform/NamedSharedMemory.h"
#include "platform/Semaphore.h"
#include "platform/TcpConnector.h"
#include "platform/TcpSocket.h"
#include "tests/fakes/Journal.h"

namespace {

std::string UniqueName(const char* base) {
    return std::string("/") + base + std::to_string(getpid());
}

TEST(Semaphore, RespectsItsMaximumAndAReleaseWakesAWaiter) {
    platform::Semaphore semaphore(0, 2);
    bool taken = false;
    std::thread waiter([&]() { taken = semaphore.WaitFor(60000); });
    EXPECT_TRUE(semaphore.Release(1));
    waiter.join();
    EXPECT_TRUE(taken);
    EXPECT_TRUE(semaphore.Release(2));
    EXPECT_FALSE(semaphore.Release(1));
    EXPECT_TRUE(semaphore.WaitFor(0) && semaphore.WaitFor(0));
    EXPECT_FALSE(semaphore.WaitFor(0));
}

TEST(Event, WakesAWaiterAndStaysSetUntilReset) {
    platform::Event event;
    EXPECT_FALSE(event.WaitFor(0));
    std::thread setter([&]() { event.Set(); });
    EXPECT_TRUE(event.WaitFor(60000));
    setter.join();
    EXPECT_TRUE(event.WaitFor(0));
    event.Reset();
    EXPECT_FALSE(event.IsSet());
}

TEST(NamedSharedMemory, SecondOpenOfTheSameSizeSharesTheBytesAndTheCreatorUnlinks) {
    const std::string name = UniqueName("ScTestMem");
    const std::string files[] = {"/dev/shm" + name, "/dev/shm/sem." + name.substr(1) + "Mutex"};
    {
        platform::NamedSharedMemory creator, other, otherSize;
        ASSERT_TRUE(creator.Open(name, 4096) && creator.Created());
        ASSERT_TRUE(other.Open(name, 4096) && !other.Created());
        std::memcpy(creator.Data(), "hello", 6);
        EXPECT_STREQ("hello", reinterpret_cast<const char*>(other.Data()));
        EXPECT_FALSE(otherSize.Open(name, 8192) || otherSize.IsOpen());
        EXPECT_FALSE(otherSize.Open(name, 0));
        for (const std::string& file : files) {
            EXPECT_TRUE(platform::FileExists(file)) << file;
        }
    }
    for (const std::string& file : files) {
        EXPECT_FALSE(platform::FileExists(file)) << file;
    }
}

TEST(NamedSemaphore, CountsAcrossHandlesAndTheCreatorUnlinks) {
    const std::string name = UniqueName("ScTestSem");
    platform::NamedSemaphore a, b;
    ASSERT_TRUE(a.Open(name, 0) && a.Created());
    ASSERT_TRUE(b.Open(name, 0) && !b.Created());
    EXPECT_FALSE(b.WaitFor(1));
    ASSERT_TRUE(a.Release(2));
    EXPECT_TRUE(b.WaitFor(0) && b.WaitFor(0));
    EXPECT_FALSE(b.WaitFor(0));
    a.Close();
    EXPECT_FALSE(platform::FileExists("/dev/shm/sem." + name.substr(1)));
}

constexpr int kWaitMs = 5000;

// What the name service of the test's own was asked for.
struct Lookups {
    bool hanging = false, released = false;
};

// Connect on another thread; a connect that does not return in time is aborted.
int ConnectWithin(platform::TcpConnector* connector, const std::string& host, uint16_t port) {
    auto connecting =
        std::async(std::launch::async, [=] { return connector->Connect(host, port, kWaitMs, 0); });
    if (connecting.wait_for(std::chrono::milliseconds(kWaitMs)) != std::future_status::ready) {
        connector->Abort();
    }
    return connecting.get();
}

TEST(TcpConnector, AbortCutsShortANameLookupThatHangsWhileOtherNamesResolve) {
    // "hangs.test" does not answer until released (for a minute at most); "loopback.test" is
    // 127.0.0.1; other names are unknown.
    fakes::Journal<Lookups> lookups;
    platform::NameResolver resolver([&lookups](const std::string& host, uint32_t* address) {
        if (host == "loopback.test") {
            *address = htonl(INADDR_LOOPBACK);
            return 0;
        }
        if (host == "hangs.test") {
            lookups.Note([](Lookups& state) { state.hanging = true; });
            lookups.WaitFor([](const Lookups& state) { return state.released; }, 60000);
        }
        return EHOSTUNREACH;
    });
    platform::TcpListener listener;
    ASSERT_TRUE(listener.Listen("127.0.0.1", 0));
    const uint16_t port = listener.Port();

    platform::TcpConnector stuck(&resolver);
    auto connecting = std::async(std::launch::async,
                                 [&] { return stuck.Connect("hangs.test", port, kWaitMs, 0); });
    EXPECT_TRUE(lookups.WaitFor([](const Lookups& state) { return state.hanging; }));

    // Meanwhile other names are looked up and connected to, by the process's resolver too.
    platform::TcpConnector other(&resolver);
    EXPECT_TRUE(platform::TcpSocket(ConnectWithin(&other, "loopback.test", port)).IsOpen());
    EXPECT_TRUE(listener.Accept(kWaitMs).IsOpen());
    EXPECT_EQ(ConnectWithin(&other, "unknown.test", port), -1);
    EXPECT_EQ(other.LastError(), EHOSTUNREACH);
    platform::TcpConnector system;
    EXPECT_TRUE(platform::TcpSocket(ConnectWithin(&system, "localhost", port)).IsOpen());
    EXPECT_TRUE(listener.Accept(kWaitMs).IsOpen());

    stuck.Abort();
    const bool returned =
        connecting.wait_for(std::chrono::milliseconds(kWaitMs)) == std::future_status::ready;
    lookups.Note([](Lookups& state) { state.released = true; });  // its result goes nowhere
    EXPECT_TRUE(returned) << "Abort left Connect waiting for the name lookup";
    EXPECT_EQ(connecting.get(), -1);
    EXPECT_EQ(stuck.LastError(), ECANCELED);
    EXPECT_EQ(stuck.Connect("loopback.test", port, kWaitMs, 0), -1);  // Abort is final
}

// A SOCKS4 proxy of the test's own takes the request, then grants it, refuses it or is silent.
TEST(TcpConnector, ThroughASocks4ProxyTheTargetIsAskedForAndAbortCutsShortASilentProxy) {
    platform::TcpListener proxy;
    ASSERT_TRUE(proxy.Listen("127.0.0.1", 0));
    const struct {
        const char* name;
        int reply;  // none when negative
        int error;
    } answers[] = {{"granted", 90, 0}, {"refused", 91, ECONNREFUSED}, {"silent", -1, ECANCELED}};
    for (const auto& answer : answers) {
        SCOPED_TRACE(answer.name);
        platform::TcpConnector connector;
        auto connecting = std::async(std::launch::async, [&] {
            return connector.ConnectThroughSocks4("127.0.0.1", proxy.Port(), "10.1.2.3", 1935,
                                                  kWaitMs, 0);
        });
        platform::TcpSocket peer = proxy.Accept(kWaitMs);
        unsigned char request[9] = {};
        EXPECT_EQ(peer.ReadExact(request, sizeof(request), kWaitMs), platform::IoResult::kOk);
        // Version 4, CONNECT, port 1935, 10.1.2.3, an empty user id.
        EXPECT_EQ(std::vector<unsigned char>(request, request + sizeof(request)),
                  (std::vector<unsigned char>{4, 1, 0x07, 0x8F, 10, 1, 2, 3, 0}));
        if (answer.reply >= 0) {
            const unsigned char reply[8] = {0, static_cast<unsigned char>(answer.reply)};
            EXPECT_TRUE(peer.SendAll(reply, sizeof(reply)));
        } else {
            connector.Abort();
        }
        const bool returned =
            connecting.wait_for(std::chrono::milliseconds(kWaitMs)) == std::future_status::ready;
        if (!returned) {
            peer.Close();  // ends the wait for the answer, so the test can end
        }
        EXPECT_TRUE(returned) << "the connect went on waiting for the proxy";
        platform::TcpSocket connected(connecting.get());
        EXPECT_EQ(connector.LastError(), answer.error);
        ASSERT_EQ(connected.IsOpen(), answer.error == 0);
        if (connected.IsOpen()) {  // the proxy's connection is the target's
            char byte = 0;
            EXPECT_TRUE(connected.SendAll("x", 1));
            EXPECT_EQ(peer.ReadExact(&byte, 1, kWaitMs), platform::IoResult::kOk);
            EXPECT_EQ(byte, 'x');
        }
    }
}

}  // namespace
