// The host's end of a session for tests: a loopback listener on a free port and the one
// connection it accepts, with framed reads and writes. Used by one test thread.
#pragma once

#include <cstdint>
#include <string>

#include "platform/TcpSocket.h"

namespace framework_test {

class HostPeer {
  public:
    static constexpr int kWaitMs = 5000;

    HostPeer();

    // "TCP:127.0.0.1:<port>".
    std::string Address() const;
    bool Accept();
    bool SendFrame(const std::string& payload);
    bool SendRaw(const std::string& bytes);
    // One whole frame from the session manager within kWaitMs.
    bool ReadFrame(std::string* payload);
    // True when the other end closed the connection (a read ends within kWaitMs without data).
    bool SeesClose();
    void Close() { socket_.Close(); }

  private:
    platform::TcpListener listener_;
    platform::TcpSocket socket_;
};

// A loopback port that nothing listens on (it was free a moment ago).
uint16_t UnusedPort();

}  // namespace framework_test
