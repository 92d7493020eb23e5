// The host's side of a StreamCourier session, as the meeting client plays it: listens on a
// loopback port, starts the program, accepts its connection and exchanges framed messages with
// it (4-byte little-endian length, then the payload).
//
// Owns the listener, the session socket and the child process. One thread (a test or the
// qxhost tool) calls every operation, so there is no lock. A child still running when the
// simulator goes away is killed and reaped. Media writers are separate classes that work next
// to this one, keyed by Port().
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/ChildProcess.h"
#include "platform/TcpSocket.h"

namespace qxhost {

enum class ReceiveStatus {
    kMessage,  // a whole frame arrived; its payload is in Received::payload
    kTimeout,  // nothing arrived in time; the session is still open
    kClosed,   // the program closed the session (or there is none)
    kError,    // the stream broke: a socket error, an oversized or a stalled frame
};

struct Received {
    ReceiveStatus status = ReceiveStatus::kError;
    std::string payload;
};

class HostSimulator {
  public:
    // Payloads longer than this break the session's protocol, in either direction.
    static constexpr uint32_t kMaxPayload = 1048576;

    HostSimulator() = default;
    HostSimulator(const HostSimulator&) = delete;
    HostSimulator& operator=(const HostSimulator&) = delete;

    // Listens on 127.0.0.1:port; 0 takes any free port.
    bool Listen(uint16_t port = 0);
    uint16_t Port() const { return listener_.Port(); }

    // Starts `exePath -port <Port()>`. `extraEnvironment` holds "NAME=value" entries to set
    // and bare "NAME" entries to remove.
    bool StartProcess(const std::string& exePath,
                      const std::vector<std::string>& extraEnvironment = {});
    // Starts `exePath` with exactly `args` after the program name.
    bool StartProcessWithArgs(const std::string& exePath, const std::vector<std::string>& args,
                              const std::vector<std::string>& extraEnvironment = {});

    // Waits up to timeoutMs for the program to connect.
    bool AcceptSession(int timeoutMs);
    bool HasSession() const { return session_.IsOpen(); }

    // Frames and sends one message. False when the session is gone or does not take the bytes.
    bool Send(const std::string& payload);
    // Sends bytes as they are, with no frame around them.
    bool SendRaw(const std::string& bytes);
    // The next framed message from the program.
    Received Receive(int timeoutMs);
    // Closes the host's end; the program sees the session lost.
    void CloseSession();

    bool WaitExit(int timeoutMs) { return process_.WaitExit(timeoutMs); }
    int ExitCode() const { return process_.ExitCode(); }
    bool IsRunning() const { return process_.IsRunning(); }
    void Signal(int signal) { process_.Signal(signal); }
    pid_t Pid() const { return process_.Pid(); }

  private:
    // Declared so that the session closes before the child is killed.
    platform::ChildProcess process_;
    platform::TcpListener listener_;
    platform::TcpSocket session_;
};

}  // namespace qxhost
