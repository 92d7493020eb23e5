// Outgoing connections by name, with a name service of the test's own: a lookup that hangs must
// not hold up the thread that asked for it once Abort comes, nor other lookups meanwhile.
#include <arpa/inet.h>
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <future>
#include <mutex>
#include <string>

#include "platform/NameResolver.h"
#include "platform/TcpConnector.h"
#include "platform/TcpSocket.h"

namespace {

constexpr int kWaitMs = 5000;

// "hangs.test" does not answer until Release; "loopback.test" is 127.0.0.1; other names are
// unknown.
class NameService {
  public:
    int Lookup(const std::string& host, uint32_t* address) {
        if (host == "loopback.test") {
            *address = htonl(INADDR_LOOPBACK);
            return 0;
        }
        if (host == "hangs.test") {
            std::unique_lock<std::mutex> lock(mutex_);
            hanging_ = true;
            changed_.notify_all();
            changed_.wait(lock, [this] { return released_; });
        }
        return EHOSTUNREACH;
    }
    bool WaitHanging() {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, std::chrono::milliseconds(kWaitMs),
                                 [this] { return hanging_; });
    }
    void Release() {
        std::lock_guard<std::mutex> lock(mutex_);
        released_ = true;
        changed_.notify_all();
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    bool hanging_ = false;
    bool released_ = false;
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
    NameService names;
    platform::NameResolver resolver([&names](const std::string& host, uint32_t* address) {
        return names.Lookup(host, address);
    });
    platform::TcpListener listener;
    ASSERT_TRUE(listener.Listen("127.0.0.1", 0));
    const uint16_t port = listener.Port();

    platform::TcpConnector stuck(&resolver);
    auto connecting = std::async(std::launch::async,
                                 [&] { return stuck.Connect("hangs.test", port, kWaitMs, 0); });
    EXPECT_TRUE(names.WaitHanging());

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
    names.Release();  // the lookup ends now; its result goes nowhere
    EXPECT_TRUE(returned) << "Abort left Connect waiting for the name lookup";
    EXPECT_EQ(connecting.get(), -1);
    EXPECT_EQ(stuck.LastError(), ECANCELED);
    EXPECT_EQ(stuck.Connect("loopback.test", port, kWaitMs, 0), -1);  // Abort is final
}

}  // namespace
