#include "bench/RtmpReader.h"

#include <librtmp/log.h>
#include <librtmp/rtmp.h>
#include <sys/socket.h>

#include <algorithm>
#include <chrono>
#include <csignal>

#include "framework/mixer/CanvasArea.h"
#include "framework/mixer/H264Decoder.h"
#include "platform/Clock.h"

namespace bench {

namespace {

double MeanLuma(const framework::AreaView& picture) {
    double sum = 0;
    int count = 0;
    for (int64_t y = 8; y < picture.luma.height; y += 16) {
        for (int64_t x = 8; x < picture.luma.width; x += 16) {
            sum += picture.y.data[y * picture.y.stride + x];
            ++count;
        }
    }
    return count != 0 ? sum / count : 0;
}

// Plays `target`; nginx may not have the publisher yet: a few tries.
bool Play(RTMP* rtmp, const std::string& target, const std::atomic<bool>& stop) {
    const std::string setup = target + " live=1 timeout=5";
    std::vector<char> url(setup.begin(), setup.end());
    url.push_back('\0');
    bool playing = false;
    for (int attempt = 0; attempt < 20 && !stop.load() && !playing; ++attempt) {
        playing = RTMP_SetupURL(rtmp, url.data()) && RTMP_Connect(rtmp, nullptr) &&
                  RTMP_ConnectStream(rtmp, 0);
        if (!playing) {
            RTMP_Close(rtmp);
            RTMP_Init(rtmp);
            url.assign(setup.begin(), setup.end());  // RTMP_SetupURL writes into it
            url.push_back('\0');
            std::this_thread::sleep_for(std::chrono::milliseconds(250));
        }
    }
    return playing;
}

}  // namespace

RtmpReader::RtmpReader(std::string url, bool decode) : url_(std::move(url)), decode_(decode) {
    std::signal(SIGPIPE, SIG_IGN);  // librtmp writes to a socket nginx may have closed
}

bool RtmpReader::Start() {
    thread_ = std::thread([this] { Run(); });
    return true;
}

void RtmpReader::Stop() {
    stop_.store(true);
    {
        std::lock_guard<std::mutex> lock(socketLock_);
        if (socket_ >= 0) {
            shutdown(socket_, SHUT_RD);  // the read returns; RTMP_Close still writes
        }
    }
    if (thread_.joinable()) {
        thread_.join();
    }
}

double RtmpReader::VideoRate(uint64_t fromUs, uint64_t toUs) const {
    const uint64_t countFromUs = fromUs + 2000000;
    const auto count =
        std::count_if(messages_.begin(), messages_.end(), [&](const Arrival& message) {
            return message.type == 9 && !message.header && message.arrivedUs >= countFromUs &&
                   message.arrivedUs < toUs;
        });
    return static_cast<double>(count) / (static_cast<double>(toUs - countFromUs) / 1e6);
}

void RtmpReader::Run() {
    RTMP_LogSetLevel(RTMP_LOGCRIT);
    RTMP* rtmp = RTMP_Alloc();
    RTMP_Init(rtmp);
    const bool playing = Play(rtmp, url_, stop_);
    SetSocket(playing ? RTMP_Socket(rtmp) : -1);
    framework::H264Decoder decoder;
    RTMPPacket packet{};
    while (playing && !stop_.load() && RTMP_GetNextMediaPacket(rtmp, &packet)) {
        const uint64_t arrivedUs = platform::MonotonicMicros();
        const uint8_t* body = reinterpret_cast<const uint8_t*>(packet.m_body);
        const uint32_t size = packet.m_nBodySize;
        if ((packet.m_packetType == 8 || packet.m_packetType == 9) && size >= 2) {
            const bool header = body[1] == 0;
            messages_.push_back(
                {packet.m_packetType, header, packet.m_nTimeStamp, arrivedUs, size});
            if (packet.m_packetType == 9 && decode_) {
                OnVideo(body, size, packet.m_nTimeStamp, arrivedUs, &decoder);
            }
        }
        RTMPPacket_Free(&packet);
    }
    SetSocket(-1);
    RTMP_Close(rtmp);
    RTMP_Free(rtmp);
}

void RtmpReader::SetSocket(int socket) {
    std::lock_guard<std::mutex> lock(socketLock_);
    socket_ = socket;
}

void RtmpReader::OnVideo(const uint8_t* body, uint32_t size, uint32_t stamp, uint64_t arrivedUs,
                         framework::H264Decoder* decoder) {
    if (!unit_.Take(body, size)) {
        return;
    }
    framework::AreaView picture;
    const std::vector<uint8_t>& unit = unit_.Unit();
    if (decoder->Decode(unit.data(), static_cast<uint32_t>(unit.size()), unit_.Key()) !=
            framework::H264Decoder::Result::kPicture ||
        !decoder->LastPicture(&picture)) {
        return;
    }
    const uint64_t seenUs = platform::MonotonicMicros();
    pictures_.push_back({seenUs, arrivedUs, stamp, MeanLuma(picture)});
    decodeMs_.push_back(static_cast<double>(seenUs - arrivedUs) / 1000.0);
}

}  // namespace bench
