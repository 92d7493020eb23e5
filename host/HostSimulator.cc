#include "host/HostSimulator.h"

#include <algorithm>

#include "interfaces/SessionFrame.h"

namespace qxhost {

namespace {

// A peer that takes no bytes for this long is treated as hung.
constexpr int kSendTimeoutMs = 10000;
// Once a frame's length has arrived, its payload must follow within this time.
constexpr int kPayloadTimeoutMs = 5000;

ReceiveStatus StatusOf(platform::IoResult result) {
    switch (result) {
        case platform::IoResult::kOk:
            return ReceiveStatus::kMessage;
        case platform::IoResult::kTimeout:
            return ReceiveStatus::kTimeout;
        case platform::IoResult::kClosed:
            return ReceiveStatus::kClosed;
        default:
            return ReceiveStatus::kError;
    }
}

}  // namespace

bool HostSimulator::Listen(uint16_t port) {
    return listener_.Listen("127.0.0.1", port);
}

bool HostSimulator::StartProcess(const std::string& exePath,
                                 const std::vector<std::string>& extraEnvironment) {
    if (Port() == 0) {
        return false;
    }
    return StartProcessWithArgs(exePath, {"-port", std::to_string(Port())}, extraEnvironment);
}

bool HostSimulator::StartProcessWithArgs(const std::string& exePath,
                                         const std::vector<std::string>& args,
                                         const std::vector<std::string>& extraEnvironment) {
    std::vector<std::string> argv{exePath};
    argv.insert(argv.end(), args.begin(), args.end());
    return process_.Start(exePath, argv, extraEnvironment);
}

bool HostSimulator::AcceptSession(int timeoutMs) {
    session_ = listener_.Accept(timeoutMs);
    return session_.IsOpen();
}

bool HostSimulator::Send(const std::string& payload) {
    unsigned char prefix[4];
    EncodeFrameLength(static_cast<uint32_t>(payload.size()), prefix);
    return SendRaw(std::string(reinterpret_cast<const char*>(prefix), sizeof(prefix)) + payload);
}

bool HostSimulator::SendRaw(const std::string& bytes) {
    return session_.IsOpen() && session_.SendAll(bytes.data(), bytes.size(), kSendTimeoutMs);
}

Received HostSimulator::Receive(int timeoutMs) {
    Received received;
    if (!session_.IsOpen()) {
        received.status = ReceiveStatus::kClosed;
        return received;
    }
    unsigned char prefix[4];
    received.status = StatusOf(session_.ReadExact(prefix, sizeof(prefix), timeoutMs));
    if (received.status != ReceiveStatus::kMessage) {
        return received;
    }
    const uint32_t length = DecodeFrameLength(prefix);
    if (length > kMaxPayload) {
        received.status = ReceiveStatus::kError;
        return received;
    }
    received.payload.resize(length);
    const platform::IoResult body =
        session_.ReadExact(received.payload.data(), length, std::max(timeoutMs, kPayloadTimeoutMs));
    received.status = StatusOf(body);
    if (received.status == ReceiveStatus::kTimeout) {
        received.status = ReceiveStatus::kError;
    }
    if (received.status != ReceiveStatus::kMessage) {
        received.payload.clear();
    }
    return received;
}

void HostSimulator::CloseSession() {
    session_.Shutdown();
    session_.Close();
}

}  // namespace qxhost
