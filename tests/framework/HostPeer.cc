#include "tests/framework/HostPeer.h"

#include "interfaces/SessionFrame.h"

namespace framework_test {

HostPeer::HostPeer() {
    listener_.Listen("127.0.0.1", 0);
}

std::string HostPeer::Address() const {
    return "TCP:127.0.0.1:" + std::to_string(listener_.Port());
}

bool HostPeer::Accept() {
    socket_ = listener_.Accept(kWaitMs);
    return socket_.IsOpen();
}

bool HostPeer::SendFrame(const std::string& payload) {
    unsigned char header[4];
    EncodeFrameLength(static_cast<uint32_t>(payload.size()), header);
    return SendRaw(std::string(reinterpret_cast<char*>(header), 4) + payload);
}

bool HostPeer::SendRaw(const std::string& bytes) {
    return socket_.SendAll(bytes.data(), bytes.size());
}

bool HostPeer::ReadFrame(std::string* payload) {
    unsigned char header[4];
    if (socket_.ReadExact(header, 4, kWaitMs) != platform::IoResult::kOk) {
        return false;
    }
    payload->assign(DecodeFrameLength(header), '\0');
    return payload->empty() ||
           socket_.ReadExact(&(*payload)[0], payload->size(), kWaitMs) == platform::IoResult::kOk;
}

bool HostPeer::SeesClose() {
    char byte = 0;
    return socket_.ReadExact(&byte, 1, kWaitMs) == platform::IoResult::kClosed;
}

uint16_t UnusedPort() {
    platform::TcpListener listener;
    listener.Listen("127.0.0.1", 0);
    return listener.Port();
}

}  // namespace framework_test
