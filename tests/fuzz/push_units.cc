// Arbitrary units through a pusher, over a connection that checks every message as it leaves.
// An input is a flags byte (bit 0: the stream carries video) and then units, each a kind byte
// (bit 0: video, else audio; bit 1: key frame; bit 2: the metadata change before it), a
// 16-bit little-endian length and that many bytes (fewer at the end of the input). Each video
// unit is first read by a parameter-set parser of its own, which must return a picture offset
// that follows a start code and names no SEI, SPS, PPS or delimiter, and keep sets within their
// bounds. The pusher then caches every unit and its thread sends them: the metadata, the AVC
// and AAC sequence headers and the FLV bodies must be what their headers say, the whole body is
// read (under ASan), and every unit is handled before the pusher stops.
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <thread>

#include "framework/memory/MemoryAllocator.h"
#include "media/push/FlvTagBody.h"
#include "media/push/H264ParameterSets.h"
#include "media/push/IRtmpConnection.h"
#include "media/push/PushDataInfo.h"
#include "media/push/RtmpPusher.h"

namespace {

using namespace streammanager;

// Long enough for a loaded machine: a wait that ends is a finding.
constexpr auto kWait = std::chrono::seconds(30);
constexpr uint8_t kAudioMessage = 8;
constexpr uint8_t kVideoMessage = 9;
constexpr uint8_t kDataMessage = 18;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "push_units: %s\n", what);
    std::abort();
}

uint32_t Big16(const uint8_t* p) {
    return (static_cast<uint32_t>(p[0]) << 8) | p[1];
}

uint32_t Big32(const uint8_t* p) {
    return (Big16(p) << 16) | Big16(p + 2);
}

// Connects at once and checks each message; it never fails a send. Used by the push thread.
class CheckingConnection : public IRtmpConnection {
  public:
    bool Open() override { return open_ = true; }
    bool SetupUrl(const char*) override { return true; }
    bool Connect() override { return true; }
    bool ConnectStream() override { return true; }
    bool IsOpen() const override { return open_; }
    void Close() override { open_ = false; }
    int32_t LastError() const override { return 0; }
    int64_t QueuedBytes() override { return 0; }
    void Abort() override {}

    bool SendPacket(const RtmpMessage& m) override {
        if ((m.prefixSize > 0 && m.prefix == nullptr) ||
            (m.payloadSize > 0 && m.payload == nullptr)) {
            Fail("a body part without its bytes");
        }
        uint32_t sum = 0;  // every byte is read
        for (uint32_t i = 0; i < m.prefixSize; ++i) {
            sum += m.prefix[i];
        }
        for (uint32_t i = 0; i < m.payloadSize; ++i) {
            sum += m.payload[i];
        }
        checksum_ += sum;
        if (m.type == kDataMessage) {
            CheckMetaData(m);
        } else if (m.type == kVideoMessage) {
            m.prefixSize == 0 ? CheckAvcHeader(m) : CheckVideo(m);
        } else if (m.type == kAudioMessage) {
            CheckAudio(m);
        } else {
            Fail("a message of an unknown type");
        }
        return true;
    }

  private:
    static void CheckMetaData(const RtmpMessage& m) {
        uint8_t expected[FlvTagBody::kHeaderBufferSize];
        if (m.prefixSize != 0 || m.payloadSize != FlvTagBody::WriteMetaData(
                                                      {640, 360, 30}, expected, sizeof(expected))) {
            Fail("onMetaData of another size");
        }
    }
    // Key frame and sequence header, then one SPS and one PPS with their lengths.
    static void CheckAvcHeader(const RtmpMessage& m) {
        const uint8_t* body = m.payload;
        const uint32_t size = m.payloadSize;
        if (size < FlvTagBody::kAvcSequenceHeaderFixedSize || body[0] != 0x17 || body[1] != 0x00) {
            Fail("a video message that is neither unit nor sequence header");
        }
        const uint32_t sps = Big16(body + 11);
        if (13 + sps + 3 > size || body[13 + sps] != 0x01 ||
            FlvTagBody::kAvcSequenceHeaderFixedSize + sps + Big16(body + 14 + sps) != size ||
            sps < 4 || sps > H264ParameterSets::kMaxSpsLength ||
            Big16(body + 14 + sps) > H264ParameterSets::kMaxPpsLength) {
            Fail("an AVC sequence header whose lengths do not add up");
        }
    }
    static void CheckVideo(const RtmpMessage& m) {
        if (m.prefixSize != FlvTagBody::kVideoPrefixSize ||
            (m.prefix[0] != 0x17 && m.prefix[0] != 0x27) || m.prefix[1] != 0x01 ||
            Big32(m.prefix + 5) != m.payloadSize || m.payloadSize == 0) {
            Fail("a video body whose header does not match its NAL");
        }
    }
    static void CheckAudio(const RtmpMessage& m) {
        const bool frame = m.prefixSize == FlvTagBody::kAudioPrefixSize && m.prefix[0] == 0xAF &&
                           m.prefix[1] == 0x01 && m.payloadSize > 0;
        const bool header = m.prefixSize == 0 &&
                            m.payloadSize == FlvTagBody::kAacSequenceHeaderSize &&
                            m.payload[0] == 0xAF && m.payload[1] == 0x00;
        if (!frame && !header) {
            Fail("an audio body that is neither frame nor sequence header");
        }
    }

    bool open_ = false;
    uint32_t checksum_ = 0;
};

// What the parameter-set parser promises of one unit.
void CheckParse(const uint8_t* unit, int32_t length) {
    H264ParameterSets sets;
    const int32_t picture = sets.Parse(unit, length);
    if (picture != 0) {
        if (picture < 3 || picture >= length || unit[picture - 1] != 0x01 ||
            unit[picture - 2] != 0x00 || unit[picture - 3] != 0x00) {
            Fail("a picture offset that does not follow a start code");
        }
        const int type = unit[picture] & 0x1F;
        if (type == 6 || type == 7 || type == 8 || type == 9) {
            Fail("a picture offset at a parameter set, SEI or delimiter");
        }
    }
    if (sets.SpsLength() > H264ParameterSets::kMaxSpsLength ||
        sets.PpsLength() > H264ParameterSets::kMaxPpsLength) {
        Fail("a parameter set past its bound");
    }
    if (sets.SpsLength() > 0 && (sets.Sps()[0] & 0x1F) != 7) {
        Fail("an SPS that does not start at its header byte");
    }
    if (sets.PpsLength() > 0 && (sets.Pps()[0] & 0x1F) != 8) {
        Fail("a PPS that does not start at its header byte");
    }
}

void WaitSent(RtmpPusher* pusher) {
    const auto deadline = std::chrono::steady_clock::now() + kWait;
    while (pusher->GetCachedCount() != 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            Fail("the pusher did not send its units");
        }
        std::this_thread::sleep_for(std::chrono::microseconds(20));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static IMemoryAllocator* const allocator = new framework::MemoryAllocator();
    if (size == 0) {
        return 0;
    }
    RtmpPusher::Options options;
    options.connection = std::make_unique<CheckingConnection>();
    // A clock a second on at every look: nothing is ever held back for interleaving.
    options.clockUs = [] {
        static std::atomic<uint64_t> now{0};
        return now.fetch_add(1000000);
    };
    options.retryDelayMs = 0;
    RtmpPusher pusher(allocator, std::move(options));
    pusher.SetMetaData({640, 360, 30});
    if (data[0] & 1) {
        pusher.SetVideoStatus(1);
    }
    pusher.InitRtmpPusher("rtmp://127.0.0.1/live/fuzz", 1);
    pusher.StartThread(true, nullptr);

    int32_t metaChanges = 0;
    size_t at = 1;
    while (size - at >= 3) {
        const uint8_t kind = data[at];
        const size_t length = data[at + 1] | (data[at + 2] << 8);
        at += 3;
        const size_t taken = length < size - at ? length : size - at;
        const uint8_t* unit = data + at;
        at += taken;
        if (kind & 4) {
            ++metaChanges;
            pusher.SetMetaData({640 + 16 * metaChanges, 360, 30});
        }
        const bool video = (kind & 1) != 0;
        if (video) {
            CheckParse(unit, static_cast<int32_t>(taken));
        }
        pusher.CachePushData(video ? kPushDataVideo : kPushDataAudio, static_cast<int32_t>(taken),
                             unit, (kind >> 1) & 1, at);
    }
    WaitSent(&pusher);
    pusher.StopRtmpThread();
    return 0;
}
